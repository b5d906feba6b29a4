// The scan and the repairs over real files and registry keys: a scratch hosts
// file and keys of the test's own given to the scan as its places; then the
// user's real proxy-script value and the system's own hosts file. Repairs run
// with the backup recorder on and are restored.
#include "network/network_settings_scan.h"

#include <winsock2.h>
#include <ws2spi.h>
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/winsock_catalog.h"
#include "judge/testing/system_judge.h"
#include "sysroutines/system_paths.h"
#include "refdb/zlb_archive.h"
#include "tests/support/registry_dump.h"
#include "tests/support/test_certificates.h"
#include "tests/support/test_support.h"
#include "undo/testing/undo_fixture.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;
using undo::RegTreeCopy;
using undo::StoredChangeSet;
using namespace undo::test_support;

// The tables of the built Ref.dbd (Network.db with the public roots,
// Signer.db with Microsoft's).
ReferenceTables Tables() {
  static const ReferenceTables tables = [] {
    ReferenceTables t;
    MainDbValues main;
    TZLBArchive archive;
    EXPECT_TRUE(archive.Open(test::BinaryDir() + "\\Ref.dbd"));
    LoadReferenceTables(archive, t, main);
    return t;
  }();
  return tables;
}

const NetworkSettingRow* Find(const std::vector<NetworkSettingRow>& rows, const std::string& kind,
                              const std::string& name) {
  for (const auto& r : rows)
    if (r.kind == kind && r.name == name) return &r;
  return nullptr;
}

class NetworkSettingsScanTest : public ::testing::Test {
 protected:
  NetworkSettingsScanTest() {
    static std::atomic<int> counter{0};
    keyRoot_ = "SOFTWARE\\WlNetworkTest" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
    hosts_ = dir_.File("hosts");
    places_.hostsFiles = {hosts_};
    places_.internetSettings = keyRoot_ + "\\Internet Settings";
    places_.internetPolicies = keyRoot_ + "\\Policies\\Internet Settings";
    places_.tcpip = keyRoot_ + "\\Tcpip\\Parameters";
    places_.tcpip6 = keyRoot_ + "\\Tcpip6\\Parameters";
  }
  ~NetworkSettingsScanTest() override {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegWriteKey::DeleteTree(root, keyRoot_);
  }
  void String(HKEY root, const std::string& key, const std::string& name, const std::string& data) {
    ASSERT_EQ(RegWriteKey::Create(root, key)->WriteString(name, data), ERROR_SUCCESS);
  }
  void Dword(HKEY root, const std::string& key, const std::string& name, uint32_t data) {
    ASSERT_EQ(RegWriteKey::Create(root, key)->WriteDword(name, data), ERROR_SUCCESS);
  }

  test::ScratchDir dir_{"wlnetwork"};
  std::string keyRoot_, hosts_;
  NetworkSettingsPlaces places_;
  ReferenceTables tables_ = Tables();
};

TEST_F(NetworkSettingsScanTest, HostsLinesOfEveryKindAndTheirRepair) {
  const std::string original =
      "# the system's sample\r\n127.0.0.1       localhost\r\n::1             localhost\r\n"
      "0.0.0.0 ads.example.net\t# blocked\n"
      "203.0.113.7 www.google.com google.com\r\n"
      "127.0.0.1 update.microsoft.com\r"
      "10.1.2.3 intranet.example\n"
      "198.51.100.9 login.bank.example";
  test::WriteBytes(hosts_, original);
  const auto rows = ScanNetworkSettings(tables_, places_);
  ASSERT_TRUE(Find(rows, "Hosts", "localhost"));
  for (const char* name : {"localhost", "ads.example.net"}) EXPECT_FALSE(Find(rows, "Hosts", name)->flagged) << name;
  for (const char* name : {"www.google.com", "google.com", "update.microsoft.com", "intranet.example", "login.bank.example"})
    EXPECT_TRUE(Find(rows, "Hosts", name)->flagged) << name;
  const NetworkSettingRow* google = Find(rows, "Hosts", "www.google.com");
  EXPECT_EQ(google->location, hosts_ + ", line 5");
  EXPECT_EQ(NetworkSettingsPageTextOf(rows).hijack.size(), 5u);

  Store store;
  {
    undo::ChangeSet set("Network Settings", "Repair");
    ASSERT_TRUE(CanRepair(*google));
    const WriteResult r = RepairNetworkSetting(*google);
    ASSERT_TRUE(r) << r.message;
  }
  std::string expected = original;
  expected.insert(expected.find("203.0.113.7"), "# ");
  EXPECT_EQ(test::ReadBytes(hosts_), expected);
  // Both names of that line are gone; the rest is as it was.
  const auto after = ScanNetworkSettings(tables_, places_);
  EXPECT_FALSE(Find(after, "Hosts", "google.com"));
  EXPECT_TRUE(Find(after, "Hosts", "login.bank.example"));
  // A row from before the change no longer matches its line: nothing happens.
  const NetworkSettingRow* stale = Find(rows, "Hosts", "intranet.example");
  NetworkSettingRow moved = *stale;
  moved.line = 5;
  EXPECT_EQ(RepairNetworkSetting(moved).error, static_cast<uint32_t>(ERROR_INVALID_DATA));
  EXPECT_EQ(test::ReadBytes(hosts_), expected);

  const StoredChangeSet set = OnlySet();
  ASSERT_EQ(set.manifest.items.size(), 1u);
  EXPECT_EQ(set.manifest.items[0].operation, "RewriteFile");
  RestoreAll();
  EXPECT_EQ(test::ReadBytes(hosts_), original);
}

