// The two immunization dialogs: "Immunize Spyware,Adware,Malware" (TForm5,
// kill bits for the ActiveX classes of Hijack.db) and "Immunize Restricted
// Sites" (TForm4, the restricted zone for the sites of Site.db). Both are
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
class ImmunizeForm : public win32::Dialog {
 public:
  enum : int {
    kBanner = 100,
    kButton2,  // left header: "Status(N Immunized)"
    kButton1,  // right header: item count
    kList,
    kStatusBar1,
    kSpeedButton1,  // "Select All"
    kSpeedButton2,  // "Unselect All"
    kSpeedButton3,  // "Apply"
    kSpeedButton4 = IDCANCEL,  // "Cancel"
  };

  ImmunizeForm(const ReferenceTables& tables, ImmunityKind kind) : tables_(tables), kind_(kind) {}
  ~ImmunizeForm() override;

  void FormCreate();          // Load
  void SpeedButton1Click();   // "Select All"
  void SpeedButton2Click();   // "Unselect All"
  void SpeedButton3Click();   // "Apply"
  void SpeedButton4Click();   // "Cancel"

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
  // The list's click handler (IMListClick / IMSiteListClick).
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
class TForm5 : public ImmunizeForm {
 public:
  explicit TForm5(const ReferenceTables& tables) : ImmunizeForm(tables, ImmunityKind::Spyware) {}
  void IMListClick();  // "CLSID: " and the class identifier

 protected:
  std::string Caption() const override { return "Immunize Spyware,Adware,Malware"; }
  std::string ItemHeader() const override;
  const std::string& ShownName(const ImmunityEntry& e) const override { return e.name; }
  std::string SuccessText() const override {
    return "The immunized spyware will not be installed in your computer any more.";
  }
  void ListClick() override { IMListClick(); }
};

// "Immunize Restricted Sites".
class TForm4 : public ImmunizeForm {
 public:
  explicit TForm4(const ReferenceTables& tables) : ImmunizeForm(tables, ImmunityKind::Sites) {}
  void IMSiteListClick();  // "Potential infection: " and the description

 protected:
  std::string Caption() const override { return "Immunize Restricted Sites"; }
  std::string ItemHeader() const override;
  const std::string& ShownName(const ImmunityEntry& e) const override { return e.id; }
  std::string SuccessText() const override {
    return "The website immunized can be visited all the same,but it has been protected.";
  }
  void ListClick() override { IMSiteListClick(); }
};

}  // namespace wl
