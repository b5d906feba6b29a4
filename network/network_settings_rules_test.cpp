#include "network/network_settings_rules.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

StringTable Network() {
  return StringTable::FromText(
      "host:google.com=Search engine\nhost:paypal.com=Payments\nhost:update.microsoft.com=Windows Update\n"
      "dns:8.8.8.8=Google Public DNS\ndns:2001:4860:4860::8888=Google Public DNS\n");
}

TEST(NetworkAddresses, ParsesAndClassifies) {
  EXPECT_EQ(ClassifyAddress("127.0.0.1"), AddressClass::Loopback);
  EXPECT_EQ(ClassifyAddress("127.8.9.1"), AddressClass::Loopback);
  EXPECT_EQ(ClassifyAddress("::1"), AddressClass::Loopback);
  EXPECT_EQ(ClassifyAddress("[::1]"), AddressClass::Loopback);
  EXPECT_EQ(ClassifyAddress("0:0:0:0:0:0:0:1"), AddressClass::Loopback);
  EXPECT_EQ(ClassifyAddress("0.0.0.0"), AddressClass::Unspecified);
  EXPECT_EQ(ClassifyAddress("::"), AddressClass::Unspecified);
  EXPECT_EQ(ClassifyAddress("192.168.1.10"), AddressClass::Private);
  EXPECT_EQ(ClassifyAddress("172.31.0.1"), AddressClass::Private);
  EXPECT_EQ(ClassifyAddress("172.32.0.1"), AddressClass::Public);
  EXPECT_EQ(ClassifyAddress("fe80::1%12"), AddressClass::Private);
  EXPECT_EQ(ClassifyAddress("fd00::5"), AddressClass::Private);
  EXPECT_EQ(ClassifyAddress("::ffff:127.0.0.1"), AddressClass::Loopback);
  EXPECT_EQ(ClassifyAddress("::ffff:8.8.8.8"), AddressClass::Public);
  EXPECT_EQ(ClassifyAddress("2001:db8::1:2"), AddressClass::Public);
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "a.b.c.d", ":::", "1::2::3", "1:2:3:4:5:6:7:8:9",
                          "12345::", "fe80::1%", "[::1", "localhost", "1:2:3:4:5:6:7:8::"})
    EXPECT_EQ(ClassifyAddress(bad), AddressClass::Invalid) << bad;
  EXPECT_EQ(NumericText(*ParseIpAddress("2001:4860:4860:0:0:0:0:8888")), "2001:4860:4860::8888");
}

TEST(HostsFile, ReadsEveryLineEndBlanksCommentsAndNames) {
  // CR LF, a lone LF, a lone CR, tabs, a BOM, a comment after the names,
  // several names per line, IPv6, no final line break.
  const std::string bytes =
      "\xEF\xBB\xBF# a comment\r\n127.0.0.1\tlocalhost\r\n\r\n::1 localhost ip6-localhost\n"
      "  0.0.0.0   ads.example  tracker.example # blocked\r1.2.3.4 www.google.com\n"
      "justonefield\n#10.0.0.1 old.example\n2001:db8::1\tv6.example";
  const HostsFile f = ParseHostsFile(bytes);
  EXPECT_TRUE(f.bom);
  EXPECT_FALSE(f.binary);
  EXPECT_EQ(f.lines, 9u);
  EXPECT_EQ(f.unreadable, 1u);
  ASSERT_EQ(f.mappings.size(), 7u);
  EXPECT_EQ(f.mappings[0].line, 2u);
  EXPECT_EQ(f.mappings[0].name, "localhost");
  EXPECT_EQ(f.mappings[2].name, "ip6-localhost");
  EXPECT_EQ(f.mappings[3].address, "0.0.0.0");
  EXPECT_EQ(f.mappings[4].name, "tracker.example");
  EXPECT_EQ(f.mappings[4].lineText, "  0.0.0.0   ads.example  tracker.example # blocked");
  EXPECT_EQ(f.mappings[5].line, 6u);
  EXPECT_EQ(f.mappings[5].name, "www.google.com");
  EXPECT_EQ(f.mappings[6].line, 9u);
  EXPECT_EQ(f.mappings[6].name, "v6.example");
}

TEST(HostsFile, HostileBytesAndCutFiles) {
  EXPECT_TRUE(ParseHostsFile("\xFF\xFE" "1\0.\0").utf16);
  const HostsFile bin = ParseHostsFile(std::string("1.2.3.4 a\0b\n5.6.7.8 ok.example\n\x01\x02\x03", 31));
  EXPECT_TRUE(bin.binary);
  ASSERT_EQ(bin.mappings.size(), 1u);
  EXPECT_EQ(bin.mappings[0].name, "ok.example");
  // Read in part: the cut last line is not taken for a whole one.
  const HostsFile cut = ParseHostsFile("1.2.3.4 whole.example\n1.2.3.4 cut.exa", true);
  ASSERT_EQ(cut.mappings.size(), 1u);
  EXPECT_EQ(cut.mappings[0].name, "whole.example");
}

