#include "browser/ie_sweeper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "browser/testing/toolbar_server.h"
#include "tests/support/test_support.h"
#include "win32/file_path.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

// Per process: ctest runs the cases in parallel processes.
const std::string kBase = "Software\\WardenlakeTest\\IeSweeper" + std::to_string(GetCurrentProcessId());

class IeSweeperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    places_.menuExtRoot = HKEY_CURRENT_USER;
    places_.menuExtKey = kBase + "\\MenuExt";
    places_.machineRoot = HKEY_LOCAL_MACHINE;
    places_.toolbarKey = kBase + "\\Toolbar";
    places_.extensionsKey = kBase + "\\Extensions";
    places_.classesRoot = HKEY_LOCAL_MACHINE;
    places_.classesKey = kBase + "\\CLSID";
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
      for (RegView view : {RegView::Force64, RegView::Force32}) RegWriteKey::DeleteTree(root, kBase, view);
  }

  void MenuExt(const std::string& name, const std::optional<std::string>& target) {
    auto key = RegWriteKey::Create(HKEY_CURRENT_USER, places_.menuExtKey + "\\" + name);
    ASSERT_TRUE(key);
    if (target) {
      ASSERT_EQ(key->WriteString("", *target), ERROR_SUCCESS);
    }
  }
  void Toolbar(const std::string& clsid, RegView view) {
    auto key = RegWriteKey::Create(HKEY_LOCAL_MACHINE, places_.toolbarKey, KEY_READ | KEY_WRITE, view);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->WriteRaw(clsid, REG_BINARY, {0}), ERROR_SUCCESS);
  }
  void Class(const std::string& clsid, const std::string& name, const std::string& server, RegView view) {
    auto key = RegWriteKey::Create(HKEY_LOCAL_MACHINE, places_.classesKey + "\\" + clsid, KEY_READ | KEY_WRITE, view);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->WriteString("", name), ERROR_SUCCESS);
    auto inproc = RegWriteKey::Create(key->get(), "InprocServer32");
    ASSERT_TRUE(inproc);
    ASSERT_EQ(inproc->WriteString("", server), ERROR_SUCCESS);
  }
  void Button(const std::string& clsid, RegView view, const std::vector<std::pair<std::string, std::string>>& values) {
    auto key =
        RegWriteKey::Create(HKEY_LOCAL_MACHINE, places_.extensionsKey + "\\" + clsid, KEY_READ | KEY_WRITE, view);
    ASSERT_TRUE(key);
    for (const auto& [n, v] : values) ASSERT_EQ(key->WriteString(n, v), ERROR_SUCCESS);
  }
  bool ToolbarValue(const std::string& clsid, RegView view) const {
    auto key = RegKey::Open(HKEY_LOCAL_MACHINE, places_.toolbarKey, KEY_READ, view);
    return key && key->HasValue(clsid);
  }
  static const IeExtensionRow* Find(const IeExtensionScanResult& r, const std::string& clsidOrName, bool wow32) {
    for (const auto& row : r.rows)
      if ((row.clsid == clsidOrName || row.itemName == clsidOrName) && row.wow32 == wow32) return &row;
    return nullptr;
  }

  IeExtensionPlaces places_;
  ReferenceTables tables_;
};