TEST_F(NetworkSettingsScanTest, HostileAndHugeHostsFilesAreReadSafely) {
  // Over the read limit: the first part is read, a note says so, and a
  // repair of a line near the start still works on the whole file.
  std::string big = "1.2.3.4 www.paypal.com\n";
  const std::string filler = "0.0.0.0 ad-server-with-a-rather-long-name.example\n";
  while (big.size() <= kHostsReadLimit + filler.size()) big += filler;
  big += "5.6.7.8 beyond.example\n";
  test::WriteBytes(hosts_, big);
  auto rows = ScanNetworkSettings(tables_, places_);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].kind, "Note");
  EXPECT_NE(rows[0].verdict.find("only its first part"), std::string::npos);
  EXPECT_TRUE(Find(rows, "Hosts", "www.paypal.com")->flagged);
  EXPECT_FALSE(Find(rows, "Hosts", "beyond.example"));
  {
    Store store;
    {
      undo::ChangeSet set("Network Settings", "Repair");
      ASSERT_TRUE(RepairNetworkSetting(*Find(rows, "Hosts", "www.paypal.com")));
    }
    EXPECT_EQ(test::ReadBytes(hosts_), "# " + big);
    RestoreAll();
    EXPECT_EQ(test::ReadBytes(hosts_), big);
  }

  // Binary bytes and UTF-16: notes, no crash, nothing made up.
  const char bytes[] = "1.2.3.4 a\0b\n\x01\x02\xff\xfe garbage\n0.0.0.0 fine.example\n";
  const std::string binary(bytes, sizeof bytes - 1);
  test::WriteBytes(hosts_, binary);
  rows = ScanNetworkSettings(tables_, places_);
  ASSERT_TRUE(Find(rows, "Hosts", "fine.example"));
  EXPECT_TRUE(Find(rows, "Note", "Hosts file"));
  test::WriteBytes(hosts_, std::string("\xff\xfe" "1\0.\0", 6));
  rows = ScanNetworkSettings(tables_, places_);
  ASSERT_TRUE(Find(rows, "Note", "Hosts file"));
  EXPECT_NE(Find(rows, "Note", "Hosts file")->verdict.find("UTF-16"), std::string::npos);
}

// A hosts file left read-only (as adware leaves it to keep its lines): the
// line is commented out and the file is read-only again right after; the
// restore gives back its bytes and the attribute as the backup kept it,
// whatever the attribute is meanwhile. A file that cannot be changed keeps
// both.
TEST_F(NetworkSettingsScanTest, AReadOnlyHostsFileIsChangedAndStaysReadOnly) {
  const std::wstring path = std::filesystem::u8path(hosts_).wstring();
  const std::string original = "127.0.0.1 localhost\r\n1.2.3.4 www.google.com\r\n";
  test::WriteBytes(hosts_, original);
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  auto readOnly = [&path] { return (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0; };
  auto rows = ScanNetworkSettings(tables_, places_);
  const NetworkSettingRow* google = Find(rows, "Hosts", "www.google.com");
  ASSERT_TRUE(google);
  EXPECT_TRUE(google->readOnlyFile);
  {
    Store store;
    {
      undo::ChangeSet set("Network Settings", "Repair");
      const WriteResult r = RepairNetworkSetting(*google);
      ASSERT_TRUE(r) << r.message;
    }
    EXPECT_EQ(test::ReadBytes(hosts_), "127.0.0.1 localhost\r\n# 1.2.3.4 www.google.com\r\n");
    EXPECT_TRUE(readOnly());
    EXPECT_FALSE(Find(ScanNetworkSettings(tables_, places_), "Hosts", "www.google.com"));
    EXPECT_EQ(OnlySet().manifest.items[0].As<undo::FileChange>()->file.attributes & FILE_ATTRIBUTE_READONLY,
              static_cast<uint32_t>(FILE_ATTRIBUTE_READONLY));
    // Made writable meanwhile: the restore puts the attribute back too.
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE));
    RestoreAll();
    EXPECT_EQ(test::ReadBytes(hosts_), original);
    EXPECT_TRUE(readOnly());
  }
  // A file the replacement cannot take (held open without sharing): the
  // write fails, and the file keeps its bytes and its attribute.
  {
    win32::UniqueHfile held(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const WriteResult r = RepairNetworkSetting(*google);
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.message.empty());
  }
  EXPECT_EQ(test::ReadBytes(hosts_), original);
  EXPECT_TRUE(readOnly());
  // A file no longer read-only stays writable after a change.
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(RepairNetworkSetting(*google));
  EXPECT_FALSE(readOnly());
}

