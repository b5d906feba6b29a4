// The judge judges files, not the text that names them: paths written to
// read as another folder, a file swapped for another of the same size and
// times, copies of host programs under other names, a Microsoft-signed tool
// under a system program's name, and signers whose root only a user's
// store holds. Each planted as malware plants it, on this system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>

#include "judge/testing/signed_programs.h"
#include "judge/windows_facts.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using test::KnownFolder;
using test::PlacedCopy;
using test::Signed;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string Pid() { return std::to_string(GetCurrentProcessId()); }

// Run values of the current user, removed afterwards.
class RunValues {
 public:
  RunValues() : key_(win32::RegWriteKey::Create(HKEY_CURRENT_USER, kRun)) {}
  ~RunValues() {
    for (const std::string& name : names_) key_->DeleteValue(name);
  }
  bool Add(const std::string& name, const std::string& data) {
    names_.push_back(name);
    return key_ && key_->WriteString(name, data) == ERROR_SUCCESS;
  }

 private:
  static constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  std::optional<win32::RegWriteKey> key_;
  std::vector<std::string> names_;
};

// The rows of "wlscan autorun" by name: verdict and reasons.
struct ListedRow {
  std::string verdict;
  std::string reasons;  // joined, lower case
  std::string signer;
};
std::map<std::string, ListedRow> ListAutorun() {
  std::map<std::string, ListedRow> rows;
  const auto listing = test::RunProgram("wlscan", {"autorun", "--format", "json"});
  const auto doc = nlohmann::json::parse(listing.out);
  for (const auto& row : doc["rows"]) {
    ListedRow r;
    r.verdict = row.value("verdict", "");
    r.signer = row.value("signer", "");
    if (row.contains("reasons"))
      for (const auto& reason : row["reasons"]) r.reasons += Lower(reason.get<std::string>()) + "; ";
    rows[row.value("name", "")] = r;
  }
  return rows;
}

// A folder made for a test where none was, removed with what it holds.
class MadeFolder {
 public:
  explicit MadeFolder(const std::string& path) : path_(PathFromUtf8(path)) {
    made_ = !std::filesystem::exists(path_);
    std::filesystem::create_directories(path_);
  }
  ~MadeFolder() {
    std::error_code ec;
    if (made_) std::filesystem::remove_all(path_, ec);
  }

 private:
  std::filesystem::path path_;
  bool made_ = false;
};

// "..", short names, trailing dots and blanks, and streams: each path is
// judged where the file is, and the reason names that folder.
TEST(FileIdentity, PathsWrittenToReadAsWindowsFoldersAreJudgedWhereTheFileIs) {
  const std::string pid = Pid();
  const std::string windows = KnownFolder("SystemRoot");
  ASSERT_FALSE(windows.empty());
  const std::string publicFolder = KnownFolder("PUBLIC").empty() ? "C:\\users\\Public" : KnownFolder("PUBLIC");
  ASSERT_EQ(Lower(publicFolder.substr(0, 3)), Lower(windows.substr(0, 3)));  // one drive
  PlacedCopy masquerade(publicFolder + "\\WlForms" + pid, Signed("unsigned.exe"), "svchost.exe");
  PlacedCopy inTemp(windows + "\\Temp\\WlForms" + pid, Signed("unsigned.exe"), "helper.exe");
  // A folder of Windows that users can write, named by its short name.
  const std::string migrated = windows + "\\System32\\Tasks_Migrated";
  MadeFolder made(migrated);
  PlacedCopy inMigrated(migrated + "\\WlForms" + pid, Signed("unsigned.exe"), "helper.exe");
  const std::string shortFolder = win32::ShortPath(migrated);
  ASSERT_FALSE(shortFolder.empty());
  ASSERT_NE(Lower(shortFolder), Lower(migrated)) << "no short names here";

  const std::string fromWindows = windows + "\\..\\" + publicFolder.substr(3) + "\\WlForms" + pid + "\\svchost.exe";
  const std::string fromSystem =
      windows + "\\System32\\..\\..\\" + publicFolder.substr(3) + "\\WlForms" + pid + "\\svchost.exe";
  const std::string realMasquerade = Lower(publicFolder + "\\WlForms" + pid + "\\svchost.exe");
  const std::string realTemp = Lower(windows + "\\Temp\\WlForms" + pid + "\\helper.exe");
  struct Case {
    std::string name, data, real;
  };
  const std::vector<Case> cases = {
      {"WlForm-dots-" + pid, fromWindows, realMasquerade},
      {"WlForm-dots2-" + pid, fromSystem, realMasquerade},
      {"WlForm-short-" + pid, shortFolder + "\\WlForms" + pid + "\\helper.exe",
       Lower(migrated + "\\WlForms" + pid + "\\helper.exe")},
      {"WlForm-dot-" + pid, windows + "\\Temp.\\WlForms" + pid + "\\helper.exe", realTemp},
      {"WlForm-blank-" + pid, "\"" + windows + "\\Temp \\WlForms" + pid + "\\helper.exe\"", realTemp},
      {"WlForm-stream-" + pid, windows + "\\Tracing:wl" + pid + ".exe", Lower(windows + "\\Tracing")},
      {"WlForm-absent-" + pid, windows + "\\..\\WlAbsent" + pid + "\\x.exe",
       Lower(windows.substr(0, 3) + "WlAbsent" + pid + "\\x.exe")},
  };
  RunValues run;
  for (const Case& c : cases) ASSERT_TRUE(run.Add(c.name, c.data)) << c.name;

  const auto rows = ListAutorun();
  for (const Case& c : cases) {
    const auto it = rows.find(c.name);
    ASSERT_NE(it, rows.end()) << c.name;
    EXPECT_EQ(it->second.verdict, "suspicious") << c.name << ": " << c.data;
    EXPECT_THAT(it->second.reasons, HasSubstr(c.real)) << c.name << ": " << c.data;
  }
  EXPECT_THAT(rows.at("WlForm-dots-" + pid).reasons, HasSubstr("named like the windows program svchost.exe"));
  EXPECT_THAT(rows.at("WlForm-stream-" + pid).reasons, HasSubstr("alternate data stream"));
}

