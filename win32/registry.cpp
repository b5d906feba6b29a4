#include "win32/registry.h"

#include <shlwapi.h>

#include "win32/registry_write.h"

#include <algorithm>
#include <cstdio>

#include "core/ascii.h"
#include "win32/unicode.h"

namespace wl::win32 {
namespace {

// Decodes UTF-16 string data of any size: odd trailing byte dropped, cut at
// the first terminating zero.
std::wstring WideFromData(const std::vector<uint8_t>& data) {
  std::wstring s(data.size() / 2, L'\0');
  if (!s.empty()) memcpy(s.data(), data.data(), s.size() * 2);
  return s;
}

std::string CutAtNul(std::wstring s) {
  const auto pos = s.find(L'\0');
  if (pos != std::wstring::npos) s.resize(pos);
  return Narrow(s);
}

}  // namespace

REGSAM RegViewFlag(RegView view) {
  switch (view) {
    case RegView::Force64: return KEY_WOW64_64KEY;
    case RegView::Force32: return KEY_WOW64_32KEY;
    default: return 0;
  }
}

const char* RootName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_USERS) return "HKEY_USERS";
  if (root == HKEY_CURRENT_CONFIG) return "HKEY_CURRENT_CONFIG";
  return "";
}

std::optional<HKEY> RootFromName(const std::string& name) {
  const std::string u = AsciiUpper(name);
  if (u == "HKEY_CLASSES_ROOT" || u == "HKCR") return HKEY_CLASSES_ROOT;
  if (u == "HKEY_CURRENT_USER" || u == "HKCU") return HKEY_CURRENT_USER;
  if (u == "HKEY_LOCAL_MACHINE" || u == "HKLM") return HKEY_LOCAL_MACHINE;
  if (u == "HKEY_USERS" || u == "HKU") return HKEY_USERS;
  if (u == "HKEY_CURRENT_CONFIG" || u == "HKCC") return HKEY_CURRENT_CONFIG;
  return std::nullopt;
}

std::optional<std::string> RegValueString(const RegValue& value) {
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return CutAtNul(WideFromData(value.data));
    case REG_MULTI_SZ: {
      std::wstring all = WideFromData(value.data);
      std::string out;
      std::size_t start = 0;
      while (start < all.size()) {
        const auto end = all.find(L'\0', start);
        const std::wstring part = all.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (part.empty()) break;
        if (!out.empty()) out += ' ';
        out += Narrow(part);
        if (end == std::wstring::npos) break;
        start = end + 1;
      }
      return out;
    }
    default:
      return std::nullopt;
  }
}

