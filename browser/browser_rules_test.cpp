#include "browser/browser_rules.h"

#include <gtest/gtest.h>

#include <set>

namespace wl {
namespace {

constexpr char kWin[] = "C:\\WINDOWS";

TEST(BrowserRules, HotIconGivesFileAndIndex) {
  // A comma and a number: that icon of the file.
  EXPECT_EQ(HotIconSource("C:\\Tools\\bar.dll,3", kWin), (IconSource{"C:\\TOOLS\\BAR.DLL", 3, true}));
  EXPECT_EQ(HotIconSource("\"C:\\Program Files\\x\\x.exe\", -201", kWin),
            (IconSource{"C:\\PROGRAM FILES\\X\\X.EXE", -201, true}));
  // Not a number: icon 0 of the file.
  EXPECT_EQ(HotIconSource("c:\\a.ico,x", kWin), (IconSource{"C:\\A.ICO", 0, true}));
  // No comma: the file's own (associated) icon.
  EXPECT_EQ(HotIconSource("%SystemRoot%\\b.ico", kWin), (IconSource{"C:\\WINDOWS\\B.ICO", 0, false}));
  EXPECT_EQ(HotIconSource("", kWin), IconSource{});
  EXPECT_EQ(HotIconSource(",4", kWin), IconSource{});
}

TEST(BrowserRules, FolderOfAPath) {
  EXPECT_EQ(FolderOf("C:\\PROGRA~1\\BAR\\BAR.DLL"), "C:\\PROGRA~1\\BAR");
  EXPECT_EQ(FolderOf("C:\\BAR.DLL"), "C:\\");
  EXPECT_EQ(FolderOf("res://x.dll/a.htm"), "");
}

TEST(BrowserRules, DecimalOnlyWhole) {
  EXPECT_EQ(DecimalOr("3", 0), 3);
  EXPECT_EQ(DecimalOr("-7", 0), -7);
  EXPECT_EQ(DecimalOr("+7", 0), 7);
  for (const char* bad : {"", "-", "3x", " 3", "0x10", "99999999999"}) EXPECT_EQ(DecimalOr(bad, 42), 42) << bad;
}

TEST(BrowserRules, RowsOfTheThreeKinds) {
  const auto menu = MakeMenuExtRow("E&xport", "");
  EXPECT_EQ(menu.clsid, "---");
  EXPECT_EQ(menu.filePath, "");
  EXPECT_EQ(menu.itemType, "IE Extend Popup Menu");
  EXPECT_EQ(IeRemovalFor(menu), IeRemoval::DeleteMenuExt);
  const auto hm = IeExtensionHijackRow(menu);
  EXPECT_EQ(hm.IndexText(), "");
  EXPECT_EQ(hm.image, 25);

  auto bar = MakeToolbarRow("{T}", "Bar", "C:\\PROGRA~1\\BAR.DLL", true, kWin);
  EXPECT_TRUE(bar.wow32);
  EXPECT_EQ(bar.icon, (IconSource{"C:\\PROGRA~1\\BAR.DLL", 0, false}));
  EXPECT_EQ(IeRemovalFor(bar), IeRemoval::UnregisterServer);
  EXPECT_EQ(IeExtensionHijackRow(bar).IndexText(), "{T}");
  EXPECT_EQ(IeExtensionHijackRow(bar).description, "IE ToolBar");
  // Without a server file the Toolbar value itself goes.
  bar = MakeToolbarRow("{T}", "", "", false, kWin);
  EXPECT_EQ(IeRemovalFor(bar), IeRemoval::DeleteToolbarValue);
  EXPECT_TRUE(bar.icon.file.empty());

  const auto button = MakeToolButtonRow("{B}", "Go", "c:\\g.exe,1", false, kWin);
  EXPECT_EQ(button.filePath, "c:\\g.exe,1");  // the HotIcon text as stored
  EXPECT_EQ(IeRemovalFor(button), IeRemoval::DeleteExtension);
  EXPECT_EQ(IeExtensionHijackRow(button).IndexText(), "{B}");
}

TEST(BrowserRules, ButtonTextFallsBackOnlyWhenMissing) {
  EXPECT_EQ(ToolButtonText(std::nullopt, "Menu"), "Menu");
  EXPECT_EQ(ToolButtonText("", "Menu"), "");  // present but empty: no fallback
  EXPECT_EQ(ToolButtonText("Btn", "Menu"), "Btn");
  EXPECT_EQ(ToolButtonText(std::nullopt, std::nullopt), "");
}

TEST(BrowserRules, ServerOfTheThirtyTwoBitViewInItsSystemFolder) {
  const char* sys = "C:\\Windows\\system32";
  const char* wow = "C:\\Windows\\SysWOW64";
  EXPECT_EQ(ServerPathInView("c:\\windows\\SYSTEM32\\x.dll", true, sys, wow), "C:\\Windows\\SysWOW64\\x.dll");
  EXPECT_EQ(ServerPathInView("C:\\Windows\\system32\\x.dll", false, sys, wow), "C:\\Windows\\system32\\x.dll");
  EXPECT_EQ(ServerPathInView("C:\\Windows\\system32x\\x.dll", true, sys, wow), "C:\\Windows\\system32x\\x.dll");
  EXPECT_EQ(ServerPathInView("C:\\Windows\\system32", true, sys, wow), "C:\\Windows\\system32");
  EXPECT_EQ(ServerPathInView("D:\\x.dll", true, sys, wow), "D:\\x.dll");
  EXPECT_EQ(ServerPathInView("C:\\Windows\\system32\\x.dll", true, sys, ""), "C:\\Windows\\system32\\x.dll");
}

TEST(BrowserRules, HelperObjectTypesHeadersVerdictsAndReportRows) {
  EXPECT_EQ(StatisticsTypeText(1), "IE ActiveX Control");
  EXPECT_EQ(StatisticsTypeText(3), "IE Assistant ActiveX");
  EXPECT_EQ(StatisticsTypeText(4), "IE Extension Program");
  EXPECT_FALSE(StatisticsTypeText(7));
  EXPECT_FALSE(StatisticsTypeText(0));
  EXPECT_TRUE(IsClassKeyName("{x"));
  EXPECT_FALSE(IsClassKeyName("x{"));
  EXPECT_FALSE(IsClassKeyName(""));

  ReferenceTables tables;
  tables.classes = StringTable::FromText("{A}=S|Bad helper\n{b}=G|Lower-case key\n");
  std::vector<HelperObjectRow> rows = {
      MakeClassRow("A", kIeActiveXControl, "a.dll", "{A}", false, HelperObjectSource::Statistics),
      MakeClassRow("B", kIeAssistantActiveX, "b.dll", "{B}", true, HelperObjectSource::HelperObjectKey),
      MakeExtensionProgramRow("C", "c.exe", "{C}", false)};
  EXPECT_EQ(rows[0].analysis, "Unknown");
  ApplyClassVerdicts(rows, tables);
  EXPECT_EQ(rows[0].analysis, LookupClass("{A}", tables));
  EXPECT_NE(rows[0].analysis, "(Unknown)");
  EXPECT_EQ(rows[1].analysis, "(Unknown)");  // keys compare with case
  EXPECT_EQ(rows[2].image, 8);
  EXPECT_EQ(rows[0].image, 3);

  EXPECT_EQ(HelperObjectTotalHeader(3), "Item Name (Total 3)");
  EXPECT_EQ(HelperObjectInstalledHeader(3), "Item Name (Installed 3)");
  const auto hijack = HelperObjectHijackRows(rows);
  ASSERT_EQ(hijack.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(hijack[i].IndexText(), std::to_string(i));
    EXPECT_EQ(hijack[i].description, "Browser Help Object");
    EXPECT_EQ(hijack[i].image, 15);
  }
}

TEST(BrowserRules, DisabledOnlyWithFlagsOneAndVersionStar) {
  EXPECT_TRUE(IsComponentDisabled(true, 1u, "*"));
  EXPECT_FALSE(IsComponentDisabled(false, 1u, "*"));
  EXPECT_FALSE(IsComponentDisabled(true, 1u, "1.0"));
  EXPECT_FALSE(IsComponentDisabled(true, std::nullopt, "*"));
  EXPECT_FALSE(IsComponentDisabled(true, 2u, "*"));
  EXPECT_EQ(ComponentStateCaption(true), "State: Disabled");
  EXPECT_EQ(ComponentActionCaption(true), "Enable It");
  EXPECT_EQ(ComponentStateCaption(false), "State: Enabled");
  EXPECT_EQ(ComponentActionCaption(false), "Disable It");
}

TEST(BrowserRules, SaveWritesTheSearchTextIntoNineValues) {
  std::set<std::pair<int, std::string>> search;
  int userWrites = 0;
  bool machineStarted = false;
  for (const auto& v : SettingsSaveOrder()) {
    if (v.field == SettingsField::SearchPage) search.insert({static_cast<int>(v.key), v.valueName});
    // Every per-user value comes before the first machine-wide one.
    if (IsMachineKey(v.key)) machineStarted = true;
    else {
      EXPECT_FALSE(machineStarted) << v.valueName;
      ++userWrites;
    }
  }
  EXPECT_EQ(search.size(), 9u);
  EXPECT_EQ(userWrites, 10);
  EXPECT_EQ(SettingsSaveOrder()[10].valueName, std::string("Wizard_Version"));
  EXPECT_EQ(LoadedSearchPage("", "custom"), "custom");
  EXPECT_EQ(LoadedSearchPage("page", "custom"), "page");
  EXPECT_EQ(FailedToSetDataMessage("Wizard_Version"), "Failed to set data for 'Wizard_Version'");
}

TEST(BrowserRules, FieldButtonsAndDefaults) {
  EXPECT_EQ(FieldButtonText(SettingsField::CaptionText), "");
  EXPECT_EQ(FieldButtonText(SettingsField::HomePage), "about:blank");
  EXPECT_EQ(FieldButtonText(SettingsField::LocalPage), "about:blank");
  EXPECT_FALSE(FieldButtonText(SettingsField::DownloadPath));
  EXPECT_FALSE(FieldButtonText(SettingsField::IeVersion));
  for (auto f : {SettingsField::DefaultPage, SettingsField::SearchPage, SettingsField::DefaultSearchPage})
    EXPECT_TRUE(FieldButtonText(f)->starts_with("http://"));
  EXPECT_TRUE(std::string(kDefaultStartPage).ends_with("/windows/ie_intl/cn/start/"));
  EXPECT_TRUE(std::string(kDefaultSearchAssistant).ends_with("/{SUB_RFC1766}/srchasst/srchasst.htm"));
  EXPECT_TRUE(std::string(kDefaultSearchRedirector).ends_with("/isapi/redir.dll?prd=ie&ar=iesearch"));
  for (std::size_t i = 0; i < kSettingsFieldCount; ++i)
    EXPECT_EQ(SettingsFieldIndex(SettingsFields()[i].field), i);
}

}  // namespace
}  // namespace wl
