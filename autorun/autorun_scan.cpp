#include "autorun/autorun_scan.h"

#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "autorun/other_places.h"
#include "sysroutines/shortcuts.h"
#include "sysroutines/system_info.h"
#include "core/ascii.h"
#include "sysroutines/text_routines.h"
#include "sysroutines/version_info.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// A key's values: read once per scan where a cache is given (by root and
// path, any case), else read now into own.
const std::vector<win32::RegValue>& KeyValues(const win32::RegKey& key, HKEY root, const std::string& path,
                                              KeyValueCache* cache, std::vector<win32::RegValue>& own) {
  if (!cache) {
    own = key.Values();
    return own;
  }
  const std::string name = std::to_string(reinterpret_cast<std::uintptr_t>(root)) + '\\' + AsciiLower(path);
  auto [it, added] = cache->try_emplace(name);
  if (added) it->second = key.Values();
  return it->second;
}

using win32::RegKey;

void AddIniRow(std::vector<AutorunRow>& rows, const std::string& value, const char* keyText, int source) {
  if (value.empty()) return;
  AutorunRow row;
  row.itemName = value;
  row.value = value;
  row.registryKey = keyText;
  row.source = source;
  row.iconText = value;
  rows.push_back(std::move(row));
}

void AddShortcutRows(std::vector<AutorunRow>& rows, const std::string& folder, const char* keyText, int source) {
  if (folder.empty()) return;
  for (auto& shortcut : ListShortcutsIn(folder)) {
    AutorunRow row;
    row.itemName = std::move(shortcut.name);
    row.value = std::move(shortcut.text);
    row.registryKey = keyText;
    row.source = source;
    row.iconText = TrimUpToChar(row.value, ' ');
    rows.push_back(std::move(row));
  }
}

std::string StringData(const std::optional<win32::RegValue>& value) {
  if (!value) return {};
  return win32::RegValueString(*value).value_or(std::string());
}

// The elements of a multi-string, each as stored; a value of another type
// (a string where a list belongs) is one element. Damaged data (no closing
// zeros, an odd size) gives what it holds.
std::vector<std::string> MultiStringElements(const win32::RegValue& value) {
  std::vector<std::string> elements;
  if (value.type != REG_MULTI_SZ) {
    std::string text = win32::RegValueText(value);
    if (!TrimUpToChar(text, ' ').empty()) elements.push_back(std::move(text));
    return elements;
  }
  return win32::RegMultiStringParts(value);
}

// A value whose data is a name (a key's, a value's own): the entry.
win32::RegValue NameAsValue(std::string valueName, const std::string& data) {
  win32::RegValue named;
  named.name = std::move(valueName);
  named.type = REG_SZ;
  const std::wstring wide = win32::Widen(data);
  named.data.assign(reinterpret_cast<const uint8_t*>(wide.data()),
                    reinterpret_cast<const uint8_t*>(wide.data() + wide.size()));
  return named;
}

// At most this many elements of one value become rows: a damaged or
// hostile list of millions must not stop the scan.
constexpr std::size_t kMaxElements = 256;

std::string OpenPath(std::string_view keyPath) {
  while (!keyPath.empty() && keyPath.front() == '\\') keyPath.remove_prefix(1);
  while (!keyPath.empty() && keyPath.back() == '\\') keyPath.remove_suffix(1);
  return std::string(keyPath);
}

void AddStartupFiles(std::vector<AutorunRow>& rows, const std::string& folder, const char* keyText, int source) {
  if (folder.empty()) return;
  for (auto& file : ListStartupFiles(folder)) {
    AutorunRow row;
    row.itemName = TextAfterLastChar(file, '\\');
    row.value = file;
    row.registryKey = keyText;
    row.source = source;
    row.iconText = file;
    row.judgeText = file;
    row.judgePath = true;
    row.filePath = std::move(file);
    rows.push_back(std::move(row));
  }
}

}  // namespace

TaskListing ListTasksOfThisSystem() { return ListScheduledTasks(); }

