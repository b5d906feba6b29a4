// The console scanner driven from outside, as a script would use it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include <nlohmann/json.hpp>

#include "core/utf8_path.h"
#include "immunize/immunity.h"
#include "sysroutines/scheduled_tasks.h"
#include "sysroutines/store_folder.h"
#include "sysroutines/system_write.h"
#include "tests/support/test_support.h"
#include "win32/file_path.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // standard output is in text mode
    lines.push_back(line);
  }
  return lines;
}

bool HasLineStarting(const std::vector<std::string>& lines, const std::string& start) {
  for (const auto& l : lines)
    if (l.starts_with(start)) return true;
  return false;
}

TEST(Wlscan, AutorunPrintsItsRowsAndTheirHijackRows) {
  const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string name = "WLTest-wlscan-\xC3\xA4\xE6\x97\xA5-" + std::to_string(GetCurrentProcessId());
  const std::string data = "C:\\Pr\xC3\xB6gramme\\wlscanprobe.exe -x";
  auto key = win32::RegWriteKey::Create(HKEY_CURRENT_USER, run);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->WriteString(name, data), ERROR_SUCCESS);
  const auto rows = test::RunProgram("wlscan", {"autorun"});
  const auto hijack = test::RunProgram("wlscan", {"hijack-rows", "autorun"});
  key->DeleteValue(name);

  ASSERT_EQ(rows.status, 0) << rows.err;
  const auto lines = Lines(rows.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Item Name\tValue\tRegistry Key\tAnalysis\tSigner\tCategory");
  EXPECT_TRUE(HasLineStarting(lines, name + "\t" + data + "\tHKEY_CURRENT_USER\\" + run +
                                         "\\\t(Suspicious) File not found\t(File not found)\tLogon"))
      << rows.out.substr(0, 2000);

  ASSERT_EQ(hijack.status, 0) << hijack.err;
  const auto hijackLines = Lines(hijack.out);
  ASSERT_FALSE(hijackLines.empty());
  EXPECT_EQ(hijackLines[0], "Item Name\tDescription\tIndex");
  EXPECT_TRUE(HasLineStarting(hijackLines, name + "\tStartup Item\t")) << hijack.out.substr(0, 2000);
}