std::vector<std::string> RegMultiStringParts(const RegValue& value) {
  std::vector<std::string> parts;
  const std::wstring all = WideFromData(value.data);
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find(L'\0', start);
    if (end == std::wstring::npos) end = all.size();
    if (end > start) parts.push_back(Narrow(std::wstring_view(all).substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

std::string RegValueText(const RegValue& value) {
  if (auto s = RegValueString(value)) return *s;
  if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t v;
    memcpy(&v, value.data.data(), 4);
    return std::to_string(v);
  }
  if (value.type == REG_QWORD && value.data.size() == 8) {
    uint64_t v;
    memcpy(&v, value.data.data(), 8);
    return std::to_string(v);
  }
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", value.data[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

std::optional<RegKey> RegKey::Open(HKEY root, const std::string& path, REGSAM access, RegView view, LONG* error) {
  // Read rights only: the view flags are added here, never asked for.
  if (access & ~kRegReadRights) {
    if (error) *error = ERROR_ACCESS_DENIED;
    return std::nullopt;
  }
  HKEY h = nullptr;
  const LONG rc = RegOpenKeyExW(root, Widen(path).c_str(), 0, access | RegViewFlag(view), &h);
  if (error) *error = rc;
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return RegKey(h);
}

bool RegKey::Exists(HKEY root, const std::string& path, RegView view) {
  return Open(root, path, KEY_READ, view).has_value();
}

std::vector<std::string> RegKey::SubKeyNames(LONG* error) const {
  std::vector<std::string> names;
  LONG stop = ERROR_INVALID_HANDLE;
  if (key_) {
    std::wstring buf(256, L'\0');
    for (DWORD i = 0;; ++i) {
      DWORD len = static_cast<DWORD>(buf.size());
      const LONG rc = RegEnumKeyExW(key_.get(), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_MORE_DATA && buf.size() < 32768) {
        buf.resize(buf.size() * 2);
        --i;
        continue;
      }
      if (rc != ERROR_SUCCESS) {
        stop = rc == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : rc;
        break;
      }
      names.push_back(Narrow(std::wstring_view(buf.data(), len)));
    }
  }
  if (error) *error = stop;
  return names;
}

std::vector<RegValue> RegKey::Values(LONG* error) const {
  std::vector<RegValue> values;
  LONG stop = ERROR_INVALID_HANDLE;
  DWORD maxName = 0, maxData = 0;
  if (key_) {
    stop = RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                            &maxData, nullptr, nullptr);
  }
  if (stop != ERROR_SUCCESS) {
    if (error) *error = stop;
    return values;
  }
  std::wstring name(std::max<DWORD>(maxName, 256) + 2, L'\0');
  std::vector<uint8_t> data(maxData + 2);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    DWORD dataLen = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    const LONG rc = RegEnumValueW(key_.get(), i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
    if (rc == ERROR_MORE_DATA) {  // the value grew since we asked: retry larger
      if (name.size() < 32770) name.resize(32770);
      data.resize(std::max<std::size_t>(data.size() * 2, dataLen + 2));
      if (data.size() > (256u << 20)) {
        stop = ERROR_MORE_DATA;
        break;
      }
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) {
      stop = rc == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : rc;
      break;
    }
    RegValue v;
    v.name = Narrow(std::wstring_view(name.data(), nameLen));
    v.type = type;
    v.data.assign(data.begin(), data.begin() + dataLen);
    values.push_back(std::move(v));
  }
  if (error) *error = stop;
  return values;
}

std::vector<std::string> RegKey::ValueNames() const {
  std::vector<std::string> names;
  for (auto& v : Values()) names.push_back(std::move(v.name));
  return names;
}

std::optional<RegValue> RegKey::Read(const std::string& name, LONG* error) const {
  LONG rc = ERROR_INVALID_HANDLE;
  if (error) *error = rc;
  if (!key_) return std::nullopt;
  const std::wstring wname = Widen(name);
  DWORD type = REG_NONE, size = 0;
  rc = RegQueryValueExW(key_.get(), wname.c_str(), nullptr, &type, nullptr, &size);
  if (error) *error = rc;
  if (rc != ERROR_SUCCESS) return std::nullopt;
  RegValue v;
  v.name = name;
  for (int attempt = 0; attempt < 8; ++attempt) {  // the value may grow between the calls
    v.data.resize(size + 2);
    DWORD got = static_cast<DWORD>(v.data.size());
    rc = RegQueryValueExW(key_.get(), wname.c_str(), nullptr, &type, v.data.data(), &got);
    if (error) *error = rc;
    if (rc == ERROR_MORE_DATA) {
      size = got;
      continue;
    }
    if (rc != ERROR_SUCCESS) return std::nullopt;
    v.data.resize(got);
    v.type = type;
    return v;
  }
  return std::nullopt;
}

std::optional<std::string> RegKey::ReadString(const std::string& name) const {
  const auto v = Read(name);
  return v ? RegValueString(*v) : std::nullopt;
}

std::optional<uint32_t> RegKey::ReadDword(const std::string& name) const {
  const auto v = Read(name);
  if (!v || v->data.size() != 4 || (v->type != REG_DWORD && v->type != REG_BINARY)) return std::nullopt;
  uint32_t x;
  memcpy(&x, v->data.data(), 4);
  return x;
}

std::optional<RegValue> ReadValueAt(HKEY root, std::string_view path, std::string_view valueName, RegView view) {
  if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  const auto key = RegKey::Open(root, std::string(path), KEY_READ, view);
  if (!key) return std::nullopt;
  return key->Read(std::string(valueName));
}

std::optional<std::string> ReadValueTextAt(HKEY root, std::string_view path, std::string_view valueName,
                                           RegView view) {
  const auto value = ReadValueAt(root, path, valueName, view);
  return value ? RegValueString(*value) : std::nullopt;
}

std::optional<RegWriteKey> RegWriteKey::Open(HKEY root, const std::string& path, REGSAM access, RegView view,
                                             LONG* error) {
  HKEY h = nullptr;
  const LONG rc = RegOpenKeyExW(root, Widen(path).c_str(), 0, access | RegViewFlag(view), &h);
  if (error) *error = rc;
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return RegWriteKey(h);
}

std::optional<RegWriteKey> RegWriteKey::Create(HKEY root, const std::string& path, REGSAM access, RegView view,
                                               LONG* error) {
  HKEY h = nullptr;
  const LONG rc = RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  access | RegViewFlag(view), nullptr, &h, nullptr);
  if (error) *error = rc;
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return RegWriteKey(h);
}

LONG RegWriteKey::DeleteTree(HKEY root, const std::string& path, RegView view) {
  if (path.empty()) return ERROR_INVALID_PARAMETER;  // never the whole root
  LONG rc = ERROR_SUCCESS;
  auto parentPath = path;
  std::string leaf = path;
  const auto slash = path.find_last_of('\\');
  if (slash != std::string::npos) {
    parentPath = path.substr(0, slash);
    leaf = path.substr(slash + 1);
  } else {
    parentPath.clear();
  }
  auto parent = Open(root, parentPath, KEY_READ | KEY_WRITE, view, &rc);
  if (!parent) return rc;
  return parent->DeleteSubTree(leaf);
}

LONG RegWriteKey::WriteString(const std::string& name, const std::string& value, DWORD type) const {
  const std::wstring w = Widen(value);
  return RegSetValueExW(get(), Widen(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(w.c_str()),
                        static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
}

LONG RegWriteKey::WriteDword(const std::string& name, uint32_t value) const {
  return RegSetValueExW(get(), Widen(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

LONG RegWriteKey::WriteRaw(const std::string& name, DWORD type, const std::vector<uint8_t>& data) const {
  return RegSetValueExW(get(), Widen(name).c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
}

LONG RegWriteKey::DeleteValue(const std::string& name) const { return RegDeleteValueW(get(), Widen(name).c_str()); }

LONG RegWriteKey::DeleteSubTree(const std::string& subKey) const {
  if (subKey.empty()) return ERROR_INVALID_PARAMETER;
  return SHDeleteKeyW(get(), Widen(subKey).c_str());
}

}  // namespace wl::win32
