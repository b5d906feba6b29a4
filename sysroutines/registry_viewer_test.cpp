// The registry-editor walk against the system's own editor: keys made for the
// test, the editor's selection read back from its windows.
#include "sysroutines/registry_viewer.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include <filesystem>
#include <thread>

#include "core/utf8_path.h"
#include "sysroutines/system_paths.h"
#include "tests/support/test_support.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using namespace std::chrono_literals;
using win32::RegKey;
using win32::RegWriteKey;

// The editor waits for its type-ahead between key names; this one needs
// longer than the usual pause.
constexpr auto kPause = 1500ms;
const char kBase[] = "Software\\WardenlakeTest\\Jump";

TEST(RegistryViewerTest, EnsureLeadingBackslashAddsOneOnlyWhenMissing) {
  EXPECT_EQ(EnsureLeadingBackslash(""), "");
  EXPECT_EQ(EnsureLeadingBackslash("\\HKEY_CURRENT_USER"), "\\HKEY_CURRENT_USER");
  EXPECT_EQ(EnsureLeadingBackslash("HKEY_CURRENT_USER\\Software"), "\\HKEY_CURRENT_USER\\Software");
}

// Memory in the editor's process, for messages that carry pointers.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, std::size_t size) : process_(process), size_(size) {
    at_ = static_cast<char*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  }
  ~RemoteBlock() {
    if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
  }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;
  char* at() const { return at_; }
  void Write(const void* data, std::size_t n, std::size_t offset = 0) {
    WriteProcessMemory(process_, at_ + offset, data, n, nullptr);
  }
  std::wstring ReadText(std::size_t offset, std::size_t chars) {
    std::wstring text(chars, L'\0');
    ReadProcessMemory(process_, at_ + offset, text.data(), chars * sizeof(wchar_t), nullptr);
    return text.c_str();
  }

 private:
  HANDLE process_;
  std::size_t size_;
  char* at_ = nullptr;
};

constexpr std::size_t kTextChars = 512;

std::string TreeItemText(HWND tree, HANDLE process, HTREEITEM item) {
  RemoteBlock block(process, sizeof(TVITEMW) + kTextChars * sizeof(wchar_t));
  TVITEMW tv{};
  tv.mask = TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = reinterpret_cast<wchar_t*>(block.at() + sizeof(TVITEMW));
  tv.cchTextMax = static_cast<int>(kTextChars);
  block.Write(&tv, sizeof tv);
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.at()));
  return win32::Narrow(block.ReadText(sizeof(TVITEMW), kTextChars));
}

std::string SelectedKeyPath(HWND tree, HANDLE process) {
  std::vector<std::string> parts;
  auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  while (item) {
    parts.push_back(TreeItemText(tree, process, item));
    item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
  }
  std::reverse(parts.begin(), parts.end());
  std::string path;
  for (const auto& p : parts) path += (path.empty() ? "" : "\\") + p;
  return path;
}

struct SelectedValue {
  int index = -1;
  std::string name;
};