TEST(Wlscan, ProcessesListsTheScannerItself) {
  const auto result = test::RunProgram("wlscan", {"processes"});
  ASSERT_EQ(result.status, 0) << result.err;
  const auto lines = Lines(result.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Process Name\tProcess ID\tSize\tAnalysis\tSigner");
  EXPECT_TRUE(HasLineStarting(lines, "wlscan.exe\t")) << result.out;
  // The process page has no hijack rows: only the header.
  const auto hijack = test::RunProgram("wlscan", {"hijack-rows", "processes"});
  EXPECT_EQ(hijack.status, 0);
  EXPECT_EQ(Lines(hijack.out).size(), 1u);
}

TEST(Wlscan, FailsWithAMessageWithoutItsReferenceDatabase) {
  test::ScratchDir dir;
  std::filesystem::copy_file(PathFromUtf8(test::BinaryDir() + "\\wlscan.exe"), dir.Path() / "wlscan.exe");
  const auto result = test::RunProgramAt(dir.File("wlscan.exe"), {"autorun"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("Ref.dbd"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// A Run value for the length of a test.
class PlantedRunValue {
 public:
  PlantedRunValue(std::string name, std::string data) : name_(std::move(name)) {
    ok_ = WriteRegString(HKEY_CURRENT_USER, kRun, name_, data).ok();
  }
  ~PlantedRunValue() { DeleteRegValue(HKEY_CURRENT_USER, kRun, name_); }
  bool ok() const { return ok_; }

 private:
  std::string name_;
  bool ok_ = false;
};

std::string Pid() { return std::to_string(GetCurrentProcessId()); }

TEST(Wlscan, ScanAsJsonNamesEveryFlaggedItem) {
  const std::string name = "WLTest-scanjson-" + Pid();
  PlantedRunValue planted(name, "C:\\Nowhere\\wlscanjsonprobe.exe");
  ASSERT_TRUE(planted.ok());
  const auto result = test::RunProgram("wlscan", {"scan", "--format", "json"});
  EXPECT_EQ(result.status, 1) << result.err;  // something is flagged
  const auto doc = nlohmann::json::parse(result.out);
  EXPECT_EQ(doc["program"], "Wardenlake");
  EXPECT_FALSE(doc["programVersion"].get<std::string>().empty());
  EXPECT_FALSE(doc["computer"].get<std::string>().empty());
  EXPECT_FALSE(doc["windows"]["name"].get<std::string>().empty());
  const std::string time = doc["time"];
  ASSERT_EQ(time.size(), 20u) << time;
  EXPECT_EQ(time[10], 'T');
  EXPECT_EQ(time.back(), 'Z');
  EXPECT_EQ(doc["count"], doc["items"].size());
  const std::string id = "autorun/HKEY_CURRENT_USER\\" + std::string(kRun) + "\\" + name;
  bool found = false;
  for (const auto& item : doc["items"]) {
    EXPECT_TRUE(item.contains("id") && item.contains("page") && item.contains("category") && item.contains("item") &&
                item.contains("index"));
    if (item["id"] != id) continue;
    found = true;
    EXPECT_EQ(item["page"], "autorun");
    EXPECT_EQ(item["category"], "Startup Item");
    EXPECT_EQ(item["item"], name);
    EXPECT_EQ(item["value"], "C:\\Nowhere\\wlscanjsonprobe.exe");
    EXPECT_EQ(item["registryKey"], "HKEY_CURRENT_USER\\" + std::string(kRun) + "\\");
    EXPECT_EQ(item["analysis"], "(Suspicious) File not found");
    EXPECT_EQ(item["verdict"], "suspicious");
    EXPECT_EQ(item["reasons"], nlohmann::json::array({"File not found"}));
    EXPECT_EQ(item["signer"], "(File not found)");
    EXPECT_EQ(item["sha256"], "");
  }
  EXPECT_TRUE(found) << result.out.substr(0, 3000);
}

TEST(Wlscan, ScanAsTextIsTheSavedReportAndCsvKeepsOddNames) {
  const std::string name = "WLTest, \"odd\"\nname " + Pid();
  PlantedRunValue planted(name, "C:\\Nowhere\\wloddprobe.exe");
  ASSERT_TRUE(planted.ok());
  const auto text = test::RunProgram("wlscan", {"scan"});
  EXPECT_EQ(text.status, 1) << text.err;
  const auto lines = Lines(text.out);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "---Quellstone Hijack Report---");
  EXPECT_TRUE(lines[1].starts_with("---Date: ")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("---Operation System: Windows")) << lines[2];
  EXPECT_EQ(lines[3], " ");
  EXPECT_EQ(lines[4], " ");
  EXPECT_NE(text.out.find("Startup Item: WLTest, \"odd\"\nname " + Pid() + "\r\n"), std::string::npos);

  const auto csv = test::RunProgram("wlscan", {"scan", "--format=csv"});
  EXPECT_EQ(csv.status, 1) << csv.err;
  EXPECT_TRUE(csv.out.starts_with("id,page,category,item,index,")) << csv.out.substr(0, 200);
  EXPECT_NE(csv.out.find(",autorun,Startup Item,\"WLTest, \"\"odd\"\"\nname " + Pid() + "\","), std::string::npos)
      << csv.out.substr(0, 3000);
}

TEST(Wlscan, ScanOutputFileTakesTheReportsEncoding) {
  test::ScratchDir dir;
  const std::string name = "WLTest-\xE6\x97\xA5\xE6\x9C\xAC-" + Pid();  // not in a Western ANSI code page
  PlantedRunValue planted(name, "C:\\Nowhere\\wljpprobe.exe");
  ASSERT_TRUE(planted.ok());
  const std::string file = dir.File("report.txt");
  const auto result = test::RunProgram("wlscan", {"scan", "--output", file});
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(result.out, "");
  const std::string bytes = test::ReadBytes(file);
  if (GetACP() != 932 && GetACP() != 936 && GetACP() != CP_UTF8) {
    EXPECT_TRUE(bytes.starts_with("\xEF\xBB\xBF---Quellstone Hijack Report---\r\n")) << bytes.substr(0, 60);
    EXPECT_NE(bytes.find("Startup Item: " + name + "\r\n"), std::string::npos);
  }
  const auto json = test::RunProgram("wlscan", {"scan", "--format", "json", "--output", dir.File("scan.json")});
  EXPECT_EQ(json.status, 1);
  EXPECT_NO_THROW(nlohmann::json::parse(test::ReadBytes(dir.File("scan.json"))));

  const auto unwritable = test::RunProgram("wlscan", {"scan", "--output", dir.File("no\\such\\folder\\r.txt")});
  EXPECT_EQ(unwritable.status, 2);
  EXPECT_NE(unwritable.err.find("Cannot write"), std::string::npos) << unwritable.err;
}

// What a fleet does with a baseline: saved once, then each scan reports only
// what came or changed since.
TEST(Wlscan, ScanWithABaselineReportsOnlyWhatIsNewOrChangedSinceIt) {
  test::ScratchDir dir;
  const std::string kept = "WLTest-base-kept-" + Pid(), changed = "WLTest-base-changed-" + Pid(),
                    planted = "WLTest-base-new-" + Pid();
  PlantedRunValue a(kept, "C:\\Nowhere\\wlbase.exe /kept");
  PlantedRunValue b(changed, "C:\\Nowhere\\wlbase.exe /before");
  ASSERT_TRUE(a.ok() && b.ok());
  const std::string base = dir.File("base.json");
  const auto saved = test::RunProgram("wlscan", {"scan", "--format", "json", "--output", base});
  ASSERT_EQ(saved.status, 1) << saved.err;

  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kRun, changed, "C:\\Nowhere\\wlbase.exe /after").ok());
  PlantedRunValue c(planted, "C:\\Nowhere\\wlbase.exe /new");
  ASSERT_TRUE(c.ok());
  const auto json = test::RunProgram("wlscan", {"scan", "--format", "json", "--baseline", base});
  const auto doc = nlohmann::json::parse(json.out);
  // Other tests plant entries meanwhile: only this test's are counted.
  const std::string prefix = "autorun/HKEY_CURRENT_USER\\" + std::string(kRun) + "\\WLTest-base-";
  std::map<std::string, nlohmann::json> ours;
  for (const auto& item : doc["items"]) {
    EXPECT_TRUE(item["change"] == "new" || item["change"] == "changed") << item.dump();
    if (item["id"].get<std::string>().starts_with(prefix)) ours[item["item"]] = item;
  }
  EXPECT_EQ(json.status, doc["items"].empty() ? 0 : 1) << json.err;
  EXPECT_EQ(doc["count"], doc["items"].size());
  EXPECT_EQ(doc["baseline"]["file"], base);
  EXPECT_EQ(doc["baseline"]["count"], nlohmann::json::parse(test::ReadBytes(base))["count"]);
  ASSERT_EQ(ours.size(), 2u) << json.out.substr(0, 3000);
  EXPECT_EQ(ours[planted]["change"], "new");
  EXPECT_FALSE(ours[planted].contains("was"));
  EXPECT_EQ(ours[changed]["change"], "changed");
  EXPECT_EQ(ours[changed]["was"], nlohmann::json({{"value", "C:\\Nowhere\\wlbase.exe /before"}}));
  EXPECT_NE(json.err.find("changed since " + base), std::string::npos) << json.err;

  // The text report and the CSV keep the same rows.
  const auto text = test::RunProgram("wlscan", {"scan", "--baseline=" + base});
  EXPECT_EQ(text.status, 1);
  EXPECT_TRUE(text.out.starts_with("---Quellstone Hijack Report---")) << text.out.substr(0, 200);
  EXPECT_NE(text.out.find("Startup Item: " + planted + "\r\n"), std::string::npos);
  EXPECT_NE(text.out.find("Startup Item: " + changed + "\r\n"), std::string::npos);
  EXPECT_EQ(text.out.find("Startup Item: " + kept + "\r\n"), std::string::npos);
  const auto csv = test::RunProgram("wlscan", {"scan", "--format", "csv", "--baseline", base});
  EXPECT_NE(csv.out.find(",changed,value\r\n"), std::string::npos) << csv.out.substr(0, 2000);
}

TEST(Wlscan, ABaselineThatCannotBeReadIsAnErrorNeverNothingNew) {
  test::ScratchDir dir;
  const std::string whole = test::RunProgram("wlscan", {"scan", "--format", "json"}).out;
  auto wrongVersion = nlohmann::json::parse(whole);
  wrongVersion["formatVersion"] = 2;
  const std::string listing = test::RunProgram("wlscan", {"autorun", "--format", "json"}).out;
  const std::pair<std::string, std::string> cases[] = {
      {whole.substr(0, whole.size() / 2), "not a JSON document"},
      {wrongVersion.dump(), "format 2"},
      {listing, "not a scan document"},
      {R"({"program":"Wardenlake","items":[{"id":"autorun/x","page":"autorun","value":{}}]})", "is not a text"},
  };
  for (const auto& [bytes, reason] : cases) {
    test::WriteBytes(dir.File("bad.json"), bytes);
    const auto result = test::RunProgram("wlscan", {"scan", "--format", "json", "--baseline", dir.File("bad.json")});
    EXPECT_EQ(result.status, 2) << reason;
    EXPECT_EQ(result.out, "") << reason;
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(dir.File("bad.json")), std::string::npos) << result.err;
  }
  const auto missing = test::RunProgram("wlscan", {"scan", "--baseline", dir.File("missing.json")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("Cannot read the baseline"), std::string::npos) << missing.err;
  EXPECT_EQ(test::RunProgram("wlscan", {"scan", "--baseline"}).status, 2);
  EXPECT_EQ(test::RunProgram("wlscan", {"autorun", "--baseline", dir.File("missing.json")}).status, 2);
}

TEST(Wlscan, ListingsInEveryFormat) {
  const std::string name = "WLTest-list,\"q\"-" + Pid();
  PlantedRunValue planted(name, "C:\\Nowhere\\wllistprobe.exe");
  ASSERT_TRUE(planted.ok());
  const auto json = test::RunProgram("wlscan", {"autorun", "--format", "json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto doc = nlohmann::json::parse(json.out);
  EXPECT_EQ(doc["page"], "autorun");
  EXPECT_EQ(doc["columns"][2]["key"], "registryKey");
  EXPECT_EQ(doc["columns"][2]["title"], "Registry Key");
  bool found = false;
  for (const auto& row : doc["rows"])
    if (row["name"] == name)
      found = row["value"] == "C:\\Nowhere\\wllistprobe.exe" && row["analysis"] == "(Suspicious) File not found" &&
              row["verdict"] == "suspicious" && row["reasons"].size() == 1 && row["signer"] == "(File not found)";
  EXPECT_TRUE(found);

  const auto csv = test::RunProgram("wlscan", {"autorun", "--format", "csv"});
  ASSERT_EQ(csv.status, 0);
  EXPECT_TRUE(csv.out.starts_with("Item Name,Value,Registry Key,Analysis,Signer,Category\r\n"));
  EXPECT_NE(csv.out.find("\r\n\"WLTest-list,\"\"q\"\"-" + Pid() + "\",C:\\Nowhere\\wllistprobe.exe,"), std::string::npos);

  const auto items = test::RunProgram("wlscan", {"hijack-rows", "autorun", "--format", "json"});
  ASSERT_EQ(items.status, 0);
  const auto itemDoc = nlohmann::json::parse(items.out);
  found = false;
  for (const auto& item : itemDoc["items"]) found = found || item["item"] == name;
  EXPECT_TRUE(found);

  const auto processes = test::RunProgram("wlscan", {"processes", "--format", "json"});
  ASSERT_EQ(processes.status, 0);
  EXPECT_EQ(nlohmann::json::parse(processes.out)["columns"][1]["key"], "pid");

  EXPECT_EQ(test::RunProgram("wlscan", {"autorun", "--format", "xml"}).status, 2);
  EXPECT_EQ(test::RunProgram("wlscan", {"nosuchpage"}).status, 2);
  EXPECT_EQ(test::RunProgram("wlscan", {"scan", "--format"}).status, 2);
  EXPECT_EQ(test::RunProgram("wlscan", {}).status, 2);
}

TEST(Wlscan, ImmunizeAndUnimmunizeOnlyTheNamedEntries) {
  const auto listing = test::RunProgram("wlscan", {"immunity", "sites", "--format", "json"});
  ASSERT_EQ(listing.status, 0) << listing.err;
  const auto rows = nlohmann::json::parse(listing.out)["rows"];
  ASSERT_GE(rows.size(), 2u);
  const std::string first = rows[0]["id"], second = rows[1]["id"];
  EXPECT_EQ(rows[0]["status"], "Unimmunized");
  const std::string secondKey = ImmunityKeyPath(ImmunityKind::Sites, second);
  ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, secondKey, "*", 2));  // the user's own zone for it

  const auto immunize = test::RunProgram("wlscan", {"immunize", "sites", first});
  EXPECT_EQ(immunize.status, 0) << immunize.err;
  EXPECT_TRUE(ReadImmunized(ImmunityKind::Sites, first));
  const auto tsv = Lines(test::RunProgram("wlscan", {"immunity", "sites"}).out);
  ASSERT_GE(tsv.size(), 3u);
  EXPECT_EQ(tsv[0], "Domain\tDescription\tStatus");
  EXPECT_TRUE(tsv[1].starts_with(first + "\t") && tsv[1].ends_with("\tImmunized")) << tsv[1];
  EXPECT_TRUE(tsv[2].ends_with("\tUnimmunized")) << tsv[2];

  const auto all = test::RunProgram("wlscan", {"unimmunize", "sites", "--all"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_FALSE(ReadImmunized(ImmunityKind::Sites, first));
  EXPECT_EQ(ReadStoredFlag(ImmunityKind::Sites, second, win32::RegView::Default).value, 2u);  // left alone

  EXPECT_EQ(test::RunProgram("wlscan", {"immunize", "sites", "no-such.example"}).status, 2);
  EXPECT_EQ(test::RunProgram("wlscan", {"immunize", "sites"}).status, 2);
  EXPECT_EQ(test::RunProgram("wlscan", {"immunize", "cookies", "--all"}).status, 2);
  win32::RegWriteKey::DeleteTree(HKEY_CURRENT_USER, ImmunityKeyPath(ImmunityKind::Sites, first));
  win32::RegWriteKey::DeleteTree(HKEY_CURRENT_USER, secondKey);

  const auto spyware = test::RunProgram("wlscan", {"immunity", "spyware"});
  ASSERT_EQ(spyware.status, 0);
  const auto spywareLines = Lines(spyware.out);
  EXPECT_EQ(spywareLines[0], "CLSID\tName\tStatus");
  EXPECT_EQ(spywareLines.size(), 201u);
}

// What a fleet does: scan, cut the document down to what to fix, fix it,
// and undo it from the backup the fix made.
TEST(Wlscan, FixRemovesWhatTheScanSawSkipsWhatChangedAndIsUndone) {
  const std::string kept = "WLTest-fix-kept-" + Pid(), changed = "WLTest-fix-changed-" + Pid();
  PlantedRunValue a(kept, "C:\\Nowhere\\wlfixprobe.exe /kept");
  PlantedRunValue b(changed, "C:\\Nowhere\\wlfixprobe.exe /changed");
  ASSERT_TRUE(a.ok() && b.ok());
  test::ScratchDir dir;
  const auto scan = test::RunProgram("wlscan", {"scan", "--format", "json"});
  ASSERT_EQ(scan.status, 1) << scan.err;
  auto doc = nlohmann::json::parse(scan.out);
  const std::string prefix = "autorun/HKEY_CURRENT_USER\\" + std::string(kRun) + "\\";
  nlohmann::json wanted = nlohmann::json::array();
  for (const auto& item : doc["items"])
    if (item["id"] == prefix + kept || item["id"] == prefix + changed) wanted.push_back(item);
  ASSERT_EQ(wanted.size(), 2u);
  wanted.push_back({{"id", "processes/x.exe"}, {"page", "processes"}});  // a page that is not fixed
  doc["items"] = wanted;
  test::WriteBytes(dir.File("fix.json"), doc.dump(2));
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kRun, changed, "C:\\Nowhere\\other.exe").ok());

  const auto fix = test::RunProgram("wlscan", {"fix", dir.File("fix.json")});
  EXPECT_EQ(fix.status, 1) << fix.out << fix.err;
  const auto lines = Lines(fix.out);
  EXPECT_TRUE(HasLineStarting(lines, prefix + kept + "\tfixed\tremoved")) << fix.out;
  EXPECT_TRUE(HasLineStarting(lines, prefix + changed + "\tskipped\tchanged since the scan: value was")) << fix.out;
  EXPECT_TRUE(HasLineStarting(lines, "processes/x.exe\tskipped\t")) << fix.out;
  EXPECT_TRUE(HasLineStarting(lines, "1 fixed, 2 skipped, 0 failed")) << fix.out;
  EXPECT_FALSE(win32::RegKey::Open(HKEY_CURRENT_USER, kRun)->ReadString(kept));
  EXPECT_EQ(win32::RegKey::Open(HKEY_CURRENT_USER, kRun)->ReadString(changed), "C:\\Nowhere\\other.exe");

  std::string backup;
  for (const auto& l : lines)
    if (l.starts_with("Backup: ")) backup = l.substr(8);
  ASSERT_FALSE(backup.empty()) << fix.out;
  const auto restore = test::RunProgram("wlscan", {"restore", backup});
  EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
  EXPECT_EQ(win32::RegKey::Open(HKEY_CURRENT_USER, kRun)->ReadString(kept), "C:\\Nowhere\\wlfixprobe.exe /kept");
  const auto listed = test::RunProgram("wlscan", {"backups"});
  EXPECT_TRUE(HasLineStarting(Lines(listed.out), backup + "\t")) << listed.out;
  EXPECT_NE(listed.out.find("\twlscan\tfix\t1\t"), std::string::npos) << listed.out;
}

TEST(Wlscan, FixRefusesADamagedDocumentWhole) {
  test::ScratchDir dir;
  const std::string name = "WLTest-fixbad-" + Pid();
  PlantedRunValue planted(name, "C:\\Nowhere\\wlfixbad.exe");
  const std::string id = "autorun/HKEY_CURRENT_USER\\" + std::string(kRun) + "\\" + name;
  // The first item is good; the second is damaged: nothing is fixed.
  const nlohmann::json doc = {{"items", {{{"id", id}, {"page", "autorun"}}, {{"id", 5}, {"page", "autorun"}}}}};
  for (const std::string& bytes : {doc.dump(), std::string("{\"items\": [ {\"id\": "), std::string("[]")}) {
    test::WriteBytes(dir.File("bad.json"), bytes);
    const auto fix = test::RunProgram("wlscan", {"fix", dir.File("bad.json")});
    EXPECT_EQ(fix.status, 2) << bytes;
    EXPECT_NE(fix.err.find("nothing was changed"), std::string::npos) << fix.err;
  }
  EXPECT_TRUE(win32::RegKey::Open(HKEY_CURRENT_USER, kRun)->ReadString(name));
  EXPECT_EQ(test::RunProgram("wlscan", {"fix", dir.File("missing.json")}).status, 2);
}

// The items of a scan document whose item name passes.
nlohmann::json ItemsNamed(const nlohmann::json& doc, const std::function<bool(const std::string&)>& wanted) {
  nlohmann::json items = nlohmann::json::array();
  for (const auto& item : doc["items"])
    if (wanted(item["item"].get<std::string>())) items.push_back(item);
  return items;
}

// Scans, fixes the items whose name passes, and gives the fix's output and
// its backup's id.
std::pair<test::CommandResult, std::string> ScanAndFix(const test::ScratchDir& dir,
                                                       const std::function<bool(const std::string&)>& wanted,
                                                       std::size_t expected) {
  const auto scan = test::RunProgram("wlscan", {"scan", "--format", "json"});
  EXPECT_EQ(scan.status, 1) << scan.err;
  auto doc = nlohmann::json::parse(scan.out);
  doc["items"] = ItemsNamed(doc, wanted);
  EXPECT_EQ(doc["items"].size(), expected) << scan.out.substr(0, 3000);
  test::WriteBytes(dir.File("fix.json"), doc.dump(2));
  const auto fix = test::RunProgram("wlscan", {"fix", dir.File("fix.json")});
  std::string backup;
  for (const auto& l : Lines(fix.out))
    if (l.starts_with("Backup: ")) backup = l.substr(8);
  return {fix, backup};
}

TEST(Wlscan, AFlaggedScheduledTaskIsRemovedByFixAndBroughtBackByRestore) {
  // The definition file as the task service of Windows keeps it.
  const std::string folder = "WlFixTask" + Pid(), path = "\\" + folder + "\\Updater";
  const std::string store = TaskStoreFolder() + "\\" + folder;
  CreateDirectoryW(win32::ApiPath(store).c_str(), nullptr);
  struct Cleanup {
    std::string store;
    ~Cleanup() {
      DeleteFileW(win32::ApiPath(store + "\\Updater").c_str());
      RemoveDirectoryW(win32::ApiPath(store).c_str());
    }
  } cleanup{store};
  const std::wstring xml = win32::Widen(
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<Task version=\"1.2\" "
      "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n<Triggers><LogonTrigger/></Triggers>\n"
      "<Actions Context=\"Author\"><Exec><Command>C:\\Nowhere\\wltaskprobe.exe</Command>"
      "<Arguments>--silent</Arguments></Exec></Actions>\n</Task>\n");
  const std::string bytes = std::string("\xFF\xFE", 2) + std::string(reinterpret_cast<const char*>(xml.data()), xml.size() * 2);
  test::WriteBytes(store + "\\Updater", bytes);

  test::ScratchDir dir;
  const auto [fix, backup] = ScanAndFix(dir, [&](const std::string& item) { return item == path; }, 1);
  EXPECT_EQ(fix.status, 0) << fix.out << fix.err;
  ASSERT_FALSE(backup.empty()) << fix.out;
  EXPECT_FALSE(win32::FileExists(store + "\\Updater"));
  EXPECT_EQ(ItemsNamed(nlohmann::json::parse(test::RunProgram("wlscan", {"scan", "--format", "json"}).out),
                       [&](const std::string& item) { return item == path; })
                .size(),
            0u);

  const auto restore = test::RunProgram("wlscan", {"restore", backup});
  EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
  EXPECT_NE(restore.out.find("Backup: "), std::string::npos) << restore.out;
  const auto again = ItemsNamed(nlohmann::json::parse(test::RunProgram("wlscan", {"scan", "--format", "json"}).out),
                                [&](const std::string& item) { return item == path; });
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0]["value"], "C:\\Nowhere\\wltaskprobe.exe --silent") << again.dump();
}