std::string ComServerOf(const std::string& classId) {
  // A class identifier is one key name: anything else names no class.
  if (classId.empty() || classId.find('\\') != std::string::npos) return {};
  // The user's classes come before the machine's, as the system merges them.
  // Then the classes 32-bit programs register.
  for (const char* classes : {"Software\\Classes\\CLSID\\", "Software\\Wow6432Node\\Classes\\CLSID\\",
                              "Software\\Classes\\Wow6432Node\\CLSID\\"})
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
      for (const char* server : {"InprocServer32", "LocalServer32"}) {
        auto key = RegKey::Open(root, classes + classId + "\\" + server, KEY_READ);
        if (!key) continue;
        std::string path = StringData(key->Read(""));
        if (!path.empty()) return path;
      }
  return {};
}

std::string ClassIdOfProgId(const std::string& progId) {
  if (progId.empty() || progId.find('\\') != std::string::npos) return {};
  for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    for (const char* classes : {"Software\\Classes\\", "Software\\Wow6432Node\\Classes\\"}) {
      auto key = RegKey::Open(root, classes + progId + "\\CLSID", KEY_READ);
      if (!key) continue;
      std::string id = TrimUpToChar(StringData(key->Read("")), ' ');
      if (!id.empty()) return id;
    }
  return {};
}

std::string ManifestPath(std::string_view manifest) {
  std::string text = TrimUpToChar(manifest, ' ');
  if (const auto bar = text.find('|'); bar != std::string::npos) text.resize(bar);
  if (AsciiUpper(text).starts_with("FILE:///")) {
    text = text.substr(8);
    for (char& c : text)
      if (c == '/') c = '\\';
  }
  return text;
}

ServiceProgram ServiceProgramOf(const std::string& name, const SourceKeyOpener& openKey, std::string_view systemRoot) {
  ServiceProgram program;
  if (name.empty() || name.find('\\') != std::string::npos) return program;
  auto key = openKey(HKEY_LOCAL_MACHINE, std::string("System\\CurrentControlSet\\Services\\") + name);
  if (!key) return program;
  const auto type = key->Read("Type");
  DWORD kind = 0;
  if (type && type->type == REG_DWORD && type->data.size() == 4) memcpy(&kind, type->data.data(), 4);
  program.driver = (kind & (SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER)) != 0;
  const std::string image = StringData(key->Read("ImagePath"));
  if (program.driver) {
    program.path = DriverImagePath(image, name, systemRoot);
    program.judged = program.path;
    program.isPath = true;
  } else if (!TrimUpToChar(image, ' ').empty()) {
    program.path = image;
    program.judged = image;
  }
  return program;
}

std::vector<std::string> ListStartupFiles(const std::string& folderPath) {
  std::vector<std::string> files;
  std::string folder = folderPath;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (folder.empty()) return files;
  WIN32_FIND_DATAW data;
  win32::UniqueFind find(FindFirstFileW(win32::ApiPath(folder + "\\*").c_str(), &data));
  if (!find) return files;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = win32::Narrow(data.cFileName);
    std::string lower = name;
    for (char& c : lower)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    // Shortcuts are rows of their own; the folder's own settings file runs nothing.
    if (lower.ends_with(".lnk") || lower == "desktop.ini") continue;
    files.push_back(folder + "\\" + name);
  } while (FindNextFileW(find.get(), &data));
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<HookKey> ExpandHookKey(HKEY root, std::string_view keyPath, const SourceKeyOpener& openKey) {
  std::vector<std::string> parts;
  std::string_view rest = keyPath;
  while (!rest.empty()) {
    const auto slash = rest.find('\\');
    const std::string_view part = rest.substr(0, slash);
    if (!part.empty()) parts.emplace_back(part);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  std::vector<HookKey> keys;
  // Depth first, each "*" taking the names of the key reached so far.
  struct Pending {
    std::string path;
    std::vector<std::string> matches;
    std::size_t next;
  };
  std::vector<Pending> stack{{{}, {}, 0}};
  while (!stack.empty()) {
    Pending at = std::move(stack.back());
    stack.pop_back();
    std::size_t i = at.next;
    while (i < parts.size() && parts[i] != "*") at.path += (at.path.empty() ? "" : "\\") + parts[i++];
    auto key = openKey(root, at.path);
    if (!key) continue;
    if (i == parts.size()) {
      keys.push_back({std::move(at.path), std::move(at.matches), std::move(*key)});
      continue;
    }
    auto names = key->SubKeyNames();
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
      Pending next{at.path + "\\" + *it, at.matches, i + 1};
      next.matches.push_back(*it);
      stack.push_back(std::move(next));
    }
  }
  return keys;
}