TEST_F(NetworkSettingsScanTest, ProxiesScriptsAndDnsServersAndTheirRemoval) {
  test::WriteBytes(hosts_, "");
  Dword(HKEY_CURRENT_USER, places_.internetSettings, "ProxyEnable", 1);
  String(HKEY_CURRENT_USER, places_.internetSettings, "ProxyServer", "http=proxy.evil.example:8080");
  String(HKEY_CURRENT_USER, places_.internetSettings, "ProxyOverride", "<local>");
  String(HKEY_CURRENT_USER, places_.internetSettings, "AutoConfigURL", "http://evil.example/wpad.dat");
  Dword(HKEY_LOCAL_MACHINE, places_.internetPolicies, "ProxyEnable", 1);
  String(HKEY_LOCAL_MACHINE, places_.internetPolicies, "ProxyServer", "proxy.corp.example:3128");
  Dword(HKEY_LOCAL_MACHINE, places_.internetSettings, "ProxyEnable", 1);
  String(HKEY_LOCAL_MACHINE, places_.internetSettings, "ProxyServer", "127.0.0.1:8888");
  String(HKEY_LOCAL_MACHINE, places_.tcpip, "NameServer", "8.8.8.8,192.168.0.1");
  String(HKEY_LOCAL_MACHINE, places_.tcpip + "\\Interfaces\\{11111111-2222-3333-4444-555555555555}", "NameServer",
         "198.51.100.53 1.1.1.1");
  String(HKEY_LOCAL_MACHINE, places_.tcpip + "\\Interfaces\\{11111111-2222-3333-4444-555555555555}",
         "DhcpNameServer", "203.0.113.53");
  String(HKEY_LOCAL_MACHINE, places_.tcpip6 + "\\Interfaces\\{66666666-2222-3333-4444-555555555555}", "NameServer",
         "2001:db8::53");
  places_.winHttpProxy = [] {
    return std::optional<WinHttpProxy>(WinHttpProxy{"proxy.evil.example:80", "<local>", "HKEY_CURRENT_USER\\X", "Y"});
  };

  const auto rows = ScanNetworkSettings(tables_, places_);
  const NetworkSettingRow* script = Find(rows, "Proxy Script", "User: AutoConfigURL");
  const NetworkSettingRow* proxy = Find(rows, "Proxy", "User: ProxyServer");
  ASSERT_TRUE(script && proxy);
  EXPECT_TRUE(script->flagged);
  EXPECT_TRUE(proxy->flagged);
  EXPECT_EQ(proxy->location, "HKEY_CURRENT_USER\\" + places_.internetSettings);
  EXPECT_FALSE(Find(rows, "Proxy", "User: ProxyOverride")->flagged);
  EXPECT_FALSE(Find(rows, "Proxy", "Machine policy: ProxyServer")->flagged);
  EXPECT_FALSE(Find(rows, "Proxy", "Machine: ProxyServer")->flagged);
  EXPECT_TRUE(Find(rows, "WinHTTP Proxy", "Machine: WinHTTP proxy")->flagged);
  EXPECT_FALSE(Find(rows, "DNS Server", "All interfaces")->flagged);
  const NetworkSettingRow* dns = Find(rows, "DNS Server", "{11111111-2222-3333-4444-555555555555}");
  ASSERT_TRUE(dns);
  EXPECT_TRUE(dns->flagged);
  EXPECT_FALSE(Find(rows, "DHCP DNS Server", "{11111111-2222-3333-4444-555555555555}")->flagged);
  EXPECT_TRUE(Find(rows, "DNS Server", "{66666666-2222-3333-4444-555555555555}")->flagged);

  const RegTreeCopy userBefore = Dump(HKEY_CURRENT_USER, keyRoot_);
  const RegTreeCopy machineBefore = Dump(HKEY_LOCAL_MACHINE, keyRoot_);
  {
    Store store;
    {
      undo::ChangeSet set("Network Settings", "Repair");
      for (const NetworkSettingRow* row : {script, proxy, dns}) {
        const WriteResult r = RepairNetworkSetting(*row);
        EXPECT_TRUE(r) << r.message;
      }
    }
    const auto after = ScanNetworkSettings(tables_, places_);
    EXPECT_FALSE(Find(after, "Proxy Script", "User: AutoConfigURL"));
    EXPECT_FALSE(Find(after, "Proxy", "User: ProxyServer"));
    EXPECT_FALSE(Find(after, "DNS Server", "{11111111-2222-3333-4444-555555555555}"));
    EXPECT_TRUE(Find(after, "DHCP DNS Server", "{11111111-2222-3333-4444-555555555555}"));
    EXPECT_FALSE(RegKey::Open(HKEY_CURRENT_USER, places_.internetSettings)->HasValue("ProxyEnable"));
    // A second repair finds nothing to delete and says so.
    EXPECT_TRUE(RepairNetworkSetting(*script).NotFound());
    EXPECT_EQ(OnlySet().manifest.items.size(), 4u);
    RestoreAll();
  }
  EXPECT_EQ(Dump(HKEY_CURRENT_USER, keyRoot_), userBefore);
  EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, keyRoot_), machineBefore);
}

// The resolver's DataBasePath naming another folder: its hosts file is read
// too (the system's stays first); the same folder written otherwise is not
// read twice.
TEST(NetworkSettingsSystem, TheDataBasePathFoldersHostsFile) {
  const std::string tcpip = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
  const auto key = RegKey::Open(HKEY_LOCAL_MACHINE, tcpip);
  const std::optional<win32::RegValue> had = key ? key->Read("DataBasePath") : std::nullopt;
  test::ScratchDir dir{"wldatabase"};
  test::WriteBytes(dir.File("hosts"), "127.0.0.1 localhost\n");
  ASSERT_EQ(RegWriteKey::Create(HKEY_LOCAL_MACHINE, tcpip)->WriteString("DataBasePath", dir.Path().string() + "\\"),
            ERROR_SUCCESS);
  const auto files = SystemHostsFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[1], dir.File("hosts"));
  ASSERT_EQ(RegWriteKey::Create(HKEY_LOCAL_MACHINE, tcpip)
                ->WriteString("DataBasePath", "%SystemRoot%\\SYSTEM32\\Drivers\\Etc", REG_EXPAND_SZ),
            ERROR_SUCCESS);
  EXPECT_EQ(SystemHostsFiles().size(), 1u);
  if (had)
    RegWriteKey::Create(HKEY_LOCAL_MACHINE, tcpip)->WriteRaw("DataBasePath", had->type, had->data);
  else
    RegWriteKey::Create(HKEY_LOCAL_MACHINE, tcpip)->DeleteValue("DataBasePath");
}

