#include "ui/list_page.h"

#include <algorithm>

#include "win32/unicode.h"

namespace wl::ui {

// ---- ordering ---------------------------------------------------------------

namespace {
int CompareCaptions(const std::wstring& a, const std::wstring& b) {
  const int r = CompareStringW(LOCALE_USER_DEFAULT, 0, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                               static_cast<int>(b.size()));
  if (r == 0) return a.compare(b);  // the comparison failed: plain code order
  return r - CSTR_EQUAL;
}
}  // namespace

std::vector<std::size_t> CaptionOrder(const std::vector<std::string>& captions) {
  std::vector<std::wstring> keys;
  keys.reserve(captions.size());
  for (const auto& c : captions) keys.push_back(win32::Widen(c));
  std::vector<std::size_t> order(captions.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return CompareCaptions(keys[a], keys[b]) < 0; });
  return order;
}

std::size_t CaptionInsertPosition(const std::vector<std::string>& captions, const std::string& text) {
  const std::wstring key = win32::Widen(text);
  std::size_t lo = 0, hi = captions.size();
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (CompareCaptions(win32::Widen(captions[mid]), key) <= 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// ---- ListPageBase -----------------------------------------------------------

ListPageBase::~ListPageBase() {
  if (menu_) DestroyMenu(menu_);
}

void ListPageBase::AddAction(PageAction action) { actions_.push_back(std::move(action)); }

void ListPageBase::AddSeparator() { actions_.push_back(PageAction{}); }

void ListPageBase::AddFilter(std::vector<std::string> choices, std::function<void(int)> onChange, int width96) {
  filterChoices_ = std::move(choices);
  filterChanged_ = std::move(onChange);
  filterWidth96_ = width96;
}

void ListPageBase::ChooseFilter(int choice) {
  if (choice < 0 || static_cast<std::size_t>(choice) >= filterChoices_.size()) return;
  filterChoice_ = choice;
  if (filterBox_) SendMessageW(filterBox_, CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
  if (filterChanged_) filterChanged_(choice);
}

const PageAction* ListPageBase::FindAction(int id) const {
  if (id == 0) return nullptr;
  for (const auto& a : actions_)
    if (a.id == id) return &a;
  return nullptr;
}

void ListPageBase::OnCreate() {
  menu_ = CreatePopupMenu();
  bool pendingSeparator = false;
  for (const auto& a : actions_) {
    if (a.id == 0) {
      pendingSeparator = GetMenuItemCount(menu_) > 0;
      continue;
    }
    if (!a.menu) continue;
    if (pendingSeparator) AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
    pendingSeparator = false;
    AppendMenuW(menu_, MF_STRING, static_cast<UINT_PTR>(a.id), win32::Widen(a.caption).c_str());
  }
  BuildToolbar();
  if (!filterChoices_.empty()) {
    filterBox_ = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                                 0, 0, S(filterWidth96_), S(300), hwnd(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFilterId)), win32::ModuleInstance(),
                                 nullptr);
    if (filterBox_) {
      SendMessageW(filterBox_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
      for (const auto& choice : filterChoices_)
        SendMessageW(filterBox_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::Widen(choice).c_str()));
      SendMessageW(filterBox_, CB_SETCURSEL, static_cast<WPARAM>(filterChoice_), 0);
    }
  }
  CreateList(Dpi());
  win32::ListView& view = MainView();
  view.onClick = [this] { RunPopup(); };
  view.onSelectionChanged = [this] { RunPopup(); };
  view.onColumnClick = [this](int column) {
    if (columnClick_) columnClick_(column);
  };
  view.onDoubleClick = [this] {
    if (doubleClick_) doubleClick_();
  };
  RunPopup();
}

void ListPageBase::BuildToolbar() {
  if (std::none_of(actions_.begin(), actions_.end(), [](const PageAction& a) { return a.id && a.toolbar; })) return;
  toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS | TBSTYLE_WRAPABLE |
                                 CCS_NODIVIDER | CCS_NOPARENTALIGN | CCS_NORESIZE,
                             0, 0, 100, 30, hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kToolbarId)),
                             win32::ModuleInstance(), nullptr);
  if (!toolbar_) return;
  SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(toolbar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS | TBSTYLE_EX_DOUBLEBUFFER);
  SendMessageW(toolbar_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  std::vector<Glyph> glyphs;
  std::vector<TBBUTTON> buttons;
  std::vector<std::wstring> texts;
  texts.reserve(actions_.size());
  for (const auto& a : actions_) {
    TBBUTTON b{};
    if (a.id == 0) {
      if (buttons.empty()) continue;
      b.fsStyle = BTNS_SEP;
    } else {
      if (!a.toolbar) continue;
      b.iBitmap = a.glyph == Glyph::None ? I_IMAGENONE : static_cast<int>(glyphs.size());
      if (a.glyph != Glyph::None) glyphs.push_back(a.glyph);
      b.idCommand = a.id;
      b.fsState = TBSTATE_ENABLED;
      b.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
      texts.push_back(win32::Widen(a.caption));
      b.iString = reinterpret_cast<INT_PTR>(texts.back().c_str());
    }
    buttons.push_back(b);
  }
  toolbarImages_ = ImageList(S(16), glyphs);
  SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolbarImages_.get()));
  SendMessageW(toolbar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
}