// A multi-string value of the system's put back as it was at the end.
class PlantedList {
 public:
  PlantedList(HKEY root, std::string path, std::string name, const std::vector<std::string>& elements)
      : root_(root), path_(std::move(path)), name_(std::move(name)) {
    if (auto key = win32::RegKey::Open(root_, path_)) before_ = key->Read(name_);
    std::vector<uint8_t> bytes;
    for (const auto& e : elements) {
      const std::wstring w = win32::Widen(e);
      bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(w.c_str()),
                   reinterpret_cast<const uint8_t*>(w.c_str() + w.size() + 1));
    }
    bytes.push_back(0), bytes.push_back(0);
    auto key = win32::RegWriteKey::Create(root_, path_);
    ok_ = key && key->WriteRaw(name_, REG_MULTI_SZ, bytes) == ERROR_SUCCESS;
  }
  ~PlantedList() {
    auto key = win32::RegWriteKey::Create(root_, path_);
    if (!key) return;
    if (before_)
      key->WriteRaw(name_, before_->type, before_->data);
    else
      key->DeleteValue(name_);
  }
  bool ok() const { return ok_; }
  std::string Text() const {
    auto key = win32::RegKey::Open(root_, path_);
    auto value = key ? key->Read(name_) : std::nullopt;
    return value ? win32::RegValueText(*value) : std::string("(missing)");
  }

 private:
  HKEY root_;
  std::string path_, name_;
  std::optional<win32::RegValue> before_;
  bool ok_ = false;
};

