#include "sysroutines/registry_viewer.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "sysroutines/system_paths.h"
#include "win32/handles.h"
#include "win32/wait.h"
#include "win32/unicode.h"

namespace wl {

namespace {

constexpr wchar_t kEditorClass[] = L"RegEdit_RegEdit";
constexpr int kCollapseSteps = 20;

// The window stays painted while the editor catches up.
void Pause(std::chrono::milliseconds pause) { win32::WaitResponsive([] { return false; }, pause); }

// Each keystroke is handled by the editor before the next one goes, but a
// hung editor must not hang this program with it.
constexpr UINT kSendLimitMs = 2000;

void SendToEditor(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, msg, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendLimitMs, &result);
}

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

void SendKey(HWND window, WPARAM key) { SendToEditor(window, WM_KEYDOWN, key, kKeyData); }

void TypeText(HWND window, const std::wstring& text) {
  for (wchar_t c : text) SendToEditor(window, WM_CHAR, c, kKeyData);
}

// How long the jump waits for an editor it started: to be idle for input,
// and for its main window.
constexpr auto kEditorStartLimit = std::chrono::seconds(10);

}  // namespace

HWND StartProgramForWindow(const std::string& programPath, const wchar_t* windowClass,
                           std::chrono::milliseconds limit) {
  const std::wstring file = win32::Widen(programPath);
  SHELLEXECUTEINFOW sei{};
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  sei.lpVerb = L"open";
  sei.lpFile = file.c_str();
  sei.nShow = SW_SHOWMAXIMIZED;
  if (file.empty() || !ShellExecuteExW(&sei)) return nullptr;
  win32::UniqueHandle process(sei.hProcess);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const auto left = [&] {
    return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      deadline - std::chrono::steady_clock::now()));
  };
  if (process) win32::WaitForInputIdleResponsive(process.get(), left());
  // Idle may come before the main window exists (or be reported at once):
  // give the window the rest of the time while the program runs.
  HWND window = nullptr;
  win32::WaitResponsive(
      [&] {
        window = FindWindowW(windowClass, nullptr);
        return window || (process && WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0);
      },
      left());
  return window ? window : FindWindowW(windowClass, nullptr);
}

std::string EnsureLeadingBackslash(const std::string& text) {
  if (text.empty() || text.front() == '\\') return text;
  return "\\" + text;
}

bool JumpToRegistryEntry(const std::string& keyPath, const std::string& valueName,
                         std::chrono::milliseconds pause) {
  HWND editor = FindWindowW(kEditorClass, nullptr);
  // By its full path: a bare name would be searched in the current folder.
  if (!editor) editor = StartProgramForWindow(WindowsProgramPath("regedit.exe"), kEditorClass, kEditorStartLimit);
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
      SendToEditor(tree, WM_CHAR, c, kKeyData);
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