void ListPageBase::OnDpiChanged() {
  if (toolbar_) {
    std::vector<Glyph> glyphs;
    for (const auto& a : actions_)
      if (a.id && a.toolbar && a.glyph != Glyph::None) glyphs.push_back(a.glyph);
    toolbarImages_ = ImageList(S(16), glyphs);
    SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolbarImages_.get()));
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
  }
}

void ListPageBase::OnLayout(int width, int height) {
  int top = 0;
  if (toolbar_) {
    const DWORD size = static_cast<DWORD>(SendMessageW(toolbar_, TB_GETBUTTONSIZE, 0, 0));
    const int h = HIWORD(size) + S(6);
    const int filter = filterBox_ ? S(filterWidth96_) + S(8) : 0;
    // The filter sits at the right of the toolbar's row while every button
    // still shows in full; a narrower page gives it a row of its own below.
    const bool beside = !filterBox_ || S(4) + ButtonsWidth() + filter <= width;
    // Buttons that do not fit in one row wrap to the next: none is cut off.
    const int toolbarWidth = std::max(0, width - S(8) - (beside ? filter : 0));
    MoveWindow(toolbar_, S(4), S(2), toolbarWidth, h, FALSE);
    const int rows = std::max(1, static_cast<int>(SendMessageW(toolbar_, TB_GETROWS, 0, 0)));
    const int toolbarHeight = rows * HIWORD(size) + S(6);
    MoveWindow(toolbar_, S(4), S(2), toolbarWidth, toolbarHeight, TRUE);
    top = toolbarHeight + S(4);
    if (filterBox_ && beside) {
      MoveWindow(filterBox_, width - filter, S(4), S(filterWidth96_), S(300), TRUE);
    } else if (filterBox_) {
      MoveWindow(filterBox_, S(4), top, S(filterWidth96_), S(300), TRUE);
      RECT box{};
      GetWindowRect(filterBox_, &box);  // the closed box, without its list
      top += box.bottom - box.top + S(4);
    }
  }
  LayoutBelowToolbar(RECT{0, top, width, height});
}

// The width of every button in one row, wherever they stand now.
int ListPageBase::ButtonsWidth() const {
  const auto count = SendMessageW(toolbar_, TB_BUTTONCOUNT, 0, 0);
  int width = 0;
  for (WPARAM i = 0; count > 0 && i < static_cast<WPARAM>(count); ++i) {
    RECT r{};
    if (SendMessageW(toolbar_, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r))) width += r.right - r.left;
  }
  return width;
}