TEST_F(IeSweeperTest, EntriesOfEveryKindInBothViews) {
  test::ScratchDir dir("wl browser");
  const std::string server = dir.File("bar server.dll");
  test::WriteBytes(server, "MZ");
  MenuExt("Zap &It", "res://zap.dll/zap.htm");
  MenuExt("No Target", std::nullopt);
  Toolbar("{N}", RegView::Force64);
  Class("{N}", "Native Bar", server, RegView::Force64);
  Toolbar("{W}", RegView::Force32);
  Class("{W}", "Wow Bar", "C:\\gone\\wow.dll", RegView::Force32);
  Class("{W}", "Wrong View", server, RegView::Force64);  // the native class of the same id is not its
  Button("{B1}", RegView::Force64, {{"ButtonText", "Btn"}, {"MenuText", "Menu"}, {"HotIcon", "C:\\x.ico,3"}});
  Button("{B2}", RegView::Force64, {{"MenuText", "Menu Only"}, {"HotIcon", "C:\\y.ico"}});
  Button("{B3}", RegView::Force32, {});

  const IeExtensionScanResult r = ScanIeExtensions(tables_, places_);
  ASSERT_EQ(r.rows.size(), 7u);
  // Grouped by kind: menu entries, toolbars, tool buttons.
  for (std::size_t i = 0; i < r.rows.size(); ++i)
    EXPECT_EQ(r.rows[i].kind, i < 2 ? IeExtensionKind::MenuExt : i < 4 ? IeExtensionKind::Toolbar
                                                                      : IeExtensionKind::ToolButton);
  const auto* zap = Find(r, "Zap &It", false);
  ASSERT_TRUE(zap);
  EXPECT_EQ(zap->filePath, "res://zap.dll/zap.htm");
  EXPECT_EQ(zap->clsid, "---");
  EXPECT_EQ(Find(r, "No Target", false)->filePath, "");

  const auto* native = Find(r, "{N}", false);
  ASSERT_TRUE(native);
  EXPECT_EQ(native->itemName, "Native Bar");
  EXPECT_EQ(native->filePath, win32::ShortPath(server));
  EXPECT_FALSE(native->filePath.empty());
  EXPECT_EQ(native->itemType, "IE ToolBar");
  const auto* wow = Find(r, "{W}", true);
  ASSERT_TRUE(wow);
  EXPECT_EQ(wow->itemName, "Wow Bar");
  EXPECT_EQ(wow->filePath, "");  // the server file does not exist
  EXPECT_FALSE(Find(r, "{W}", false));

  const auto* b1 = Find(r, "{B1}", false);
  ASSERT_TRUE(b1);
  EXPECT_EQ(b1->itemName, "Btn");
  EXPECT_EQ(b1->filePath, "C:\\x.ico,3");
  EXPECT_EQ(b1->icon, (IconSource{"C:\\X.ICO", 3, true}));
  EXPECT_EQ(Find(r, "{B2}", false)->itemName, "Menu Only");
  EXPECT_EQ(Find(r, "{B2}", false)->icon, (IconSource{"C:\\Y.ICO", 0, false}));
  EXPECT_EQ(Find(r, "{B3}", true)->itemName, "");

  // One report row per entry.
  ASSERT_EQ(r.hijack.size(), r.rows.size());
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    EXPECT_EQ(r.hijack[i].itemName, r.rows[i].itemName);
    EXPECT_EQ(r.hijack[i].description, r.rows[i].itemType);
    EXPECT_EQ(r.hijack[i].IndexText(), r.rows[i].kind == IeExtensionKind::MenuExt ? "" : r.rows[i].clsid);
    EXPECT_EQ(r.hijack[i].image, 25);
  }
}

TEST_F(IeSweeperTest, MissingPlacesGiveNoRows) {
  EXPECT_TRUE(ScanIeExtensions(tables_, places_).rows.empty());
  Button("{B}", RegView::Force64, {{"ButtonText", "Only"}});
  const auto r = ScanIeExtensions(tables_, places_);
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].itemName, "Only");
}

using test::ToolbarServer;

TEST_F(IeSweeperTest, ToolbarRemovalHasItsServerUnregisterItselfOnce) {
  test::ScratchDir dir("wl toolbar");
  const ToolbarServer server(dir);
  Toolbar("{T}", RegView::Force64);
  Class("{T}", "Test Bar", server.Path(), RegView::Force64);
  auto scan = ScanIeExtensions(tables_, places_);
  const auto* row = Find(scan, "{T}", false);
  ASSERT_TRUE(row);
  ASSERT_FALSE(row->filePath.empty());

  // The program leaves the Toolbar value to the server: a server that does
  // not remove it keeps it.
  ASSERT_TRUE(RemoveIeExtension(*row, places_));
  auto marks = server.Marks();
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_NE(marks[0].find("\\regsvr32.exe\" /u /s \"" + row->filePath + "\""), std::string::npos) << marks[0];
  EXPECT_TRUE(marks[0].ends_with("\thidden")) << marks[0];
  EXPECT_TRUE(ToolbarValue("{T}", RegView::Force64));

  // A server that removes its value: gone once the removal has returned.
  server.WillDelete(places_.toolbarKey, "{T}", RegView::Force64);
  ASSERT_TRUE(RemoveIeExtension(*row, places_));
  EXPECT_EQ(server.Marks().size(), 2u);
  EXPECT_FALSE(ToolbarValue("{T}", RegView::Force64));
  EXPECT_TRUE(ScanIeExtensions(tables_, places_).rows.empty());
}

