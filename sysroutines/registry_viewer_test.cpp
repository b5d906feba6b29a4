// The registry-editor walk against the system's own editor: keys made for the
// test, the editor's selection read back from its windows.
#include "sysroutines/registry_viewer.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using namespace std::chrono_literals;
using win32::RegKey;

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
    auto leaf = RegKey::Create(HKEY_CURRENT_USER, std::string(kBase) + "\\Deeper\\Leaf");
    ASSERT_TRUE(leaf);
    for (const char* name : {"Alpha", "Beta", "Gamma"}) leaf->WriteString(name, "x");
    auto other = RegKey::Create(HKEY_CURRENT_USER, std::string(kBase) + "\\Other");
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
    RegKey::DeleteTree(HKEY_CURRENT_USER, kBase);
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

}  // namespace
}  // namespace wl
