user_pref("a", "unclosed);
user_pref("b", bogus);
user_pref("c", 1)
user_pref("d", "ok");
