#include "service/service_actions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "judge/testing/system_judge.h"

#include "service/service_manager.h"
#include "service/test_service_fixture.h"
#include "win32/file_path.h"
#include "win32/registry.h"
#include "win32/unicode.h"
#include "core/ascii.h"
#include "tests/support/test_support.h"

namespace wl {
namespace {

using win32::RegKey;

std::vector<Judgement> AllUnknown(const std::vector<JudgeRequest>& requests) {
  return std::vector<Judgement>(requests.size());
}

ServiceRow RowFor(const test::TestService& svc) {
  const auto r = ScanServices(AllUnknown);
  for (const auto& row : r.rows)
    if (row.keyName == svc.keyName()) return row;
  ADD_FAILURE() << "not listed: " << svc.keyName();
  return {};
}

TEST(ServiceActions, EachStartTypeWritesStart) {
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  const std::pair<uint32_t, const char*> cases[] = {
      {kStartAuto, "Auto_Start"}, {kStartDemand, "Manual_Start"}, {kStartDisabled, "Disabled"}};
  for (const auto& [value, name] : cases) {
    ASSERT_TRUE(SetServiceStartType(svc.keyName(), value));
    const auto key = RegKey::Open(HKEY_LOCAL_MACHINE, svc.registryKey(), KEY_READ);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->Read("Start")->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(key->ReadDword("Start"), value);
    EXPECT_EQ(RowFor(svc).startup, name);
  }
  // A service that is gone is not brought back by a start-type change.
  const auto gone = SetServiceStartType("WlNoSuchService7f3a", kStartAuto);
  EXPECT_TRUE(gone.NotFound());
  EXPECT_FALSE(gone.message.empty());
  EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, std::string(kServicesKey) + "WlNoSuchService7f3a"));
}

TEST(ServiceActions, RemovalStopsTheServiceAndDeletesItsKeyAndProgram) {
  const test::SystemJudge judge;
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  ASSERT_TRUE(ServiceStart("", svc.keyName()));
  const ServiceRow row = RowFor(svc);
  ASSERT_EQ(row.state, "Running");
  const auto result = RemoveServiceEntry(row, judge.get());
  EXPECT_EQ(result.outcome, RemoveServiceOutcome::Removed);
  EXPECT_TRUE(result.keyResult.ok()) << result.keyResult.message;
  ASSERT_TRUE(result.fileResult);
  EXPECT_TRUE(result.fileResult->ok()) << result.fileResult->message;
  EXPECT_TRUE(test::WaitForServiceKeyGone(svc.keyName()));
  EXPECT_FALSE(win32::FileExists(svc.program()));
  EXPECT_EQ(ServiceGetStatus("", svc.keyName()), 0u);  // unknown to the manager too
}

TEST(ServiceActions, RemovalIsRefusedForSystemFilesAndServicesThatDoNotStop) {
  const test::SystemJudge judge;
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  ServiceRow row = RowFor(svc);
  auto untouched = [&] {
    EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, svc.registryKey()));
    EXPECT_TRUE(win32::FileExists(svc.program()));
  };
  row.systemFile = true;
  EXPECT_EQ(RemoveServiceEntry(row, judge.get()).outcome, RemoveServiceOutcome::SystemService);
  untouched();
  // The row is old: the service runs a program of Windows now (the
  // Windows folder's explorer, which says it is Microsoft's).
  wchar_t windows[MAX_PATH];
  const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, svc.registryKey(), "ImagePath",
                             win32::Narrow(std::wstring_view(windows, n)) + "\\explorer.exe"));
  row.systemFile = false;
  EXPECT_EQ(RemoveServiceEntry(row, judge.get()).outcome, RemoveServiceOutcome::SystemService);
  untouched();

  test::TestService stubborn("--refuse-stop");
  ASSERT_TRUE(stubborn.ok());
  ASSERT_TRUE(ServiceStart("", stubborn.keyName()));
  const auto result = RemoveServiceEntry(RowFor(stubborn), judge.get(), 1000);
  EXPECT_EQ(result.outcome, RemoveServiceOutcome::CannotStop);
  EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, stubborn.registryKey()));
  EXPECT_TRUE(win32::FileExists(stubborn.program()));
}