void ReadHookSource(const HookSource& source, const SourceKeyOpener& openKey, std::string_view systemRoot,
                    std::vector<AutorunRow>& rows, KeyValueCache* cache) {
  const HKEY root = source.root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const std::vector<std::string> names = HookValueNames(source);
  const bool wildcard = source.keyPath.find("\\*\\") != std::string_view::npos;
  const std::size_t first = rows.size();
  const std::vector<std::string> keyPaths = HookKeyPaths(source);
  for (std::size_t view = 0; view < keyPaths.size(); ++view) {
    const std::size_t viewFirst = rows.size();
    for (HookKey& hookKey : ExpandHookKey(root, keyPaths[view], openKey)) {
      const win32::RegKey& key = hookKey.key;
      const std::string keyText = HookKeyText(source.root, "\\" + hookKey.path + "\\");
      // The values that count, with their names.
      std::vector<win32::RegValue> values;
      switch (source.values) {
        case HookValues::Strings:
        case HookValues::Any: {
          std::vector<win32::RegValue> own;
          for (const auto& value : KeyValues(key, root, hookKey.path, cache, own)) {
            const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
            if (source.values == HookValues::Strings && !text) continue;
            // A sub-key's unnamed value is its title (RunOnceEx), no command.
            if (wildcard && value.name.empty()) continue;
            values.push_back(value);
          }
          break;
        }
        case HookValues::Named:
          for (const std::string& name : names) {
            if (name.ends_with('*')) {
              // Every value whose name begins so ("OPEN", "OPEN1" …).
              const std::string prefix = AsciiUpper(name.substr(0, name.size() - 1));
              for (auto& value : key.Values())
                if (AsciiUpper(value.name).starts_with(prefix)) values.push_back(std::move(value));
              continue;
            }
            if (auto value = key.Read(name)) values.push_back(std::move(*value));
          }
          break;
        case HookValues::KeyName:
          values.push_back(NameAsValue({}, hookKey.matches.empty() ? std::string() : hookKey.matches.back()));
          break;
        case HookValues::DefaultOrKeyName: {
          std::string data = TrimUpToChar(StringData(key.Read("")), ' ');
          if (data.empty() && !hookKey.matches.empty()) data = hookKey.matches.back();
          values.push_back(NameAsValue({}, data));
          break;
        }
        case HookValues::ValueNames:
          for (const std::string& name : key.ValueNames())
            if (!name.empty()) values.push_back(NameAsValue(name, name));
          break;
      }
      if (!source.requiredValue.empty() && !key.HasValue(std::string(source.requiredValue))) values.clear();
      if (values.empty()) continue;
      // Named values in a key per program or component are named by it.
      std::string keyName;
      const bool patternNames = source.valueNames.find('*') != std::string_view::npos;
      if (wildcard && !patternNames &&
          (source.values == HookValues::Named || source.values == HookValues::KeyName ||
           source.values == HookValues::DefaultOrKeyName)) {
        keyName = hookKey.matches.back();
        if (source.titled) {
          const std::string title = StringData(key.Read(""));
          if (!TrimUpToChar(title, ' ').empty()) keyName = title;
        }
      }
      bool overrides = false;
      if (source.flag == HookFlag::OverridesMachine && !hookKey.matches.empty()) {
        // The key of the first "*" under the machine's root.
        const auto star = source.keyPath.find("\\*\\");
        std::string machine = OpenPath(source.keyPath.substr(0, star)) + "\\" + hookKey.matches.front();
        overrides = openKey(HKEY_LOCAL_MACHINE, machine).has_value();
      }
      std::string details;
      if (!source.detailValue.empty()) {
        const std::string detail(source.detailValue);
        const auto shown = key.Read(detail);
        details = detail + (shown ? " = " + win32::RegValueText(*shown) : " is not set") + ".";
      }
      if (overrides) details += std::string(details.empty() ? "" : " ") + "Overrides the machine's class.";
      for (const win32::RegValue& value : values) {
        std::vector<std::string> elements;
        if (source.split == ValueSplit::MultiString)
          elements = MultiStringElements(value);
        else
          elements = SplitHookList(source.split, win32::RegValueText(value));
        std::size_t listed = 0;
        for (std::string& element : elements) {
          if (TrimUpToChar(element, ' ').empty()) continue;
          if (!source.defaults.empty() && IsHookDefault(source, element, systemRoot)) continue;
          if (listed++ == kMaxElements) {
            if (!rows.empty() && rows.back().source == source.number)
              rows.back().details += " The value holds more elements than are listed.";
            break;
          }
          AutorunRow row;
          row.source = source.number;
          row.category = std::string(source.category);
          row.registryKey = keyText;
          row.unnamedValue = value.name.empty();
          if (!keyName.empty()) {
            row.itemName = keyName;
            row.valueName = value.name;
          } else {
            row.itemName = value.name.empty() ? "(Default)" : value.name;
            if (value.name.empty()) row.valueName = value.name;
          }
          if (source.split != ValueSplit::Whole) {
            row.split = source.split;
            row.element = element;
          }
          switch (source.text) {
            case HookText::Command: row.value = element; break;
            case HookText::Path:
              row.value = element;
              row.judgeText = TrimUpToChar(element, ' ');
              row.judgePath = true;
              break;
            case HookText::Module:
              row.value = element;
              row.judgeText = ModulePath(element, systemRoot);
              row.judgePath = true;
              break;
            case HookText::ClassId: {
              const std::string classId = TrimUpToChar(element, ' ');
              const std::string server = ComServerOf(classId);
              row.value = server.empty() ? classId : server;
              row.judgeText = server;
              row.judgePath = true;
              row.details = "Class " + classId + ".";
              break;
            }
            case HookText::ProgId: {
              const std::string progId = TrimUpToChar(element, ' ');
              const std::string classId = ClassIdOfProgId(progId);
              std::string server = classId.empty() ? std::string() : ComServerOf(classId);
              // An add-in of the Office tools for Visual Studio names its
              // manifest, which its loader reads, instead of a server.
              const std::string manifest = ManifestPath(StringData(key.Read("Manifest")));
              if (server.empty()) server = manifest;
              row.value = server.empty() ? progId : server;
              row.judgeText = server;
              row.judgePath = true;
              row.noProgram = server.empty();
              row.details = classId.empty() ? "No class is registered for " + progId + "."
                                            : "Class " + classId + ".";
              if (!manifest.empty()) row.details += " Manifest " + manifest + ".";
              break;
            }
            case HookText::ServiceName: {
              const ServiceProgram program = ServiceProgramOf(element, openKey, systemRoot);
              row.value = program.path.empty() ? element : program.path;
              row.judgeText = program.judged;
              row.judgePath = program.isPath;
              row.driver = program.driver;
              row.noProgram = program.path.empty();
              const std::string kind = TrimUpToChar(StringData(key.Read("")), ' ');
              row.details = (program.path.empty() ? "No service or driver of that name." : "Service " + element + ".") +
                            (kind.empty() ? std::string() : " Started in safe mode as: " + kind + ".");
              break;
            }
          }
          row.iconText = row.judgeText.empty() ? row.value : row.judgeText;
          if (!details.empty()) row.details += (row.details.empty() ? "" : " ") + details;
          row.alwaysFlag = source.flag == HookFlag::Always || overrides;
          if (source.removal == HookRemoval::RestoreDefault) row.defaultValue = HookDefaultValue(source, systemRoot);
          if (source.removal == HookRemoval::DeleteKey) row.removeKey = keyText;
          rows.push_back(std::move(row));
        }
      }
    }
    // A key the views share shows its values under both names: what the
    // 32-bit twin repeats of the 64-bit key is listed once.
    if (view > 0) {
      auto nameOf = [](const AutorunRow& row) { return row.itemName + '\0' + row.value + '\0' + row.valueName; };
      std::unordered_set<std::string> native;
      for (std::size_t i = first; i < viewFirst; ++i) native.insert(nameOf(rows[i]));
      std::size_t kept = viewFirst;
      for (std::size_t i = viewFirst; i < rows.size(); ++i) {
        if (native.count(nameOf(rows[i]))) continue;
        if (kept != i) rows[kept] = std::move(rows[i]);  // never onto itself: that empties a string
        ++kept;
      }
      rows.resize(kept);
    }
  }
}

