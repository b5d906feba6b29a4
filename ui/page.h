// A page of the main window's page control, and what a page may use of the
// main window (PageContext). A page is a child window that fills the page
// area; the main window shows one page at a time.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "core/hijack_list.h"
#include "judge/judge.h"
#include "refdb/reference_tables.h"
#include "ui/images.h"
#include "win32/dialog.h"
#include "win32/handles.h"
#include "win32/window.h"

namespace wl {
struct AssociationTables;  // settings/association_rules.h
}  // namespace wl

namespace wl::ui {

class Page;

// What the main window offers its pages. Message boxes and status texts go
// through here so that tests can watch them.
class UiServices {
 public:
  virtual ~UiServices() = default;
  // A message box owned by the main window; returns the button pressed.
  virtual int Message(const std::string& text, const std::string& caption, UINT flags) = 0;
  // Text of the status bar's first panel.
  virtual void ShowStatus(const std::string& text) = 0;
  // A page's own status text (Page::ShowStatus). The main window keeps it
  // with the page, shows it while the page is in view and again each time
  // the page comes back; elsewhere it is simply the status text.
  virtual void ShowPageStatus(const Page& page, const std::string& text) {
    (void)page;
    ShowStatus(text);
  }
  virtual HWND OwnerWindow() const = 0;
  // The program's folder with a trailing backslash.
  virtual const std::string& AppPath() const = 0;
  // Opens the page of the feature named so (features/feature_table.h) the
  // way its navigation item does (its refresh first when its list is
  // empty, then the page).
  virtual void OpenPage(std::string_view name) { (void)name; }
  // The autorun removal dialog "Startup Setup" (StartupSetupDialog), created once at
  // start; null when there is none.
  virtual win32::Dialog* StartupSetup() const { return nullptr; }
};

// The image lists shared by several pages. Their first images are fixed
// stock pictures (their indexes in namespace stock); pages may append their
// own.
struct SharedImages {
  ImageList categoryImages;  // category images of the hijack report and the software page
  ImageList rowImages;       // verdict and row images
  ImageList extensionIcons;  // row icons of the browser-extension page
};
// Builds the three lists for the given small-icon size.
SharedImages MakeSharedImages(int size);
// Stock image indexes used across pages.
namespace stock {
inline constexpr int kServiceRunning = 0;  // rowImages
inline constexpr int kServiceStopped = 1;
inline constexpr int kProcess = 2;
inline constexpr int kDocumentGear = 3;
inline constexpr int kWarning = 4;
inline constexpr int kCheck = 5;
inline constexpr int kCross = 6;
inline constexpr int kInfo = 7;
inline constexpr int kBlocks = 8;
inline constexpr int kOpenFolderSheet = 12;
inline constexpr int kDrive = 13;
inline constexpr int kRecycleBin = 14;
inline constexpr int kFolder = 15;
inline constexpr int kNotepad = 16;
inline constexpr int kRowImageCount = 18;
inline constexpr int kBrowserFolder = 15;  // categoryImages
inline constexpr int kStartupItem = 21;
inline constexpr int kSystemService = 22;
inline constexpr int kSoftware = 24;
inline constexpr int kGearYellow = 25;
inline constexpr int kPortTcp = 28;
inline constexpr int kPortUdp = 29;
inline constexpr int kCategoryImageCount = 30;
}  // namespace stock

struct PageContext {
  const ReferenceTables& tables;
  HijackList& hijack;  // the hijack report; page scans append their flagged rows
  SharedImages& images;
  UiServices& ui;
  // The association tables built at start-up; null where no main window
  // built them (a page then builds its own).
  const AssociationTables* associationTables = nullptr;
  // The judge of the whole run (what it learns of files is kept for the
  // run); null where no main window made one: a page then judges with one
  // of its own over this system.
  const Judge* judge = nullptr;
};

class Page : public win32::Window {
 public:
  explicit Page(PageContext& context) : context_(context) {}
  // Creates the page window, hidden, inside parent, then its controls.
  bool Create(HWND parent);

  // Lazy filling: a navigation item runs RefreshPage only while IsEmpty().
  virtual bool IsEmpty() const { return true; }
  // The page's refresh handler (the one behind its "Refresh" button).
  virtual void RefreshPage() {}
  // Each time the page is brought to the front.
  virtual void OnShow() {}
  // The status bar text of this page: it stays with the page, so another
  // page never shows it (see UiServices::ShowPageStatus).
  void ShowStatus(const std::string& text) { context_.ui.ShowPageStatus(*this, text); }

 protected:
  virtual void OnCreate() {}
  virtual void OnLayout(int width, int height) {
    (void)width;
    (void)height;
  }
  virtual bool OnCommand(int id, int code, HWND control) {
    (void)id;
    (void)code;
    (void)control;
    return false;
  }
  virtual bool OnNotify(const NMHDR* header, LRESULT* result) {
    (void)header;
    (void)result;
    return false;
  }
  // After the page moved to a monitor with another DPI (fonts are renewed).
  virtual void OnDpiChanged() {}
  virtual bool OnContextMenu(HWND control, POINT screen) {
    (void)control;
    (void)screen;
    return false;
  }
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  // The judge of the context, else one of the page's own.
  const Judge& PageJudge();

  UINT Dpi() const { return dpi_; }
  int S(int px96) const { return MulDiv(px96, static_cast<int>(dpi_), 96); }
  // The UI font at the page's DPI; children made with MakeChild get it.
  HFONT Font() const { return static_cast<HFONT>(font_.get()); }
  HWND MakeChild(const wchar_t* className, const std::string& text, DWORD style, int id, DWORD exStyle = 0);
  void Relayout();

  PageContext& context_;

 private:
  UINT dpi_ = 96;
  win32::UniqueGdiObject font_;
  std::unique_ptr<SystemFacts> ownFacts_;
  std::unique_ptr<Judge> ownJudge_;
};

}  // namespace wl::ui
