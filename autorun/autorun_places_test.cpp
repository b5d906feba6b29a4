// One marker in every place the autorun scan reads, planted in the real
// registry (both views where a place has two) and in a Startup folder: each
// is listed with its category and flagged, Windows' own elements beside it
// are not, an added element of a list is removed without the defaults, and
// damaged values do not stop the scan.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>

#include "autorun/autorun_actions.h"
#include "autorun/autorun_scan.h"
#include "autorun/other_places.h"
#include "autorun/testing/autorun_fixture.h"
#include "judge/testing/system_judge.h"
#include "judge/windows_facts.h"
#include "sysroutines/system_info.h"
#include "sysroutines/test_files.h"
#include "sysroutines/text_routines.h"
#include "tests/support/fake_stores.h"
#include "tests/support/test_support.h"
#include "core/ascii.h"
#include "core/utf8_path.h"
#include "win32/file_path.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using test::UniqueName;

const HKEY CU = HKEY_CURRENT_USER;
const HKEY LM = HKEY_LOCAL_MACHINE;

constexpr const char* kCv = "Software\\Microsoft\\Windows\\CurrentVersion\\";
constexpr const char* kNt = "Software\\Microsoft\\Windows NT\\CurrentVersion\\";
constexpr const char* kCcs = "System\\CurrentControlSet\\";

std::vector<uint8_t> Utf16(const std::string& text, bool terminated = true) {
  const std::wstring wide = win32::Widen(text);
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(wide.c_str()),
                             reinterpret_cast<const uint8_t*>(wide.c_str() + wide.size() + (terminated ? 1 : 0)));
  return bytes;
}

std::vector<uint8_t> Multi(const std::vector<std::string>& elements, bool terminated = true) {
  std::vector<uint8_t> bytes;
  for (const auto& e : elements) {
    const auto part = Utf16(e);
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  if (terminated) bytes.push_back(0), bytes.push_back(0);
  else bytes.resize(bytes.size() - 2);  // not even the last element's zero
  return bytes;
}

std::vector<std::string> ReadMulti(HKEY root, const std::string& path, const std::string& name) {
  std::vector<std::string> out;
  auto key = win32::RegKey::Open(root, path);
  auto value = key ? key->Read(name) : std::nullopt;
  if (!value) return out;
  std::wstring all(value->data.size() / 2, L'\0');
  if (!all.empty()) memcpy(all.data(), value->data.data(), all.size() * 2);
  for (std::size_t start = 0; start < all.size();) {
    std::size_t end = all.find(L'\0', start);
    if (end == std::wstring::npos) end = all.size();
    if (end > start) out.push_back(win32::Narrow(std::wstring_view(all).substr(start, end - start)));
    start = end + 1;
  }
  return out;
}

// Values planted in the system's keys. Each is put back as it was at the
// end: a value that was there gets its data back, a key made for it goes.
class Planted {
 public:
  Planted() = default;
  ~Planted() {
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) (*it)();
  }
  Planted(const Planted&) = delete;
  Planted& operator=(const Planted&) = delete;

  void Raw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::vector<uint8_t>& data) {
    std::string sofar, made;
    for (const auto& part : SplitText(path, "\\")) {
      sofar += (sofar.empty() ? "" : "\\") + part;
      if (!win32::RegKey::Exists(root, sofar)) {
        made = sofar;
        break;
      }
    }
    if (!made.empty()) {
      // Only this test's own key: the parents made on the way stay, since
      // tests beside this one plant under the same parents (AllFilesystemObjects,
      // SafeBoot\Minimal) and deleting them would take their keys too.
      undo_.push_back([root, path] { win32::RegWriteKey::DeleteTree(root, path); });
    } else {
      auto before = win32::RegKey::Open(root, path)->Read(name);
      undo_.push_back([root, path, name, before] {
        auto key = win32::RegWriteKey::Open(root, path);
        if (!key) return;
        if (before)
          key->WriteRaw(name, before->type, before->data);
        else
          key->DeleteValue(name);
      });
    }
    auto key = win32::RegWriteKey::Create(root, path);
    if (!key || key->WriteRaw(name, type, data) != ERROR_SUCCESS)
      throw std::runtime_error("cannot plant " + path + "\\" + name);
  }
  void String(HKEY root, const std::string& path, const std::string& name, const std::string& text,
              DWORD type = REG_SZ) {
    Raw(root, path, name, type, Utf16(text));
  }

 private:
  std::vector<std::function<void()>> undo_;
};

struct Marker {
  std::string keyText;  // the row's "Registry Key"
  std::string item;
  std::string value;
  std::string category;
  bool flagged = true;
  std::string keyText32 = {};  // the 32-bit twin's text, when the views may be apart
};