void ReadFilePlace(const FilePlace& place, const AutorunPlaces& places, std::string_view systemRoot,
                   std::vector<AutorunRow>& rows) {
  std::string folder;
  switch (place.folder) {
    case FileFolder::System: folder = systemRoot.empty() ? "" : std::string(systemRoot) + "\\system32"; break;
    case FileFolder::Windows: folder = std::string(systemRoot); break;
    case FileFolder::Documents: folder = places.documentsFolder; break;
    case FileFolder::AppData: folder = places.appDataFolder; break;
  }
  if (folder.empty()) return;
  const std::string path = folder + "\\" + std::string(place.path);
  std::vector<std::string> files;
  if (place.check == FileCheck::EveryFile) {
    for (auto& file : ListStartupFiles(path)) files.push_back(std::move(file));
    for (auto& shortcut : ListShortcutsIn(path)) files.push_back(path + "\\" + shortcut.name + ".lnk");
  } else if (win32::FileExists(path)) {
    files.push_back(path);
  }
  for (std::string& file : files) {
    std::string details;
    if (place.check == FileCheck::NotItsName) {
      const std::string original = GetFileVersionText(file, kOriginalFileName);
      if (IsOwnName(place, original)) continue;
      details = original.empty() ? "The file has no version information."
                                 : "The file says it is " + original + ".";
    }
    AutorunRow row;
    row.source = place.number;
    row.category = std::string(place.category);
    row.itemName = TextAfterLastChar(file, '\\');
    row.value = file;
    row.registryKey = file.substr(0, file.size() - row.itemName.size() - 1);
    row.iconText = file;
    row.judgeText = file;
    row.judgePath = true;
    row.filePath = std::move(file);
    row.details = std::move(details);
    row.alwaysFlag = place.flag == HookFlag::Always;
    rows.push_back(std::move(row));
  }
}