TEST(Wlscan, AddedListElementsAreListedWithTheirCategoryFixedAloneAndRestored) {
  test::SharedValuesLock lock;
  const std::string tag = "wltest" + Pid();
  const char* lsa = "System\\CurrentControlSet\\Control\\Lsa";
  const char* session = "System\\CurrentControlSet\\Control\\Session Manager";
  PlantedList packages(HKEY_LOCAL_MACHINE, lsa, "Security Packages", {"kerberos", tag + "ssp", "msv1_0"});
  PlantedList boot(HKEY_LOCAL_MACHINE, session, "BootExecute", {"autocheck autochk *", tag + "boot"});
  ASSERT_TRUE(packages.ok() && boot.ok());

  const auto listing = test::RunProgram("wlscan", {"autorun"});
  ASSERT_EQ(listing.status, 0) << listing.err;
  const auto lines = Lines(listing.out);
  EXPECT_TRUE(HasLineStarting(lines, "Security Packages\t" + tag + "ssp\tHKEY_LOCAL_MACHINE\\" + lsa + "\\\t"))
      << listing.out.substr(0, 3000);
  bool lsaCategory = false, bootCategory = false, defaults = false;
  for (const auto& l : lines) {
    lsaCategory = lsaCategory || (l.starts_with("Security Packages\t" + tag) && l.ends_with("\tLSA"));
    bootCategory = bootCategory || (l.starts_with("BootExecute\t" + tag) && l.ends_with("\tBoot"));
    defaults = defaults || l.starts_with("Security Packages\tkerberos") || l.starts_with("BootExecute\tautocheck");
  }
  EXPECT_TRUE(lsaCategory && bootCategory) << listing.out.substr(0, 3000);
  EXPECT_FALSE(defaults);

  test::ScratchDir dir;
  const auto [fix, backup] = ScanAndFix(
      dir, [](const std::string& item) { return item == "Security Packages" || item == "BootExecute"; }, 2);
  EXPECT_EQ(fix.status, 0) << fix.out << fix.err;
  ASSERT_FALSE(backup.empty()) << fix.out;
  EXPECT_EQ(packages.Text(), "kerberos msv1_0");
  EXPECT_EQ(boot.Text(), "autocheck autochk *");
  const auto restore = test::RunProgram("wlscan", {"restore", backup});
  EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
  EXPECT_EQ(packages.Text(), "kerberos " + tag + "ssp msv1_0");
  EXPECT_EQ(boot.Text(), "autocheck autochk * " + tag + "boot");
}