std::string Text(HKEY root, const std::string& path) {
  return std::string(root == CU ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + path + "\\";
}

std::string Wow(const std::string& path) { return "Software\\Wow6432Node\\" + path.substr(9); }

const AutorunRow* Find(const AutorunScanResult& scan, const Marker& m, int* index = nullptr) {
  for (std::size_t i = 0; i < scan.rows.size(); ++i) {
    const AutorunRow& r = scan.rows[i];
    if ((r.registryKey == m.keyText || (!m.keyText32.empty() && r.registryKey == m.keyText32)) &&
        r.itemName == m.item && r.value == m.value) {
      if (index) *index = static_cast<int>(i);
      return &r;
    }
  }
  return nullptr;
}

bool Flagged(const AutorunScanResult& scan, int index) {
  for (const HijackRow& h : scan.hijack)
    if (h.index == index) return true;
  return false;
}

AutorunScanResult Scan(const AutorunPlaces& places) {
  return ScanAutorun(test::SystemJudge(), places, OpenSourceKeyInRegistry, [] { return TaskListing{}; });
}

TEST(AutorunPlaces, OneMarkerPerPlaceIsListedWithItsCategoryFlaggedAndRemovedWithoutTheDefaults) {
  test::SharedValuesLock lock;
  Planted planted;
  test::ScratchPlaces scratch;
  const std::string t = UniqueName("place");
  const std::string miss = "C:\\wltest\\" + t + "\\";
  const std::string windows = GetWindowsDir();
  const std::string cls = "{" + t + "-class}";
  std::vector<Marker> markers;
  auto plant = [&](HKEY root, const std::string& path, const std::string& name, const std::string& data,
                   Marker marker, DWORD type = REG_SZ) {
    planted.String(root, path, name, data, type);
    if (marker.keyText.empty()) marker.keyText = Text(root, path);
    markers.push_back(std::move(marker));
  };

  // The Run keys, completely.
  const std::string run = std::string(kCv) + "Run", runOnce = std::string(kCv) + "RunOnce";
  plant(CU, run, t + "-exp", "%ProgramFiles%\\wltest\\" + t + "\\run.exe",
        {.item = t + "-exp", .value = "%ProgramFiles%\\wltest\\" + t + "\\run.exe", .category = "Logon"},
        REG_EXPAND_SZ);
  plant(LM, Wow(run), t + "-32", miss + "run32.exe",
        {.keyText = Text(LM, run), .item = t + "-32", .value = miss + "run32.exe", .category = "Logon",
         .keyText32 = Text(LM, Wow(run))});
  plant(LM, runOnce, t + "-quoted", "\"" + miss + "once.exe\" /x",
        {.item = t + "-quoted", .value = "\"" + miss + "once.exe\" /x", .category = "Logon"});
  plant(LM, runOnce, t + "-ps", "powershell.exe -nop -w hidden -file " + miss + "x.ps1",
        {.item = t + "-ps", .value = "powershell.exe -nop -w hidden -file " + miss + "x.ps1", .category = "Logon",
         .flagged = false});
  plant(LM, std::string(kCv) + "RunOnceEx\\" + t, "1", miss + "ex.exe",
        {.item = "1", .value = miss + "ex.exe", .category = "Logon"});
  plant(LM, std::string(kCv) + "RunOnceEx\\" + t + "\\Depend", "1", miss + "dep.exe",
        {.item = "1", .value = miss + "dep.exe", .category = "Logon"});
  plant(CU, std::string(kCv) + "RunServices", t, miss + "svc.exe",
        {.item = t, .value = miss + "svc.exe", .category = "Logon"});
  plant(CU, std::string(kNt) + "Windows", "Load", miss + "load.exe",
        {.item = "Load", .value = miss + "load.exe", .category = "Logon"});
  plant(CU, std::string(kCv) + "Policies\\System", "Shell", miss + "pshell.exe",
        {.item = "Shell", .value = miss + "pshell.exe", .category = "Winlogon"});
  plant(CU, std::string(kCv) + "Policies\\Explorer\\Run", t + "-pol", miss + "pol.exe",
        {.item = t + "-pol", .value = miss + "pol.exe", .category = "Logon"});

  // Winlogon.
  const std::string winlogon = std::string(kNt) + "Winlogon";
  plant(LM, winlogon, "Userinit", windows + "\\system32\\userinit.exe," + miss + "ui.exe",
        {.item = "Userinit", .value = miss + "ui.exe", .category = "Winlogon"});
  plant(LM, winlogon, "mpnotify", miss + "mpnotify.exe",
        {.item = "mpnotify", .value = miss + "mpnotify.exe", .category = "Winlogon"});
  plant(LM, winlogon + "\\Notify\\" + t, "DllName", miss + "notify.dll",
        {.keyText = Text(LM, winlogon + "\\Notify\\" + t), .item = t, .value = miss + "notify.dll",
         .category = "Winlogon"});
  plant(LM, winlogon + "\\GPExtensions\\{" + t + "}", "DllName", miss + "gpext.dll",
        {.item = "{" + t + "}", .value = miss + "gpext.dll", .category = "Winlogon"});

  // Environment.
  plant(CU, "Environment", "COR_PROFILER_PATH", miss + "prof.dll",
        {.item = "COR_PROFILER_PATH", .value = miss + "prof.dll", .category = "Environment"});
  plant(CU, "Environment", "UserInitMprLogonScript", miss + "logon.bat",
        {.item = "UserInitMprLogonScript", .value = miss + "logon.bat", .category = "Environment"});
  plant(LM, std::string(kCcs) + "Control\\Session Manager\\Environment", "DOTNET_STARTUP_HOOKS", miss + "hook.dll",
        {.item = "DOTNET_STARTUP_HOOKS", .value = miss + "hook.dll", .category = "Environment"});

  // LSA: an added package beside Windows' own.
  const std::string lsa = std::string(kCcs) + "Control\\Lsa";
  planted.Raw(LM, lsa, "Security Packages", REG_MULTI_SZ, Multi({"kerberos", "msv1_0", t + "-ssp"}));
  markers.push_back({Text(LM, lsa), "Security Packages", t + "-ssp", "LSA"});
  planted.Raw(LM, lsa, "Authentication Packages", REG_MULTI_SZ, Multi({"msv1_0", t + "-auth"}));
  markers.push_back({Text(LM, lsa), "Authentication Packages", t + "-auth", "LSA"});
  // A multi-string that ends without its zeros.
  planted.Raw(LM, lsa, "Notification Packages", REG_MULTI_SZ, Multi({"scecli", t + "-notify"}, false));
  markers.push_back({Text(LM, lsa), "Notification Packages", t + "-notify", "LSA"});
  planted.Raw(LM, lsa + "\\OSConfig", "Security Packages", REG_MULTI_SZ, Multi({t + "-os"}));
  markers.push_back({Text(LM, lsa + "\\OSConfig"), "Security Packages", t + "-os", "LSA"});
  plant(LM, std::string(kCcs) + "Services\\NTDS", "LsaDbExtPt", miss + "ntds.dll",
        {.item = "LsaDbExtPt", .value = miss + "ntds.dll", .category = "LSA"});

  // DLLs the system's services load.
  const std::string monitor = std::string(kCcs) + "Control\\Print\\Monitors\\" + t;
  plant(LM, monitor, "Driver", t + "-mon.dll", {.item = t, .value = t + "-mon.dll", .category = "Print"});
  plant(LM, std::string(kCcs) + "Services\\W32Time\\TimeProviders\\" + t, "DllName", miss + "time.dll",
        {.item = t, .value = miss + "time.dll", .category = "Services"});
  plant(LM, "Software\\Microsoft\\NetSh", t, t + "-netsh.dll",
        {.item = t, .value = t + "-netsh.dll", .category = "Network"});
  plant(LM, std::string(kCcs) + "Services\\WinSock2\\Parameters", "AutodialDLL", miss + "autodial.dll",
        {.item = "AutodialDLL", .value = miss + "autodial.dll", .category = "Network"});
  plant(LM, std::string(kCcs) + "Services\\DNS\\Parameters", "ServerLevelPluginDll", miss + "dns.dll",
        {.item = "ServerLevelPluginDll", .value = miss + "dns.dll", .category = "Network"});
  plant(LM, std::string(kCcs) + "Control\\Session Manager\\AppCertDlls", t, miss + "cert.dll",
        {.item = t, .value = miss + "cert.dll", .category = "AppInit"});

  // Debuggers and error handlers.
  plant(LM, std::string(kNt) + "AeDebug", "Debugger", miss + "dbg.exe -p %ld",
        {.item = "Debugger", .value = miss + "dbg.exe -p %ld", .category = "Debuggers"});
  plant(LM, "Software\\Microsoft\\Windows\\Windows Error Reporting\\Hangs", "Debugger", miss + "hang.exe",
        {.item = "Debugger", .value = miss + "hang.exe", .category = "Debuggers"});
  plant(LM, Wow("Software\\Microsoft\\.NETFramework"), "DbgManagedDebugger", miss + "managed.exe",
        {.keyText = Text(LM, "Software\\Microsoft\\.NETFramework"), .item = "DbgManagedDebugger",
         .value = miss + "managed.exe", .category = "Debuggers",
         .keyText32 = Text(LM, Wow("Software\\Microsoft\\.NETFramework"))});
  plant(LM, std::string(kNt) + "AppCompatFlags\\TelemetryController\\" + t, "Command", miss + "telemetry.exe",
        {.item = t, .value = miss + "telemetry.exe", .category = "Debuggers"});

  // Active Setup (a Windows program loading a missing file), shims, screen saver.
  const std::string stub = "%SystemRoot%\\system32\\rundll32.exe " + miss + "stub.dll,Entry";
  plant(LM, "Software\\Microsoft\\Active Setup\\Installed Components\\{" + t + "}", "StubPath", stub,
        {.item = "{" + t + "}", .value = stub, .category = "Logon"});
  plant(LM, std::string(kNt) + "AppCompatFlags\\InstalledSDB\\{" + t + "}", "DatabasePath", miss + "x.sdb",
        {.item = "{" + t + "}", .value = miss + "x.sdb", .category = "Image Hijacks"});
  plant(CU, "Control Panel\\Desktop", "SCRNSAVE.EXE", miss + "saver.scr",
        {.item = "SCRNSAVE.EXE", .value = miss + "saver.scr", .category = "Logon"});

  // Boot: an added program after Windows' own check.
  const std::string session = std::string(kCcs) + "Control\\Session Manager";
  planted.Raw(LM, session, "BootExecute", REG_MULTI_SZ, Multi({"autocheck autochk *", t + "-boot"}));
  markers.push_back({Text(LM, session), "BootExecute", t + "-boot", "Boot"});
  planted.Raw(LM, session, "SetupExecute", REG_MULTI_SZ, Multi({miss + "setup.exe"}));
  markers.push_back({Text(LM, session), "SetupExecute", miss + "setup.exe", "Boot"});
  plant(LM, std::string(kCcs) + "Control\\BootVerificationProgram", "ImagePath", miss + "bootver.exe",
        {.item = "ImagePath", .value = miss + "bootver.exe", .category = "Boot"});

  // Image hijacks and remote desktop.
  plant(LM, std::string(kNt) + "Image File Execution Options\\" + t + ".exe", "VerifierDlls", t + "-verifier.dll",
        {.item = t + ".exe", .value = t + "-verifier.dll", .category = "Image Hijacks"});
  plant(LM, std::string(kCcs) + "Control\\Terminal Server\\WinStations\\RDP-Tcp", "InitialProgram",
        miss + "initial.exe", {.item = "InitialProgram", .value = miss + "initial.exe", .category = "Remote Desktop"});
  plant(CU, "Software\\Microsoft\\Terminal Server Client", "ClxDllPath", miss + "clx.dll",
        {.item = "ClxDllPath", .value = miss + "clx.dll", .category = "Remote Desktop"});

  // COM: a per-user class over a machine class, TreatAs, a shell command, AMSI.
  planted.String(LM, "Software\\Classes\\CLSID\\" + cls + "\\InprocServer32", "", miss + "machine.dll");
  plant(CU, "Software\\Classes\\CLSID\\" + cls + "\\InprocServer32", "", miss + "user.dll",
        {.item = cls, .value = miss + "user.dll", .category = "COM"});
  plant(CU, "Software\\Classes\\CLSID\\" + cls + "\\TreatAs", "", "{" + t + "-other}",
        {.item = cls, .value = "{" + t + "-other}", .category = "COM"});
  plant(CU, "Software\\Classes\\mscfile\\shell\\open\\command", "", miss + "msc.exe",
        {.item = "(Default)", .value = miss + "msc.exe", .category = "Image Hijacks"});
  plant(LM, "Software\\Microsoft\\AMSI\\Providers\\" + cls, "", t,
        {.item = cls, .value = miss + "user.dll", .category = "COM"});
  plant(CU, "Software\\Microsoft\\Office test\\Special\\Perf", "", miss + "office.dll",
        {.item = "(Default)", .value = miss + "office.dll", .category = "Office"});

  // Lists and names Windows keeps elsewhere, a kind of file pointed at
  // another class, the user's open command for it, Excel's add-ins.
  plant(LM, std::string(kNt) + "Windows", "IconServiceLib", t + "-icons.dll",
        {.item = "IconServiceLib", .value = t + "-icons.dll", .category = "Explorer"});
  plant(LM, std::string(kCcs) + "Control\\SafeBoot", "AlternateShell", miss + "safe.exe",
        {.item = "AlternateShell", .value = miss + "safe.exe", .category = "Boot"});
  plant(LM, "System\\Setup", "CmdLine", miss + "setup-cmd.exe",
        {.item = "CmdLine", .value = miss + "setup-cmd.exe", .category = "Boot"});
  plant(CU, "Control Panel\\Cpls", t, miss + "panel.cpl", {.item = t, .value = miss + "panel.cpl", .category = "Explorer"});
  plant(CU, "Environment", "windir", "cmd /c " + miss + "uac.exe &",
        {.item = "windir", .value = "cmd /c " + miss + "uac.exe &", .category = "Environment"});
  plant(LM, "Software\\Classes\\.hta", "", "txtfile", {.item = "(Default)", .value = "txtfile", .category = "Image Hijacks"});
  plant(CU, "Software\\Classes\\htafile\\shell\\open\\command", "", miss + "hta.exe \"%1\"",
        {.item = "(Default)", .value = miss + "hta.exe \"%1\"", .category = "Image Hijacks"});
  plant(CU, "Software\\Microsoft\\Office\\16.0\\Excel\\Options", "OPEN1", "/R " + miss + "addin.xll",
        {.item = "OPEN1", .value = "/R " + miss + "addin.xll", .category = "Office"});

  // Helpers named by their values' names, and more DLLs by registration.
  planted.Raw(LM, "Software\\Microsoft\\Windows\\Windows Error Reporting\\RuntimeExceptionHelperModules",
              miss + "wer.dll", REG_DWORD, {0, 0, 0, 0});
  markers.push_back({Text(LM, "Software\\Microsoft\\Windows\\Windows Error Reporting\\RuntimeExceptionHelperModules"),
                     miss + "wer.dll", miss + "wer.dll", "Debuggers"});
  plant(LM, std::string(kCv) + "Explorer\\ShellExecuteHooks", cls, "",
        {.item = cls, .value = miss + "user.dll", .category = "Explorer"});
  plant(LM, winlogon + "\\AlternateShells\\AvailableShells", "30000", miss + "altshell.exe",
        {.item = "30000", .value = miss + "altshell.exe", .category = "Winlogon"});
  plant(LM, std::string(kCcs) + "Control\\Print\\Providers\\" + t, "Name", t + "-provider.dll",
        {.item = t, .value = t + "-provider.dll", .category = "Print"});
  plant(LM, std::string(kCcs) + "Control\\ContentIndex\\Language\\" + t, "WBDLLPathOverride", miss + "wb.dll",
        {.item = t, .value = miss + "wb.dll", .category = "Services"});

  // Files found by their place: a program under an accessibility program's
  // name, a DLL a service loads by name, set-up's error handler, a
  // PowerShell profile, a file in Word's start-up folder.
  const std::string system32 = windows + "\\system32";
  struct PlantedFiles {
    std::vector<std::string> paths;
    ~PlantedFiles() {
      for (const auto& p : paths) DeleteFileW(win32::ApiPath(p).c_str());
    }
  } files;
  auto file = [&](const std::string& path, const std::string& bytes, const std::string& category) {
    if (win32::FileExists(path)) throw std::runtime_error(path + " is there already");
    test::WriteFileAt(path, bytes);
    files.paths.push_back(path);
    markers.push_back({path.substr(0, path.rfind('\\')), path.substr(path.rfind('\\') + 1), path, category});
  };
  ASSERT_TRUE(CopyFileW(win32::ApiPath(system32 + "\\notepad.exe").c_str(),
                        win32::ApiPath(system32 + "\\sethc.exe").c_str(), TRUE));
  files.paths.push_back(system32 + "\\sethc.exe");
  markers.push_back({system32, "sethc.exe", system32 + "\\sethc.exe", "Image Hijacks"});
  file(system32 + "\\wlbsctrl.dll", "MZ", "Services");
  CreateDirectoryW(win32::ApiPath(windows + "\\Setup").c_str(), nullptr);
  CreateDirectoryW(win32::ApiPath(windows + "\\Setup\\Scripts").c_str(), nullptr);
  file(windows + "\\Setup\\Scripts\\ErrorHandler.cmd", "@echo off\r\n", "Debuggers");
  AutorunPlaces places = scratch.Places();
  places.documentsFolder = scratch.Folder("documents");
  places.appDataFolder = scratch.Folder("appdata");
  file(scratch.Folder("documents\\WindowsPowerShell") + "\\profile.ps1", "Start-Process calc\r\n", "Logon");
  scratch.Folder("appdata\\Microsoft");
  scratch.Folder("appdata\\Microsoft\\Word");
  file(scratch.Folder("appdata\\Microsoft\\Word\\STARTUP") + "\\" + t + ".dotm", "PK", "Office");

  // A Startup folder's file that is no shortcut.
  const std::string batch = scratch.Places().userStartupFolder + "\\" + t + ".bat";
  test::WriteFileAt(batch, "@echo off\r\n");
  markers.push_back({kStartupMenuText, t + ".bat", batch, "Logon"});

  // Damaged values beside them: a number where a DLL name belongs, a list of
  // twenty thousand elements, bytes where a list of programs belongs.
  planted.Raw(LM, winlogon + "\\Notify\\" + t + "-bad", "DllName", REG_DWORD, {1, 0, 0, 0});
  std::vector<std::string> huge(20000, "");
  for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = miss + std::to_string(i) + ".exe";
  planted.Raw(LM, session, "PlatformExecute", REG_MULTI_SZ, Multi(huge));
  planted.Raw(CU, std::string(kNt) + "Windows", "Run", REG_BINARY, {0x41, 0x00, 0x42});

  const AutorunScanResult scan = Scan(places);
  for (const Marker& m : markers) {
    int index = -1;
    const AutorunRow* row = Find(scan, m, &index);
    EXPECT_NE(row, nullptr) << m.keyText << " " << m.item << " = " << m.value;
    if (!row) continue;
    EXPECT_EQ(row->category, m.category) << m.keyText << " " << m.item;
    if (m.flagged) {
      EXPECT_TRUE(Flagged(scan, index)) << m.keyText << " " << m.item << ": " << row->analysis;
    }
  }
  // Windows' own elements are no rows; the damaged values listed what they could.
  for (const AutorunRow& r : scan.rows) {
    EXPECT_NE(r.value, "kerberos");
    EXPECT_NE(r.value, "msv1_0");
    EXPECT_NE(r.value, "scecli");
    EXPECT_NE(r.value, "autocheck autochk *");
    if (r.registryKey == Text(LM, winlogon) && r.itemName == "Userinit") {
      EXPECT_EQ(r.value, miss + "ui.exe");
    }
  }
  int platform = 0;
  for (const AutorunRow& r : scan.rows) platform += r.itemName == "PlatformExecute";
  EXPECT_GT(platform, 0);
  EXPECT_LE(platform, 256);
  const AutorunRow* over = Find(scan, {Text(CU, "Software\\Classes\\CLSID\\" + cls + "\\InprocServer32"), cls,
                                       miss + "user.dll", "COM"});
  ASSERT_NE(over, nullptr);
  EXPECT_NE(over->details.find("Overrides the machine's class"), std::string::npos) << over->details;

  // Removal takes out the added element only, and a per-user class goes
  // without touching the machine's.
  auto remove = [&](const Marker& m) {
    const AutorunRow* row = Find(scan, m);
    ASSERT_NE(row, nullptr) << m.item;
    const RemovalOutcome out = RemoveAutorunItem(*row, {.deleteEntry = true}, scratch.Places());
    EXPECT_TRUE(out.entryRemoved) << m.item << ": " << out.entryError;
  };
  remove({Text(LM, lsa), "Security Packages", t + "-ssp", "LSA"});
  EXPECT_EQ(ReadMulti(LM, lsa, "Security Packages"), (std::vector<std::string>{"kerberos", "msv1_0"}));
  remove({Text(LM, session), "BootExecute", t + "-boot", "Boot"});
  EXPECT_EQ(ReadMulti(LM, session, "BootExecute"), (std::vector<std::string>{"autocheck autochk *"}));
  remove({Text(LM, winlogon), "Userinit", miss + "ui.exe", "Winlogon"});
  EXPECT_EQ(win32::RegKey::Open(LM, winlogon)->ReadString("Userinit"), windows + "\\system32\\userinit.exe,");
  // The only element of a list: the list is left empty.
  remove({Text(LM, lsa + "\\OSConfig"), "Security Packages", t + "-os", "LSA"});
  EXPECT_TRUE(ReadMulti(LM, lsa + "\\OSConfig", "Security Packages").empty());
  remove(*std::find_if(markers.begin(), markers.end(), [&](const Marker& m) { return m.value == miss + "user.dll"; }));
  EXPECT_FALSE(win32::RegKey::Exists(CU, "Software\\Classes\\CLSID\\" + cls + "\\InprocServer32"));
  EXPECT_TRUE(win32::RegKey::Exists(LM, "Software\\Classes\\CLSID\\" + cls + "\\InprocServer32"));
  remove({kStartupMenuText, t + ".bat", batch, "Logon"});
  EXPECT_FALSE(win32::FileExists(batch));
  // A class pointed elsewhere gets its own back; a program under another's
  // name goes.
  remove({Text(LM, "Software\\Classes\\.hta"), "(Default)", "txtfile", "Image Hijacks"});
  EXPECT_EQ(win32::RegKey::Open(LM, "Software\\Classes\\.hta")->ReadString(""), "htafile");
  const AutorunRow* sethc = Find(scan, {system32, "sethc.exe", system32 + "\\sethc.exe", "Image Hijacks"});
  ASSERT_NE(sethc, nullptr);
  EXPECT_FALSE(sethc->details.empty());
  remove({system32, "sethc.exe", system32 + "\\sethc.exe", "Image Hijacks"});
  EXPECT_FALSE(win32::FileExists(system32 + "\\sethc.exe"));

  const AutorunScanResult after = Scan(places);
  EXPECT_EQ(Find(after, {Text(LM, lsa), "Security Packages", t + "-ssp", "LSA"}), nullptr);
  EXPECT_EQ(Find(after, {Text(LM, session), "BootExecute", t + "-boot", "Boot"}), nullptr);
  EXPECT_NE(Find(after, {Text(LM, lsa), "Authentication Packages", t + "-auth", "LSA"}), nullptr);
}

TEST(AutorunPlaces, WindowsOwnValuesAreNoRowsAndReadingCreatesNoKey) {
  test::SharedValuesLock lock;
  Planted planted;
  const std::string windows = GetWindowsDir();
  const std::string lsa = std::string(kCcs) + "Control\\Lsa";
  const std::string winlogon = std::string(kNt) + "Winlogon";
  planted.Raw(LM, lsa, "Security Packages", REG_MULTI_SZ, Multi({"\"\"", "kerberos", "msv1_0.dll", "schannel"}));
  planted.Raw(LM, lsa, "Authentication Packages", REG_MULTI_SZ, Multi({"msv1_0"}));
  planted.String(LM, winlogon, "Userinit", windows + "\\System32\\userinit.exe,");
  planted.String(LM, winlogon, "Shell", "explorer.exe");
  planted.Raw(LM, std::string(kCcs) + "Control\\Session Manager", "BootExecute", REG_MULTI_SZ,
              Multi({"autocheck  autochk *"}));
  const std::string loadKey = std::string(kNt) + "Windows\\Load";
  const bool loadKeyBefore = win32::RegKey::Exists(CU, loadKey);
  const AutorunScanResult scan = Scan(test::ScratchPlaces().Places());
  for (const AutorunRow& r : scan.rows) {
    EXPECT_FALSE(r.category == "LSA" && r.registryKey == Text(LM, lsa)) << r.itemName << " = " << r.value;
    EXPECT_FALSE(r.category == "Boot" && r.itemName == "BootExecute") << r.value;
    EXPECT_FALSE(r.registryKey == Text(LM, winlogon) && (r.itemName == "Userinit" || r.itemName == "Shell"))
        << r.value;
  }
  EXPECT_EQ(win32::RegKey::Exists(CU, loadKey), loadKeyBefore);
}

// A file written for the test, deleted at the end.
struct WrittenFiles {
  std::vector<std::string> paths;
  void Write(const std::string& path, const std::string& bytes) {
    test::WriteFileAt(path, bytes);
    paths.push_back(path);
  }
  ~WrittenFiles() {
    for (const auto& p : paths) DeleteFileW(win32::ApiPath(p).c_str());
  }
};

TEST(AutorunPlaces, TaskNamesShellHandlersAddInsSafeModeServicesDriversAndTheTerminalAreListedAndRemoved) {
  Planted planted;
  WrittenFiles files;
  test::ScratchPlaces scratch;
  const std::string t = UniqueName("more");
  const std::string miss = "C:\\wltest\\" + t + "\\";
  const std::string windows = GetWindowsDir();
  const std::string cls = "{" + t + "-class}";
  std::vector<Marker> markers;

  // The task scheduler's names: one without a definition, one with both its
  // file and its key (no row), one whose Id is a number.
  const std::string tree = std::string(kNt) + "Schedule\\TaskCache\\Tree\\" + t;
  const std::string tasks = std::string(kNt) + "Schedule\\TaskCache\\Tasks\\";
  planted.String(LM, tree + "\\Orphan", "Id", "{" + t + "-orphan}");
  markers.push_back({Text(LM, tree + "\\Orphan"), "\\" + t + "\\Orphan", "{" + t + "-orphan}", "Scheduled Tasks"});
  planted.String(LM, tree + "\\Whole", "Id", "{" + t + "-whole}");
  planted.String(LM, tasks + "{" + t + "-whole}", "Path", "\\" + t + "\\Whole");
  CreateDirectoryW(win32::ApiPath(windows + "\\System32\\Tasks\\" + t).c_str(), nullptr);
  files.Write(windows + "\\System32\\Tasks\\" + t + "\\Whole", "<Task/>");
  planted.Raw(LM, tree + "\\Number", "Id", REG_DWORD, {7, 0, 0, 0});
  markers.push_back({Text(LM, tree + "\\Number"), "\\" + t + "\\Number", "7", "Scheduled Tasks"});

  // Handlers every file and folder loads, in both views; a class of the
  // user's whose server is missing.
  planted.String(CU, "Software\\Classes\\CLSID\\" + cls + "\\InprocServer32", "", miss + "handler.dll");
  const std::string shellex = "Software\\Classes\\AllFilesystemObjects\\shellex\\";
  planted.String(CU, shellex + "ContextMenuHandlers\\" + t, "", cls);
  markers.push_back({Text(CU, shellex + "ContextMenuHandlers\\" + t), t, miss + "handler.dll", "Explorer"});
  planted.String(LM, "Software\\Wow6432Node\\Classes\\AllFilesystemObjects\\shellex\\PropertySheetHandlers\\" + cls,
                 "", "");  // the key's name is the class
  markers.push_back({Text(LM, "Software\\Wow6432Node\\Classes\\AllFilesystemObjects\\shellex\\PropertySheetHandlers\\" + cls),
                     cls, miss + "handler.dll", "Explorer"});

  // Office add-ins: by their program identifier's class, by a manifest;
  // one without a LoadBehavior is no add-in.
  planted.String(CU, "Software\\Classes\\" + t + ".Connect\\CLSID", "", cls);
  planted.Raw(CU, "Software\\Microsoft\\Office\\Word\\Addins\\" + t + ".Connect", "LoadBehavior", REG_DWORD, {3, 0, 0, 0});
  markers.push_back({Text(CU, "Software\\Microsoft\\Office\\Word\\Addins\\" + t + ".Connect"), t + ".Connect",
                     miss + "handler.dll", "Office"});
  const std::string excel32 = "Software\\Wow6432Node\\Microsoft\\Office\\Excel\\Addins\\" + t + ".Vsto";
  planted.Raw(LM, excel32, "LoadBehavior", REG_DWORD, {3, 0, 0, 0});
  planted.String(LM, excel32, "Manifest", "file:///C:/wltest/" + t + "/addin.vsto|vstolocal");
  markers.push_back({Text(LM, excel32), t + ".Vsto", miss + "addin.vsto", "Office"});
  planted.String(CU, "Software\\Microsoft\\Office\\Word\\Addins\\" + t + ".Idle", "FriendlyName", "idle");

  // Safe mode: a service of its own beside one of Windows' names.
  const std::string services = std::string(kCcs) + "Services\\";
  planted.String(LM, std::string(kCcs) + "Control\\SafeBoot\\Minimal\\" + t, "", "Service");
  planted.String(LM, services + t, "ImagePath", miss + "safe.exe");
  planted.Raw(LM, services + t, "Type", REG_DWORD, {0x10, 0, 0, 0});
  markers.push_back({Text(LM, std::string(kCcs) + "Control\\SafeBoot\\Minimal\\" + t), t, miss + "safe.exe", "Services"});
  planted.String(LM, std::string(kCcs) + "Control\\SafeBoot\\Network\\LanmanWorkstation", "", "Service");

  // A service key the manager does not list, a driver it lists outside the
  // driver folders, and damaged keys beside them.
  planted.String(LM, services + t + "-drv", "ImagePath", "\\??\\" + miss + "drv.sys");
  planted.Raw(LM, services + t + "-drv", "Type", REG_DWORD, {1, 0, 0, 0});
  markers.push_back({Text(LM, services + t + "-drv"), t + "-drv", miss + "drv.sys", "Drivers"});
  planted.Raw(LM, services + t + "-badtype", "Type", REG_SZ, Utf16("1"));
  planted.String(LM, services + t + "-badtype", "ImagePath", miss + "badtype.exe");
  planted.Raw(LM, services + t + "-badimage", "Type", REG_DWORD, {0x10, 0, 0, 0});
  planted.Raw(LM, services + t + "-badimage", "ImagePath", REG_DWORD, {1, 2, 3, 4});

  // Windows Terminal at logon: a packaged one with comments, its default
  // profile by GUID; an unpackaged one whose file is damaged.
  AutorunPlaces places = scratch.Places();
  places.localAppDataFolder = scratch.Folder("local");
  scratch.Folder("local\\Packages");
  scratch.Folder("local\\Packages\\Microsoft.WindowsTerminal_8wekyb3d8bbwe");
  const std::string settings =
      scratch.Folder("local\\Packages\\Microsoft.WindowsTerminal_8wekyb3d8bbwe\\LocalState") + "\\settings.json";
  const std::string settingsText =
      "\xEF\xBB\xBF// \"startOnUserLogin\": true in a comment\r\n{\r\n  \"defaultProfile\": \"{61c54bbd-0000}\",\r\n"
      "  \"startOnUserLogin\" :  true, // at logon\r\n  \"profiles\": { \"list\": [\r\n"
      "    { \"guid\": \"{0caa0dad-0000}\", \"commandline\": \"cmd.exe\" },\r\n"
      "    { \"guid\": \"{61C54BBD-0000}\", \"name\": \"Shell\", \"commandline\": \"" +
      std::string("C:\\\\wltest\\\\") + t + "\\\\term.exe -x\" } ] }\r\n}\r\n";
  files.Write(settings, settingsText);
  markers.push_back({settings, "startOnUserLogin", miss + "term.exe -x", "Logon"});
  scratch.Folder("local\\Microsoft");
  const std::string unpackaged = scratch.Folder("local\\Microsoft\\Windows Terminal") + "\\settings.json";
  files.Write(unpackaged, std::string(200000, '[') + "{\"startOnUserLogin\": true");

  places.listServices = [&]() -> std::optional<std::vector<std::string>> {
    auto names = ListServiceNamesOfThisSystem();
    if (names) names->push_back(t + "-drv");
    return names;
  };
  const AutorunScanResult scan = ScanAutorun(test::SystemJudge(), places, OpenSourceKeyInRegistry,
                                             [] { return TaskListing{}; });
  for (const Marker& m : markers) {
    int index = -1;
    const AutorunRow* row = Find(scan, m, &index);
    EXPECT_NE(row, nullptr) << m.keyText << " " << m.item << " = " << m.value;
    if (!row) continue;
    EXPECT_EQ(row->category, m.category) << m.keyText << " " << m.item;
    EXPECT_TRUE(Flagged(scan, index)) << m.keyText << " " << m.item << ": " << row->analysis;
  }
  const std::string orphan = t + "-orphan";
  planted.String(LM, services + orphan, "ImagePath", miss + "orphan.exe");
  planted.Raw(LM, services + orphan, "Type", REG_DWORD, {0x10, 0, 0, 0});
  const AutorunScanResult withOrphan = ScanAutorun(test::SystemJudge(), places, OpenSourceKeyInRegistry,
                                                   [] { return TaskListing{}; });
  int orphanIndex = -1;
  const Marker orphanMarker{Text(LM, services + orphan), orphan, miss + "orphan.exe", "Services"};
  const AutorunRow* orphanRow = Find(withOrphan, orphanMarker, &orphanIndex);
  ASSERT_NE(orphanRow, nullptr);
  EXPECT_TRUE(Flagged(withOrphan, orphanIndex));
  for (const AutorunRow& r : scan.rows) {
    EXPECT_NE(r.itemName, "\\" + t + "\\Whole");
    EXPECT_NE(r.itemName, t + ".Idle");
    EXPECT_NE(r.itemName, "LanmanWorkstation");
    EXPECT_NE(r.registryKey, unpackaged);
    // Drivers in Windows' folders the judge trusts are no rows.
    if (r.source == kDriverSource) EXPECT_NE(r.judgement.verdict, Verdict::Trusted) << r.itemName << " " << r.value;
  }

  // Removal: the task's name, the handler's key, the terminal's setting (the
  // rest of its file as it was), the service key.
  auto remove = [&](const AutorunScanResult& from, const Marker& m) {
    const AutorunRow* row = Find(from, m);
    ASSERT_NE(row, nullptr) << m.item;
    const RemovalOutcome out = RemoveAutorunItem(*row, {.deleteEntry = true}, places);
    EXPECT_TRUE(out.entryRemoved) << m.item << ": " << out.entryError;
  };
  remove(scan, markers[0]);
  EXPECT_FALSE(win32::RegKey::Exists(LM, tree + "\\Orphan"));
  EXPECT_TRUE(win32::RegKey::Exists(LM, tree + "\\Whole"));
  remove(scan, markers[2]);
  EXPECT_FALSE(win32::RegKey::Exists(CU, shellex + "ContextMenuHandlers\\" + t));
  remove(scan, {settings, "startOnUserLogin", miss + "term.exe -x", "Logon"});
  std::string expected = settingsText;
  expected.replace(expected.find("true, //"), 4, "false");
  EXPECT_EQ(test::ReadBytes(settings), expected);
  remove(withOrphan, orphanMarker);
  EXPECT_FALSE(win32::RegKey::Exists(LM, services + orphan));
}

TEST(AutorunPlaces, ADriverTheManagerListsOutsideTheDriverFoldersIsFlaggedAndRemovedWithItsService) {
  ServiceSpec spec;
  spec.name = UniqueName("drv");
  spec.binaryPath = "\\??\\C:\\wltest\\" + spec.name + ".sys";
  spec.serviceType = SERVICE_KERNEL_DRIVER;
  const WriteResult created = CreateServiceEntry(spec);
  ASSERT_TRUE(created) << created.message;
  struct Gone {
    std::string name;
    ~Gone() { DeleteServiceEntry(name); }
  } gone{spec.name};
  AutorunPlaces places = test::ScratchPlaces().Places();
  places.listServices = ListServiceNamesOfThisSystem;
  const AutorunScanResult scan = Scan(places);
  int index = -1;
  const AutorunRow* row =
      Find(scan, {Text(LM, std::string(kServicesPath) + "\\" + spec.name), spec.name,
                  "C:\\wltest\\" + spec.name + ".sys", "Drivers"},
           &index);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->source, kDriverSource);
  EXPECT_EQ(row->category, "Drivers");
  EXPECT_TRUE(Flagged(scan, index)) << row->analysis;
  // One in the drivers folder that is no Windows file: listed and flagged
  // where Windows' catalogs tell Windows' own drivers (without them, as
  // under Wine, it may be one of them: no row). Windows' own are no rows.
  const std::string inFolder = GetWindowsDir() + "\\system32\\drivers\\" + spec.name + "-in.sys";
  test::CopyFileTo(test::TestProgram("wl_version_other"), inFolder);
  struct Deleted {
    std::string path;
    ~Deleted() { DeleteFileW(win32::ApiPath(path).c_str()); }
  } deleted{inFolder};
  ServiceSpec second = spec;
  second.name = spec.name + "-in";
  second.binaryPath = "System32\\drivers\\" + second.name + ".sys";
  ASSERT_TRUE(CreateServiceEntry(second));
  Gone goneToo{second.name};
  const AutorunScanResult again = Scan(places);
  const AutorunRow* inside = Find(again, {Text(LM, std::string(kServicesPath) + "\\" + second.name), second.name,
                                          GetWindowsDir() + "\\System32\\drivers\\" + second.name + ".sys", "Drivers"},
                                  &index);
  EXPECT_EQ(inside != nullptr, WindowsFacts().SystemCatalogsPresent());
  if (inside) EXPECT_TRUE(Flagged(again, index)) << inside->analysis;
  for (const AutorunRow& r : again.rows)
    if (r.source == kDriverSource && r.itemName != second.name && r.itemName != spec.name)
      ADD_FAILURE() << "one of the system's drivers: " << r.itemName << " " << r.analysis;

  const RemovalOutcome out = RemoveAutorunItem(*row, {.deleteEntry = true}, places);
  EXPECT_TRUE(out.entryRemoved) << out.entryError;
  const auto names = ListServiceNamesOfThisSystem();
  ASSERT_TRUE(names);
  EXPECT_EQ(std::find(names->begin(), names->end(), spec.name), names->end());
}