// Winsock catalogs through the seam (Wine's are nearly empty): a layered
// provider from a user's folder is flagged; Windows' own base provider and
// namespace provider are not.
TEST_F(NetworkSettingsScanTest, WinsockProvidersAreJudged) {
  test::WriteBytes(hosts_, "");
  const std::string lsp = dir_.File("wlsp.dll");
  test::WriteBytes(lsp, "MZ not really a provider");
  places_.winsockProviders = [lsp] {
    return std::vector<WinsockProvider>{
        {"Protocol", "MSAFD Tcpip [TCP/IP]", SystemFolder() + "\\mswsock.dll", "{E70F1AA0-AB8B-11CF-8CA3-00805F48A192} #1001", false},
        {"Protocol", "Shopping Helper LSP", lsp, "{12345678-0000-0000-0000-000000000001} #1010", true},
        {"Namespace", "Network Location Awareness", SystemFolder() + "\\NLAapi.dll", "{6642243A-3BA8-4AA6-BAA5-2E0BD71FDD83}", false}};
  };
  const test::SystemJudge judge(Tables());
  const auto rows = ScanNetworkSettings(tables_, places_, &judge.get());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].kind, "Winsock Provider");
  EXPECT_FALSE(rows[0].flagged) << rows[0].verdict;
  EXPECT_TRUE(rows[1].flagged) << rows[1].verdict;
  EXPECT_NE(rows[1].location.find("(layered)"), std::string::npos);
  EXPECT_EQ(rows[2].kind, "Winsock Namespace");
  EXPECT_FALSE(rows[2].flagged) << rows[2].verdict;
  // Without a judge they are listed, not flagged.
  for (const auto& r : ScanNetworkSettings(tables_, places_)) EXPECT_FALSE(r.flagged);
  // The system's own catalogs read without harm.
  (void)SystemWinsockProviders();
}

// A packed catalog item as the registry keeps it, made from the system's own
// structure (so the reader's field offsets are checked against it).
std::vector<uint8_t> PackedItem(const std::string& path, const char* guid, DWORD catalogId, int chainLen,
                                const wchar_t* name, std::size_t extra = 4) {
  static_assert(sizeof(WSAPROTOCOL_INFOW) == kProtocolInfoSize);
  WSAPROTOCOL_INFOW info{};
  const auto g = GuidFromText(guid);
  std::memcpy(&info.ProviderId, g->data(), 16);
  info.dwCatalogEntryId = catalogId;
  info.ProtocolChain.ChainLen = chainLen;
  info.ProtocolChain.ChainEntries[0] = catalogId;
  info.iAddressFamily = AF_INET;
  wcsncpy(info.szProtocol, name, WSAPROTOCOL_LEN);
  std::vector<uint8_t> bytes(MAX_PATH + sizeof info + extra, 0);
  std::memcpy(bytes.data(), path.data(), std::min<std::size_t>(path.size(), MAX_PATH - 1));
  std::memcpy(bytes.data() + MAX_PATH, &info, sizeof info);
  return bytes;
}