void ListPageBase::LayoutBelowToolbar(const RECT& area) {
  MoveWindow(MainView().hwnd(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

void ListPageBase::EnableAction(int id, bool enabled) {
  auto it = std::find(disabled_.begin(), disabled_.end(), id);
  if (enabled && it != disabled_.end()) disabled_.erase(it);
  if (!enabled && it == disabled_.end()) disabled_.push_back(id);
  if (menu_) EnableMenuItem(menu_, static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  if (toolbar_) SendMessageW(toolbar_, TB_ENABLEBUTTON, static_cast<WPARAM>(id), MAKELPARAM(enabled ? TRUE : FALSE, 0));
}

bool ListPageBase::IsActionEnabled(int id) const {
  return FindAction(id) && std::find(disabled_.begin(), disabled_.end(), id) == disabled_.end();
}

ActionScope& ListPageActionScope() {
  static ActionScope scope;
  return scope;
}

std::shared_ptr<void> BeginPageAction(const Page& page, const std::string& action) {
  return ListPageActionScope() ? ListPageActionScope()(page, action) : nullptr;
}

DialogActionScopeFn& DialogActionScope() {
  static DialogActionScopeFn scope;
  return scope;
}

std::shared_ptr<void> BeginDialogAction(const std::string& title, const std::string& action) {
  return DialogActionScope() ? DialogActionScope()(title, action) : nullptr;
}

bool ListPageBase::InvokeAction(int id) {
  const PageAction* a = FindAction(id);
  if (!a || !IsActionEnabled(id) || !a->handler) return false;
  // Copy: the handler may change the action table's owner state.
  const auto handler = a->handler;
  const auto scope = ListPageActionScope() ? ListPageActionScope()(*this, a->caption) : nullptr;
  handler();
  return true;
}

void ListPageBase::RunPopup() {
  if (popup_) popup_();
}

bool ListPageBase::OnCommand(int id, int code, HWND control) {
  if (id == kFilterId && control && control == filterBox_) {
    if (code == CBN_SELCHANGE) {
      const LRESULT chosen = SendMessageW(filterBox_, CB_GETCURSEL, 0, 0);
      if (chosen != CB_ERR) ChooseFilter(static_cast<int>(chosen));
    }
    return true;
  }
  if (!FindAction(id)) return false;
  InvokeAction(id);
  return true;
}

bool ListPageBase::OnNotify(const NMHDR* header, LRESULT* result) {
  if (header->code == TTN_GETDISPINFOW) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(const_cast<NMHDR*>(header));
    if (const PageAction* a = FindAction(static_cast<int>(header->idFrom))) {
      tipText_ = win32::Widen(a->hint);
      info->lpszText = tipText_.data();
      *result = 0;
      return true;
    }
    return false;
  }
  return MainView().HandleNotify(header, result);
}

bool ListPageBase::OnContextMenu(HWND control, POINT screen) {
  if (control != MainView().hwnd()) return false;
  RunPopup();
  if (!menu_ || GetMenuItemCount(menu_) <= 0) return true;
  if (screen.x == -1 && screen.y == -1) {
    // From the keyboard: under the selected row, or the list's corner.
    RECT r{};
    const auto sel = MainView().Selected();
    if (sel && ListView_GetItemRect(MainView().hwnd(), static_cast<int>(*sel), &r, LVIR_LABEL)) {
      screen = POINT{r.left, r.bottom};
    } else {
      screen = POINT{S(8), S(8)};
    }
    ClientToScreen(MainView().hwnd(), &screen);
  }
  if (onTrackPopup) {
    onTrackPopup(menu_, screen);
  } else {
    TrackPopupMenu(menu_, TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, screen.x, screen.y, 0, hwnd(), nullptr);
  }
  return true;
}

std::optional<std::string> ListPageBase::HintAt(HWND control, POINT screenPoint) {
  if (!toolbar_ || control != toolbar_) return std::nullopt;
  POINT pt = screenPoint;
  ScreenToClient(toolbar_, &pt);
  const int index = static_cast<int>(SendMessageW(toolbar_, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&pt)));
  if (index < 0) return std::string();
  TBBUTTON b{};
  if (!SendMessageW(toolbar_, TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&b)))
    return std::string();
  const PageAction* a = FindAction(b.idCommand);
  return a ? a->hint : std::string();
}

}  // namespace wl::ui