TEST(HostsFile, CommentsOutOneLineAndNothingElse) {
  const std::string bytes = "\xEF\xBB\xBF" "127.0.0.1 localhost\r\n1.2.3.4 www.google.com\r\n\n5.6.7.8 x\r9.9.9.9 y";
  EXPECT_EQ(CommentOutHostsLine(bytes, 2, "1.2.3.4 www.google.com"),
            "\xEF\xBB\xBF" "127.0.0.1 localhost\r\n# 1.2.3.4 www.google.com\r\n\n5.6.7.8 x\r9.9.9.9 y");
  EXPECT_EQ(CommentOutHostsLine(bytes, 4, "5.6.7.8 x"),
            "\xEF\xBB\xBF" "127.0.0.1 localhost\r\n1.2.3.4 www.google.com\r\n\n# 5.6.7.8 x\r9.9.9.9 y");
  EXPECT_EQ(CommentOutHostsLine(bytes, 5, "9.9.9.9 y"),
            "\xEF\xBB\xBF" "127.0.0.1 localhost\r\n1.2.3.4 www.google.com\r\n\n5.6.7.8 x\r# 9.9.9.9 y");
  // The file changed since the scan, or the line is not there: nothing.
  EXPECT_FALSE(CommentOutHostsLine(bytes, 2, "1.2.3.4 www.google.co"));
  EXPECT_FALSE(CommentOutHostsLine(bytes, 6, ""));
  EXPECT_FALSE(CommentOutHostsLine(bytes, 0, ""));
  // What a scan reads back from the result has the mapping gone.
  const auto fixed = CommentOutHostsLine(bytes, 2, "1.2.3.4 www.google.com");
  for (const auto& m : ParseHostsFile(*fixed).mappings) EXPECT_NE(m.name, "www.google.com");
}

// One line with many names: the line is kept once, its mappings and rows
// look into that one copy (memory linear in the file, not in names times
// line), and each still says what it maps and can be repaired.
TEST(HostsFile, ALineOfManyNamesIsKeptOnceForAllItsMappingsAndRows) {
  std::string line = "203.0.113.5";
  for (int i = 0; i < 100000; ++i) line += " n" + std::to_string(i) + ".example";
  const HostsFile f = ParseHostsFile(line + "\r\n1.2.3.4 other.example\n");
  ASSERT_EQ(f.mappings.size(), 100001u);
  const std::string& kept = f.mappings[0].lineText.str();
  EXPECT_EQ(kept, line);
  for (std::size_t i = 0; i < 100000; ++i) {
    const HostsMapping& m = f.mappings[i];
    ASSERT_EQ(m.lineText.str().data(), kept.data()) << i;
    ASSERT_GE(m.name.data(), kept.data());
    ASSERT_LE(m.name.data() + m.name.size(), kept.data() + kept.size());
  }
  EXPECT_EQ(f.mappings[99999].name, "n99999.example");
  EXPECT_EQ(f.mappings[99999].address, "203.0.113.5");
  EXPECT_EQ(f.mappings[100000].lineText, "1.2.3.4 other.example");
  std::vector<NetworkSettingRow> rows;
  AddHostsRows(f, "C:\\hosts", Network(), rows);
  ASSERT_EQ(rows.size(), 100001u);
  EXPECT_EQ(rows[77777].lineText.str().data(), kept.data());
  EXPECT_EQ(rows[77777].name, "n77777.example");
  // The repair still finds the line by its text.
  EXPECT_TRUE(CommentOutHostsLine(line + "\n", 1, rows[77777].lineText));
}

TEST(HostsRows, FlagsRedirectsAndWellKnownSitesOnly) {
  const HostsFile f = ParseHostsFile(
      "127.0.0.1 localhost\n::1 localhost\n0.0.0.0 ads.example\n127.0.0.1 tracker.example\n:: v6ads.example\n"
      "1.2.3.4 www.google.com\n127.0.0.1 update.microsoft.com\n192.168.1.5 nas.example\n"
      "203.0.113.9 shop.example\nnot-an-address host.example\n0.0.0.0 PAYPAL.com.\n");
  std::vector<NetworkSettingRow> rows;
  AddHostsRows(f, "C:\\hosts", Network(), rows);
  ASSERT_EQ(rows.size(), 11u);  // one row per mapping
  std::vector<bool> flagged;
  for (const auto& r : rows) flagged.push_back(r.flagged);
  EXPECT_EQ(flagged, (std::vector<bool>{false, false, false, false, false, true, true, true, true, false, true}));
  EXPECT_EQ(rows[5].location, "C:\\hosts, line 6");
  EXPECT_EQ(rows[5].repair, NetworkRepair::CommentOutHostsLine);
  EXPECT_EQ(rows[5].lineText, "1.2.3.4 www.google.com");
  EXPECT_EQ(rows[9].verdict, "Not an address: the resolver skips the line");
  const auto hijack = NetworkSettingsHijackRows(rows);
  ASSERT_EQ(hijack.size(), 5u);
  EXPECT_EQ(hijack[0].itemName, "Hosts: www.google.com = 1.2.3.4");
  EXPECT_EQ(hijack[0].index, 5);
}