// The registry's catalogs beside what the setup routines list: the same
// entries once, the entries they skip and the 32-bit programs' catalog
// listed (and judged), damaged entries listed with why; nothing written.
TEST_F(NetworkSettingsScanTest, WinsockRegistryCatalogsAddWhatTheInterfacesSkip) {
  test::WriteBytes(hosts_, "");
  const std::string lsp = dir_.File("wlsp.dll");
  test::WriteBytes(lsp, "MZ not really a provider");
  const std::string parameters = keyRoot_ + "\\WinSock2\\Parameters";
  const std::string protocols = parameters + "\\Protocol_Catalog9\\Catalog_Entries64\\";
  const std::string protocols32 = parameters + "\\Protocol_Catalog9\\Catalog_Entries\\";
  const std::string spaces = parameters + "\\NameSpace_Catalog5\\Catalog_Entries64\\";
  auto binary = [](const std::string& key, const char* name, const std::vector<uint8_t>& data) {
    ASSERT_EQ(RegWriteKey::Create(HKEY_LOCAL_MACHINE, key)->WriteRaw(name, REG_BINARY, data), ERROR_SUCCESS);
  };
  const char* tcp = "{E70F1AA0-AB8B-11CF-8CA3-00805F48A192}";
  const char* hidden = "{12345678-0000-0000-0000-0000000000A1}";
  const char* nla = "{6642243A-3BA8-4AA6-BAA5-2E0BD71FDD83}";
  binary(protocols + "000000000001", "PackedCatalogItem",
         PackedItem("%SystemRoot%\\system32\\mswsock.dll", tcp, 1001, 1, L"MSAFD Tcpip [TCP/IP]"));
  binary(protocols + "000000000002", "PackedCatalogItem", PackedItem(lsp, hidden, 1010, 0, L"Hidden LSP", 0));
  binary(protocols + "000000000003", "PackedCatalogItem", std::vector<uint8_t>(100, 0x41));
  String(HKEY_LOCAL_MACHINE, protocols + "000000000004", "PackedCatalogItem", "not binary");
  binary(protocols32 + "000000000001", "PackedCatalogItem", PackedItem(lsp, hidden, 1001, 0, L"Hidden LSP", 4096));
  auto guidBytes = [](const char* text) {
    const auto g = GuidFromText(text);
    return std::vector<uint8_t>(g->begin(), g->end());
  };
  String(HKEY_LOCAL_MACHINE, spaces + "000000000001", "LibraryPath", "%SystemRoot%\\system32\\NLAapi.dll");
  String(HKEY_LOCAL_MACHINE, spaces + "000000000001", "DisplayString", "Network Location Awareness");
  binary(spaces + "000000000001", "ProviderId", guidBytes(nla));
  Dword(HKEY_LOCAL_MACHINE, spaces + "000000000001", "Enabled", 0);
  binary(spaces + "000000000002", "ProviderId", {1, 2, 3});
  places_.winsockCatalogs = parameters;
  places_.winsockProviders = [=] {
    WinsockProvider base{"Protocol", "MSAFD Tcpip [TCP/IP]", SystemFolder() + "\\mswsock.dll", "", false};
    base.providerId = tcp;
    base.catalogEntryId = 1001;
    WinsockProvider space{"Namespace", "Network Location Awareness", SystemFolder() + "\\NLAapi.dll", nla, false};
    space.providerId = nla;
    return std::vector<WinsockProvider>{base, space};
  };
  const RegTreeCopy before = Dump(HKEY_LOCAL_MACHINE, keyRoot_);
  const test::SystemJudge judge(Tables());
  const auto rows = ScanNetworkSettings(tables_, places_, &judge.get());
  EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, keyRoot_), before);
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_FALSE(rows[0].flagged) << rows[0].verdict;
  EXPECT_NE(rows[1].verdict.find("Disabled"), std::string::npos) << rows[1].verdict;
  // The layered provider the routines do not list: flagged, removable.
  const NetworkSettingRow& skipped = rows[2];
  EXPECT_EQ(skipped.name, "Hidden LSP");
  EXPECT_EQ(skipped.value, lsp);
  EXPECT_TRUE(skipped.flagged) << skipped.verdict;
  EXPECT_NE(skipped.verdict.find("do not list it"), std::string::npos);
  EXPECT_NE(skipped.location.find("only in the registry: HKEY_LOCAL_MACHINE\\" + protocols + "000000000002"),
            std::string::npos)
      << skipped.location;
  EXPECT_EQ(skipped.repair, NetworkRepair::RemoveWinsockProvider);
  EXPECT_EQ(skipped.providerId, hidden);
  EXPECT_FALSE(skipped.wow32);
  // The damaged entries: listed with why, nothing to remove.
  for (std::size_t i : {3u, 4u}) {
    EXPECT_TRUE(rows[i].problem);
    EXPECT_EQ(rows[i].repair, NetworkRepair::None);
  }
  EXPECT_NE(rows[3].verdict.find("100 bytes"), std::string::npos) << rows[3].verdict;
  EXPECT_NE(rows[4].verdict.find("not binary"), std::string::npos) << rows[4].verdict;
  // The 32-bit programs' catalog.
  EXPECT_TRUE(rows[5].wow32);
  EXPECT_TRUE(rows[5].flagged);
  EXPECT_NE(rows[5].location.find("(32-bit)"), std::string::npos);
  EXPECT_TRUE(rows[6].problem);
  EXPECT_EQ(rows[6].kind, "Winsock Namespace");
}

