// No DLL from the programs' folder or the current folder. The DLL names come
// from the built programs' own import tables, so a DLL that a later change
// adds is covered too: a marker DLL is planted under each name that is not
// one of the system's known DLLs (which the loader takes from the system
// folder only), beside the program and in its current folder, and the
// program is run. A marker that ran leaves "<name>.ran" beside itself.
//
// Wine prefers its own copy of most system DLLs whatever the search order
// says; the planted names are therefore given the load order "native, then
// builtin" (WINEDLLOVERRIDES), so that Wine takes a planted file wherever
// the search would find it first - as Windows does. A program that imports
// pdh.dll the ordinary way shows that the set-up catches a planted DLL.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "core/utf8_path.h"
#include "tests/pe_imports.h"
#include "tests/support/test_support.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using test::ScratchDir;

// The known DLLs of every supported Windows version (Windows 7 and later):
// the loader maps them from the system folder only. Names of API sets
// ("api-ms-win-…", "ext-ms-…") are resolved by the loader, never searched.
const std::set<std::string>& KnownDlls() {
  static const std::set<std::string> known = {
      "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll",    "imagehlp.dll", "imm32.dll",
      "kernel32.dll", "msctf.dll",   "msvcrt.dll",   "normaliz.dll", "nsi.dll",      "ole32.dll",
      "oleaut32.dll", "psapi.dll",   "rpcrt4.dll",   "sechost.dll",  "setupapi.dll", "shell32.dll",
      "shlwapi.dll",  "user32.dll",  "wldap32.dll",  "ws2_32.dll",   "ntdll.dll"};
  return known;
}

bool IsKnown(const std::string& dll) {
  return KnownDlls().count(dll) || dll.starts_with("api-ms-win-") || dll.starts_with("ext-ms-");
}

test::PeImports ImportsOf(const std::string& program) {
  const auto imports = test::ReadPeImports(test::ReadBytes(test::BinaryDir() + "\\" + program));
  EXPECT_TRUE(imports) << program;
  return imports.value_or(test::PeImports{});
}

// Every DLL of the two programs that is not a known DLL.
std::vector<std::string> PlantedNames(const std::vector<std::string>& programs) {
  std::set<std::string> names;
  for (const auto& p : programs) {
    const auto imports = ImportsOf(p);
    for (const auto* list : {&imports.imported, &imports.named})
      for (const auto& dll : *list)
        if (!IsKnown(dll)) names.insert(dll);
  }
  return {names.begin(), names.end()};
}

std::string Join(const std::vector<std::string>& names, const char* separator) {
  std::string text;
  for (const auto& n : names) text += (text.empty() ? "" : separator) + n;
  return text;
}

void CopyInto(const std::string& from, const std::string& to) {
  ASSERT_TRUE(CopyFileW(win32::Widen(from).c_str(), win32::Widen(to).c_str(), FALSE)) << from << " -> " << to;
}

// Markers beside the program and in the current folder; the Wine load order
// that makes Wine take them where Windows would.
class Planted {
 public:
  explicit Planted(const std::vector<std::string>& names) : names_(names) {
    for (const auto* dir : {&programDir_, &currentDir_})
      for (const auto& n : names) CopyInto(test::BinaryDir() + "\\wl_marker_dll.dll", Folder(*dir) + "\\" + n);
    std::vector<std::string> stems;
    for (const auto& n : names) stems.push_back(n.substr(0, n.size() - 4));
    previous_ = Environment(L"WINEDLLOVERRIDES");
    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", win32::Widen(Join(stems, ",") + "=n,b").c_str());
  }
  ~Planted() {
    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", previous_ ? previous_->c_str() : nullptr);
  }

  std::string ProgramDir() const { return Folder(programDir_); }
  std::string CurrentDir() const { return Folder(currentDir_); }
  // The markers that ran, with their folder.
  std::vector<std::string> Ran() const {
    std::vector<std::string> ran;
    for (const auto* dir : {&programDir_, &currentDir_})
      for (const auto& n : names_)
        if (std::filesystem::exists(dir->Path() / (n + ".ran"))) ran.push_back(Folder(*dir) + "\\" + n);
    return ran;
  }

 private:
  static std::string Folder(const ScratchDir& dir) { return Utf8FromPath(dir.Path()); }
  static std::optional<std::wstring> Environment(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    const DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0 || n >= value.size()) return std::nullopt;
    value.resize(n);
    return value;
  }

  std::vector<std::string> names_;
  ScratchDir programDir_{"wlplant-prog"};
  ScratchDir currentDir_{"wlplant-cwd"};
  std::optional<std::wstring> previous_;
};

struct Started {
  win32::UniqueHandle process;
  DWORD pid = 0;
};

// Started in the given current folder, its output to NUL, no handles of the
// test inherited but those.
Started Start(const std::string& exe, const std::string& args, const std::string& currentDir) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  win32::UniqueHfile nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nul.get();
  std::wstring cmd = L"\"" + win32::Widen(exe) + L"\"" + (args.empty() ? L"" : L" " + win32::Widen(args));
  PROCESS_INFORMATION pi{};
  Started s;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      win32::Widen(currentDir).c_str(), &si, &pi)) {
    ADD_FAILURE() << "cannot start " << exe << ": " << GetLastError();
    return s;
  }
  CloseHandle(pi.hThread);
  s.process.reset(pi.hProcess);
  s.pid = pi.dwProcessId;
  return s;
}