TEST(ProxyRows, ScriptsAlwaysRemoteProxiesUnlessByPolicy) {
  EXPECT_TRUE(ProxyIsLocal("127.0.0.1:8080"));
  EXPECT_TRUE(ProxyIsLocal("http=localhost:3128;https=[::1]:3128"));
  EXPECT_FALSE(ProxyIsLocal("http=127.0.0.1:80;https=evil.example:443"));
  EXPECT_FALSE(ProxyIsLocal("socks=10.0.0.1:1080"));
  EXPECT_FALSE(ProxyIsLocal(""));

  ProxyValues user;
  user.place = "User";
  user.registryKey = "HKEY_CURRENT_USER\\Software\\X";
  user.proxyEnable = 1;
  user.proxyServer = "proxy.evil.example:8080";
  user.proxyOverride = "<local>";
  user.autoConfigUrl = "http://evil.example/proxy.pac";
  std::vector<NetworkSettingRow> rows;
  AddProxyRows(user, rows);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0].flagged);  // the script
  EXPECT_EQ(rows[0].valueNames, std::vector<std::string>{"AutoConfigURL"});
  EXPECT_TRUE(rows[1].flagged);  // the proxy
  EXPECT_EQ(rows[1].valueNames, (std::vector<std::string>{"ProxyServer", "ProxyEnable"}));
  EXPECT_FALSE(rows[2].flagged);  // the bypass list

  ProxyValues policy = user;
  policy.policy = true;
  policy.autoConfigUrl.reset();
  ProxyValues off = user;
  off.proxyEnable = 0;
  off.autoConfigUrl.reset();
  ProxyValues local = off;
  local.proxyEnable = 1;
  local.proxyServer = "127.0.0.1:8888";
  for (const ProxyValues* v : {&policy, &off, &local}) {
    rows.clear();
    AddProxyRows(*v, rows);
    for (const auto& r : rows) EXPECT_FALSE(r.flagged) << r.verdict;
  }
}

TEST(DnsRows, HandSetServersOutsideKnownResolversAndLocalNetworks) {
  EXPECT_EQ(SplitNameServers("8.8.8.8,1.2.3.4 5.6.7.8;;"), (std::vector<std::string>{"8.8.8.8", "1.2.3.4", "5.6.7.8"}));
  std::vector<NetworkSettingRow> rows;
  AddDnsRows("All interfaces", "HKEY_LOCAL_MACHINE\\T", "NameServer", "8.8.8.8,192.168.1.1", false, Network(), rows);
  AddDnsRows("{A}", "HKEY_LOCAL_MACHINE\\T\\I", "NameServer", "8.8.8.8 198.51.100.7", false, Network(), rows);
  AddDnsRows("{A}", "HKEY_LOCAL_MACHINE\\T\\I", "DhcpNameServer", "198.51.100.7", true, Network(), rows);
  AddDnsRows("{B}", "HKEY_LOCAL_MACHINE\\T6\\I", "NameServer", "2001:4860:4860:0::8888", false, Network(), rows);
  AddDnsRows("{C}", "HKEY_LOCAL_MACHINE\\T\\I", "NameServer", "", false, Network(), rows);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_FALSE(rows[0].flagged);
  EXPECT_TRUE(rows[1].flagged);
  EXPECT_NE(rows[1].verdict.find("198.51.100.7"), std::string::npos);
  EXPECT_EQ(rows[1].valueNames, std::vector<std::string>{"NameServer"});
  EXPECT_FALSE(rows[2].flagged);
  EXPECT_EQ(rows[2].kind, "DHCP DNS Server");
  EXPECT_FALSE(rows[3].flagged);
}

