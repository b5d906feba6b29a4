// The browser settings page ("Browser Settings"): the "General" group with the nine
// fields, their labels and buttons; "Restore Settings" and "Save Settings".
// Each field keeps the value of the last load as its hint; a machine value
// whose 32-bit view differs names both. Nothing is written before "Save
// Settings".
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "browser/browser_settings.h"
#include "ui/page.h"

namespace wl {

class BrowserSettingsPage : public ui::Page {
 public:
  // Controls.
  static constexpr int kFirstEdit = 1510;                // the fields, in SettingsFields() order
  static constexpr int kFirstLabel = 1530;               // their labels
  static constexpr int kClearCaptionButton = 1550;       // "Clear" beside "IE Caption Text:"
  static constexpr int kBlankPageButton = 1551;          // "Blank Page"
  static constexpr int kDefaultPageButton = 1552;        // "Default" beside "Default Page:"
  static constexpr int kSearchPageButton = 1553;         // "Default" beside "Search Page:"
  static constexpr int kDefaultSearchPageButton = 1554;  // "Default" beside "Default SearchPage:"
  static constexpr int kClearSearchBarButton = 1555;     // "Clear" beside "Search Bar:"
  static constexpr int kLocalPageButton = 1556;          // "Default" beside "Local Page:"
  static constexpr int kCustomizeButton = 1557;          // "Customize..."
  static constexpr int kRestoreSettingsButton = 1560;    // "Restore Settings"
  static constexpr int kSaveSettingsButton = 1561;       // "Save Settings"

  explicit BrowserSettingsPage(ui::PageContext& context);

  // The load its navigation item runs on every visit.
  void LoadSettings();
  void RefreshPage() override { LoadSettings(); }
  bool IsEmpty() const override { return !loaded_; }

  void SaveSettingsClick();     // "Save Settings"
  void RestoreSettingsClick();  // "Restore Settings"
  void ClearCaptionClick() { SetField(SettingsField::CaptionText); }
  void ClearSearchBarClick() { SetField(SettingsField::SearchBar); }
  void BlankPageClick() { SetField(SettingsField::HomePage); }
  void DefaultPageClick() { SetField(SettingsField::DefaultPage); }
  void SearchPageClick() { SetField(SettingsField::SearchPage); }
  void DefaultSearchPageClick() { SetField(SettingsField::DefaultSearchPage); }
  void LocalPageClick() { SetField(SettingsField::LocalPage); }
  void CustomizeClick();  // "Customize..."

  std::string FieldText(SettingsField field) const;
  void SetFieldText(SettingsField field, const std::string& text);
  const std::string& FieldHint(SettingsField field) const { return hints_[SettingsFieldIndex(field)]; }
  HWND Control(int id) const { return GetDlgItem(hwnd(), id); }

  std::optional<std::string> HintAt(HWND control, POINT screenPoint) override;

  // Seams: what reads and changes the system (tests replace them).
  std::function<SettingsTexts()> load = [] { return LoadBrowserSettings(); };
  // The machine's values in the 32-bit view.
  std::function<SettingsTexts()> load32 = [] { return LoadBrowserSettings({}, win32::RegView::Force32); };
  std::function<SettingsSaveResult(const SettingsTexts&)> save = [](const SettingsTexts& t) {
    return SaveBrowserSettings(t);
  };
  std::function<std::string(const std::string& caption, HWND owner)> chooseFolder;

 protected:
  void OnCreate() override;
  void OnLayout(int width, int height) override;
  bool OnCommand(int id, int code, HWND control) override;
  // Draws the "General" group's frame and caption (drawn, not a control: a
  // group-box control leaves its inside unpainted on a clipping page).
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void SetField(SettingsField field);
  static int ButtonFor(SettingsField field);

  RECT group_{};
  SettingsTexts loadedTexts_{};  // what "Restore Settings" puts back
  SettingsTexts hints_{};
  bool loaded_ = false;
};

}  // namespace wl