// A program whose version information says "Microsoft Corporation" but that
// Microsoft did not sign is no system file: it is flagged, and can be removed.
TEST(ServiceActions, AProgramThatOnlyClaimsMicrosoftIsFlaggedAndRemovable) {
  test::TestService ms("", "wl_version_microsoft");
  test::TestService own;
  ASSERT_TRUE(ms.ok() && own.ok());
  const test::SystemJudge judge;
  const auto scan = ScanServices(judge.get());  // the real judge
  const ServiceRow *msRow = nullptr, *ownRow = nullptr;
  for (const auto& row : scan.rows) {
    if (row.keyName == ms.keyName()) msRow = &row;
    if (row.keyName == own.keyName()) ownRow = &row;
  }
  ASSERT_TRUE(msRow && ownRow);
  EXPECT_FALSE(msRow->systemFile);
  EXPECT_EQ(msRow->judgement.verdict, Verdict::Suspicious);
  EXPECT_NE(msRow->analyze.find("Says it is from Microsoft Corporation"), std::string::npos) << msRow->analyze;
  EXPECT_EQ(msRow->judgement.signer, "(Not signed)");
  EXPECT_EQ(ownRow->judgement.verdict, Verdict::Suspicious);  // unsigned, in the temporary folder
  int flaggedMs = 0, flaggedOwn = 0;
  for (const auto& h : scan.hijack) {
    flaggedMs += h.itemName == ms.keyName() && h.description == "System Service";
    flaggedOwn += h.itemName == own.keyName() && h.description == "System Service";
  }
  EXPECT_EQ(flaggedMs, 1);
  EXPECT_EQ(flaggedOwn, 1);

  EXPECT_EQ(RemoveServiceEntry(*msRow, judge.get()).outcome, RemoveServiceOutcome::Removed);
  EXPECT_TRUE(test::WaitForServiceKeyGone(ms.keyName()));
}

TEST(ServiceActions, AKeyThatCannotBeDeletedKeepsTheProgram) {
  const test::SystemJudge judge;
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  const ServiceRow row = RowFor(svc);
  ScopedWriteInterceptor deny([](const WriteRequest& r) -> uint32_t {
    return r.kind == WriteKind::DeleteService ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
  });
  const auto result = RemoveServiceEntry(row, judge.get());
  EXPECT_EQ(result.outcome, RemoveServiceOutcome::KeyNotDeleted);
  EXPECT_EQ(result.keyResult.error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(result.keyResult.message.empty());
  EXPECT_FALSE(result.fileResult);
  EXPECT_TRUE(win32::FileExists(svc.program()));
}

}  // namespace
}  // namespace wl

namespace wl {
namespace {

TEST(ServiceActions, AProgramFileAnotherServiceRunsIsKeptAndSaidSo) {
  const test::SystemJudge judge;
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  // A second service that runs the same program (its path spelled in
  // another case), as a service host shared by two services would be.
  ServiceSpec twin;
  twin.name = svc.keyName() + "Twin";
  twin.binaryPath = "\"" + AsciiUpper(svc.program()) + "\" --twin";
  ASSERT_TRUE(CreateServiceEntry(twin));
  struct Gone {
    std::string name;
    ~Gone() { DeleteServiceEntry(name); }
  } cleanup{twin.name};

  const auto result = RemoveServiceEntry(RowFor(svc), judge.get());
  EXPECT_EQ(result.outcome, RemoveServiceOutcome::Removed) << result.keyResult.message;
  EXPECT_EQ(result.programKeptFor, std::vector<std::string>{twin.name});
  EXPECT_FALSE(result.fileResult);  // its deletion was not even tried
  EXPECT_TRUE(win32::FileExists(svc.program()));
  EXPECT_EQ(ProgramKeptText("C:\\A\\B.EXE", result.programKeptFor),
            "The program file C:\\A\\B.EXE was kept: the service " + twin.name + " uses it too.");
  EXPECT_EQ(ProgramKeptText("C:\\A\\B.EXE", {"One", "Two", "Three"}),
            "The program file C:\\A\\B.EXE was kept: the services One, Two and Three use it too.");

  // The last service that runs it takes the file with it.
  ServiceRow last;
  last.keyName = twin.name;
  last.path = AsciiUpper(twin.binaryPath);
  const auto second = RemoveServiceEntry(last, judge.get());
  EXPECT_EQ(second.outcome, RemoveServiceOutcome::Removed);
  EXPECT_TRUE(second.programKeptFor.empty());
  ASSERT_TRUE(second.fileResult);
  EXPECT_TRUE(second.fileResult->ok()) << second.fileResult->message;
  EXPECT_FALSE(win32::FileExists(svc.program()));
}

}  // namespace
}  // namespace wl