TEST(AutorunPlaces, WmiSubscriptionsAndTransferJobsAreListedFlaggedAndRemovedThroughTheirStores) {
  test::FakeWmiStore wmi;
  test::FakeTransferJobStore jobs;
  const std::string miss = "C:\\wltest\\" + UniqueName("wmi") + "\\";
  // Two consumers share one filter; the script consumer has one of its own
  // too. A consumer of no binding, one without a name and a script of a
  // megabyte beside them.
  const WmiInstance shared = test::Filter("Shared", "SELECT * FROM __InstanceModificationEvent WITHIN 60");
  const WmiInstance own = test::Filter("Own", "SELECT * FROM Win32_ProcessStartTrace");
  const WmiInstance command = test::CommandConsumer("Updater", miss + "wmi.exe -q");
  const WmiInstance script = test::ScriptConsumer("Scripted", "CreateObject(\"WScript.Shell\").Run \"calc\"");
  for (const WmiInstance& i : {shared, own, command, script, test::Binding(shared, command),
                               test::Binding(shared, script), test::Binding(own, script)})
    wmi.Add(i);
  wmi.Add(test::CommandConsumer("Unbound", ""));
  WmiInstance nameless = test::ScriptConsumer("", std::string(1 << 20, 'x'));
  nameless.path = "ActiveScriptEventConsumer.Name=\"\"";
  wmi.Add(nameless);
  TransferJob job;
  job.id = "{5EC1D6A0-0000-4000-8000-000000000001}";
  job.displayName = "Updater job";
  job.notifyProgram = miss + "notify.exe";
  job.notifyParameters = miss + "notify.exe /after";
  job.files = {{"http://example.invalid/a.bin", miss + "a.bin"}};
  TransferJob quiet = job;
  quiet.id = "{5EC1D6A0-0000-4000-8000-000000000002}";
  quiet.notifyProgram.clear();
  jobs.jobs = {job, quiet};

  AutorunPlaces places = test::ScratchPlaces().Places();
  places.wmiSubscriptions = places.transferJobs = true;
  const AutorunScanResult scan = Scan(places);
  const std::string consumers = "WMI\\root\\subscription\\";
  const std::vector<Marker> markers = {
      {consumers + "CommandLineEventConsumer", "Updater", miss + "wmi.exe -q", "WMI"},
      {consumers + "ActiveScriptEventConsumer", "Scripted", "Script (VBScript): CreateObject(\"WScript.Shell\").Run \"calc\"", "WMI"},
      {consumers + "CommandLineEventConsumer", "Unbound", "(no command)", "WMI"},
      {"Background Transfer\\" + job.id, "Updater job", miss + "notify.exe /after", "Scheduled Tasks"}};
  for (const Marker& m : markers) {
    int index = -1;
    const AutorunRow* row = Find(scan, m, &index);
    ASSERT_NE(row, nullptr) << m.keyText << " " << m.item << " = " << m.value;
    EXPECT_EQ(row->category, m.category);
    EXPECT_TRUE(Flagged(scan, index)) << m.item << ": " << row->analysis;
  }
  const AutorunRow* scripted = Find(scan, markers[1]);
  EXPECT_NE(scripted->details.find("Win32_ProcessStartTrace"), std::string::npos) << scripted->details;
  int listedJobs = 0;
  for (const AutorunRow& r : scan.rows) {
    listedJobs += r.registryKey.starts_with("Background Transfer\\");
    if (r.registryKey == consumers + "ActiveScriptEventConsumer" && r.itemName != "Scripted") {
      EXPECT_LT(r.value.size(), 300u);
    }
  }
  EXPECT_EQ(listedJobs, 1);

  // The script consumer goes with its two bindings and its own filter; the
  // shared filter stays for the other consumer.
  const RemovalOutcome out = RemoveAutorunItem(*scripted, {.deleteEntry = true}, places);
  EXPECT_TRUE(out.entryRemoved) << out.entryError;
  EXPECT_FALSE(wmi.Has(script.path));
  EXPECT_FALSE(wmi.Has(own.path));
  EXPECT_FALSE(wmi.Has(test::Binding(own, script).path));
  EXPECT_FALSE(wmi.Has(test::Binding(shared, script).path));
  EXPECT_TRUE(wmi.Has(shared.path));
  EXPECT_TRUE(wmi.Has(test::Binding(shared, command).path));
  EXPECT_TRUE(RemoveAutorunItem(*Find(scan, markers[0]), {.deleteEntry = true}, places).entryRemoved);
  EXPECT_FALSE(wmi.Has(shared.path));
  EXPECT_TRUE(RemoveAutorunItem(*Find(scan, markers[3]), {.deleteEntry = true}, places).entryRemoved);
  ASSERT_EQ(jobs.jobs.size(), 1u);
  EXPECT_EQ(jobs.jobs[0].id, quiet.id);

  // Stores that cannot be read give no rows, and the rest of the scan stands.
  wmi.unreadable = jobs.unreadable = true;
  const AutorunScanResult blind = Scan(places);
  for (const AutorunRow& r : blind.rows) EXPECT_NE(r.category, "WMI");
  EXPECT_FALSE(RemoveAutorunItem(*Find(scan, markers[2]), {.deleteEntry = true}, places).entryRemoved);
  EXPECT_EQ(TransferJobCommand("C:\\Program Files\\a.exe", "\"C:\\Program Files\\a.exe\" /x"),
            "\"C:\\Program Files\\a.exe\" /x");
  EXPECT_EQ(TransferJobCommand("C:\\a.exe", "a.exe /y"), "C:\\a.exe /y");
  EXPECT_EQ(TransferJobCommand("C:\\a.exe", "/z"), "C:\\a.exe /z");
}

