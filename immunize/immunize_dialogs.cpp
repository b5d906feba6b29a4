#include "immunize/immunize_dialogs.h"

#include <commctrl.h>

#include "ui/list_page.h"
#include "win32/dpi.h"
#include "win32/unicode.h"
#include "win32/window.h"

namespace wl {
namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kFixedDialog = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr char kBannerText[] = "Guarding against infections is more than retrieval and repairing.";
constexpr char kMessageCaption[] = "Wardenlake";

}  // namespace

ImmunizeDialog::~ImmunizeDialog() = default;

win32::DialogTemplate ImmunizeDialog::BuildTemplate() const {
  win32::DialogTemplate t(Caption(), 300, 262, kFixedDialog);
  t.Add(L"STATIC", "", kBanner, 0, 0, 300, 30, kChild | SS_OWNERDRAW);
  t.Add(L"BUTTON", "", kStatusHeader, 6, 36, 110, 13, kChild | BS_FLAT | BS_LEFT);
  t.Add(L"BUTTON", "", kCountHeader, 116, 36, 178, 13, kChild | BS_FLAT | BS_LEFT);
  t.Add(L"STATIC", "", kList, 6, 49, 288, 170, WS_CHILD);  // where the list goes
  t.Add(L"BUTTON", "Select All", kSelectAllButton, 6, 226, 54, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON);
  t.Add(L"BUTTON", "Unselect All", kUnselectAllButton, 64, 226, 54, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON);
  t.Add(L"BUTTON", "Apply", kApplyButton, 122, 226, 54, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON);
  t.Add(L"BUTTON", "Cancel", kCancelButton, 240, 226, 54, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON);
  t.Add(STATUSCLASSNAMEW, "", kStatusBar, 0, 0, 0, 0, kChild | CCS_BOTTOM);
  return t;
}

void ImmunizeDialog::OnInit() {
  if (!messageBox)
    messageBox = [](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
      return MessageBoxW(owner, win32::Widen(text).c_str(), win32::Widen(caption).c_str(), flags);
    };
  // The list takes the place the template keeps for it.
  HWND place = Item(kList);
  RECT r{};
  GetWindowRect(place, &r);
  MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
  DestroyWindow(place);
  list_.Create(hwnd(), kList, win32::ListStyle{.checkBoxes = true, .gridLines = false});
  HWND lv = list_.hwnd();
  SetWindowLongPtrW(lv, GWL_STYLE, GetWindowLongPtrW(lv, GWL_STYLE) | LVS_NOCOLUMNHEADER | WS_BORDER);
  SetWindowLongPtrW(lv, GWL_EXSTYLE, GetWindowLongPtrW(lv, GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE);
  SetWindowPos(lv, Item(kCountHeader), r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_FRAMECHANGED);
  SendMessageW(lv, WM_SETFONT, SendMessageW(hwnd(), WM_GETFONT, 0, 0), TRUE);
  RECT client{};
  GetClientRect(lv, &client);
  const UINT dpi = win32::DpiOf(hwnd());
  // One column as wide as the list without its vertical scroll bar: no
  // horizontal scroll bar.
  const int width = client.right - client.left - GetSystemMetricsForDpi(SM_CXVSCROLL, dpi);
  list_.SetColumns({{"", MulDiv(width, 96, static_cast<int>(dpi)), LVCFMT_LEFT}}, dpi);
  list_.textOf = [this](std::size_t row, int) { return ItemText(row); };
  list_.onClick = [this] { ListClick(); };

  // The banner line: white, bold italic.
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), sizeof lf, &lf);
  lf.lfWeight = FW_BOLD;
  lf.lfItalic = TRUE;
  bannerFont_.reset(CreateFontIndirectW(&lf));

  // Loading only reads: the dialogs are made at start-up, before the user
  // has asked for anything.
  Load();
}

void ImmunizeDialog::DrawBanner(const DRAWITEMSTRUCT& item) {
  const RECT r = item.rcItem;
  const int h = r.bottom - r.top;
  // A band that darkens from top to bottom.
  for (int y = 0; y < h; y += 2) {
    const int shade = 120 - 70 * y / (h ? h : 1);
    win32::UniqueGdiObject brush(CreateSolidBrush(RGB(20, 50 + shade / 2, 90 + shade)));
    RECT line{r.left, r.top + y, r.right, r.top + y + 2};
    FillRect(item.hDC, &line, static_cast<HBRUSH>(brush.get()));
  }
  const HGDIOBJ old = SelectObject(item.hDC, bannerFont_.get());
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, RGB(255, 255, 255));
  RECT text = r;
  text.left += MulDiv(12, static_cast<int>(win32::DpiOf(hwnd())), 96);
  const std::wstring line = win32::Widen(kBannerText);
  DrawTextW(item.hDC, line.c_str(), static_cast<int>(line.size()), &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  SelectObject(item.hDC, old);
}

// ---- Load and Apply ------------------------------------------------------------

void ImmunizeDialog::Load() {
  entries_ = ImmunityEntries(kind_ == ImmunityKind::Spyware ? tables_.hijack : tables_.sites);
  stored_ = LoadImmunity(kind_, entries_);
  std::size_t count = 0;
  for (bool s : stored_) count += s ? 1 : 0;
  list_.Reset(entries_.size());
  // Check marks are set after the items exist: a state image given with the
  // insertion is not kept by every list view.
  for (std::size_t i = 0; i < stored_.size(); ++i)
    if (stored_[i]) list_.SetChecked(i, true);
  win32::SetText(Item(kCountHeader), ItemHeader());
  win32::SetText(Item(kStatusHeader), ImmunityStatusHeader(count));
}

