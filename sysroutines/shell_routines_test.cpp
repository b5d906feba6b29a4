#include "sysroutines/shell_routines.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "sysroutines/test_files.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using test::CopyFileTo;
using test::LongScratch;
using test::PathExists;
using test::TestProgram;

bool WaitFor(const std::function<bool()>& done, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 50) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

int IconWidth(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return 0;
  BITMAP bm{};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return bm.bmWidth;
}

TEST(ShellRoutines, GetFileIconForPathsAndCommands) {
  LongScratch dir;
  const std::string exe = dir.Path() + "\\Pr\xC3\xB6gramm.exe";
  CopyFileTo(TestProgram("wl_version_none"), exe);
  const std::string deep = dir.DeepFolder(300) + "\\tief.exe";
  CopyFileTo(TestProgram("wl_version_none"), deep);
  for (const std::string& text : {exe, "\"" + exe + "\" /start", deep, std::string("C:\\missing\\nothing.txt")}) {
    win32::UniqueHicon small = GetFileIcon(text, true);
    win32::UniqueHicon large = GetFileIcon(text, false);
    ASSERT_TRUE(small) << text;
    ASSERT_TRUE(large) << text;
    EXPECT_EQ(IconWidth(small.get()), GetSystemMetrics(SM_CXSMICON)) << text;
    EXPECT_EQ(IconWidth(large.get()), GetSystemMetrics(SM_CXICON)) << text;
  }
}

TEST(ShellRoutines, ShowFilePropertiesNeverRunsTheFile) {
  LongScratch dir;
  const std::string marker = dir.Path() + "\\Marke \xE6\x97\xA5.exe";
  CopyFileTo(TestProgram("wl_marker"), marker);
  EXPECT_FALSE(ShowFileProperties(dir.Path() + "\\missing.exe"));
  EXPECT_FALSE(ShowFileProperties("wl_marker.exe"));
  EXPECT_FALSE(ShowFileProperties(""));
  // The test system's shell has no properties dialog: the answer is false,
  // and the file is not opened in its place.
  EXPECT_FALSE(ShowFileProperties(marker));
  Sleep(500);
  EXPECT_FALSE(PathExists(marker + ".ran"));
}

TEST(ShellRoutines, ShellOpenStartsTheNamedProgram) {
  LongScratch dir;
  EXPECT_FALSE(ShellOpen(""));
  EXPECT_FALSE(ShellOpen("   "));
  EXPECT_FALSE(ShellOpen(dir.Path() + "\\missing.exe"));
  const std::string marker = dir.Path() + "\\Marke \xE6\x97\xA5.exe";
  CopyFileTo(TestProgram("wl_marker"), marker);
  ASSERT_TRUE(ShellOpen(marker));
  EXPECT_TRUE(WaitFor([&] { return PathExists(marker + ".ran"); }, 30000));
}

TEST(ShellRoutines, LongPathsReachTheShellInTheir83Form) {
  LongScratch dir;
  const std::string shortOne = dir.Path() + "\\kurz \xC3\xA4.exe";
  CopyFileTo(TestProgram("wl_marker"), shortOne);
  EXPECT_EQ(ShellPathFor(shortOne), win32::Widen(shortOne));
  const std::string longOne = dir.DeepFolder(300) + "\\lang \xC3\xA4.exe";
  CopyFileTo(TestProgram("wl_marker"), longOne);
  const std::wstring shellPath = ShellPathFor(longOne);
  ASSERT_FALSE(shellPath.empty());
  EXPECT_LT(shellPath.size(), static_cast<std::size_t>(MAX_PATH));
  // The same file: same size and the same file index.
  const auto identity = [](const std::wstring& path) {
    win32::UniqueHfile file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::string("none");
    return std::to_string(info.nFileIndexHigh) + ":" + std::to_string(info.nFileIndexLow) + ":" +
           std::to_string(info.nFileSizeLow);
  };
  EXPECT_EQ(identity(shellPath), identity(win32::ApiPath(longOne)));
  EXPECT_NE(identity(shellPath), "none");
  // A long path that names nothing has no form the shell could take.
  EXPECT_EQ(ShellPathFor(dir.DeepFolder(300) + "\\missing.exe"), L"");
  EXPECT_FALSE(ShellOpen(dir.DeepFolder(300) + "\\missing.exe"));
}

// Presses a button of the folder picker this process shows, once it appears,
// and keeps the name of the folder selected then.
class PickerDriver {
 public:
  // With a folder name, waits (at most 5 s) for the picker to show that
  // folder selected before pressing: it selects it itself after showing.
  explicit PickerDriver(int button, std::wstring folderName = L"")
      : folderName_(std::move(folderName)), thread_([this, button] { Run(button); }) {}
  ~PickerDriver() {
    stop_ = true;
    thread_.join();
  }
  bool Pressed() const { return pressed_; }
  // The selected folder's name when the button was pressed; read after the
  // picker has closed.
  const std::wstring& SelectedName() const { return selected_; }

 private:
  void Run(int button) {
    for (int waited = 0; waited < 15000 && !stop_; waited += 50) {
      HWND dialog = nullptr;
      EnumWindows(
          [](HWND w, LPARAM found) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            wchar_t cls[16] = L"";
            GetClassNameW(w, cls, 16);
            if (pid != GetCurrentProcessId() || wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(w)) return TRUE;
            *reinterpret_cast<HWND*>(found) = w;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&dialog));
      if (dialog) {
        for (int w = 0; w < 5000 && SelectedIn(dialog).empty(); w += 50) Sleep(50);
        for (int w = 0; w < 5000 && !folderName_.empty() && SelectedIn(dialog) != folderName_; w += 50) Sleep(50);
        Sleep(100);
        selected_ = SelectedIn(dialog);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        pressed_ = true;
        return;
      }
      Sleep(50);
    }
  }
  // The text of the item selected in the picker's tree, or nothing.
  static std::wstring SelectedIn(HWND dialog) {
    HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
    if (!tree) return {};
    const auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return {};
    wchar_t text[260] = L"";
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = 260;
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return {};
    return text;
  }
  const std::wstring folderName_;
  std::wstring selected_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> pressed_{false};
  std::thread thread_;
};

bool HaveDisplay() {
  HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!w) return false;
  DestroyWindow(w);
  return true;
}

TEST(ShellRoutines, ChooseFolderGivesTheChosenFolderOrNothing) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  LongScratch dir;
  const std::string folder = dir.Folder("Ziel \xE6\x97\xA5");
  {
    PickerDriver ok(IDOK, L"Ziel \u65E5");
    const std::string chosen = ChooseFolder("Select a directory", nullptr, folder);
    ASSERT_TRUE(ok.Pressed());
    // The picker opens at the folder it is given. Wine's picker now and then
    // stops short of it, at the user's folder, when many programs run beside
    // it; what was selected is what comes back all the same.
    if (ok.SelectedName() == L"Ziel \u65E5") {
      EXPECT_EQ(chosen, folder);
    } else {
      EXPECT_TRUE(win32::DirectoryExists(chosen)) << chosen;
      EXPECT_EQ(win32::Widen(chosen.substr(chosen.find_last_of('\\') + 1)), ok.SelectedName()) << chosen;
    }
  }
  {
    PickerDriver cancel(IDCANCEL);
    EXPECT_EQ(ChooseFolder("Select a directory", nullptr, folder), "");
    EXPECT_TRUE(cancel.Pressed());
  }
}

}  // namespace
}  // namespace wl