TEST(AutorunPlaces, TheTerminalsSettingIsChangedOnlyWhereTheSettingsSayIt) {
  EXPECT_EQ(TerminalSettingsWithoutLogon("{\"startOnUserLogin\":true}"), "{\"startOnUserLogin\":false}");
  // Inside a profile or a string it is not the setting.
  EXPECT_FALSE(TerminalSettingsWithoutLogon("{\"profiles\": [{\"startOnUserLogin\": true}]}"));
  EXPECT_EQ(TerminalSettingsWithoutLogon("{\"a\": \"\\\"startOnUserLogin\\\": true\", \"startOnUserLogin\": true}"),
            "{\"a\": \"\\\"startOnUserLogin\\\": true\", \"startOnUserLogin\": false}");
  EXPECT_FALSE(TerminalSettingsWithoutLogon("{\"startOnUserLogin\": false}"));
  EXPECT_FALSE(TerminalSettingsWithoutLogon("{\"startOnUserLogin\": \"true\"}"));
  EXPECT_FALSE(TerminalSettingsWithoutLogon("not json"));
  EXPECT_FALSE(TerminalSettingsWithoutLogon(std::string(100000, '{')));
}

TEST(AutorunPlaces, AnotherUsersPlacesAreListedUnderTheirHiveNamingTheUserAndRemoved) {
  const std::string sid = "S-1-5-21-7-7-" + std::to_string(GetCurrentProcessId());
  struct Hive {
    std::string sid;
    ~Hive() { win32::RegWriteKey::DeleteTree(HKEY_USERS, sid); }
  } hive{sid};
  const std::string run = sid + "\\" + kCv + "Run";
  auto key = win32::RegWriteKey::Create(HKEY_USERS, run);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->WriteString("WLTest-other", "C:\\wltest\\other-user.exe"), ERROR_SUCCESS);
  ASSERT_TRUE(win32::RegWriteKey::Create(HKEY_USERS, sid + "\\Environment")
                  ->WriteString("UserInitMprLogonScript", "C:\\wltest\\other-logon.bat") == ERROR_SUCCESS);

  AutorunPlaces places = test::ScratchPlaces().Places();
  places.otherUsers = true;
  const AutorunScanResult scan = Scan(places);
  const std::string text = "HKEY_USERS\\" + run + "\\";
  int index = -1;
  const AutorunRow* row = Find(scan, {text, "WLTest-other", "C:\\wltest\\other-user.exe", "Logon"}, &index);
  ASSERT_NE(row, nullptr);
  EXPECT_NE(row->details.find("User " + sid), std::string::npos) << row->details;
  EXPECT_TRUE(Flagged(scan, index));
  EXPECT_NE(Find(scan, {"HKEY_USERS\\" + sid + "\\Environment\\", "UserInitMprLogonScript",
                        "C:\\wltest\\other-logon.bat", "Environment"}),
            nullptr);
  // The current user's own hive is read once, as HKEY_CURRENT_USER.
  for (const AutorunRow& r : scan.rows)
    if (r.registryKey.starts_with("HKEY_USERS\\")) {
      EXPECT_TRUE(r.registryKey.starts_with("HKEY_USERS\\" + sid + "\\")) << r.registryKey;
    }

  const RemovalOutcome out = RemoveAutorunItem(*row, {.deleteEntry = true}, places);
  EXPECT_TRUE(out.entryRemoved) << out.entryError;
  EXPECT_FALSE(win32::RegKey::Open(HKEY_USERS, run)->HasValue("WLTest-other"));
}

