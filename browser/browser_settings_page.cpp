#include "browser/browser_settings_page.h"

#include <algorithm>

#include "sysroutines/shell_routines.h"
#include "ui/list_page.h"
#include "win32/unicode.h"
#include "win32/window.h"

namespace wl {
namespace {

constexpr char kSaveCaption[] = "Save Settings";

}  // namespace

BrowserSettingsPage::BrowserSettingsPage(ui::PageContext& context) : Page(context) {
  chooseFolder = [](const std::string& caption, HWND owner) { return ChooseFolder(caption, owner); };
}

int BrowserSettingsPage::ButtonFor(SettingsField field) {
  switch (field) {
    case SettingsField::CaptionText: return kClearCaptionButton;
    case SettingsField::HomePage: return kBlankPageButton;
    case SettingsField::DefaultPage: return kDefaultPageButton;
    case SettingsField::SearchPage: return kSearchPageButton;
    case SettingsField::DefaultSearchPage: return kDefaultSearchPageButton;
    case SettingsField::SearchBar: return kClearSearchBarButton;
    case SettingsField::LocalPage: return kLocalPageButton;
    case SettingsField::DownloadPath: return kCustomizeButton;
    case SettingsField::IeVersion: break;
  }
  return 0;
}

void BrowserSettingsPage::OnCreate() {
  for (std::size_t i = 0; i < kSettingsFieldCount; ++i) {
    const SettingsFieldInfo& f = SettingsFields()[i];
    MakeChild(L"STATIC", f.label, SS_RIGHT | SS_NOPREFIX | SS_CENTERIMAGE, kFirstLabel + static_cast<int>(i));
    MakeChild(L"EDIT", "", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, kFirstEdit + static_cast<int>(i),
              WS_EX_CLIENTEDGE);
    if (const int button = ButtonFor(f.field)) MakeChild(L"BUTTON", f.button, WS_TABSTOP | BS_PUSHBUTTON, button);
  }
  MakeChild(L"BUTTON", "Restore Settings", WS_TABSTOP | BS_PUSHBUTTON, kRestoreSettingsButton);
  MakeChild(L"BUTTON", "Save Settings", WS_TABSTOP | BS_PUSHBUTTON, kSaveSettingsButton);
}

void BrowserSettingsPage::OnLayout(int width, int) {
  const int margin = S(12), rowHeight = S(24), gap = S(8), labelWidth = S(130), buttonWidth = S(96);
  const int groupWidth = std::max(S(480), std::min(width - 2 * margin, S(820)));
  const int groupHeight = S(28) + static_cast<int>(kSettingsFieldCount) * (rowHeight + gap);
  group_ = RECT{margin, margin, margin + groupWidth, margin + groupHeight};
  InvalidateRect(hwnd(), nullptr, TRUE);
  const int left = margin + S(12);
  const int editLeft = left + labelWidth + gap;
  const int buttonLeft = margin + groupWidth - S(12) - buttonWidth;
  const int editWidth = buttonLeft - gap - editLeft;
  int top = margin + S(26);
  for (std::size_t i = 0; i < kSettingsFieldCount; ++i) {
    const int n = static_cast<int>(i);
    MoveWindow(Control(kFirstLabel + n), left, top, labelWidth, rowHeight, TRUE);
    MoveWindow(Control(kFirstEdit + n), editLeft, top, editWidth, rowHeight, TRUE);
    if (const int button = ButtonFor(SettingsFields()[i].field))
      MoveWindow(Control(button), buttonLeft, top, buttonWidth, rowHeight, TRUE);
    top += rowHeight + gap;
  }
  const int bottom = margin + groupHeight + S(12);
  MoveWindow(Control(kSaveSettingsButton), margin + groupWidth - S(130), bottom, S(130), S(28), TRUE);
  MoveWindow(Control(kRestoreSettingsButton), margin + groupWidth - S(130) - gap - S(130), bottom, S(130), S(28), TRUE);
}

LRESULT BrowserSettingsPage::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_PAINT) return Page::HandleMessage(msg, wParam, lParam);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd(), &ps);
  const HGDIOBJ oldFont = SelectObject(dc, Font());
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  RECT frame = group_;
  frame.top += tm.tmHeight / 2;
  DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
  const std::wstring caption = L" General ";
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkMode(dc, OPAQUE);
  TextOutW(dc, group_.left + S(8), group_.top, caption.c_str(), static_cast<int>(caption.size()));
  SelectObject(dc, oldFont);
  EndPaint(hwnd(), &ps);
  return 0;
}