TEST(RootAndWinsockRows, PublicAndMicrosoftRootsPassLayeredProvidersMustBeMicrosofts) {
  const StringTable network = StringTable::FromText("root:AB12=ISRG Root X1\n");
  std::vector<NetworkSettingRow> rows;
  AddRootCertificateRow({"LocalMachine\\ROOT", "ISRG Root X1", "S1", "ab12", false}, network, rows);
  AddRootCertificateRow({"LocalMachine\\AuthRoot", "Microsoft Root Certificate Authority 2011", "S2", "FF", true},
                        network, rows);
  AddRootCertificateRow({"CurrentUser\\ROOT", "Interception CA", "S3", "CD34", false}, network, rows);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_FALSE(rows[0].flagged);
  EXPECT_EQ(rows[0].verdict, "A public root (ISRG Root X1)");
  EXPECT_FALSE(rows[1].flagged);
  EXPECT_TRUE(rows[2].flagged);
  EXPECT_EQ(rows[2].repair, NetworkRepair::DeleteCertificate);
  const auto hijack = NetworkSettingsHijackRows(rows);
  ASSERT_EQ(hijack.size(), 1u);
  EXPECT_EQ(hijack[0].entryKey, "CurrentUser\\ROOT|S3|Interception CA");

  rows.clear();
  const WinsockProvider base{"Protocol", "MSAFD Tcpip", "C:\\Windows\\system32\\mswsock.dll", "{A} #1001", false};
  const WinsockProvider layered{"Protocol", "Helper LSP", "C:\\Users\\me\\lsp.dll", "{B} #1010", true};
  AddWinsockRow(base, {"(Unknown)", false, false, true}, rows);
  AddWinsockRow(layered, {"(Unknown)", false, false, true}, rows);
  AddWinsockRow(layered, {"(Trusted) Microsoft Windows", false, true, true}, rows);
  AddWinsockRow(base, {"(Malicious) …", true, false, true}, rows);
  AddWinsockRow(layered, {}, rows);  // not judged: listed only
  std::vector<bool> flagged;
  for (const auto& r : rows) flagged.push_back(r.flagged);
  EXPECT_EQ(flagged, (std::vector<bool>{false, true, false, true, false}));
  // Only flagged providers that name their GUID can be removed.
  EXPECT_EQ(rows[1].repair, NetworkRepair::None);
  WinsockProvider named = layered;
  named.providerId = "{B}";
  named.wow32 = true;
  AddWinsockRow(named, {"(Unknown)", false, false, true}, rows);
  EXPECT_EQ(rows.back().repair, NetworkRepair::RemoveWinsockProvider);
  EXPECT_EQ(rows.back().providerId, "{B}");
  EXPECT_TRUE(rows.back().wow32);
  EXPECT_NE(rows.back().location.find("(32-bit)"), std::string::npos);
}

// The registry's entries are merged into what the setup routines list: the
// same entry once (with where the registry keeps it), the ones the routines
// skip marked so, the 32-bit catalog's always listed.
TEST(RootAndWinsockRows, RegistryCatalogEntriesAreMergedOnce) {
  auto protocol = [](const std::string& guid, uint32_t id, bool wow32) {
    WinsockProvider p;
    p.catalog = "Protocol";
    p.providerId = guid;
    p.catalogEntryId = id;
    p.wow32 = wow32;
    p.id = guid + " #" + std::to_string(id);
    return p;
  };
  std::vector<WinsockProvider> listed{protocol("{AAAA}", 1001, false), protocol("{AAAA}", 1002, false)};
  WinsockProvider ns;
  ns.catalog = "Namespace";
  ns.providerId = "{CCCC}";
  listed.push_back(ns);
  std::vector<WinsockProvider> registry{protocol("{aaaa}", 1001, false), protocol("{AAAA}", 1003, false),
                                        protocol("{AAAA}", 1001, true)};
  registry[0].registryKey = "HKLM\\...\\000000000001";
  WinsockProvider nsDisabled = ns;
  nsDisabled.enabled = false;
  registry.push_back(nsDisabled);
  WinsockProvider unreadable;
  unreadable.catalog = "Protocol";
  unreadable.problem = "The entry cannot be read";
  registry.push_back(unreadable);

  const auto merged = MergeWinsockProviders(listed, registry);
  ASSERT_EQ(merged.size(), 6u);
  EXPECT_EQ(merged[0].registryKey, "HKLM\\...\\000000000001");
  EXPECT_FALSE(merged[0].registryOnly);
  EXPECT_EQ(merged[2].enabled, std::optional<bool>(false));
  EXPECT_EQ(merged[3].catalogEntryId, 1003u);
  EXPECT_TRUE(merged[3].registryOnly);
  EXPECT_TRUE(merged[4].wow32);
  EXPECT_FALSE(merged[4].registryOnly);
  EXPECT_FALSE(merged[5].problem.empty());
  std::vector<NetworkSettingRow> rows;
  for (const auto& p : merged) AddWinsockRow(p, {}, rows);
  EXPECT_NE(rows[3].verdict.find("do not list it"), std::string::npos);
  EXPECT_NE(rows[2].verdict.find("Disabled"), std::string::npos);
  EXPECT_TRUE(rows[5].problem);
}

}  // namespace
}  // namespace wl
