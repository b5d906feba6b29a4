// Mozilla User Preferences
/* user_pref("browser.startup.homepage", "http://commented.example/"); */
# user_pref("x", 1);
user_pref("browser.startup.homepage", "http://a.example/|https://b.example/");
user_pref('single', 'it\'s \"q\" \u00e4\x41\n');
pref("n.neg", -12);
sticky_pref("s", false, sticky);
user_pref("emoji", "\ud83d\ude00");
user_pref("network.proxy.autoconfig_url", "http://pac.example/p.pac");