TEST_F(IeSweeperTest, ServerThatCannotUnregisterIsAFailure) {
  test::ScratchDir dir("wl toolbar");
  const std::string notServer = dir.File("not a server.dll");
  test::WriteBytes(notServer, "this is no program");
  Toolbar("{T}", RegView::Force64);
  Class("{T}", "Broken Bar", notServer, RegView::Force64);
  const auto scan = ScanIeExtensions(tables_, places_);
  ASSERT_EQ(scan.rows.size(), 1u);
  const WriteResult r = RemoveIeExtension(scan.rows[0], places_);
  EXPECT_FALSE(r);
  EXPECT_FALSE(r.NotFound());
  EXPECT_FALSE(r.message.empty());
  EXPECT_TRUE(ToolbarValue("{T}", RegView::Force64));
}

TEST_F(IeSweeperTest, UnregisterRefusesWhatItCannotQuoteOrFind) {
  test::ScratchDir dir("wl toolbar");
  const ToolbarServer server(dir);
  EXPECT_EQ(UnregisterServer("Bar Server.dll").error, static_cast<uint32_t>(ERROR_INVALID_NAME));  // relative
  EXPECT_TRUE(UnregisterServer(dir.File("missing.dll")).NotFound());
  const std::string quoted = dir.File("a\"b.dll");
  EXPECT_FALSE(UnregisterServer(quoted));
  // The backup layer sees the request first; a refusal starts nothing.
  std::vector<WriteRequest> seen;
  ScopedWriteInterceptor refuse([&](const WriteRequest& r) {
    seen.push_back(r);
    return static_cast<uint32_t>(ERROR_ACCESS_DENIED);
  });
  EXPECT_EQ(UnregisterServer(server.Path()).error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, WriteKind::UnregisterServer);
  EXPECT_EQ(seen[0].target, server.Path());
  EXPECT_TRUE(server.Marks().empty());
}

TEST_F(IeSweeperTest, RemovalsActInTheRowsViewOnly) {
  Toolbar("{U}", RegView::Force64);
  Toolbar("{U}", RegView::Force32);  // no class: an empty caption and no server
  Button("{B}", RegView::Force64, {{"ButtonText", "Native"}});
  Button("{B}", RegView::Force32, {{"ButtonText", "Wow"}});
  MenuExt("Entry", "x");
  auto scan = ScanIeExtensions(tables_, places_);
  ASSERT_EQ(scan.rows.size(), 5u);

  const auto* bar = Find(scan, "{U}", true);
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->itemName, "");
  ASSERT_TRUE(RemoveIeExtension(*bar, places_));
  EXPECT_FALSE(ToolbarValue("{U}", RegView::Force32));
  EXPECT_TRUE(ToolbarValue("{U}", RegView::Force64));

  ASSERT_TRUE(RemoveIeExtension(*Find(scan, "{B}", true), places_));
  EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, places_.extensionsKey + "\\{B}", RegView::Force64));
  EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, places_.extensionsKey + "\\{B}", RegView::Force32));
  ASSERT_TRUE(RemoveIeExtension(*Find(scan, "Entry", false), places_));
  EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, places_.menuExtKey + "\\Entry"));

  // Gone already: says so, and that is all.
  const WriteResult again = RemoveIeExtension(*Find(scan, "Entry", false), places_);
  EXPECT_FALSE(again);
  EXPECT_TRUE(again.NotFound());
  EXPECT_TRUE(RemoveIeExtension(*bar, places_).NotFound());
}

TEST_F(IeSweeperTest, RefusedDeleteIsNotMistakenForGone) {
  Button("{B}", RegView::Force64, {{"ButtonText", "Kept"}});
  const auto scan = ScanIeExtensions(tables_, places_);
  ASSERT_EQ(scan.rows.size(), 1u);
  ScopedWriteInterceptor deny([](const WriteRequest&) { return static_cast<uint32_t>(ERROR_ACCESS_DENIED); });
  const WriteResult r = RemoveIeExtension(scan.rows[0], places_);
  EXPECT_FALSE(r);
  EXPECT_FALSE(r.NotFound());
  EXPECT_NE(r.message.find("{B}"), std::string::npos);
  EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, places_.extensionsKey + "\\{B}", RegView::Force64));
}

}  // namespace
}  // namespace wl
