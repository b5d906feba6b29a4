// Opening the program changes nothing: the main window started as a user
// starts it, every page visited (the hijack scan run), every dialog opened
// and closed unanswered - and the registry is byte for byte as it was, with
// no change set recorded. Runs alone: it compares the whole registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "immunize/immunity_rules.h"
#include "tests/support/registry_dump.h"
#include "tests/support/test_support.h"
#include "undo/backup_store.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

// Empty keys under a parent go first (nothing is lost): a start that made
// them would make them again.
void RemoveEmptySubKeys(HKEY root, std::string parent, win32::RegView view) {
  if (parent.ends_with('\\')) parent.pop_back();
  const auto key = win32::RegKey::Open(root, parent, KEY_READ, view);
  if (!key) return;
  for (const auto& name : key->SubKeyNames()) {
    const auto sub = win32::RegKey::Open(key->get(), name, KEY_READ, win32::RegView::Default);
    if (sub && sub->Values().empty() && sub->SubKeyNames().empty())
      win32::RegWriteKey::DeleteTree(root, parent + "\\" + name, view);
  }
}

std::vector<std::string> SetIds() {
  std::vector<std::string> ids;
  for (const auto& set : undo::ListChangeSets()) ids.push_back(set.manifest.id);
  return ids;
}

TEST(StartUpReadOnly, EveryPageAndDialogLeaveTheRegistryAndTheBackupsAsTheyWere) {
  for (auto view : {win32::RegView::Force64, win32::RegView::Force32})
    RemoveEmptySubKeys(HKEY_LOCAL_MACHINE, kActiveXCompatibilityKey, view);
  RemoveEmptySubKeys(HKEY_CURRENT_USER, kZoneMapDomainsKey, win32::RegView::Default);

  // Wine makes the machine's certificate stores in the registry the first
  // time a program of the prefix opens one (Windows has them from the
  // start): a listing of the network settings goes first.
  test::RunProgram("wlscan", {"network-settings"});
  const std::vector<std::string> setsBefore = SetIds();
  const std::vector<std::string> before = test::DumpRegistry();
  ASSERT_GT(before.size(), 1000u);
  const auto run = test::RunProgram("wlpages", {"50"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  // It got through every page and every dialog.
  for (const char* shown : {"page status", "page autorun", "page hijack-report", "page backups",
                            "page network-settings", "dialog spyware-immunize",
                            "dialog site-immunize", "dialog startup-setup"})
    EXPECT_NE(run.out.find(shown), std::string::npos) << shown << " was not shown:\n" << run.out;
  const std::vector<std::string> after = test::DumpRegistry();
  EXPECT_TRUE(after == before) << "the program changed the registry:\n" << test::RegistryDifference(before, after);
  EXPECT_EQ(SetIds(), setsBefore) << "a change set was recorded";
}

}  // namespace
}  // namespace wl
