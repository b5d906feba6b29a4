// The whole hijack scan over planted entries of its scanners, on the real
// registry and service manager of the test system.
#include "console/hijack_scan.h"
#include "scan/report_file.h"

#include <gtest/gtest.h>
#include <map>

#include "core/ascii.h"
#include "judge/testing/system_judge.h"

#include "service/test_service_fixture.h"
#include "settings/key_backup_fixture.h"
#include "sysroutines/system_write.h"

namespace wl {
namespace {

constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::size_t FindItem(const std::vector<ScanItem>& items, const std::string& id) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].id == id) return i;
  return items.size();
}

std::string Detail(const ScanItem& item, const std::string& key) {
  for (const auto& [k, v] : item.details)
    if (k == key) return v;
  return "<none>";
}

TEST(HijackScan, PlantedEntriesComeInScannerOrderAndTwoScansGiveTheSameRows) {
  test::RegistryLock lock;
  test::KeyBackup bat(HKEY_CLASSES_ROOT, "batfile");
  test::TestService service;
  test::TestService unnamed("", "wl_test_service", false);  // created without a display name
  ASSERT_TRUE(service.ok() && unnamed.ok());
  const std::string name = "WLTest-hijack-" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kRun, name, "C:\\Nowhere\\wlhijackprobe.exe /x"));
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "batfile\\shell\\open\\command", "", "C:\\Nowhere\\evil.exe \"%1\""));
  const std::string menuExt = "SOFTWARE\\Microsoft\\Internet Explorer\\MenuExt\\" + name;
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, menuExt, "", "res://wlprobe.dll/menu.htm"));
  const std::string bho = "{0F1E2D3C-" + std::to_string(GetCurrentProcessId() % 10000 + 10000) + "-4A5B-8C9D-0E1F2A3B4C5D}";
  const std::string bhoKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + bho;
  const std::string classKey = "SOFTWARE\\Classes\\CLSID\\" + bho;
  ASSERT_TRUE(CreateRegKey(HKEY_LOCAL_MACHINE, bhoKey, win32::RegView::Force64));
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, classKey, "", "WL Probe Helper", REG_SZ, win32::RegView::Force64));
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, classKey + "\\InprocServer32", "", "C:\\Nowhere\\wlbho.dll", REG_SZ,
                             win32::RegView::Force64));

  const test::SystemJudge judge;
  HijackList list;
  const std::vector<ScanItem> items = RunHeadlessHijackScan(judge, list);
  const std::vector<HijackRow> first = list.Rows();
  const std::vector<ScanItem> again = RunHeadlessHijackScan(judge, list);
  DeleteRegValue(HKEY_CURRENT_USER, kRun, name);
  DeleteRegTree(HKEY_CURRENT_USER, menuExt);
  DeleteRegTree(HKEY_LOCAL_MACHINE, bhoKey, win32::RegView::Force64);
  DeleteRegTree(HKEY_LOCAL_MACHINE, classKey, win32::RegView::Force64);

  // The same rows, not twice as many. Tests running beside this one plant and
  // remove entries meanwhile, so an item found by only one of the two scans
  // is left out; this test's own entries must be in both, once each time.
  auto ours = [&name](const std::string& id) { return AsciiLower(id).find(AsciiLower(name)) != std::string::npos; };
  auto tally = [](const std::vector<ScanItem>& scan) {
    std::map<std::string, int> n;
    for (const auto& item : scan) ++n[item.id];
    return n;
  };
  const auto firstIds = tally(items), againIds = tally(again);
  for (const auto& [id, times] : firstIds) {
    const auto other = againIds.find(id);
    if (other != againIds.end()) EXPECT_EQ(other->second, times) << id;
    else EXPECT_FALSE(ours(id)) << id << " was not found again";
  }
  for (const auto& [id, times] : againIds)
    if (ours(id)) EXPECT_TRUE(firstIds.contains(id)) << id;
  ASSERT_EQ(items.size(), first.size());
  ASSERT_EQ(list.Count(), again.size());

  // Grouped in the order of the scanners.
  const std::vector<std::pair<std::string, std::size_t>> groups = {
      {"Startup Item", 0},      {"System Association", 1},   {"System Service", 2},     {"IE ToolBar", 3},
      {"IE Extend Popup Menu", 3}, {"IE Tool Button", 3}, {"Browser Help Object", 4}, {"Browser Setting", 5},
      {"Network Setting", 6}};
  std::size_t group = 0;
  for (const HijackRow& row : first) {
    std::size_t g = 99;
    for (const auto& [category, n] : groups)
      if (category == row.description) g = n;
    ASSERT_NE(g, 99u) << row.description;
    EXPECT_GE(g, group) << row.itemName << " (" << row.description << ") after a later scanner's row";
    group = g;
  }

  const std::size_t autorun = FindItem(items, "autorun/HKEY_CURRENT_USER\\" + std::string(kRun) + "\\" + name);
  ASSERT_LT(autorun, items.size());
  EXPECT_EQ(items[autorun].category, "Startup Item");
  EXPECT_EQ(items[autorun].item, name);
  EXPECT_EQ(Detail(items[autorun], "value"), "C:\\Nowhere\\wlhijackprobe.exe /x");
  EXPECT_EQ(Detail(items[autorun], "analysis"), "(Suspicious) File not found");
  EXPECT_EQ(Detail(items[autorun], "verdict"), "suspicious");
  EXPECT_EQ(items[autorun].reasons, std::vector<std::string>{"File not found"});

  const std::size_t association = FindItem(items, "associations/batfile");
  ASSERT_LT(association, items.size());
  EXPECT_EQ(items[association].index, "3");
  EXPECT_EQ(Detail(items[association], "command"), "C:\\Nowhere\\evil.exe \"%1\"");

  const std::size_t svc = FindItem(items, "services/" + service.keyName());
  ASSERT_LT(svc, items.size());
  EXPECT_EQ(items[svc].index, "");
  // The test service's program lies in the temporary folder, unsigned.
  EXPECT_EQ(Detail(items[svc], "analysis"), "Distrustful File: Not signed, in a temporary folder (a folder users can write)");
  EXPECT_EQ(Detail(items[svc], "verdict"), "suspicious");
  EXPECT_EQ(Detail(items[svc], "signer"), "(Not signed)");
  EXPECT_EQ(Detail(items[svc], "sha256").size(), 64u);
  EXPECT_LT(FindItem(items, "services/" + unnamed.keyName()), items.size());
  const std::size_t menu = FindItem(items, "ieext/" + name);
  ASSERT_LT(menu, items.size());
  EXPECT_EQ(items[menu].category, "IE Extend Popup Menu");
  EXPECT_EQ(Detail(items[menu], "path"), "res://wlprobe.dll/menu.htm");
  const std::size_t helper = FindItem(items, "bho/" + bho);
  ASSERT_LT(helper, items.size());
  EXPECT_EQ(items[helper].category, "Browser Help Object");
  EXPECT_EQ(items[helper].item, "WL Probe Helper");
  EXPECT_EQ(Detail(items[helper], "clsid"), bho);

  EXPECT_LT(autorun, association);
  EXPECT_LT(association, svc);
  EXPECT_LT(svc, menu);
  EXPECT_LT(menu, helper);
}

