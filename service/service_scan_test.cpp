#include "service/service_scan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/hive.h"
#include "core/utf8_path.h"
#include "sysroutines/system_source.h"
#include "tests/support/test_support.h"

#include "service/service_manager.h"
#include "service/test_service_fixture.h"
#include "sysroutines/system_info.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;

// Records what the scan asks the judge; Windows' own for the commands
// given, else unknown and flagged.
struct RecordingVerdict {
  std::map<std::string, std::string> asked;  // ImagePath as stored -> its ServiceDll
  std::vector<std::string> systemFiles;
  ServiceJudgeFn Fn() {
    return [this](const std::vector<JudgeRequest>& requests) {
      std::vector<Judgement> out;
      for (const JudgeRequest& r : requests) {
        asked[r.command] = r.serviceDll;
        Judgement j;
        const bool sys = std::find(systemFiles.begin(), systemFiles.end(), r.command) != systemFiles.end();
        j.verdict = sys ? Verdict::Trusted : Verdict::Unknown;
        j.windowsFile = sys;
        j.flagged = !sys;
        out.push_back(j);
      }
      return out;
    };
  }
};

const ServiceRow* Find(const ServiceScanResult& r, const std::string& keyName) {
  for (const auto& row : r.rows)
    if (row.keyName == keyName) return &row;
  return nullptr;
}

bool Flagged(const ServiceScanResult& r, const std::string& keyName) {
  for (const auto& h : r.hijack)
    if (h.itemName == keyName && h.description == "System Service") return true;
  return false;
}

std::string Upper(std::string s) { return AsciiUpper(s); }

TEST(ServiceScan, ListsATestServiceWithItsValues) {
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  RegWriteKey::Open(HKEY_LOCAL_MACHINE, svc.registryKey(), KEY_WRITE)->WriteString("Description", "Test service");
  RecordingVerdict verdict;
  auto r = ScanServices(verdict.Fn());
  const ServiceRow* row = Find(r, svc.keyName());
  ASSERT_TRUE(row);
  EXPECT_EQ(row->description, "Test service");
  EXPECT_EQ(row->state, "Stopp");
  EXPECT_TRUE(row->stopped);
  EXPECT_EQ(row->startup, "Manual_Start");
  EXPECT_EQ(row->path, Upper("\"" + svc.program() + "\""));
  EXPECT_EQ(row->analyze, "Distrustful File");
  EXPECT_FALSE(row->systemFile);
  EXPECT_EQ(verdict.asked.count("\"" + svc.program() + "\""), 1u);  // judged by the command as stored
  EXPECT_TRUE(Flagged(r, svc.keyName()));

  ASSERT_TRUE(ServiceStart("", svc.keyName()));
  r = ScanServices(verdict.Fn());
  ASSERT_TRUE(Find(r, svc.keyName()));
  EXPECT_EQ(Find(r, svc.keyName())->state, "Running");
  EXPECT_FALSE(Find(r, svc.keyName())->stopped);
}

TEST(ServiceScan, AServiceWithoutADisplayNameIsListedAndFlaggedByItsKeyName) {
  test::TestService named, unnamed("", "wl_test_service", false);
  ASSERT_TRUE(named.ok() && unnamed.ok());
  ASSERT_EQ(unnamed.displayName(), "");
  RecordingVerdict verdict;
  const auto r = ScanServices(verdict.Fn());
  const ServiceRow* row = Find(r, unnamed.keyName());
  ASSERT_TRUE(row);
  EXPECT_EQ(row->path, Upper("\"" + unnamed.program() + "\""));
  EXPECT_EQ(row->analyze, "Distrustful File");
  EXPECT_TRUE(Flagged(r, unnamed.keyName()));
  ASSERT_TRUE(Find(r, named.keyName()));
  EXPECT_EQ(Find(r, named.keyName())->displayName, named.displayName());
  // Each service once.
  std::size_t seen = 0;
  for (const auto& listed : r.rows) seen += listed.keyName == unnamed.keyName() ? 1 : 0;
  EXPECT_EQ(seen, 1u);
}