// The removal of a flagged provider through the setup routines' seam, with
// the recorder on: the chain over it goes too, the restore installs both
// again. A routine that reports success and removes nothing, a 32-bit entry
// the 64-bit catalog holds too: refused, nothing lost.
TEST(NetworkSettingsWinsock, AFlaggedProviderIsRemovedThroughTheSetupRoutinesAndComesBack) {
  struct Catalog {
    std::vector<WinsockProviderSetup> providers;
    bool ignoreRemoval = false;
  } catalog;
  auto entry = [](const char* guid, DWORD id, int chainLen, std::vector<DWORD> chain) {
    WSAPROTOCOL_INFOW info{};
    const auto g = GuidFromText(guid);
    std::memcpy(&info.ProviderId, g->data(), 16);
    info.dwCatalogEntryId = id;
    info.ProtocolChain.ChainLen = chainLen;
    for (std::size_t i = 0; i < chain.size(); ++i) info.ProtocolChain.ChainEntries[i] = chain[i];
    const auto* raw = reinterpret_cast<const uint8_t*>(&info);
    return std::vector<uint8_t>(raw, raw + sizeof info);
  };
  const char* base = "{E70F1AA0-AB8B-11CF-8CA3-00805F48A192}";
  const char* layered = "{5A5A0000-0000-0000-0000-000000000001}";
  const char* chain = "{5A5A0000-0000-0000-0000-000000000002}";
  const char* other = "{5A5A0000-0000-0000-0000-000000000003}";
  catalog.providers = {{false, false, base, "%SystemRoot%\\system32\\mswsock.dll", {entry(base, 1001, 1, {1001})}},
                       {false, false, layered, "C:\\lsp.dll", {entry(layered, 1010, 0, {})}},
                       {false, false, chain, "C:\\lsp.dll", {entry(chain, 1011, 2, {1010, 1001}), entry(chain, 1012, 2, {1010, 1001})}},
                       {false, true, other, "C:\\lsp32.dll", {entry(other, 1001, 0, {})}},
                       {false, false, other, "C:\\lsp64.dll", {entry(other, 1020, 0, {})}}};
  const auto before = catalog.providers;
  DWORD nextId = 3000;
  WinsockSetupRoutines routines;
  routines.list = [&](bool nameSpace, bool wow32, uint32_t&) {
    std::vector<WinsockProviderSetup> out;
    for (const auto& p : catalog.providers)
      if (p.nameSpace == nameSpace && p.wow32 == wow32) out.push_back(p);
    return std::optional(out);
  };
  routines.remove = [&](const WinsockProviderSetup& p) -> uint32_t {
    if (!catalog.ignoreRemoval)
      std::erase_if(catalog.providers,
                    [&](const auto& q) { return q.providerId == p.providerId && q.wow32 == p.wow32; });
    return 0;
  };
  routines.install = [&](WinsockProviderSetup p) -> uint32_t {
    for (auto& bytes : p.protocols) std::memcpy(bytes.data() + offsetof(WSAPROTOCOL_INFOW, dwCatalogEntryId), &nextId, 4);
    ++nextId;
    catalog.providers.push_back(p);
    return 0;
  };
  const ScopedWinsockSetup seam(routines);

  NetworkSettingRow row;
  row.kind = "Winsock Provider";
  row.repair = NetworkRepair::RemoveWinsockProvider;
  row.providerId = layered;
  ASSERT_TRUE(CanRepair(row));
  {
    Store store;
    // A routine that says done and changes nothing: a failure that says so.
    catalog.ignoreRemoval = true;
    WriteResult r = RepairNetworkSetting(row);
    EXPECT_FALSE(r);
    EXPECT_NE(r.message.find("still lists it"), std::string::npos) << r.message;
    catalog.ignoreRemoval = false;
    // The 32-bit entry of a provider the 64-bit catalog holds too.
    NetworkSettingRow both = row;
    both.providerId = other;
    both.wow32 = true;
    r = RepairNetworkSetting(both);
    EXPECT_EQ(r.error, static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
    EXPECT_NE(r.message.find("64-bit catalog first"), std::string::npos) << r.message;
    EXPECT_EQ(catalog.providers, before);
    std::string id;
    {
      undo::ChangeSet set("Network Settings", "Repair");
      r = RepairNetworkSetting(row);
      ASSERT_TRUE(r) << r.message;
      id = set.Id();
    }
    ASSERT_EQ(catalog.providers.size(), 3u);  // the base provider and the other's two entries stay
    EXPECT_TRUE(RepairNetworkSetting(row).NotFound());
    const StoredChangeSet set = *undo::FindChangeSet(id);
    const auto& items = set.manifest.items;
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.back().operation, "RemoveWinsockProvider");
    const auto& providers = items.back().As<undo::WinsockChange>()->providers;
    ASSERT_EQ(providers.size(), 2u);
    EXPECT_EQ(providers[0].providerId, chain);
    EXPECT_EQ(providers[0].protocols.size(), 2u);
    const undo::RestoreReport report = RestoreChangeSet(set, false);
    EXPECT_TRUE(report.AllRestored()) << report.Text();
  }
  ASSERT_EQ(catalog.providers.size(), 5u);
  const auto* back = &catalog.providers[3];
  const auto* backChain = &catalog.providers[4];
  EXPECT_EQ(back->providerId, layered);
  EXPECT_EQ(backChain->providerId, chain);
  const auto newId = ParseProtocolInfo(back->protocols[0].data(), kProtocolInfoSize)->catalogEntryId;
  for (const auto& bytes : backChain->protocols)
    EXPECT_EQ(ParseProtocolInfo(bytes.data(), bytes.size())->ChainIds(), (std::vector<uint32_t>{newId, 1001}));
}