namespace {

std::string CurrentUserSid() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  win32::UniqueHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<uint8_t> buffer(size);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
  win32::UniqueLocal<LPWSTR> text;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, text.put())) return {};
  return win32::Narrow(text.get());
}

// "DOMAIN\name" of a SID, else the SID.
std::string UserNameOf(const std::string& sid) {
  win32::UniqueLocal<PSID> binary;
  if (!ConvertStringSidToSidW(win32::Widen(sid).c_str(), binary.put())) return sid;
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  std::string text = sid;
  if (LookupAccountSidW(nullptr, binary.get(), name, &nameSize, domain, &domainSize, &use))
    text = (domain[0] ? win32::Narrow(domain) + "\\" : std::string()) + win32::Narrow(name);
  return text;
}

}  // namespace

std::string AccountSid(const std::string& account) {
  std::string text(account);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  if (text.empty()) return {};
  if (StartsWithNoCase(text, "S-1-")) {
    PSID binary = nullptr;
    if (!ConvertStringSidToSidW(win32::Widen(text).c_str(), &binary)) return {};
    LocalFree(binary);
    return AsciiUpper(text);
  }
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  wchar_t domain[256];
  DWORD domainSize = 256;
  SID_NAME_USE use;
  if (!LookupAccountNameW(nullptr, win32::Widen(text).c_str(), sid, &sidSize, domain, &domainSize, &use)) return {};
  LPWSTR sidText = nullptr;
  if (!ConvertSidToStringSidW(sid, &sidText)) return {};
  std::string out = win32::Narrow(sidText);
  LocalFree(sidText);
  return out;
}

std::vector<std::string> OtherUserHives(const SourceKeyOpener& openKey) {
  std::vector<std::string> hives;
  auto users = openKey(HKEY_USERS, "");
  if (!users) return hives;
  const std::string self = AsciiUpper(CurrentUserSid());
  for (std::string& name : users->SubKeyNames()) {
    const std::string upper = AsciiUpper(name);
    if (upper == ".DEFAULT" || upper.ends_with("_CLASSES") || upper == self || !upper.starts_with("S-")) continue;
    hives.push_back(std::move(name));
  }
  return hives;
}