SelectedValue SelectedValueOf(HWND list, HANDLE process) {
  SelectedValue v;
  v.index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (v.index < 0) return v;
  RemoteBlock block(process, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
  LVITEMW lv{};
  lv.iSubItem = 0;
  lv.pszText = reinterpret_cast<wchar_t*>(block.at() + sizeof(LVITEMW));
  lv.cchTextMax = static_cast<int>(kTextChars);
  block.Write(&lv, sizeof lv);
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(v.index), reinterpret_cast<LPARAM>(block.at()));
  v.name = win32::Narrow(block.ReadText(sizeof(LVITEMW), kTextChars));
  return v;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class RegistryWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto leaf = RegWriteKey::Create(HKEY_CURRENT_USER, std::string(kBase) + "\\Deeper\\Leaf");
    ASSERT_TRUE(leaf);
    for (const char* name : {"Alpha", "Beta", "Gamma"}) leaf->WriteString(name, "x");
    auto other = RegWriteKey::Create(HKEY_CURRENT_USER, std::string(kBase) + "\\Other");
    ASSERT_TRUE(other);
    other->WriteString("Zed", "x");
  }
  void TearDown() override {
    // The walk started the editor: end it, by its process.
    if (!editorProcess_ && FindWindowW(L"RegEdit_RegEdit", nullptr)) FindEditor();
    if (editorProcess_) {
      TerminateProcess(editorProcess_.get(), 0);
      WaitForSingleObject(editorProcess_.get(), 10000);
    }
    RegWriteKey::DeleteTree(HKEY_CURRENT_USER, kBase);
  }
  // The editor gets the walk's standard handles; keep it off the test
  // runner's pipes.
  bool Jump(const std::string& key, const std::string& value) {
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    const HANDLE saved[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                             GetStdHandle(STD_ERROR_HANDLE)};
    SetStdHandle(STD_INPUT_HANDLE, nul);
    SetStdHandle(STD_OUTPUT_HANDLE, nul);
    SetStdHandle(STD_ERROR_HANDLE, nul);
    const bool ok = JumpToRegistryEntry(key, value, kPause);
    SetStdHandle(STD_INPUT_HANDLE, saved[0]);
    SetStdHandle(STD_OUTPUT_HANDLE, saved[1]);
    SetStdHandle(STD_ERROR_HANDLE, saved[2]);
    CloseHandle(nul);
    return ok;
  }
  // The running editor, its tree and value list, and its process.
  void FindEditor() {
    editor_ = FindWindowW(L"RegEdit_RegEdit", nullptr);
    ASSERT_NE(editor_, nullptr);
    if (!editorProcess_) {
      DWORD pid = 0;
      GetWindowThreadProcessId(editor_, &pid);
      editorProcess_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                           PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                                       FALSE, pid));
      ASSERT_TRUE(editorProcess_);
    }
    tree_ = Descendant(editor_, L"SysTreeView32");
    list_ = Descendant(editor_, L"SysListView32");
    ASSERT_NE(tree_, nullptr);
    ASSERT_NE(list_, nullptr);
  }
  static HWND Descendant(HWND parent, const wchar_t* className) {
    std::pair<const wchar_t*, HWND> search{className, nullptr};
    EnumChildWindows(
        parent,
        [](HWND h, LPARAM lp) -> BOOL {
          auto* s = reinterpret_cast<std::pair<const wchar_t*, HWND>*>(lp);
          wchar_t name[64] = {};
          GetClassNameW(h, name, 64);
          if (lstrcmpiW(name, s->first) != 0) return TRUE;
          s->second = h;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
  }

  HWND editor_ = nullptr;
  HWND tree_ = nullptr;
  HWND list_ = nullptr;
  win32::UniqueHandle editorProcess_;
};

TEST_F(RegistryWalkTest, TheEditorOpensAtTheKeyAndValueAndStartsEveryWalkFromTheTop) {
  const std::string leaf = std::string("HKEY_CURRENT_USER\\") + kBase + "\\Deeper\\Leaf";
  ASSERT_TRUE(Jump(leaf, "Beta"));
  FindEditor();
  EXPECT_PRED2(EndsWith, SelectedKeyPath(tree_, editorProcess_.get()), leaf);
  EXPECT_EQ(SelectedValueOf(list_, editorProcess_.get()).name, "Beta");

  // The editor now stands at a deep key; a key elsewhere is still reached,
  // and an empty value name selects the first value.
  const std::string other = std::string("\\HKEY_CURRENT_USER\\") + kBase + "\\Other";
  ASSERT_TRUE(Jump(other, ""));
  EXPECT_PRED2(EndsWith, SelectedKeyPath(tree_, editorProcess_.get()), other);
  // Windows selects the first value. Wine's list ignores Home when its
  // focus already stands on the first item; the first value is then the
  // focused one, without a selection.
  const int selected = SelectedValueOf(list_, editorProcess_.get()).index;
  const auto focused = SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
  EXPECT_TRUE(selected == 0 || (selected == -1 && focused == 0)) << selected << " " << focused;
}

TEST_F(RegistryWalkTest, AnEditorProgramInTheCurrentFolderIsNeverStarted) {
  // A program named like the editor, in the current folder, that leaves a
  // mark when it runs.
  test::ScratchDir dir("wlfakeeditor");
  const std::string fake = Utf8FromPath(dir.Path()) + "\\regedit.exe";
  ASSERT_TRUE(CopyFileW(win32::Widen(test::BinaryDir() + "\\wl_marker.exe").c_str(), win32::Widen(fake).c_str(),
                        FALSE));
  std::wstring saved(32768, L'\0');
  saved.resize(GetCurrentDirectoryW(static_cast<DWORD>(saved.size()), saved.data()));
  ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
  const bool ok = Jump(std::string("HKEY_CURRENT_USER\\") + kBase + "\\Other", "Zed");
  SetCurrentDirectoryW(saved.c_str());
  EXPECT_TRUE(ok);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "regedit.exe.ran"));
  // The editor that did start is the system's own.
  FindEditor();
  std::wstring image(32768, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  ASSERT_TRUE(QueryFullProcessImageNameW(editorProcess_.get(), 0, image.data(), &size));
  image.resize(size);
  EXPECT_EQ(CompareStringOrdinal(image.c_str(), -1, win32::Widen(WindowsProgramPath("regedit.exe")).c_str(), -1, TRUE),
            CSTR_EQUAL)
      << win32::Narrow(image);
}