bool BrowserSettingsPage::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case kSaveSettingsButton: SaveSettingsClick(); return true;
    case kRestoreSettingsButton: RestoreSettingsClick(); return true;
    case kClearCaptionButton: ClearCaptionClick(); return true;
    case kClearSearchBarButton: ClearSearchBarClick(); return true;
    case kBlankPageButton: BlankPageClick(); return true;
    case kDefaultPageButton: DefaultPageClick(); return true;
    case kSearchPageButton: SearchPageClick(); return true;
    case kDefaultSearchPageButton: DefaultSearchPageClick(); return true;
    case kLocalPageButton: LocalPageClick(); return true;
    case kCustomizeButton: CustomizeClick(); return true;
    default: return false;
  }
}

std::string BrowserSettingsPage::FieldText(SettingsField field) const {
  return win32::GetText(Control(kFirstEdit + static_cast<int>(SettingsFieldIndex(field))));
}

void BrowserSettingsPage::SetFieldText(SettingsField field, const std::string& text) {
  SetWindowTextW(Control(kFirstEdit + static_cast<int>(SettingsFieldIndex(field))), win32::Widen(text).c_str());
}

void BrowserSettingsPage::LoadSettings() {
  const SettingsTexts texts = load();
  const SettingsTexts texts32 = load32();
  for (const SettingsFieldInfo& f : SettingsFields()) SetFieldText(f.field, texts[SettingsFieldIndex(f.field)]);
  loadedTexts_ = texts;
  hints_ = texts;
  // A machine value the 32-bit view holds differently: the hint names both.
  for (const SettingsFieldInfo& f : SettingsFields()) {
    const std::size_t i = SettingsFieldIndex(f.field);
    if (IsMachineField(f.field) && !texts32[i].empty() && texts32[i] != texts[i])
      hints_[i] = "64-bit: " + (texts[i].empty() ? std::string("(none)") : texts[i]) + "; 32-bit: " + texts32[i];
  }
  loaded_ = true;
}

void BrowserSettingsPage::RestoreSettingsClick() {
  for (const SettingsFieldInfo& f : SettingsFields()) SetFieldText(f.field, loadedTexts_[SettingsFieldIndex(f.field)]);
}

void BrowserSettingsPage::SaveSettingsClick() {
  SettingsTexts texts;
  for (const SettingsFieldInfo& f : SettingsFields()) texts[SettingsFieldIndex(f.field)] = FieldText(f.field);
  SettingsSaveResult result;
  {
    const auto action = BeginPageAction(*this, kSaveCaption);
    result = save(texts);
  }
  if (result.ok()) return;
  context_.ui.Message(FailedToSetDataMessage(result.valueName), kSaveCaption, MB_OK | MB_ICONERROR);
  ShowStatus(result.write.message);
}

void BrowserSettingsPage::SetField(SettingsField field) {
  if (const auto text = FieldButtonText(field)) SetFieldText(field, *text);
}

void BrowserSettingsPage::CustomizeClick() {
  const std::string folder = chooseFolder("Select a directory", context_.ui.OwnerWindow());
  if (!folder.empty()) SetFieldText(SettingsField::DownloadPath, folder);
}

std::optional<std::string> BrowserSettingsPage::HintAt(HWND control, POINT) {
  const int id = GetDlgCtrlID(control);
  if (id >= kFirstEdit && id < kFirstEdit + static_cast<int>(kSettingsFieldCount))
    return hints_[static_cast<std::size_t>(id - kFirstEdit)];
  if (id == kRestoreSettingsButton) return std::string("Undo changes.");
  if (id == kSaveSettingsButton) return std::string("Save current settings.");
  return std::nullopt;
}

}  // namespace wl