void ReadOtherUser(const std::string& sid, const SourceKeyOpener& openKey, std::string_view systemRoot,
                   std::vector<AutorunRow>& rows) {
  // The user's places are the current user's, below the user's hive.
  const SourceKeyOpener asUser = [&](HKEY root, const std::string& path) {
    if (root == HKEY_CURRENT_USER) return openKey(HKEY_USERS, path.empty() ? sid : sid + "\\" + path);
    return openKey(root, path);
  };
  const std::size_t first = rows.size();
  for (const HookSource& source : HookSources())
    if (source.root == RegRoot::CurrentUser) ReadHookSource(source, asUser, systemRoot, rows);
  if (rows.size() == first) return;
  const std::string user = UserNameOf(sid);
  constexpr std::string_view kCurrent = "HKEY_CURRENT_USER\\";
  const std::string hive = "HKEY_USERS\\" + sid + "\\";
  for (std::size_t i = first; i < rows.size(); ++i) {
    AutorunRow& row = rows[i];
    for (std::string* text : {&row.registryKey, &row.removeKey})
      if (text->starts_with(kCurrent)) text->replace(0, kCurrent.size(), hive);
    row.owner = sid;
    row.details += std::string(row.details.empty() ? "" : " ") + "User " + user + ".";
  }
}

AutorunPlaces AutorunPlaces::OfThisSystem() {
  AutorunPlaces places;
  places.windowsDir = GetWindowsDir();
  places.userStartupFolder = GetSpecialFolderPath(nullptr, kUserStartupFolder);
  places.commonStartupFolder = GetSpecialFolderPath(nullptr, kCommonStartupFolder);
  places.systemRoot = places.windowsDir;
  places.documentsFolder = GetSpecialFolderPath(nullptr, 5);
  places.appDataFolder = GetSpecialFolderPath(nullptr, 26);
  places.localAppDataFolder = GetSpecialFolderPath(nullptr, 28);
  places.listServices = ListServiceNamesOfThisSystem;
  places.wmiSubscriptions = true;
  places.transferJobs = true;
  places.otherUsers = true;
  return places;
}

std::optional<RegKey> OpenSourceKeyInRegistry(HKEY root, const std::string& path) {
  return RegKey::Open(root, path, KEY_READ);
}

std::string ReadIniValue(const std::string& iniPath, const std::string& section, const std::string& key) {
  const std::wstring file = win32::ApiPath(iniPath);
  const std::wstring wsection = win32::Widen(section);
  const std::wstring wkey = win32::Widen(key);
  std::wstring buf(1024, L'\0');
  for (;;) {
    const DWORD n = GetPrivateProfileStringW(wsection.c_str(), wkey.c_str(), L"", buf.data(),
                                             static_cast<DWORD>(buf.size()), file.c_str());
    // n == size - 1 means the value was cut to fit: ask again with more room.
    if (n + 1 < buf.size() || buf.size() >= (1u << 20)) return win32::Narrow(std::wstring_view(buf.data(), n));
    buf.resize(buf.size() * 4);
  }
}

void ReadRegistrySource(const RegistrySource& source, const SourceKeyOpener& openKey, std::vector<AutorunRow>& rows,
                        KeyValueCache* cache) {
  const HKEY root = source.root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const std::string path(RegistryOpenPath(source));
  // Read only: a missing key has no rows and stays missing.
  const auto key = openKey(root, path);
  if (!key) return;
  const std::string keyText = RegistryKeyText(source);
  std::vector<win32::RegValue> own;
  for (const auto& value : KeyValues(*key, root, path, cache, own)) {
    const bool plainString = value.type == REG_SZ;
    std::string data = win32::RegValueText(value);
    if (!PassesValueRule(source.rule, plainString, data)) continue;
    AutorunRow row;
    row.itemName = value.name;
    row.value = std::move(data);
    row.registryKey = keyText;
    row.source = source.number;
    row.iconText = row.value;
    row.largeIcon = source.number == 1;
    rows.push_back(std::move(row));
  }
}

