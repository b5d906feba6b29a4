#include "autorun/startup_setup_dialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "autorun/autorun_rules.h"
#include "win32/unicode.h"
#include "win32/window.h"

namespace wl {
namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kReadOnlyEdit = kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | ES_READONLY;
constexpr DWORD kMemo = kChild | WS_TABSTOP | WS_BORDER | ES_MULTILINE | ES_READONLY | WS_VSCROLL;

constexpr int kGeneralControls[] = {StartupSetupDialog::kItemNameLabel,      StartupSetupDialog::kItemNameEdit,
                                    StartupSetupDialog::kFilePropertyButton, StartupSetupDialog::kFileFolderLabel,
                                    StartupSetupDialog::kProgramPathEdit,    StartupSetupDialog::kOpenFolderButton,
                                    StartupSetupDialog::kGeneralAnalysis,    StartupSetupDialog::kGeneralIcon,
                                    StartupSetupDialog::kGeneralAnalysisText};
constexpr int kRemoveControls[] = {StartupSetupDialog::kRemoveAnalysis,    StartupSetupDialog::kRemoveIcon,
                                   StartupSetupDialog::kRemoveProgramEdit, StartupSetupDialog::kRemoveAnalysisText,
                                   StartupSetupDialog::kDeleteEntryCheck,  StartupSetupDialog::kDeleteFileCheck};

}  // namespace

StartupSetupDialog::~StartupSetupDialog() = default;

win32::DialogTemplate StartupSetupDialog::BuildTemplate() const {
  win32::DialogTemplate t("Startup Setup", 300, 214);
  t.Add(WC_TABCONTROLW, "", kPages, 6, 6, 288, 180, kChild | WS_CLIPSIBLINGS);
  // "General"
  t.Add(L"STATIC", "Item Name:", kItemNameLabel, 16, 30, 44, 10, kChild | SS_LEFT);
  t.Add(L"EDIT", "", kItemNameEdit, 62, 28, 200, 13, kReadOnlyEdit);
  t.Add(L"BUTTON", "...", kFilePropertyButton, 266, 28, 18, 13, kChild | WS_TABSTOP | BS_PUSHBUTTON);
  t.Add(L"STATIC", "File Folder:", kFileFolderLabel, 16, 48, 44, 10, kChild | SS_LEFT);
  t.Add(L"EDIT", "", kProgramPathEdit, 62, 46, 200, 13, kReadOnlyEdit);
  t.Add(L"BUTTON", "...", kOpenFolderButton, 266, 46, 18, 13, kChild | WS_TABSTOP | BS_PUSHBUTTON);
  t.Add(L"BUTTON", "Analysis", kGeneralAnalysis, 14, 66, 272, 112, kChild | BS_GROUPBOX);
  t.Add(L"STATIC", "", kGeneralIcon, 24, 82, 20, 20, kChild | SS_ICON | SS_CENTERIMAGE);
  t.Add(L"EDIT", "", kGeneralAnalysisText, 52, 80, 226, 90, kMemo);
  // "Remove Item"
  t.Add(L"BUTTON", "Analysis", kRemoveAnalysis, 14, 26, 272, 104, kChild | BS_GROUPBOX);
  t.Add(L"STATIC", "", kRemoveIcon, 24, 42, 20, 20, kChild | SS_ICON | SS_CENTERIMAGE);
  t.Add(L"EDIT", "", kRemoveProgramEdit, 52, 40, 226, 13, kReadOnlyEdit);
  t.Add(L"EDIT", "", kRemoveAnalysisText, 52, 58, 226, 64, kMemo);
  t.Add(L"BUTTON", "Delete Entry", kDeleteEntryCheck, 16, 136, 268, 12, kChild | WS_TABSTOP | BS_AUTOCHECKBOX);
  t.Add(L"BUTTON", "Also delete program file ", kDeleteFileCheck, 16, 152, 268, 28,
        kChild | WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE | BS_TOP);
  t.Add(L"STATIC", "", kRowIndexLabel, 0, 0, 0, 0, WS_CHILD);  // hidden: the row index
  t.Add(L"BUTTON", "&OK", kOkButton, 244, 194, 50, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON);
  return t;
}

