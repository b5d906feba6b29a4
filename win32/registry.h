// Registry keys: open or create (in the 32- or 64-bit view), iterate values and
// sub-keys, typed reads that never fail on an unexpected type or size, writes
// and deletes. Names and data are UTF-8 strings.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win32/handles.h"

namespace wl::win32 {

enum class RegView { Default, Force64, Force32 };

struct RegValue {
  std::string name;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;  // raw bytes as stored
};

// The registry path text forms the lists show: "HKEY_LOCAL_MACHINE" etc.
const char* RootName(HKEY root);
// Accepts the full names and the short forms HKLM, HKCU, HKCR, HKU, HKCC.
std::optional<HKEY> RootFromName(const std::string& name);

// Text of a value the way the lists show it: strings as stored (expandable
// strings unexpanded, a multi-string's parts joined by blanks, a missing
// terminating zero tolerated), DWORD and QWORD in decimal, anything else as
// hex bytes separated by blanks.
std::string RegValueText(const RegValue& value);
// The string a value holds when it is of a string type, else nullopt.
std::optional<std::string> RegValueString(const RegValue& value);

class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY owned) : key_(owned) {}

  // Opens an existing key. error receives the Win32 error code on failure.
  static std::optional<RegKey> Open(HKEY root, const std::string& path, REGSAM access = KEY_READ,
                                    RegView view = RegView::Default, LONG* error = nullptr);
  // Opens a key, creating it (and missing parents) when missing.
  static std::optional<RegKey> Create(HKEY root, const std::string& path,
                                      REGSAM access = KEY_READ | KEY_WRITE, RegView view = RegView::Default,
                                      LONG* error = nullptr);
  // Deletes a key with all its sub-keys. ERROR_FILE_NOT_FOUND when missing.
  static LONG DeleteTree(HKEY root, const std::string& path, RegView view = RegView::Default);
  static bool Exists(HKEY root, const std::string& path, RegView view = RegView::Default);

  HKEY get() const { return key_.get(); }
  explicit operator bool() const { return static_cast<bool>(key_); }

  std::vector<std::string> SubKeyNames() const;
  std::vector<std::string> ValueNames() const;
  std::vector<RegValue> Values() const;

  std::optional<RegValue> Read(const std::string& name) const;  // "" = default value
  bool HasValue(const std::string& name) const { return Read(name).has_value(); }
  std::optional<std::string> ReadString(const std::string& name) const;
  std::optional<uint32_t> ReadDword(const std::string& name) const;  // REG_DWORD (or 4-byte REG_BINARY)

  LONG WriteString(const std::string& name, const std::string& value, DWORD type = REG_SZ) const;
  LONG WriteDword(const std::string& name, uint32_t value) const;
  LONG WriteRaw(const std::string& name, DWORD type, const std::vector<uint8_t>& data) const;
  LONG DeleteValue(const std::string& name) const;
  LONG DeleteSubTree(const std::string& subKey) const;

 private:
  UniqueHkey key_;
};

}  // namespace wl::win32