TEST(Wlscan, ATaskNameWithoutDefinitionAndAServiceKeyTheManagerDoesNotListAreFixedAndRestored) {
  const std::string tag = "WLTest-fix-" + Pid();
  const std::string tree = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tree\\" + tag;
  const std::string service = "System\\CurrentControlSet\\Services\\" + tag;
  struct Cleanup {
    std::vector<std::string> keys;
    ~Cleanup() {
      for (const auto& k : keys) win32::RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, k);
    }
  } cleanup{{tree, service}};
  ASSERT_EQ(win32::RegWriteKey::Create(HKEY_LOCAL_MACHINE, tree + "\\Hidden")->WriteString("Id", "{" + tag + "}"),
            ERROR_SUCCESS);
  auto key = win32::RegWriteKey::Create(HKEY_LOCAL_MACHINE, service);
  ASSERT_TRUE(key);
  key->WriteString("ImagePath", "C:\\Nowhere\\" + tag + ".exe");
  key->WriteDword("Type", 0x10);

  const auto listing = test::RunProgram("wlscan", {"autorun"});
  ASSERT_EQ(listing.status, 0) << listing.err;
  bool task = false, keyRow = false;
  for (const auto& l : Lines(listing.out)) {
    task = task || (l.starts_with("\\" + tag + "\\Hidden\t") && l.ends_with("\tScheduled Tasks"));
    keyRow = keyRow || (l.starts_with(tag + "\t") && l.ends_with("\tServices"));
  }
  EXPECT_TRUE(task && keyRow) << listing.out.substr(0, 3000);

  test::ScratchDir dir;
  const auto [fix, backup] = ScanAndFix(
      dir, [&](const std::string& item) { return item == "\\" + tag + "\\Hidden" || item == tag; }, 2);
  EXPECT_EQ(fix.status, 0) << fix.out << fix.err;
  ASSERT_FALSE(backup.empty()) << fix.out;
  EXPECT_FALSE(win32::RegKey::Exists(HKEY_LOCAL_MACHINE, tree + "\\Hidden"));
  EXPECT_FALSE(win32::RegKey::Exists(HKEY_LOCAL_MACHINE, service));
  const auto restore = test::RunProgram("wlscan", {"restore", backup});
  EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
  EXPECT_EQ(win32::RegKey::Open(HKEY_LOCAL_MACHINE, tree + "\\Hidden")->ReadString("Id"), "{" + tag + "}");
  EXPECT_EQ(win32::RegKey::Open(HKEY_LOCAL_MACHINE, service)->ReadString("ImagePath"), "C:\\Nowhere\\" + tag + ".exe");
}

