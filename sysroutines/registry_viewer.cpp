#include "sysroutines/registry_viewer.h"

#include <windows.h>
#include <shellapi.h>

#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {

namespace {

constexpr wchar_t kEditorClass[] = L"RegEdit_RegEdit";
constexpr int kCollapseSteps = 20;

void Pause(std::chrono::milliseconds pause) { Sleep(static_cast<DWORD>(pause.count())); }

// SetFocus only works on windows of the calling thread's input queue; join
// the editor's queue for the moment it takes.
void FocusForeign(HWND window) {
  if (!window) return;
  SetForegroundWindow(window);
  const DWORD target = GetWindowThreadProcessId(window, nullptr);
  const DWORD self = GetCurrentThreadId();
  const bool attached = target != self && AttachThreadInput(self, target, TRUE);
  SetFocus(window);
  if (attached) AttachThreadInput(self, target, FALSE);
}

// The first window of the class among the window's descendants (the editor
// may hold its tree and list in a frame of its own).
HWND FindChildOfClass(HWND parent, const wchar_t* className) {
  struct Search {
    const wchar_t* className;
    HWND found;
  } search{className, nullptr};
  EnumChildWindows(
      parent,
      [](HWND h, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        wchar_t name[64] = {};
        GetClassNameW(h, name, 64);
        if (lstrcmpiW(name, s->className) != 0) return TRUE;
        s->found = h;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A keystroke's message data: repeat count 1 (some controls ignore
// characters that carry none).
constexpr LPARAM kKeyData = 1;

void SendKey(HWND window, WPARAM key) { SendMessageW(window, WM_KEYDOWN, key, kKeyData); }

void TypeText(HWND window, const std::wstring& text) {
  for (wchar_t c : text) SendMessageW(window, WM_CHAR, c, kKeyData);
}

HWND StartEditor() {
  SHELLEXECUTEINFOW sei{};
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  sei.lpVerb = L"open";
  sei.lpFile = L"regedit.exe";
  sei.nShow = SW_SHOWMAXIMIZED;
  if (!ShellExecuteExW(&sei)) return nullptr;
  win32::UniqueHandle process(sei.hProcess);
  if (process) WaitForInputIdle(process.get(), INFINITE);
  // Idle may come before the main window exists (or be reported at once):
  // give the window a few seconds while the editor runs.
  for (int i = 0; i < 100; ++i) {
    if (HWND editor = FindWindowW(kEditorClass, nullptr)) return editor;
    if (process && WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) break;
    Sleep(100);
  }
  return FindWindowW(kEditorClass, nullptr);
}

}  // namespace

std::string EnsureLeadingBackslash(const std::string& text) {
  if (text.empty() || text.front() == '\\') return text;
  return "\\" + text;
}

bool JumpToRegistryEntry(const std::string& keyPath, const std::string& valueName,
                         std::chrono::milliseconds pause) {
  HWND editor = FindWindowW(kEditorClass, nullptr);
  if (!editor) editor = StartEditor();
  if (!editor) return false;
  ShowWindow(editor, SW_SHOWMAXIMIZED);
  SetForegroundWindow(editor);

  // Climb to the top of the tree, collapsing on the way.
  HWND tree = FindChildOfClass(editor, L"SysTreeView32");
  for (int i = 0; i < kCollapseSteps; ++i) SendKey(tree, VK_LEFT);
  Pause(pause);

  // Each backslash enters the selected key; the letters between them make
  // the tree's type-ahead select the child with that name.
  FocusForeign(tree);
  for (wchar_t c : win32::Widen(EnsureLeadingBackslash(keyPath))) {
    if (c == L'\\') {
      SendKey(tree, VK_RIGHT);
      Pause(pause);
    } else {
      SendMessageW(tree, WM_CHAR, c, kKeyData);
    }
  }

  HWND values = FindChildOfClass(editor, L"SysListView32");
  FocusForeign(values);
  Pause(pause);
  SendKey(values, VK_HOME);
  std::wstring name = win32::Widen(valueName);
  if (!name.empty()) CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  TypeText(values, name);
  return true;
}

}  // namespace wl