namespace wl {
namespace {

// A vendor's service whose path is unquoted, with a blank: "C:\zzapps…\Vendor
// App\svc.exe -service". Someone plants "C:\zzapps…\Vendor.exe", which Windows
// runs instead. Its removal deletes the planted program the service would
// start - never the vendor's svc.exe, which the path's text seems to name.
// When what it starts changed since the list was read, the file is kept
// and the result says why.
struct ShadowedService {
  explicit ShadowedService(const std::string& tag)
      : root("C:\\zzapps" + std::to_string(GetCurrentProcessId()) + tag), name("WlShadowed" + tag + std::to_string(GetCurrentProcessId())) {
    CreateDirectoryW(win32::Widen(root).c_str(), nullptr);
    CreateDirectoryW(win32::Widen(root + "\\Vendor App").c_str(), nullptr);
    test::WriteBytes(vendor(), "MZ the vendor's service");
    test::WriteBytes(planted(), "MZ planted");
    ServiceSpec spec;
    spec.name = name;
    spec.binaryPath = root + "\\Vendor App\\svc.exe -service";
    made = CreateServiceEntry(spec).ok();
  }
  ~ShadowedService() {
    DeleteServiceEntry(name);
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(win32::Widen(root)), ignored);
  }
  std::string vendor() const { return root + "\\Vendor App\\svc.exe"; }
  std::string planted() const { return root + "\\Vendor.exe"; }
  const std::string root, name;
  bool made = false;
};

TEST(ServiceActions, RemovalDeletesTheProgramTheServiceWouldStartNotTheOneItsTextSeemsToName) {
  const test::SystemJudge judge;
  ShadowedService shadowed("a"), changed("b");
  ASSERT_TRUE(shadowed.made && changed.made);
  const ServiceScanResult scan = ScanServices(judge.get());
  const ServiceRow *row = nullptr, *old = nullptr;
  for (const ServiceRow& r : scan.rows) {
    if (r.keyName == shadowed.name) row = &r;
    if (r.keyName == changed.name) old = &r;
  }
  ASSERT_TRUE(row && old);
  EXPECT_EQ(AsciiLower(row->judgement.program), AsciiLower(shadowed.planted()));

  const RemoveServiceResult result = RemoveServiceEntry(*row, judge.get());
  EXPECT_EQ(result.outcome, RemoveServiceOutcome::Removed) << result.keyResult.message;
  ASSERT_TRUE(result.fileResult);
  EXPECT_TRUE(result.fileResult->ok()) << result.fileResult->message;
  EXPECT_FALSE(win32::FileExists(shadowed.planted()));
  EXPECT_EQ(test::ReadBytes(shadowed.vendor()), "MZ the vendor's service");

  // The planted program is gone since the list was read: the service now
  // starts the vendor's program, which was not what the list showed.
  DeleteFileW(win32::Widen(changed.planted()).c_str());
  const RemoveServiceResult kept = RemoveServiceEntry(*old, judge.get());
  EXPECT_EQ(kept.outcome, RemoveServiceOutcome::Removed) << kept.keyResult.message;
  EXPECT_FALSE(kept.fileResult);
  EXPECT_NE(kept.programKeptReason.find("was kept"), std::string::npos) << kept.programKeptReason;
  EXPECT_EQ(test::ReadBytes(changed.vendor()), "MZ the vendor's service");
}

}  // namespace
}  // namespace wl