HWND VisibleWindowOf(DWORD pid, const wchar_t* className) {
  struct Search {
    DWORD pid;
    const wchar_t* className;
    HWND found;
  } search{pid, className, nullptr};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        wchar_t cls[64] = {};
        GetClassNameW(h, cls, 64);
        if (owner != s->pid || lstrcmpW(cls, s->className) != 0 || !IsWindowVisible(h)) return TRUE;
        s->found = h;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int ExitCodeAfter(const Started& s, DWORD ms) {
  if (!s.process || WaitForSingleObject(s.process.get(), ms) != WAIT_OBJECT_0) {
    if (s.process) TerminateProcess(s.process.get(), 99);
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(s.process.get(), &code);
  return static_cast<int>(code);
}

TEST(DllPlanting, TheProgramsImportOnlyKnownDllsTheOrdinaryWay) {
  for (const char* program : {"Wardenlake.exe", "wlscan.exe"}) {
    const auto imports = ImportsOf(program);
    EXPECT_FALSE(imports.imported.empty()) << program;
    for (const auto& dll : imports.imported)
      EXPECT_TRUE(IsKnown(dll)) << program << " imports " << dll
                                << " the ordinary way: add it to WL_DELAY_LOAD_DLLS (cmake/delay_imports.cmake)";
    std::vector<std::string> others;
    for (const auto& dll : imports.named)
      if (std::find(imports.imported.begin(), imports.imported.end(), dll) == imports.imported.end())
        others.push_back(dll);
    std::printf("%s imports: %s\n  delay-loaded or loaded by name: %s\n", program, Join(imports.imported, " ").c_str(),
                Join(others, " ").c_str());
  }
}

TEST(DllPlanting, AProgramWithoutProtectionLoadsThePlantedDll) {
  // The set-up itself: if this fails, the other tests here prove nothing.
  Planted planted({"pdh.dll"});
  CopyInto(test::BinaryDir() + "\\wl_static_import.exe", planted.ProgramDir() + "\\probe.exe");
  const Started s = Start(planted.ProgramDir() + "\\probe.exe", "", planted.CurrentDir());
  ExitCodeAfter(s, 30000);
  const auto ran = planted.Ran();
  EXPECT_EQ(ran.size(), 1u) << Join(ran, ", ");
}

TEST(DllPlanting, WlscanLoadsNoPlantedDllOnAnyPage) {
  const auto names = PlantedNames({"Wardenlake.exe", "wlscan.exe"});
  ASSERT_FALSE(names.empty());
  Planted planted(names);
  CopyInto(test::BinaryDir() + "\\wlscan.exe", planted.ProgramDir() + "\\wlscan.exe");
  CopyInto(test::BinaryDir() + "\\Ref.dbd", planted.ProgramDir() + "\\Ref.dbd");
  const std::string exe = planted.ProgramDir() + "\\wlscan.exe";

  // The page names, from the usage text.
  const auto usage = test::RunProgramAt(exe, {});
  const auto at = usage.err.find("pages:");
  ASSERT_NE(at, std::string::npos) << usage.err;
  std::vector<std::string> pages;
  std::string line = usage.err.substr(at + 6);
  for (std::size_t pos = 0; pos < line.size();) {
    const std::size_t end = line.find_first_of(" \r\n", pos);
    const std::string word = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (!word.empty()) pages.push_back(word);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  ASSERT_FALSE(pages.empty());
  for (const auto& page : pages) {
    const int code = ExitCodeAfter(Start(exe, page, planted.CurrentDir()), 120000);
    EXPECT_TRUE(code == 0 || code == 1) << page << " ended with " << code;
  }
  EXPECT_TRUE(planted.Ran().empty()) << "planted DLLs that ran: " << Join(planted.Ran(), ", ")
                                     << "\nplanted: " << Join(names, " ");
}

TEST(DllPlanting, WardenlakeLoadsNoPlantedDll) {
  const auto names = PlantedNames({"Wardenlake.exe", "wlscan.exe"});
  Planted planted(names);
  CopyInto(test::BinaryDir() + "\\Wardenlake.exe", planted.ProgramDir() + "\\Wardenlake.exe");
  CopyInto(test::BinaryDir() + "\\Ref.dbd", planted.ProgramDir() + "\\Ref.dbd");
  const Started s = Start(planted.ProgramDir() + "\\Wardenlake.exe", "", planted.CurrentDir());
  ASSERT_TRUE(s.process);
  // The window for a few seconds: pictures, list views, the status bar.
  HWND window = nullptr;
  const DWORD start = GetTickCount();
  while (!window && GetTickCount() - start < 30000 && WaitForSingleObject(s.process.get(), 100) == WAIT_TIMEOUT)
    window = VisibleWindowOf(s.pid, L"WardenlakeMainWindow");
  EXPECT_NE(window, nullptr) << "no main window";
  Sleep(4000);
  EXPECT_EQ(WaitForSingleObject(s.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the program ended early";
  // Close it as a user would.
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == static_cast<DWORD>(lp)) PostMessageW(h, WM_CLOSE, 0, 0);
        return TRUE;
      },
      static_cast<LPARAM>(s.pid));
  EXPECT_EQ(ExitCodeAfter(s, 30000), 0);
  EXPECT_TRUE(planted.Ran().empty()) << "planted DLLs that ran: " << Join(planted.Ran(), ", ")
                                     << "\nplanted: " << Join(names, " ");
}

}  // namespace
}  // namespace wl
