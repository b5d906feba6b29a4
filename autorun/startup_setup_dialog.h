// The dialog "Startup Setup": the properties and the removal of one autorun
// entry, on a "General" and a "Remove Item" page of which one is shown at a
// time. Created once at start and reused: the check boxes keep whatever the
// user chose last.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "autorun/autorun_actions.h"
#include "win32/dialog.h"
#include "win32/handles.h"

namespace wl {

// What the dialog shows of one row of the autorun list.
struct StartupEntry {
  int index = 0;             // the row's index in the list, kept in kRowIndexLabel
  std::string itemName;
  std::string value;
  std::string analysis;
  std::string companyName;   // CompanyName of the file the value names
  HICON icon = nullptr;      // the row's icon (the dialog keeps a copy)
};

class StartupSetupDialog : public win32::Dialog {
 public:
  enum : int {
    kPages = 200,  // the page control; its one tab names the page shown
    kItemNameLabel = 301,
    kItemNameEdit,
    kFilePropertyButton,
    kFileFolderLabel,
    kProgramPathEdit,
    kOpenFolderButton,
    kGeneralAnalysis,
    kGeneralIcon,
    kGeneralAnalysisText,
    kRemoveAnalysis = 401,
    kRemoveIcon,
    kRemoveProgramEdit,
    kRemoveAnalysisText,
    kDeleteEntryCheck,
    kDeleteFileCheck,
    kRowIndexLabel,
    kOkButton = IDOK,
  };
  enum class Page { General, RemoveItem };

  StartupSetupDialog() = default;
  ~StartupSetupDialog() override;

  // Fill the dialog for a row and choose the page; the window is created
  // first when it does not exist yet.
  void ShowGeneralPage(HWND owner, const StartupEntry& entry);
  void ShowRemoveItemPage(HWND owner, const StartupEntry& entry);
  Page ShownPage() const { return page_; }

  // "&OK": on the "Remove Item" page, hands the row index kept in
  // kRowIndexLabel and the check boxes to onRemove; then closes the dialog.
  void OkClick();
  void FilePropertyClick();  // "View File Poperty..."
  void OpenFolderClick();    // "View File Folder..."

  std::function<void(int index, const RemovalChoice& choice)> onRemove;
  std::function<void()> onFileProperty;
  std::function<void()> onOpenDirectory;

  // What the controls hold.
  std::string Text(int id) const;
  bool Checked(int id) const;
  void SetChecked(int id, bool checked);
  HICON ShownIcon() const { return icon_.get(); }

 protected:
  win32::DialogTemplate BuildTemplate() const override;
  void OnInit() override;
  void OnShow() override;
  bool OnCommand(int id, int notifyCode) override;

 private:
  void Fill(HWND owner, const StartupEntry& entry, Page page);
  void ShowPageControls();

  Page page_ = Page::General;
  win32::UniqueHicon icon_;
  HWND tips_ = nullptr;
};

}  // namespace wl