void StartupSetupDialog::OnInit() {
  // Labels and check boxes take the page's background, not the dialog's.
  EnableThemeDialogTexture(hwnd(), ETDT_ENABLETAB);
  TCITEMW tab{};
  tab.mask = TCIF_TEXT;
  wchar_t general[] = L"General";
  tab.pszText = general;
  SendMessageW(Item(kPages), TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tab));
  // The page control sits behind the pages' controls.
  SetWindowPos(Item(kPages), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, win32::ModuleInstance(),
                          nullptr);
  const std::pair<int, const wchar_t*> hints[] = {{kFilePropertyButton, L"View File Poperty..."},
                                                  {kOpenFolderButton, L"View File Folder..."}};
  for (const auto& [id, text] : hints) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
    tool.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  ShowPageControls();
}

void StartupSetupDialog::OnShow() { ShowPageControls(); }

void StartupSetupDialog::ShowGeneralPage(HWND owner, const StartupEntry& entry) { Fill(owner, entry, Page::General); }

void StartupSetupDialog::ShowRemoveItemPage(HWND owner, const StartupEntry& entry) {
  Fill(owner, entry, Page::RemoveItem);
}

void StartupSetupDialog::Fill(HWND owner, const StartupEntry& entry, Page page) {
  if (!hwnd() && !Create(owner)) return;
  page_ = page;
  win32::SetText(Item(kRowIndexLabel), std::to_string(entry.index));
  const std::string information = FileInformationText(entry.companyName, entry.analysis);
  if (page == Page::General) {
    win32::SetText(Item(kItemNameEdit), entry.itemName);
    win32::SetText(Item(kProgramPathEdit), entry.value);
    win32::SetText(Item(kGeneralAnalysisText), information);
  } else {
    win32::SetText(Item(kRemoveProgramEdit), entry.value);
    win32::SetText(Item(kRemoveAnalysisText), information);
    win32::SetText(Item(kDeleteFileCheck), "Also delete program file " + entry.value);
  }
  // The row's own icon: on the page and as the window's icon.
  // The controls take the new copy before the old one goes.
  win32::UniqueHicon icon(entry.icon ? CopyIcon(entry.icon) : nullptr);
  SendMessageW(Item(kGeneralIcon), STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
  SendMessageW(Item(kRemoveIcon), STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
  SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon.get()));
  SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon.get()));
  icon_ = std::move(icon);
  ShowPageControls();
}

void StartupSetupDialog::ShowPageControls() {
  if (!hwnd()) return;
  const bool general = page_ == Page::General;
  for (int id : kGeneralControls) ShowWindow(Item(id), general ? SW_SHOW : SW_HIDE);
  for (int id : kRemoveControls) ShowWindow(Item(id), general ? SW_HIDE : SW_SHOW);
  TCITEMW tab{};
  tab.mask = TCIF_TEXT;
  std::wstring caption = general ? L"General" : L"Remove Item";
  tab.pszText = caption.data();
  SendMessageW(Item(kPages), TCM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tab));
  InvalidateRect(hwnd(), nullptr, TRUE);
}

void StartupSetupDialog::OkClick() {
  if (page_ == Page::RemoveItem && onRemove) {
    int index = -1;
    try {
      index = std::stoi(Text(kRowIndexLabel));
    } catch (const std::exception&) {
    }
    const RemovalChoice choice{Checked(kDeleteFileCheck), Checked(kDeleteEntryCheck)};
    if (index >= 0 && (choice.deleteProgramFile || choice.deleteEntry)) onRemove(index, choice);
  }
  End(IDOK);
}

void StartupSetupDialog::FilePropertyClick() {
  if (onFileProperty) onFileProperty();
}

void StartupSetupDialog::OpenFolderClick() {
  if (onOpenDirectory) onOpenDirectory();
}

bool StartupSetupDialog::OnCommand(int id, int notifyCode) {
  switch (id) {
    case kOkButton: OkClick(); return true;
    case kFilePropertyButton: FilePropertyClick(); return true;
    case kOpenFolderButton: OpenFolderClick(); return true;
    default: return Dialog::OnCommand(id, notifyCode);
  }
}

std::string StartupSetupDialog::Text(int id) const { return win32::GetText(Item(id)); }

bool StartupSetupDialog::Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void StartupSetupDialog::SetChecked(int id, bool checked) {
  SendMessageW(Item(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace wl
