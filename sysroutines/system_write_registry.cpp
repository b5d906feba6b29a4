// The write routines of the registry and of INI files.
#include "sysroutines/system_write.h"

#include "core/ascii.h"
#include "sysroutines/held_path.h"
#include "sysroutines/text_routines.h"
#include "sysroutines/write_gate.h"
#include "win32/file_path.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {

namespace {

using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

// The key path with empty parts dropped, and how many parts it has.
std::string CleanKeyPath(std::string_view keyPath, std::size_t* parts = nullptr) {
  std::string out;
  std::size_t count = 0;
  for (const auto& part : SplitText(keyPath, "\\")) {
    if (part.empty()) continue;
    if (!out.empty()) out += '\\';
    out += part;
    ++count;
  }
  if (parts) *parts = count;
  return out;
}

std::string KeyText(HKEY root, const std::string& cleanPath) {
  std::string text = win32::RootName(root);
  if (text.empty()) text = "(unknown root)";
  if (!cleanPath.empty()) text += "\\" + cleanPath;
  return text;
}

WriteResult WriteValue(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD type,
                       const BYTE* data, std::size_t size, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  WriteRequest request{WriteKind::WriteRegValue, KeyText(root, path), std::string(valueName)};
  if (size > 0xFFFFFFFFu) return gate::Failure(request, ERROR_INVALID_PARAMETER, "the data is too large.");
  request.view = view;
  request.type = type;
  if (size) request.data.assign(data, data + size);
  if (auto refused = gate::Intercepted(request)) return *refused;
  LONG rc = ERROR_SUCCESS;
  auto key = RegWriteKey::Create(root, path, KEY_SET_VALUE, view, &rc);
  if (!key) return gate::Failure(request, static_cast<uint32_t>(rc));
  rc = RegSetValueExW(key->get(), win32::Widen(valueName).c_str(), 0, type, data, static_cast<DWORD>(size));
  return rc == ERROR_SUCCESS ? gate::Done() : gate::Failure(request, static_cast<uint32_t>(rc));
}

// An INI file's way (the file may be missing: the system makes it).
std::optional<WriteResult> HoldIniWay(const WriteRequest& r, std::string_view iniPath, std::optional<HeldPath>& way,
                                      win32::UniqueHfile& file) {
  way.emplace(gate::HoldWayTo(iniPath));
  if (!way->ok()) return gate::Failure(r, way->Error(), way->Reason());
  if (!way->Missing().empty()) return gate::Failure(r, ERROR_PATH_NOT_FOUND, "its folder does not exist.");
  if (win32::FileAttributes(way->FinalPath()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  // Checked; the system's profile routines open it for themselves, so only
  // its folder is held besides.
  file = way->OpenFile(FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN);
  if (!file) return gate::Failure(r, way->Error(), way->Reason());
  return std::nullopt;
}

}  // namespace

WriteResult DeleteRegValue(HKEY root, std::string_view keyPath, std::string_view valueName, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  WriteRequest request{WriteKind::DeleteRegValue, KeyText(root, path), std::string(valueName)};
  request.view = view;
  if (auto refused = gate::Intercepted(request)) return *refused;
  LONG rc = ERROR_SUCCESS;
  auto key = RegWriteKey::Open(root, path, KEY_QUERY_VALUE | KEY_SET_VALUE, view, &rc);
  if (!key) return gate::Failure(request, static_cast<uint32_t>(rc));
  rc = key->DeleteValue(std::string(valueName));
  return rc == ERROR_SUCCESS ? gate::Done() : gate::Failure(request, static_cast<uint32_t>(rc));
}

WriteResult DeleteRegTree(HKEY root, std::string_view keyPath, RegView view) {
  std::size_t parts = 0;
  const std::string path = CleanKeyPath(keyPath, &parts);
  WriteRequest request{WriteKind::DeleteRegTree, KeyText(root, path), {}};
  request.view = view;
  if (parts < 2) return gate::Failure(request, ERROR_INVALID_PARAMETER, "a top-level key is never deleted.");
  if (auto refused = gate::Intercepted(request)) return *refused;
  const LONG rc = RegWriteKey::DeleteTree(root, path, view);
  return rc == ERROR_SUCCESS ? gate::Done() : gate::Failure(request, static_cast<uint32_t>(rc));
}

WriteResult CreateRegKey(HKEY root, std::string_view keyPath, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  WriteRequest request{WriteKind::CreateRegKey, KeyText(root, path), {}};
  request.view = view;
  if (path.empty()) return gate::Failure(request, ERROR_INVALID_PARAMETER, "no key was named.");
  if (auto refused = gate::Intercepted(request)) return *refused;
  LONG rc = ERROR_SUCCESS;
  auto key = RegWriteKey::Create(root, path, KEY_READ, view, &rc);
  return key ? gate::Done() : gate::Failure(request, static_cast<uint32_t>(rc));
}

WriteResult DeleteEmptyRegKey(HKEY root, std::string_view keyPath, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  WriteRequest request{WriteKind::DeleteRegTree, KeyText(root, path), {}};
  request.view = view;
  if (path.empty()) return gate::Failure(request, ERROR_INVALID_PARAMETER, "no key was named.");
  LONG rc = ERROR_SUCCESS;
  auto key = RegKey::Open(root, path, KEY_READ, view, &rc);
  if (!key) return gate::Failure(request, static_cast<uint32_t>(rc));
  DWORD subKeys = 0, values = 0;
  rc = RegQueryInfoKeyW(key->get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                        nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return gate::Failure(request, static_cast<uint32_t>(rc));
  if (subKeys || values) return gate::Failure(request, ERROR_DIR_NOT_EMPTY, "the key is not empty.");
  key.reset();
  if (auto refused = gate::Intercepted(request)) return *refused;
  rc = RegDeleteKeyExW(root, win32::Widen(path).c_str(), win32::RegViewFlag(view), 0);
  return rc == ERROR_SUCCESS ? gate::Done() : gate::Failure(request, static_cast<uint32_t>(rc));
}

WriteResult WriteRegString(HKEY root, std::string_view keyPath, std::string_view valueName, std::string_view value,
                           DWORD type, RegView view) {
  const std::wstring w = win32::Widen(value);
  return WriteValue(root, keyPath, valueName, type, reinterpret_cast<const BYTE*>(w.c_str()),
                    (w.size() + 1) * sizeof(wchar_t), view);
}

WriteResult WriteRegDword(HKEY root, std::string_view keyPath, std::string_view valueName, uint32_t value,
                          RegView view) {
  return WriteValue(root, keyPath, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value, view);
}

WriteResult WriteRegData(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD type,
                         const std::vector<uint8_t>& data, RegView view) {
  return WriteValue(root, keyPath, valueName, type, data.data(), data.size(), view);
}

WriteResult DeleteRegistryValuePath(std::string_view keyPathText, std::string_view valueName, RegView view) {
  const std::string rootName = TextBeforeChar(std::string(keyPathText) + "\\", '\\');
  HKEY root = nullptr;
  if (EqualsNoCase(rootName, "HKEY_CURRENT_USER")) root = HKEY_CURRENT_USER;
  if (EqualsNoCase(rootName, "HKEY_LOCAL_MACHINE")) root = HKEY_LOCAL_MACHINE;
  if (!root) {
    const WriteRequest request{WriteKind::DeleteRegValue, std::string(keyPathText), std::string(valueName)};
    return gate::Failure(request, ERROR_INVALID_PARAMETER,
                   "only values under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are deleted.");
  }
  return DeleteRegValue(root, keyPathText.substr(rootName.size()), valueName, view);
}

namespace {

// Writes an INI entry's text, or deletes the entry (no text).
WriteResult SetIniEntry(std::string_view iniPath, std::string_view section, std::string_view key,
                        std::optional<std::string_view> value) {
  WriteRequest request{value ? WriteKind::WriteIniValue : WriteKind::DeleteIniValue, std::string(iniPath),
                       std::string(section) + "\\" + std::string(key)};
  request.section = section;
  request.entry = key;
  if (value) request.text = std::string(*value);
  if (!IsFullPath(iniPath)) return gate::Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  // An empty key would make the system delete the whole section.
  if (section.empty() || key.empty()) return gate::Failure(request, ERROR_INVALID_PARAMETER, "no entry was named.");
  std::optional<HeldPath> way;
  win32::UniqueHfile held;
  if (auto refused = HoldIniWay(request, iniPath, way, held)) return *refused;
  if (auto refused = gate::Intercepted(request)) return *refused;
  const std::wstring text = value ? win32::Widen(*value) : std::wstring();
  SetLastError(ERROR_SUCCESS);
  if (WritePrivateProfileStringW(win32::Widen(section).c_str(), win32::Widen(key).c_str(),
                                 value ? text.c_str() : nullptr, win32::ApiPath(way->FinalPath()).c_str()))
    return gate::Done();
  return gate::Failure(request, GetLastError());
}

}  // namespace

WriteResult WriteIniValue(std::string_view iniPath, std::string_view section, std::string_view key,
                          std::string_view value) {
  return SetIniEntry(iniPath, section, key, value);
}

WriteResult DeleteIniValue(std::string_view iniPath, std::string_view section, std::string_view key) {
  return SetIniEntry(iniPath, section, key, std::nullopt);
}

}  // namespace wl