AutorunScanResult ScanAutorun(const Judge& judge, const AutorunPlaces& places,
                              const SourceKeyOpener& openKey, const TaskLister& listTasks) {
  AutorunScanResult result;
  // The INI values are read first, their rows added after the registry's.
  const std::string winIniRun = ReadIniValue(places.WinIniPath(), "Windows", "Run");
  const std::string winIniLoad = ReadIniValue(places.WinIniPath(), "Windows", "Load");
  const std::string systemIniShell = ReadIniValue(places.SystemIniPath(), "boot", "shell");

  KeyValueCache values;  // the Run keys are read by a classic and a hook source each
  for (const RegistrySource& source : RegistrySources()) ReadRegistrySource(source, openKey, result.rows, &values);
  AddIniRow(result.rows, winIniRun, kWinIniText, kWinIniRunSource);
  AddIniRow(result.rows, winIniLoad, kWinIniText, kWinIniLoadSource);
  AddIniRow(result.rows, systemIniShell, kSystemIniText, kSystemIniShellSource);
  AddShortcutRows(result.rows, places.userStartupFolder, kStartupMenuText, kUserStartupSource);
  AddShortcutRows(result.rows, places.commonStartupFolder, kCommonStartupMenuText, kCommonStartupSource);
  // Windows starts every file of the Startup folders, not only shortcuts.
  AddStartupFiles(result.rows, places.userStartupFolder, kStartupMenuText, kUserStartupSource);
  AddStartupFiles(result.rows, places.commonStartupFolder, kCommonStartupMenuText, kCommonStartupSource);

  if (listTasks) {
    std::unordered_map<std::string, std::string> servers;  // class -> its program, each asked once
    const ComServerLookup serverOf = [&servers](const std::string& classId) {
      auto [it, added] = servers.try_emplace(classId);
      if (added) it->second = ComServerOf(classId);
      return it->second;
    };
    std::unordered_map<std::string, std::string> owners;  // account -> SID, each asked once
    for (const ScheduledTask& task : listTasks().tasks)
      for (auto& row : TaskRows(task, serverOf)) {
        if (!row.owner.empty()) {
          auto [it, added] = owners.try_emplace(row.owner);
          // An account the system does not know keeps its name: the judge
          // gives it the machine's variables only.
          if (added) it->second = AccountSid(row.owner);
          if (it->second.empty()) it->second = row.owner;
          row.owner = it->second;
        }
        result.rows.push_back(std::move(row));
      }
  }
  const std::string systemRoot = places.systemRoot.empty() ? GetWindowsDir() : places.systemRoot;
  const std::size_t firstHook = result.rows.size();
  for (const HookSource& source : HookSources()) ReadHookSource(source, openKey, systemRoot, result.rows, &values);
  values.clear();
  MergeHookRows(result.rows, firstHook);
  if (places.otherUsers)
    for (const std::string& sid : OtherUserHives(openKey)) ReadOtherUser(sid, openKey, systemRoot, result.rows);
  for (const FilePlace& place : FilePlaces()) ReadFilePlace(place, places, systemRoot, result.rows);
  ReadTaskCacheOrphans(openKey, systemRoot, result.rows);
  ReadServicesAndDrivers(openKey, systemRoot, places.listServices, result.rows);
  for (const std::string& file : TerminalSettingsFiles(places.localAppDataFolder))
    ReadTerminalSettings(file, result.rows);
  if (places.wmiSubscriptions) ReadWmiSubscriptions(result.rows);
  if (places.transferJobs) ReadTransferJobs(result.rows);

  AnalyzeAutorunRows(result.rows, judge, result.hijack);
  return result;
}

PageText AutorunPageText(const Judge& judge) { return AutorunPageTextOf(ScanAutorun(judge)); }

PageText AutorunPageTextOf(AutorunScanResult scan) {
  PageText text;
  text.header = AutorunListHeader();
  text.keys = {"name", "value", "registryKey", "analysis", "signer", "category"};
  text.rows.reserve(scan.rows.size());
  text.judgements.reserve(scan.rows.size());
  for (const auto& row : scan.rows) {
    text.rows.push_back(AutorunRowText(row));
    text.judgements.push_back(RowJudgementOf(row.judgement));
  }
  text.hijack = std::move(scan.hijack);
  return text;
}

}  // namespace wl