TEST(ServiceScan, MissingValuesAndTheSystemRootForm) {
  test::TestService noValues, svchost;
  ASSERT_TRUE(noValues.ok() && svchost.ok());
  {
    auto k = RegWriteKey::Open(HKEY_LOCAL_MACHINE, noValues.registryKey(), KEY_READ | KEY_WRITE);
    k->DeleteValue("Description");
    k->DeleteValue("Start");
    k->DeleteValue("ImagePath");
    // Read as stored whether the path is a plain or an expandable string.
    RegWriteKey::Open(HKEY_LOCAL_MACHINE, svchost.registryKey(), KEY_WRITE)
        ->WriteString("ImagePath", "%SystemRoot%\\System32\\svchost.exe -k netsvcs", REG_EXPAND_SZ);
    RegWriteKey::Create(HKEY_LOCAL_MACHINE, svchost.registryKey() + "\\Parameters", KEY_WRITE)
        ->WriteString("ServiceDll", "%SystemRoot%\\System32\\wlsvc.dll", REG_EXPAND_SZ);
  }
  const std::string windowsDir = GetWindowsDir();
  const std::string svchostCommand = "%SystemRoot%\\System32\\svchost.exe -k netsvcs";
  RecordingVerdict verdict;
  verdict.systemFiles = {svchostCommand};
  const auto r = ScanServices(verdict.Fn());

  const ServiceRow* bare = Find(r, noValues.keyName());
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->description, "");
  EXPECT_EQ(bare->startup, "Unknown");
  EXPECT_EQ(bare->path, "");
  EXPECT_EQ(bare->analyze, "Distrustful File");
  EXPECT_TRUE(Flagged(r, noValues.keyName()));

  const ServiceRow* host = Find(r, svchost.keyName());
  ASSERT_TRUE(host);
  EXPECT_EQ(host->path, windowsDir + "\\SYSTEM32\\SVCHOST.EXE -K NETSVCS");
  ASSERT_EQ(verdict.asked.count(svchostCommand), 1u);
  EXPECT_EQ(verdict.asked[svchostCommand], "%SystemRoot%\\System32\\wlsvc.dll");  // what svchost loads for it
  EXPECT_TRUE(host->systemFile);
  EXPECT_FALSE(Flagged(r, svchost.keyName()));
}

TEST(ServiceScan, AServiceWhoseKeyHasNoTypeIsNotListed) {
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  RegWriteKey::Open(HKEY_LOCAL_MACHINE, svc.registryKey(), KEY_WRITE)->DeleteValue("Type");
  RecordingVerdict verdict;
  EXPECT_FALSE(Find(ScanServices(verdict.Fn()), svc.keyName()));
}

TEST(ServiceScan, NoDriversAreListed) {
  RecordingVerdict verdict;
  for (const auto& row : ScanServices(verdict.Fn()).rows) {
    const auto key = RegKey::Open(HKEY_LOCAL_MACHINE, kServicesKey + row.keyName, KEY_READ);
    const auto type = key ? key->ReadDword("Type") : std::nullopt;
    if (!type) continue;  // removed since the scan by a test running beside this one
    EXPECT_EQ(*type & 0x0Fu, 0u) << row.keyName;  // kernel and file-system driver bits
  }
}

// The services of another Windows, from the real SYSTEM hive of the tests
// laid out as its volume: every key of its current control set whose type
// is a service's, in the hive's order, judged by what is stored; no driver,
// no state, and nothing of this PC's services.
TEST(ServiceScanOffline, TheServicesOfTheSystemsHiveAreListedAndJudgedAsStored) {
  test::TestService live;
  ASSERT_TRUE(live.ok());
  std::string data = std::string("Z:") + WL_HIVE_DATA_DIR + "/SYSTEM";
  std::replace(data.begin(), data.end(), '/', '\\');
  test::ScratchDir dir("wl-services");
  const std::filesystem::path config = dir.Path() / "Windows" / "System32" / "config";
  std::filesystem::create_directories(config);
  test::WriteBytes(Utf8FromPath(config / "SYSTEM"), test::ReadBytes(data));

  std::string error;
  const auto hive = hive::OpenHiveFile(data, {}, error);
  ASSERT_TRUE(hive) << error;
  char controlSet[32];
  std::snprintf(controlSet, sizeof controlSet, "ControlSet%03u\\Services",
                *hive->Find("Select")->GetValue("Current")->Dword());
  std::vector<std::string> expected;
  for (const hive::Key& k : hive->Find(controlSet)->Subkeys()) {
    const auto type = k.GetValue("Type");
    const auto bits = type ? type->Dword() : std::nullopt;
    if (bits && (*bits & 0x30) != 0 && (*bits & 0x0F) == 0) expected.push_back(k.Name());
  }
  ASSERT_GT(expected.size(), 50u);

  RecordingVerdict verdict;
  const auto r = ScanServices(verdict.Fn(), OfflineSystemSource(Utf8FromPath(dir.Path())));
  std::vector<std::string> listed;
  for (const ServiceRow& row : r.rows) listed.push_back(row.keyName);
  EXPECT_EQ(listed, expected);
  EXPECT_FALSE(Find(r, live.keyName()));
  EXPECT_FALSE(Find(r, "Tcpip"));  // a driver
  const ServiceRow* dhcp = Find(r, "Dhcp");
  ASSERT_TRUE(dhcp);
  EXPECT_EQ(dhcp->state, "");
  EXPECT_EQ(dhcp->path, "C:\\Windows\\SYSTEM32\\SVCHOST.EXE -K LOCALSERVICENETWORKRESTRICTED");
  EXPECT_EQ(dhcp->serviceDll, "%SystemRoot%\\system32\\dhcpcore.dll");
  // Its description's file is not in the collected set: shown as stored.
  EXPECT_EQ(dhcp->description, "@%SystemRoot%\\system32\\dhcpcore.dll,-101");
  EXPECT_EQ(verdict.asked.count("%SystemRoot%\\system32\\svchost.exe -k LocalServiceNetworkRestricted"), 1u);
  EXPECT_EQ(r.hijack.size(), r.rows.size());  // the stand-in judge flags all it does not know
}

}  // namespace
}  // namespace wl