// The system's own routines: under Wine they report success and change
// nothing; the write says so instead of claiming it done. A provider the
// system did install is removed again.
TEST(NetworkSettingsWinsock, TheSystemsSetupRoutinesAreCheckedAfterwards) {
  uint32_t error = 0;
  const auto protocols = ListWinsockProviders(false, false, error);
  ASSERT_TRUE(protocols) << error;
  EXPECT_TRUE(ListWinsockProviders(true, false, error));
  EXPECT_TRUE(RemoveWinsockProvider("{5A5A0000-0000-0000-0000-0000000000FF}", false, false).NotFound());
  EXPECT_TRUE(RemoveWinsockProvider("{5A5A0000-0000-0000-0000-0000000000FF}", true, true).NotFound());
  EXPECT_EQ(RemoveWinsockProvider("not a guid", false, false).error, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  if (protocols->empty()) GTEST_SKIP() << "the system lists no protocol provider to copy";
  WinsockProviderSetup made = protocols->front();
  made.providerId = "{5A5A0000-0000-0000-0000-0000000000FE}";
  for (auto& bytes : made.protocols) {
    const auto g = GuidFromText(made.providerId);
    std::memcpy(bytes.data() + offsetof(WSAPROTOCOL_INFOW, ProviderId), g->data(), 16);
  }
  made.dllPath = "%SystemRoot%\\system32\\wlnone.dll";
  const WriteResult r = InstallWinsockProviders({made});
  const auto after = ListWinsockProviders(false, false, error);
  bool listed = false;
  for (const auto& p : *after) listed = listed || p.providerId == made.providerId;
  EXPECT_EQ(r.ok(), listed) << r.message;
  if (!r) std::printf("the system's install routine: %s\n", r.message.c_str());
  if (listed) {
    EXPECT_TRUE(RemoveWinsockProvider(made.providerId, false, false));
  }
}

// The places of this system: the user's real Internet Settings key and the
// prefix's own hosts file, as the hidden machinery of the page reads them.
TEST(NetworkSettingsSystem, TheUsersProxyScriptAndTheSystemsHostsFile) {
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  const auto before = RegKey::Open(HKEY_CURRENT_USER, key);
  const std::optional<std::string> had = before ? before->ReadString("AutoConfigURL") : std::nullopt;
  ASSERT_FALSE(had) << "the prefix has a proxy script already";
  // Named so that the tests comparing whole scans beside this one leave it out.
  const std::string url = "http://wltest.example/" + std::to_string(GetCurrentProcessId()) + ".pac";
  ASSERT_EQ(RegWriteKey::Create(HKEY_CURRENT_USER, key)->WriteString("AutoConfigURL", url), ERROR_SUCCESS);

  const auto rows = ScanNetworkSettings(Tables());
  const NetworkSettingRow* script = Find(rows, "Proxy Script", "User: AutoConfigURL");
  ASSERT_TRUE(script);
  EXPECT_EQ(script->value, url);
  EXPECT_TRUE(script->flagged);
  // The system's hosts file maps localhost to this computer: not flagged.
  ASSERT_FALSE(SystemHostsFiles().empty());
  EXPECT_TRUE(SystemHostsFiles()[0].ends_with("\\drivers\\etc\\hosts"));
  for (const auto& r : rows) {
    if (r.kind == "Hosts" && r.name == "localhost") {
      EXPECT_FALSE(r.flagged);
    }
  }
  {
    Store store;
    {
      undo::ChangeSet set("Network Settings", "Repair");
      ASSERT_TRUE(RepairNetworkSetting(*script));
    }
    EXPECT_FALSE(RegKey::Open(HKEY_CURRENT_USER, key)->ReadString("AutoConfigURL"));
    RestoreAll();
  }
  EXPECT_EQ(RegKey::Open(HKEY_CURRENT_USER, key)->ReadString("AutoConfigURL"), url);
  DeleteRegValue(HKEY_CURRENT_USER, key, "AutoConfigURL");
}

// The machine's roots (under Wine: the host's public roots) all pass; roots
// planted in the machine's and the user's stores are flagged, deleted with a
// backup and put back into the same store.
TEST(NetworkSettingsSystem, RootCertificatesOfTheMachineAndPlantedOnes) {
  const std::string userRoot = "CurrentUser\\ROOT", machineRoot = "LocalMachine\\ROOT";
  auto plant = [](DWORD location, const std::vector<uint8_t>& der) {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, location, L"ROOT");
    ASSERT_TRUE(store);
    EXPECT_TRUE(CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                 CERT_STORE_ADD_REPLACE_EXISTING, nullptr));
    CertCloseStore(store, 0);
  };
  plant(CERT_SYSTEM_STORE_CURRENT_USER, test::kTestRoot3);
  plant(CERT_SYSTEM_STORE_LOCAL_MACHINE, test::kTestRoot4);
  NetworkSettingsPlaces places;
  places.rootStores = NetworkSettingsPlaces::OfThisSystem().rootStores;
  const auto rows = ScanNetworkSettings(Tables(), places);
  std::size_t passed = 0;
  std::string flagged;
  const NetworkSettingRow *inUser = nullptr, *inMachine = nullptr;
  for (const auto& r : rows) {
    // The other places are read too; tests beside this one plant there.
    if (r.kind != "Root Certificate") continue;
    if (r.thumbprint == test::kTestRoot3Sha1) inUser = &r;
    if (r.thumbprint == test::kTestRoot4Sha1) inMachine = &r;
    if (!r.certStore.starts_with("LocalMachine") || r.name.starts_with("WlTest Root")) continue;
    if (r.flagged)
      flagged += r.certStore + " " + r.name + "; ";
    else
      ++passed;
  }
  // Wine fills the machine's store from the host's roots: the public ones
  // pass. A host may add its own (a company's or a proxy's CA); those are
  // rightly flagged, but they are few.
  EXPECT_GT(passed, 100u);
  EXPECT_LE(std::count(flagged.begin(), flagged.end(), ';'), 5) << flagged;
  if (!flagged.empty()) std::printf("roots of this host that no public program lists: %s\n", flagged.c_str());
  ASSERT_TRUE(inUser && inMachine);
  EXPECT_EQ(inUser->name, "WlTest Root 3");
  EXPECT_EQ(inUser->certStore, userRoot);
  EXPECT_EQ(inMachine->certStore, machineRoot);
  EXPECT_TRUE(inUser->flagged);
  EXPECT_TRUE(inMachine->flagged);
  // Both are in the hijack report.
  int reported = 0;
  for (const HijackRow& h : NetworkSettingsPageTextOf(rows).hijack)
    reported += h.entryKey == userRoot + "|" + test::kTestRoot3Sha1 + "|WlTest Root 3" ||
                h.entryKey == machineRoot + "|" + test::kTestRoot4Sha1 + "|WlTest Root 4";
  EXPECT_EQ(reported, 2);
  {
    Store store;
    {
      undo::ChangeSet set("Network Settings", "Repair");
      for (const NetworkSettingRow* row : {inUser, inMachine}) {
        const WriteResult r = RepairNetworkSetting(*row);
        ASSERT_TRUE(r) << r.message;
      }
    }
    EXPECT_EQ(CertificateInStore(userRoot, test::kTestRoot3Sha1), false);
    EXPECT_EQ(CertificateInStore(machineRoot, test::kTestRoot4Sha1), false);
    // Gone from what the scan lists too.
    for (const auto& r : ScanNetworkSettings(Tables(), places))
      EXPECT_TRUE(r.thumbprint != test::kTestRoot3Sha1 && r.thumbprint != test::kTestRoot4Sha1) << r.name;
    RestoreAll();
  }
  EXPECT_EQ(CertificateInStore(userRoot, test::kTestRoot3Sha1), true);
  EXPECT_EQ(CertificateInStore(machineRoot, test::kTestRoot4Sha1), true);
  EXPECT_TRUE(DeleteCertificate(userRoot, test::kTestRoot3Sha1));
  EXPECT_TRUE(DeleteCertificate(machineRoot, test::kTestRoot4Sha1));
}