TEST(Wlscan, RunValuesWithHostileNamesAreFixedAndTheSetsRegFileImportsBackWhatItCanHold) {
  const std::string tag = "WLTest-names-" + Pid();
  const std::vector<std::string> names = {tag + "-\"quoted\"", tag + "-back\\slash", tag + "-@",
                                          tag + "-line\r\nbreak", tag + "-\xC3\xA4\xE6\x97\xA5"};
  std::vector<std::unique_ptr<PlantedRunValue>> planted;
  for (const auto& name : names) {
    planted.push_back(std::make_unique<PlantedRunValue>(name, "C:\\Nowhere\\wlnames.exe " + name.substr(tag.size())));
    ASSERT_TRUE(planted.back()->ok()) << name;
  }
  const auto run = [] { return win32::RegKey::Open(HKEY_CURRENT_USER, kRun); };
  const auto defaultBefore = run()->Read("");
  std::vector<std::optional<win32::RegValue>> before;
  for (const auto& name : names) before.push_back(run()->Read(name));

  test::ScratchDir dir;
  const auto [fix, backup] = ScanAndFix(dir, [&](const std::string& item) { return item.starts_with(tag); }, names.size());
  EXPECT_EQ(fix.status, 0) << fix.out << fix.err;
  ASSERT_FALSE(backup.empty()) << fix.out;
  for (const auto& name : names) EXPECT_FALSE(run()->HasValue(name)) << name;

  // The set's registry file (in the store wlscan uses), imported by the
  // system's own tool.
  const StoreFolder store = PrepareStoreFolder("Backups");
  ASSERT_TRUE(store.ok()) << store.message;
  const std::string regFile = store.path + "\\" + backup + "\\registry.reg";
  const auto imported = test::RunProgramAt("C:\\windows\\system32\\reg.exe", {"import", regFile});
  EXPECT_EQ(imported.status, 0) << imported.out << imported.err;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto now = run()->Read(names[i]);
    if (names[i].find('\n') != std::string::npos) {
      EXPECT_FALSE(now) << "a name the file cannot hold";
      continue;
    }
    ASSERT_TRUE(now) << names[i];
    EXPECT_EQ(now->type, before[i]->type);
    EXPECT_EQ(now->data, before[i]->data);
  }
  // Nothing else was set by the crafted name.
  const auto defaultAfter = run()->Read("");
  EXPECT_EQ(defaultAfter.has_value(), defaultBefore.has_value());

  // The restore from the change set brings back the one the file left out.
  const auto restore = test::RunProgram("wlscan", {"restore", backup, "--overwrite"});
  EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto now = run()->Read(names[i]);
    ASSERT_TRUE(now) << names[i];
    EXPECT_EQ(now->data, before[i]->data);
  }
}

}  // namespace
}  // namespace wl
