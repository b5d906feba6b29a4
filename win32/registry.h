// Registry keys for reading: open (in the 32- or 64-bit view), iterate values
// and sub-keys, typed reads that never fail on an unexpected type or size.
// Names and data are UTF-8 strings. A RegKey can only read: it is never
// opened with a right to write, create or delete, so whatever only looks at
// the registry (every scanner, page and dialog) cannot change it. The key
// type that writes (win32/registry_write.h) is for the write routines
// (sysroutines/system_write) and for tests that set up registry state.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
// Every non-empty string of a multi-string value, to the end of its data:
// strings hidden behind an empty one (a double terminator) are found too.
std::vector<std::string> RegMultiStringParts(const RegValue& value);

// The rights a RegKey may be opened with (KEY_READ or a part of it).
inline constexpr REGSAM kRegReadRights = KEY_READ;

// The flag that selects a registry view (0 for the default view).
REGSAM RegViewFlag(RegView view);

class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY owned) : key_(owned) {}

  // Opens an existing key for reading. access may ask for read rights only
  // (kRegReadRights or a part of it): a right to write, create or delete is
  // refused with ERROR_ACCESS_DENIED and nothing is opened. error receives
  // the Win32 error code on failure.
  static std::optional<RegKey> Open(HKEY root, const std::string& path, REGSAM access = KEY_READ,
                                    RegView view = RegView::Default, LONG* error = nullptr);
  static bool Exists(HKEY root, const std::string& path, RegView view = RegView::Default);

  HKEY get() const { return key_.get(); }
  explicit operator bool() const { return static_cast<bool>(key_); }

  // The lists stop at the first entry that cannot be read. error (when
  // given) receives ERROR_SUCCESS when the list is whole, else the code of
  // what stopped it, so that a caller that must not miss an entry (a backup)
  // can tell a shorter list from a complete one.
  std::vector<std::string> SubKeyNames(LONG* error = nullptr) const;
  std::vector<std::string> ValueNames() const;
  std::vector<RegValue> Values(LONG* error = nullptr) const;

  // "" = default value. error (when given) receives ERROR_FILE_NOT_FOUND
  // when the value is missing, another code when it could not be read.
  std::optional<RegValue> Read(const std::string& name, LONG* error = nullptr) const;
  bool HasValue(const std::string& name) const { return Read(name).has_value(); }
  std::optional<std::string> ReadString(const std::string& name) const;
  std::optional<uint32_t> ReadDword(const std::string& name) const;  // REG_DWORD (or 4-byte REG_BINARY)

 private:
  UniqueHkey key_;
};

// One value read by the path of its key, without keeping the key open. The
// path is relative to root; a leading backslash and trailing backslashes are
// tolerated. valueName "" is the key's default value. Nothing when the key or
// the value is missing.
std::optional<RegValue> ReadValueAt(HKEY root, std::string_view path, std::string_view valueName,
                                    RegView view = RegView::Default);
// The same value as text when it is of a string type (as RegValueString:
// expandable strings unexpanded); nothing for any other type.
std::optional<std::string> ReadValueTextAt(HKEY root, std::string_view path, std::string_view valueName,
                                           RegView view = RegView::Default);

}  // namespace wl::win32
