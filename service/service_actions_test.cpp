#include "service/service_actions.h"

#include <gtest/gtest.h>

#include "judge/testing/system_judge.h"

#include "service/service_manager.h"
#include "service/test_service_fixture.h"
#include "win32/file_path.h"
#include "win32/registry.h"

namespace wl {
namespace {

using win32::RegKey;

std::string Distrustful(const std::string&) { return "Distrustful File"; }

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
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  ASSERT_TRUE(ServiceStart("", svc.keyName()));
  const ServiceRow row = RowFor(svc);
  ASSERT_EQ(row.state, "Running");
  const auto result = RemoveServiceEntry(row, Distrustful);
  EXPECT_EQ(result.outcome, RemoveServiceOutcome::Removed);
  EXPECT_TRUE(result.keyResult.ok()) << result.keyResult.message;
  ASSERT_TRUE(result.fileResult);
  EXPECT_TRUE(result.fileResult->ok()) << result.fileResult->message;
  EXPECT_TRUE(test::WaitForServiceKeyGone(svc.keyName()));
  EXPECT_FALSE(win32::FileExists(svc.program()));
  EXPECT_EQ(ServiceGetStatus("", svc.keyName()), 0u);  // unknown to the manager too
}

TEST(ServiceActions, RemovalIsRefusedForSystemFilesAndServicesThatDoNotStop) {
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  ServiceRow row = RowFor(svc);
  auto untouched = [&] {
    EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, svc.registryKey()));
    EXPECT_TRUE(win32::FileExists(svc.program()));
  };
  row.systemFile = true;
  EXPECT_EQ(RemoveServiceEntry(row, Distrustful).outcome, RemoveServiceOutcome::SystemService);
  untouched();
  // The row is old; the file now says it is a system file.
  row.systemFile = false;
  EXPECT_EQ(RemoveServiceEntry(row, [](const std::string&) { return std::string("Windows System File"); }).outcome,
            RemoveServiceOutcome::SystemService);
  untouched();

  test::TestService stubborn("--refuse-stop");
  ASSERT_TRUE(stubborn.ok());
  ASSERT_TRUE(ServiceStart("", stubborn.keyName()));
  const auto result = RemoveServiceEntry(RowFor(stubborn), Distrustful, 1000);
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

  EXPECT_EQ(RemoveServiceEntry(*msRow).outcome, RemoveServiceOutcome::Removed);
  EXPECT_TRUE(test::WaitForServiceKeyGone(ms.keyName()));
}

TEST(ServiceActions, AKeyThatCannotBeDeletedKeepsTheProgram) {
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  const ServiceRow row = RowFor(svc);
  ScopedWriteInterceptor deny([](const WriteRequest& r) -> uint32_t {
    return r.kind == WriteKind::DeleteService ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
  });
  const auto result = RemoveServiceEntry(row, Distrustful);
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

  const auto result = RemoveServiceEntry(RowFor(svc), Distrustful);
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
  const auto second = RemoveServiceEntry(last, Distrustful);
  EXPECT_EQ(second.outcome, RemoveServiceOutcome::Removed);
  EXPECT_TRUE(second.programKeptFor.empty());
  ASSERT_TRUE(second.fileResult);
  EXPECT_TRUE(second.fileResult->ok()) << second.fileResult->message;
  EXPECT_FALSE(win32::FileExists(svc.program()));
}

}  // namespace
}  // namespace wl