TEST(HijackScan, StepsRunInTheReportsOrder) {
  std::vector<std::string> pages;
  HijackList list;
  list.Add("left over", "Startup Item", 0);
  RunHijackScan(list, [&](const Feature& step) { pages.push_back(step.name); });
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(pages, (std::vector<std::string>{"autorun", "associations", "services", "ieext", "bho", "browsers",
                                             "network-settings"}));
}

// The report keeps the ANSI code page while every character fits, and goes
// to UTF-8 with a byte-order mark as soon as one would become "?" or a look-alike.
TEST(ReportFile, AnsiWhenEveryCharacterFitsElseUtf8WithBom) {
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(ReportFileBytes("Startup Item: a\r\n", 1252), "Startup Item: a\r\n");
  EXPECT_EQ(ReportFileBytes("Startup Item: M\xC3\xBCller\r\n", 1252), "Startup Item: M\xFCller\r\n");
  EXPECT_EQ(ReportFileBytes("x: \xE6\x97\xA5\r\n", 1252), bom + "x: \xE6\x97\xA5\r\n");
  // "a" with macron has only a look-alike ("a") in 1252.
  EXPECT_EQ(ReportFileBytes("x: \xC4\x81", 1252), bom + "x: \xC4\x81");
  EXPECT_EQ(ReportFileBytes("x: \xE6\x97\xA5", 932), "x: \x93\xFA");
  EXPECT_EQ(ReportFileBytes("x: \xC3\xBC", 65001), "x: \xC3\xBC");
  EXPECT_EQ(ReportFileBytes("", 1252), "");
}

}  // namespace
}  // namespace wl
