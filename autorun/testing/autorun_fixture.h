// Test helpers for the autorun scan and actions: values written into the
// real autorun keys under unique names and removed again, scratch folders
// standing in for the Windows directory and the Startup folders, and row
// look-ups.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "autorun/autorun_scan.h"
#include "sysroutines/system_write.h"
#include "sysroutines/test_files.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl::test {

inline constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const char* kRunOnceEx = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
inline constexpr const char* kRun32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr const char* kWindows = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
inline constexpr const char* kSsodl = "Software\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad";
inline constexpr const char* kCuRunText = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";

// A value name no other test uses.
inline std::string UniqueName(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "WLTest-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
}

// Values written into real keys; every one is deleted when the scope ends.
class ScopedValues {
 public:
  ScopedValues() = default;
  ~ScopedValues() {
    for (const auto& [root, path, name] : written_) {
      if (auto key = win32::RegWriteKey::Open(root, path, KEY_SET_VALUE)) key->DeleteValue(name);
    }
  }
  ScopedValues(const ScopedValues&) = delete;
  ScopedValues& operator=(const ScopedValues&) = delete;

  void Raw(HKEY root, const std::string& path, const std::string& name, DWORD type,
           const std::vector<uint8_t>& data) {
    written_.push_back({root, path, name});
    auto key = win32::RegWriteKey::Create(root, path);
    if (!key || key->WriteRaw(name, type, data) != ERROR_SUCCESS) throw std::runtime_error("cannot write " + name);
  }
  void String(HKEY root, const std::string& path, const std::string& name, const std::string& data,
              DWORD type = REG_SZ) {
    written_.push_back({root, path, name});
    auto key = win32::RegWriteKey::Create(root, path);
    if (!key || key->WriteString(name, data, type) != ERROR_SUCCESS) throw std::runtime_error("cannot write " + name);
  }
  // Forget a value the test deleted itself.
  void Track(HKEY root, const std::string& path, const std::string& name) { written_.push_back({root, path, name}); }

 private:
  struct Written {
    HKEY root;
    std::string path;
    std::string name;
  };
  std::vector<Written> written_;
};

// Scratch folders for the INI files and the two Startup folders.
class ScratchPlaces {
 public:
  ScratchPlaces() {
    places_.windowsDir = scratch_.Folder("windows");
    places_.userStartupFolder = scratch_.Folder("user startup");
    places_.commonStartupFolder = scratch_.Folder("common startup");
  }
  const AutorunPlaces& Places() const { return places_; }
  std::string Folder(const std::string& name) { return scratch_.Folder(name); }
  const std::string& Path() const { return scratch_.Path(); }

 private:
  LongScratch scratch_;
  AutorunPlaces places_;
};

// An INI entry set for the test and put back as it was afterwards (under Wine
// the Win.ini entries of [windows] live in the registry whatever the file).
class ScopedIniValue {
 public:
  ScopedIniValue(std::string path, std::string section, std::string key, const std::string& value)
      : path_(std::move(path)), section_(std::move(section)), key_(std::move(key)) {
    before_ = ReadIniValue(path_, section_, key_);
    Set(value);
  }
  ~ScopedIniValue() { Set(before_); }
  ScopedIniValue(const ScopedIniValue&) = delete;
  ScopedIniValue& operator=(const ScopedIniValue&) = delete;

 private:
  void Set(const std::string& value) {
    if (value.empty())
      DeleteIniValue(path_, section_, key_);
    else
      WriteIniValue(path_, section_, key_, value);
  }
  std::string path_, section_, key_, before_;
};

inline int RowIndex(const std::vector<AutorunRow>& rows, const std::string& name, const std::string& keyText = {}) {
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].itemName == name && (keyText.empty() || rows[i].registryKey == keyText)) return static_cast<int>(i);
  return -1;
}

inline const AutorunRow* FindRow(const std::vector<AutorunRow>& rows, const std::string& name,
                                 const std::string& keyText = {}) {
  const int i = RowIndex(rows, name, keyText);
  return i < 0 ? nullptr : &rows[static_cast<std::size_t>(i)];
}

}  // namespace wl::test