// Overwrites a file with other bytes of the same size and sets its times
// back: what a program that wants to keep a verdict does.
void SwapContents(const std::string& path, const std::string& bytes) {
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  FILETIME created, accessed, written;
  ASSERT_TRUE(GetFileTime(file.get(), &created, &accessed, &written));
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
  ASSERT_TRUE(SetEndOfFile(file.get()));
  ASSERT_TRUE(SetFileTime(file.get(), &created, &accessed, &written));
}

FILETIME LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(win32::ApiPath(path).c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

TEST(FileIdentity, AFileSwappedForAnotherOfTheSameSizeAndTimesIsJudgedAgain) {
  test::RootInStore trusted(Signed("root.der"), CERT_SYSTEM_STORE_LOCAL_MACHINE);
  ASSERT_TRUE(trusted.ok());
  PlacedCopy app(KnownFolder("ProgramFiles") + "\\WlTest Swap " + Pid(), Signed("vendor.exe"), "app.exe");
  const std::string broken = test::ReadBytes(Signed("broken.exe"));
  ASSERT_EQ(broken.size(), test::ReadBytes(Signed("vendor.exe")).size());

  ReferenceTables tables;
  const WindowsFacts facts;
  const Judge judge(tables, facts);  // one judge for the run, as the window keeps it
  const JudgeRequest request("\"" + app.path() + "\" /background", Origin::Autostart);
  const Judgement before = judge.Assess(request);
  ASSERT_EQ(before.verdict, Verdict::Trusted) << VerdictText(before);
  EXPECT_EQ(before.signer, "(Verified) Wardenlake Test Vendor");
  const FILETIME written = LastWrite(app.path());

  // The file system's clock moves in coarse steps: the swap falls in a later
  // one, as it would on a PC where the swap comes any time after the scan.
  Sleep(50);
  SwapContents(app.path(), broken);
  const FILETIME after = LastWrite(app.path());
  ASSERT_EQ(CompareFileTime(&written, &after), 0);
  for (const Judgement& j : {judge.Assess(request), judge.AssessAll({request}).front()}) {
    EXPECT_EQ(j.verdict, Verdict::Suspicious) << VerdictText(j);
    EXPECT_NE(j.sha256, before.sha256);
    EXPECT_TRUE(j.signer.starts_with("(Signature broken)")) << j.signer;
  }

  // Put back by moving another file over it, times set back too: another
  // file, judged as itself.
  const std::string other = app.path() + ".new";
  test::WriteBytes(other, test::ReadBytes(Signed("vendor.exe")));
  {
    win32::UniqueHfile file(CreateFileW(win32::ApiPath(other).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
  }
  ASSERT_TRUE(MoveFileExW(win32::ApiPath(other).c_str(), win32::ApiPath(app.path()).c_str(), MOVEFILE_REPLACE_EXISTING));
  const Judgement back = judge.Assess(request);
  EXPECT_EQ(back.verdict, Verdict::Trusted) << VerdictText(back);
  EXPECT_EQ(back.sha256, before.sha256);
}

// Wine's own hosts carry no version information: the test program carries
// PowerShell's, and Wine's own hosts are known by their contents.
TEST(FileIdentity, ACopyOfAHostIsThatHostUnderAnyName) {
  const std::string pid = Pid();
  const std::string folder = KnownFolder("LOCALAPPDATA") + "\\WlHost" + pid;
  const std::string windows = KnownFolder("SystemRoot");
  PlacedCopy byVersion(folder, test::BinaryDir() + "\\wl_version_host.exe", "upd.exe");
  PlacedCopy byContents(folder + "\\c", windows + "\\System32\\WindowsPowerShell\\v1.0\\powershell.exe", "helper.exe");
  PlacedCopy rundll(folder + "\\r", windows + "\\System32\\rundll32.exe", "svc.exe");
  RunValues run;
  ASSERT_TRUE(run.Add("WlHost-version-" + pid, "\"" + byVersion.path() + "\" -nop -w hidden -enc SQBFAFgA"));
  ASSERT_TRUE(run.Add("WlHost-contents-" + pid, byContents.path() + " -w hidden -enc SQBFAFgA"));
  ASSERT_TRUE(run.Add("WlHost-rundll-" + pid, rundll.path() + " javascript:\"\\..\\mshtml,RunHTMLApplication \";"));

  const auto rows = ListAutorun();
  const ListedRow& version = rows.at("WlHost-version-" + pid);
  EXPECT_EQ(version.verdict, "malicious");
  EXPECT_THAT(version.reasons, HasSubstr("a copy of powershell named upd.exe"));
  EXPECT_THAT(version.reasons, HasSubstr("encoded powershell"));
  const ListedRow& contents = rows.at("WlHost-contents-" + pid);
  EXPECT_EQ(contents.verdict, "malicious");
  EXPECT_THAT(contents.reasons, HasSubstr("a copy of powershell named helper.exe"));
  const ListedRow& host = rows.at("WlHost-rundll-" + pid);
  EXPECT_EQ(host.verdict, "malicious");
  EXPECT_THAT(host.reasons, HasSubstr("a copy of rundll32.exe named svc.exe"));
}

// A program signed in Microsoft's name (its root is Microsoft's here)
// copied to a public folder under a system program's name.
TEST(FileIdentity, AMicrosoftSignedToolUnderASystemProgramsNameIsFlaggedAsRenamed) {
  const std::string publicFolder = KnownFolder("PUBLIC").empty() ? "C:\\users\\Public" : KnownFolder("PUBLIC");
  PlacedCopy tool(publicFolder + "\\Libraries\\WlTool" + Pid(), Signed("mstool.exe"), "svchost.exe");
  ReferenceTables tables;
  tables.signers = StringTable::FromText(test::TestRoot() + "=Microsoft\n");
  tables.process = StringTable::FromText("svchost.exe=@Host Process for Windows Services\n");
  const WindowsFacts facts;
  const Judge judge(tables, facts);
  const Judgement j = judge.Assess({"\"" + tool.path() + "\" -k netsvcs", Origin::Autostart});
  EXPECT_EQ(j.signer, "(Verified) Microsoft Corporation");
  EXPECT_EQ(j.verdict, Verdict::Suspicious) << VerdictText(j);
  EXPECT_THAT(j.reasons, Contains("Named like the Windows program svchost.exe, but not in the Windows folders"));
  EXPECT_THAT(j.reasons, Contains("signtool.exe renamed svchost.exe"));
}

TEST(FileIdentity, ARootOnlyInAUsersStoreVerifiesNothing) {
  test::RootInStore userRoot(Signed("userroot.der"), CERT_SYSTEM_STORE_CURRENT_USER);
  ASSERT_TRUE(userRoot.ok());
  PlacedCopy app(KnownFolder("ProgramFiles") + "\\WlTest UserRoot " + Pid(), Signed("userroot.exe"), "app.exe");
  PlacedCopy vendor(KnownFolder("ProgramFiles") + "\\WlTest NoRoot " + Pid(), Signed("vendor.exe"), "app.exe");
  ReferenceTables tables;
  const WindowsFacts facts;
  const Judge judge(tables, facts);
  const Judgement j = judge.Assess({"\"" + app.path() + "\"", Origin::Autostart});
  EXPECT_EQ(j.signer, "(Signer not trusted) Wardenlake Test User Vendor");
  EXPECT_EQ(j.verdict, Verdict::Suspicious);
  EXPECT_TRUE(j.flagged);
  EXPECT_THAT(j.reasons, Contains("root only in a user's certificate store"));

  // A root in no store: not trusted either (the verifier here accepts any).
  const JudgeRequest request("\"" + vendor.path() + "\"", Origin::Autostart);
  {
    const test::MachineRootLock noTestRoot;
    EXPECT_EQ(judge.Assess(request).signer, "(Signer not trusted) Wardenlake Test Vendor");
  }
  // In the machine's store, it is.
  test::RootInStore machineRoot(Signed("root.der"), CERT_SYSTEM_STORE_LOCAL_MACHINE);
  const Judgement trusted = judge.Assess(request);
  EXPECT_EQ(trusted.signer, "(Verified) Wardenlake Test Vendor");
  EXPECT_EQ(trusted.verdict, Verdict::Trusted);
}

}  // namespace
}  // namespace wl