// The enterprise and group-policy root stores: opened without making them
// (the registry's certificate keys are as they were), their roots listed
// under the store they are kept in, judged by the same rule, deleted from
// that store with a backup and put back into it.
TEST(NetworkSettingsSystem, EnterpriseAndGroupPolicyRootStores) {
  const std::vector<std::string> stores = {"LocalMachineGroupPolicy\\ROOT", "LocalMachineEnterprise\\ROOT",
                                           "CurrentUserGroupPolicy\\ROOT"};
  // Where these stores live (other tests change the user's and the
  // machine's own stores meanwhile).
  auto certificateKeys = [] {
    std::vector<std::string> lines;
    for (std::string& line : test::DumpRegistry())
      if (line.find("Policies\\Microsoft\\SystemCertificates") != std::string::npos ||
          line.find("EnterpriseCertificates") != std::string::npos)
        lines.push_back(std::move(line));
    return lines;
  };
  // Wine makes the machine's own stores at the first open in a prefix.
  (void)ReadRootCertificates({"LocalMachine\\ROOT", "CurrentUser\\ROOT"});
  const std::vector<std::string> before = certificateKeys();
  (void)ReadRootCertificates(stores);
  EXPECT_EQ(certificateKeys(), before) << test::RegistryDifference(before, certificateKeys());

  // Made by the write routines (as a domain would fill them).
  const std::string policy = stores[0], enterprise = stores[1];
  const bool policyKeyBefore = RegKey::Exists(HKEY_LOCAL_MACHINE, "Software\\Policies\\Microsoft\\SystemCertificates\\Root");
  const bool enterpriseKeyBefore = RegKey::Exists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\EnterpriseCertificates\\Root");
  const WriteResult added = AddCertificate(policy, test::kTestRoot1);
  ASSERT_TRUE(added) << added.message;
  // Wine's certificate stores have no enterprise location (it cannot be
  // opened at all): there the enterprise store is checked as not read only.
  const WriteResult addedEnterprise = AddCertificate(enterprise, test::kTestRoot2);
  const bool withEnterprise = addedEnterprise.ok();
  if (!withEnterprise) std::printf("no enterprise store: %s\n", addedEnterprise.message.c_str());
  EXPECT_EQ(CertificateInStore("LocalMachine\\ROOT", test::kTestRoot1Sha1), false);  // its own store only
  NetworkSettingsPlaces places;
  places.rootStores = NetworkSettingsPlaces::OfThisSystem().rootStores;
  auto find = [](const std::vector<NetworkSettingRow>& rows, const std::string& sha1) {
    std::vector<const NetworkSettingRow*> found;
    for (const auto& r : rows)
      if (r.thumbprint == sha1) found.push_back(&r);
    return found;
  };
  const auto rows = ScanNetworkSettings(Tables(), places);
  const auto inPolicy = find(rows, test::kTestRoot1Sha1), inEnterprise = find(rows, test::kTestRoot2Sha1);
  ASSERT_EQ(inPolicy.size(), 1u);  // once, though the machine's and the user's root stores show it too
  EXPECT_EQ(inPolicy[0]->location, policy);
  EXPECT_TRUE(inPolicy[0]->flagged);
  EXPECT_NE(inPolicy[0]->verdict.find("group policy"), std::string::npos) << inPolicy[0]->verdict;
  std::vector<const NetworkSettingRow*> repaired = {inPolicy[0]};
  if (withEnterprise) {
    ASSERT_EQ(inEnterprise.size(), 1u);
    EXPECT_EQ(inEnterprise[0]->location, enterprise);
    EXPECT_NE(inEnterprise[0]->verdict.find("enterprise"), std::string::npos) << inEnterprise[0]->verdict;
    repaired.push_back(inEnterprise[0]);
  }
  {
    Store store;
    {
      undo::ChangeSet set("Network Settings", "Repair");
      for (const NetworkSettingRow* row : repaired) {
        ASSERT_TRUE(CanRepair(*row));
        const WriteResult r = RepairNetworkSetting(*row);
        ASSERT_TRUE(r) << r.message;
      }
    }
    EXPECT_EQ(CertificateInStore(policy, test::kTestRoot1Sha1), false);
    if (withEnterprise) {
      EXPECT_EQ(CertificateInStore(enterprise, test::kTestRoot2Sha1), false);
    }
    const auto after = ScanNetworkSettings(Tables(), places);
    EXPECT_TRUE(find(after, test::kTestRoot1Sha1).empty());
    const StoredChangeSet set = OnlySet();
    ASSERT_EQ(set.manifest.items.size(), repaired.size());
    EXPECT_EQ(set.manifest.items[0].As<undo::CertificateChange>()->kept.store, policy);  // the backup names the store and its location
    RestoreAll();
  }
  EXPECT_EQ(CertificateInStore(policy, test::kTestRoot1Sha1), true);
  EXPECT_TRUE(DeleteCertificate(policy, test::kTestRoot1Sha1));
  if (withEnterprise) {
    EXPECT_EQ(CertificateInStore(enterprise, test::kTestRoot2Sha1), true);
    EXPECT_TRUE(DeleteCertificate(enterprise, test::kTestRoot2Sha1));
  }
  if (!policyKeyBefore) RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Policies\\Microsoft\\SystemCertificates\\Root");
  if (!enterpriseKeyBefore) RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\EnterpriseCertificates\\Root");
}

}  // namespace
}  // namespace wl