std::vector<DWORD> ProcessIdsNamed(const std::string& name) {
  std::vector<DWORD> ids;
  win32::UniqueSnapshot snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = snap && Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry))
    if (lstrcmpiW(entry.szExeFile, win32::Widen(name).c_str()) == 0) ids.push_back(entry.th32ProcessID);
  return ids;
}

// A program that never shows the awaited window: the wait ends at its limit,
// and the waiting thread keeps answering its windows' messages meanwhile.
TEST(StartProgramForWindowTest, TheWaitIsBoundedAndTheWindowStaysResponsive) {
  test::ScratchDir dir("wlnoidle");
  const std::string name = "wlnoidle" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string program = Utf8FromPath(dir.Path()) + "\\" + name;
  ASSERT_TRUE(
      CopyFileW(win32::Widen(test::BinaryDir() + "\\wlidle.exe").c_str(), win32::Widen(program).c_str(), FALSE));
  HWND probe = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(probe, nullptr);

  // Another thread asks the probe window for its text every 100 ms and
  // keeps the longest answer time.
  std::atomic<bool> stop{false};
  std::atomic<long> longest{0};
  std::thread asker([&] {
    while (!stop) {
      const DWORD start = GetTickCount();
      DWORD_PTR result = 0;
      wchar_t text[16];
      SendMessageTimeoutW(probe, WM_GETTEXT, 16, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 10000, &result);
      longest = std::max<long>(longest, static_cast<long>(GetTickCount() - start));
      Sleep(100);
    }
  });
  const DWORD start = GetTickCount();
  HWND found = StartProgramForWindow(program, L"WardenlakeNoSuchWindow", std::chrono::milliseconds(2000));
  const DWORD elapsed = GetTickCount() - start;
  stop = true;
  asker.join();
  DestroyWindow(probe);

  // End the program, found by its unique name.
  for (DWORD pid : ProcessIdsNamed(name))
    if (win32::UniqueHandle p{OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)}) {
      TerminateProcess(p.get(), 0);
      WaitForSingleObject(p.get(), 5000);
    }

  EXPECT_EQ(found, nullptr);
  EXPECT_GE(elapsed, 1900u);
  EXPECT_LT(elapsed, 6000u);
  EXPECT_LT(longest.load(), 1000) << "the waiting thread did not answer its window";
}

}  // namespace
}  // namespace wl