// Another user's tasks and hive rows name their programs through that user's
// variables: they resolve to that user's copies, not the administrator's.
TEST(AutorunPlaces, AnotherUsersEntriesAreJudgedInThatUsersEnvironment) {
  const std::string pid = std::to_string(GetCurrentProcessId());
  const std::string sid = "S-1-5-21-7-8-" + pid, unloaded = "S-1-5-21-7-9-" + pid;
  const std::string profileList = std::string(kNt) + "ProfileList\\";
  test::ScratchDir scratch("wlowner");
  const std::string home = win32::Narrow(scratch.Path().wstring()), away = home + "\\away";
  struct Cleanup {
    std::vector<std::pair<HKEY, std::string>> keys;
    ~Cleanup() {
      for (const auto& [root, path] : keys) win32::RegWriteKey::DeleteTree(root, path);
    }
  } cleanup{{{HKEY_USERS, sid}, {LM, profileList + sid}, {LM, profileList + unloaded}}};
  ASSERT_EQ(win32::RegWriteKey::Create(LM, profileList + sid)->WriteString("ProfileImagePath", home, REG_EXPAND_SZ),
            ERROR_SUCCESS);
  ASSERT_EQ(win32::RegWriteKey::Create(LM, profileList + unloaded)->WriteString("ProfileImagePath", away),
            ERROR_SUCCESS);
  const auto environment = win32::RegWriteKey::Create(HKEY_USERS, sid + "\\Environment");
  ASSERT_EQ(environment->WriteString("Path", "%USERPROFILE%\\Tools", REG_EXPAND_SZ), ERROR_SUCCESS);
  ASSERT_EQ(win32::RegWriteKey::Create(HKEY_USERS, sid + "\\" + kCv + "Run")
                ->WriteString("WlOwnerRun" + pid, "%LOCALAPPDATA%\\WlSync" + pid + "\\sync.exe"),
            ERROR_SUCCESS);

  // The administrator's own copy, and each user's.
  const std::string program = test::BinaryDir() + "\\wl_version_none.exe";
  const std::string own = GetSpecialFolderPath(nullptr, 28) + "\\WlSync" + pid;
  const std::string users = home + "\\AppData\\Local\\WlSync" + pid, unloadedUsers = away + "\\AppData\\Local\\WlSync" + pid;
  for (const std::string& folder : {own, users, unloadedUsers, home + "\\Tools"})
    std::filesystem::create_directories(PathFromUtf8(folder));
  for (const std::string& file : {own + "\\sync.exe", users + "\\sync.exe", unloadedUsers + "\\sync.exe",
                                  home + "\\Tools\\wltool" + pid + ".exe"})
    ASSERT_TRUE(CopyFileW(win32::ApiPath(program).c_str(), win32::ApiPath(file).c_str(), FALSE)) << file;
  struct RemoveOwn {
    std::string folder;
    ~RemoveOwn() {
      std::error_code ec;
      std::filesystem::remove_all(PathFromUtf8(folder), ec);
    }
  } removeOwn{own};

  ScheduledTask task;
  task.path = "\\WlOwner" + pid;
  task.userId = sid;
  task.actions.push_back({TaskAction::Kind::Exec, "%LOCALAPPDATA%\\WlSync" + pid + "\\sync.exe"});
  task.actions.push_back({TaskAction::Kind::Exec, "wltool" + pid + ".exe"});
  ScheduledTask notLoaded = task, unknown = task;
  notLoaded.path += "Unloaded";
  notLoaded.userId = unloaded;
  notLoaded.actions.resize(1);
  unknown.path += "Unknown";
  unknown.userId = "NoSuchUser" + pid;
  unknown.actions.resize(1);
  AutorunPlaces places = test::ScratchPlaces().Places();
  places.otherUsers = true;
  TaskListing listing;
  listing.tasks = {task, notLoaded, unknown};
  const AutorunScanResult scan =
      ScanAutorun(test::SystemJudge(), places, OpenSourceKeyInRegistry, [&] { return listing; });
  std::map<std::string, std::vector<std::string>> programs;  // item -> programs judged
  for (const AutorunRow& row : scan.rows) programs[row.itemName].push_back(AsciiLower(row.judgement.program));
  EXPECT_EQ(programs[task.path], (std::vector<std::string>{AsciiLower(users + "\\sync.exe"),
                                                           AsciiLower(home + "\\Tools\\wltool" + pid + ".exe")}));
  EXPECT_EQ(programs[notLoaded.path], std::vector<std::string>{AsciiLower(unloadedUsers + "\\sync.exe")});
  // An account the system does not know: never the administrator's copy.
  ASSERT_EQ(programs[unknown.path].size(), 1u);
  EXPECT_NE(programs[unknown.path][0], AsciiLower(own + "\\sync.exe"));
  EXPECT_EQ(programs["WlOwnerRun" + pid], std::vector<std::string>{AsciiLower(users + "\\sync.exe")});
}

}  // namespace
}  // namespace wl
