// The status page: a white group box with the program version and the two
// values of the reference database, and the three actions "Site Immunize",
// "Scan PC Hijacker" and "Spyware Immunize".
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <string>

#include "ui/action_tile.h"
#include "ui/page.h"

namespace wl::app {

using ui::Page;
using ui::PageContext;
using ui::ActionTile;

class StatusPage : public Page {
 public:
  // Control ids; other programs read the labels by them.
  static constexpr int kVersionLabel = 1013;          // program version
  static constexpr int kDefinitionsLabel = 1011;      // infection definitions
  static constexpr int kLastUpdatedLabel = 1012;      // database last updated
  static constexpr int kNotice = 1020;                // why the database is not loaded
  static constexpr int kSiteImmunizeLabel = 1001;     // "Site Immunize"
  static constexpr int kHijackScanLabel = 1015;       // "Scan PC Hijacker"
  static constexpr int kSpywareImmunizeLabel = 1003;  // "Spyware Immunize"

  explicit StatusPage(PageContext& context) : Page(context) {}

  void SetDefinitions(const std::string& text);
  void SetLastUpdated(const std::string& text);
  // Shows why the reference database is not loaded (empty: hides it).
  void SetDatabaseNotice(const std::string& text);
  std::string LabelText(int id) const;

  ActionTile& SiteAction() { return tiles_[0]; }
  ActionTile& ScanAction() { return tiles_[1]; }
  ActionTile& SpywareAction() { return tiles_[2]; }
  // The mouse is over the bare group box: every caption back to sky blue.
  void ResetHover();

  std::function<void()> onSiteImmunize;     // SiteImmunizeClick
  std::function<void()> onScan;             // HijackScanClick
  std::function<void()> onSpywareImmunize;  // SpywareImmunizeClick

 protected:
  void OnCreate() override;
  void OnLayout(int width, int height) override;
  void OnDpiChanged() override;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  RECT CardRect() const;
  void UpdateFonts();

  std::array<ActionTile, 3> tiles_;
  HWND captions_[3] = {};
  HWND values_[3] = {};
  HWND notice_ = nullptr;
  HWND heading_ = nullptr;
  win32::UniqueGdiObject headingFont_;
  win32::UniqueGdiObject valueFont_;
};

}  // namespace wl::app