void ImmunizeDialog::SelectAllClick() {
  win32::ListUpdate update(list_);
  for (std::size_t i = 0; i < entries_.size(); ++i) list_.SetChecked(i, true);
}

void ImmunizeDialog::UnselectAllClick() {
  win32::ListUpdate update(list_);
  for (std::size_t i = 0; i < entries_.size(); ++i) list_.SetChecked(i, false);
}

void ImmunizeDialog::ApplyClick() {
  std::vector<bool> wanted(entries_.size());
  std::size_t count = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    wanted[i] = list_.IsChecked(i);
    count += wanted[i] ? 1 : 0;
  }
  const ImmunityPlan plan = PlanImmunity(stored_, wanted);
  if (kind_ == ImmunityKind::Spyware && plan.clearing > 0) {
    const std::string n = std::to_string(plan.clearing);
    const std::string text =
        (plan.clearing == 1 ? "1 ActiveX control would be allowed to run again in the browser"
                            : n + " ActiveX controls would be allowed to run again in the browser") +
        std::string(": Apply clears their kill bit.\r\n\r\nAllow ") + (plan.clearing == 1 ? "it" : "them") +
        " to run again?";
    if (messageBox(hwnd(), text, Caption(), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
      SetStatus("Nothing was changed.");
      return;
    }
  }
  SetStatus("Processing...");
  const auto action = ui::BeginDialogAction(Caption(), "Apply");
  const ImmunityApplyResult result = ApplyImmunity(kind_, entries_, stored_, wanted);
  win32::SetText(Item(kStatusHeader), ImmunityStatusHeader(count));
  Load();
  if (result.ok()) {
    SetStatus("Done");
    messageBox(hwnd(), SuccessText(), kMessageCaption, MB_OK);
    return;
  }
  const std::string failures = ImmunityFailureText(result);
  SetStatus(failures.substr(0, failures.find('\r')) + " " + result.failures.front().reason);
  const std::size_t tried = plan.changed.size();
  messageBox(hwnd(),
             std::to_string(result.failures.size()) + " of " + std::to_string(tried) +
                 (tried == 1 ? " change" : " changes") + " could not be made; the list shows what is stored now." +
                 "\r\n\r\n" + failures.substr(failures.find('\n') + 1),
             Caption(), MB_OK | MB_ICONWARNING);
}

void ImmunizeDialog::CancelClick() { End(IDCANCEL); }

// ---- what the dialog shows -----------------------------------------------------

std::string ImmunizeDialog::ItemText(std::size_t i) const {
  if (i >= entries_.size()) return {};
  return ImmunityItemText(i < stored_.size() && stored_[i], ShownName(entries_[i]));
}

bool ImmunizeDialog::Checked(std::size_t i) const { return list_.IsChecked(i); }
void ImmunizeDialog::SetChecked(std::size_t i, bool checked) { list_.SetChecked(i, checked); }

void ImmunizeDialog::ClickItem(std::size_t i) {
  list_.Select(i);
  ListClick();
}

const ImmunityEntry* ImmunizeDialog::SelectedEntry() const {
  const auto i = list_.Selected();
  return i && *i < entries_.size() ? &entries_[*i] : nullptr;
}

std::string ImmunizeDialog::Text(int id) const { return win32::GetText(Item(id)); }

void ImmunizeDialog::SetStatus(const std::string& text) {
  SendMessageW(Item(kStatusBar), SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
}

std::string ImmunizeDialog::StatusText() const {
  const LRESULT info = SendMessageW(Item(kStatusBar), SB_GETTEXTLENGTHW, 0, 0);
  std::wstring text(LOWORD(info) + 1, L'\0');
  SendMessageW(Item(kStatusBar), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(LOWORD(info));
  return win32::Narrow(text);
}

bool ImmunizeDialog::OnCommand(int id, int notifyCode) {
  switch (id) {
    case kSelectAllButton: SelectAllClick(); return true;
    case kUnselectAllButton: UnselectAllClick(); return true;
    case kApplyButton: ApplyClick(); return true;
    case kCancelButton: CancelClick(); return true;
    case kCountHeader:
    case kStatusHeader: return true;  // column headers: nothing happens
    default: return Dialog::OnCommand(id, notifyCode);
  }
}

INT_PTR ImmunizeDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NOTIFY) {
    LRESULT result = 0;
    if (list_.HandleNotify(reinterpret_cast<const NMHDR*>(lParam), &result)) {
      SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, result);
      return TRUE;
    }
    return FALSE;
  }
  if (msg == WM_DRAWITEM && wParam == kBanner) {
    DrawBanner(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return TRUE;
  }
  return Dialog::HandleMessage(msg, wParam, lParam);
}

// ---- the two dialogs -----------------------------------------------------------

std::string SpywareImmunizeDialog::ItemHeader() const { return SpywareItemHeader(Count()); }

void SpywareImmunizeDialog::SpywareListClick() {
  if (const ImmunityEntry* e = SelectedEntry()) SetStatus("CLSID: " + e->id);
}

std::string SiteImmunizeDialog::ItemHeader() const { return SiteItemHeader(tables_.sites.Count()); }

void SiteImmunizeDialog::SiteListClick() {
  if (const ImmunityEntry* e = SelectedEntry()) SetStatus("Potential infection: " + e->name);
}

}  // namespace wl
