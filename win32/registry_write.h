// Registry keys that write: opened with any rights or created, values written
// and deleted, trees deleted. Only the write routines (sysroutines/
// system_write), which back up every change first, and tests that set up
// registry state use this type; everything else reads through RegKey
// (win32/registry.h). A check of the sources keeps it so.
#pragma once

#include "win32/registry.h"

namespace wl::win32 {

class RegWriteKey : public RegKey {
 public:
  RegWriteKey() = default;
  explicit RegWriteKey(HKEY owned) : RegKey(owned) {}

  // Opens an existing key with the rights asked for.
  static std::optional<RegWriteKey> Open(HKEY root, const std::string& path, REGSAM access = KEY_READ | KEY_WRITE,
                                         RegView view = RegView::Default, LONG* error = nullptr);
  // Opens a key, creating it (and missing parents) when missing.
  static std::optional<RegWriteKey> Create(HKEY root, const std::string& path, REGSAM access = KEY_READ | KEY_WRITE,
                                           RegView view = RegView::Default, LONG* error = nullptr);
  // Deletes a key with all its sub-keys. ERROR_FILE_NOT_FOUND when missing.
  static LONG DeleteTree(HKEY root, const std::string& path, RegView view = RegView::Default);

  LONG WriteString(const std::string& name, const std::string& value, DWORD type = REG_SZ) const;
  LONG WriteDword(const std::string& name, uint32_t value) const;
  LONG WriteRaw(const std::string& name, DWORD type, const std::vector<uint8_t>& data) const;
  LONG DeleteValue(const std::string& name) const;
  LONG DeleteSubTree(const std::string& subKey) const;
};

}  // namespace wl::win32
