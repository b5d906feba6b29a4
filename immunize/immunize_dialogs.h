// The two immunization dialogs: "Immunize Spyware,Adware,Malware" (SpywareImmunizeDialog,
// kill bits for the ActiveX classes of Hijack.db) and "Immunize Restricted
// Sites" (SiteImmunizeDialog, the restricted zone for the sites of Site.db). Both are
// created once at start, load the stored status then and after every Apply,
// and keep the user's unapplied check marks between openings.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "immunize/immunity.h"
#include "refdb/reference_tables.h"
#include "win32/dialog.h"
#include "win32/handles.h"
#include "win32/list_view.h"

namespace wl {

// The layout and behaviour both dialogs share.
class ImmunizeDialog : public win32::Dialog {
 public:
  enum : int {
    kBanner = 100,
    kStatusHeader,  // left header: "Status(N Immunized)"
    kCountHeader,   // right header: item count
    kList,
    kStatusBar,
    kSelectAllButton,          // "Select All"
    kUnselectAllButton,        // "Unselect All"
    kApplyButton,              // "Apply"
    kCancelButton = IDCANCEL,  // "Cancel"
  };

  ImmunizeDialog(const ReferenceTables& tables, ImmunityKind kind) : tables_(tables), kind_(kind) {}
  ~ImmunizeDialog() override;

  void SelectAllClick();    // "Select All"
  void UnselectAllClick();  // "Unselect All"
  void ApplyClick();        // "Apply"
  void CancelClick();       // "Cancel"

  // What the dialog shows.
  std::size_t Count() const { return entries_.size(); }
  const ImmunityEntry& Entry(std::size_t i) const { return entries_.at(i); }
  std::string ItemText(std::size_t i) const;
  bool Checked(std::size_t i) const;
  void SetChecked(std::size_t i, bool checked);
  // Selects an item and runs the list's click handler, as a click would.
  void ClickItem(std::size_t i);
  std::string Text(int id) const;
  std::string StatusText() const;

  // Message boxes; returns the button pressed. Tests answer them.
  std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)> messageBox;

 protected:
  win32::DialogTemplate BuildTemplate() const override;
  void OnInit() override;
  bool OnCommand(int id, int notifyCode) override;
  INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  virtual std::string Caption() const = 0;
  virtual std::string ItemHeader() const = 0;
  // The text shown of an entry after its status word.
  virtual const std::string& ShownName(const ImmunityEntry& e) const = 0;
  virtual std::string SuccessText() const = 0;
  // The list's click handler (SpywareListClick / SiteListClick).
  virtual void ListClick() = 0;
  void SetStatus(const std::string& text);
  const ImmunityEntry* SelectedEntry() const;

  const ReferenceTables& tables_;
  ImmunityKind kind_;

 private:
  void Load();
  void DrawBanner(const DRAWITEMSTRUCT& item);

  std::vector<ImmunityEntry> entries_;
  std::vector<bool> stored_;
  win32::ListView list_;
  win32::UniqueGdiObject bannerFont_;
};

// "Immunize Spyware,Adware,Malware".
class SpywareImmunizeDialog : public ImmunizeDialog {
 public:
  explicit SpywareImmunizeDialog(const ReferenceTables& tables) : ImmunizeDialog(tables, ImmunityKind::Spyware) {}
  void SpywareListClick();  // "CLSID: " and the class identifier

 protected:
  std::string Caption() const override { return "Immunize Spyware,Adware,Malware"; }
  std::string ItemHeader() const override;
  const std::string& ShownName(const ImmunityEntry& e) const override { return e.name; }
  std::string SuccessText() const override {
    return "The immunized spyware will not be installed in your computer any more.";
  }
  void ListClick() override { SpywareListClick(); }
};

// "Immunize Restricted Sites".
class SiteImmunizeDialog : public ImmunizeDialog {
 public:
  explicit SiteImmunizeDialog(const ReferenceTables& tables) : ImmunizeDialog(tables, ImmunityKind::Sites) {}
  void SiteListClick();  // "Potential infection: " and the description

 protected:
  std::string Caption() const override { return "Immunize Restricted Sites"; }
  std::string ItemHeader() const override;
  const std::string& ShownName(const ImmunityEntry& e) const override { return e.id; }
  std::string SuccessText() const override {
    return "The website immunized can be visited all the same,but it has been protected.";
  }
  void ListClick() override { SiteListClick(); }
};

}  // namespace wl
