#include "sysroutines/system_source.h"

#include <sddl.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <set>

#include "core/ascii.h"
#include "core/system_environment.h"
#include "sysroutines/system_info.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegView;

constexpr const char* kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

uint64_t FileTimeValue(const FILETIME& t) { return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

RegView RegViewOf(SourceView view) {
  switch (view) {
    case SourceView::Force64:
      return RegView::Force64;
    case SourceView::Force32:
      return RegView::Force32;
    case SourceView::Default:
      break;
  }
  return RegView::Default;
}

SourceValue SourceValueOf(win32::RegValue v) { return {std::move(v.name), v.type, std::move(v.data)}; }

// ---------------------------------------------------------------- files

std::string PlainFinal(std::wstring_view path) {
  std::string text = win32::Narrow(path);
  if (text.starts_with("\\\\?\\UNC\\")) return "\\\\" + text.substr(8);
  if (text.starts_with("\\\\?\\")) return text.substr(4);
  return text;
}

class WindowsFiles : public FileAccess {
 public:
  std::optional<std::string> ReadWhole(const std::string& path, uint64_t limit, std::string& error) const override {
    const DWORD attributes = win32::FileAttributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      error = "it is a folder";
      return std::nullopt;
    }
    win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        error = "not found";
      else if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION)
        error = "Windows holds it open (a hive in use: its user is logged on, or another program loaded it)";
      else if (code == ERROR_ACCESS_DENIED)
        error = "access is denied (reading it takes administrative rights)";
      else
        error = win32::SystemErrorText(code);
      return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) {
      error = win32::SystemErrorText(GetLastError());
      return std::nullopt;
    }
    const uint64_t wanted = std::min<uint64_t>(static_cast<uint64_t>(size.QuadPart), limit);
    std::string bytes(static_cast<std::size_t>(wanted), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
      DWORD got = 0;
      if (!ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr)) {
        error = win32::SystemErrorText(GetLastError());
        return std::nullopt;
      }
      if (got == 0) break;  // shorter than it said
      done += got;
    }
    bytes.resize(done);
    return bytes;
  }

  FileInfo Stat(const std::string& path) const override {
    FileInfo info;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExW(win32::ApiPath(path).c_str(), GetFileExInfoStandard, &data)) return info;
    info.exists = true;
    info.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.size = info.folder ? 0 : static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    info.creationTime = FileTimeValue(data.ftCreationTime);
    info.lastWriteTime = FileTimeValue(data.ftLastWriteTime);
    return info;
  }

  std::vector<std::string> List(const std::string& folder, std::size_t limit) const override {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    const std::string pattern = folder + (folder.back() == '\\' || folder.back() == '/' ? "*" : "\\*");
    WIN32_FIND_DATAW found;
    win32::UniqueFind find(
        FindFirstFileExW(win32::ApiPath(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (!find) return names;
    do {
      const std::wstring_view name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      names.push_back(win32::Narrow(name));
    } while (names.size() < limit && FindNextFileW(find.get(), &found));
    return names;
  }

  std::string FinalPath(const std::string& path) const override {
    if (path.empty()) return {};
    win32::UniqueHfile handle(CreateFileW(win32::ApiPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return {};
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (int tries = 0; tries < 2; ++tries) {
      const DWORD n = GetFinalPathNameByHandleW(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (n == 0) return {};
      if (n < buffer.size()) return PlainFinal(std::wstring_view(buffer.data(), n));
      buffer.assign(n + 1, L'\0');
    }
    return {};
  }

  bool CaseInsensitive() const override { return true; }
  char Separator() const override { return '\\'; }
};

// ---------------------------------------------------------------- keys

class LiveNode : public SourceKeyNode {
 public:
  explicit LiveNode(RegKey key) : key_(std::move(key)) {}

  std::vector<std::string> SubKeyNames(bool& whole) const override {
    LONG error = ERROR_SUCCESS;
    auto names = key_.SubKeyNames(&error);
    whole = error == ERROR_SUCCESS;
    return names;
  }
  std::vector<SourceValue> Values(bool& whole) const override {
    LONG error = ERROR_SUCCESS;
    std::vector<SourceValue> out;
    for (win32::RegValue& v : key_.Values(&error)) out.push_back(SourceValueOf(std::move(v)));
    whole = error == ERROR_SUCCESS;
    return out;
  }
  std::optional<SourceValue> Read(std::string_view name) const override {
    auto v = key_.Read(std::string(name));
    if (!v) return std::nullopt;
    return SourceValueOf(std::move(*v));
  }
  uint64_t LastWriteTime() const override {
    FILETIME written{};
    if (RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &written) != ERROR_SUCCESS)
      return 0;
    return FileTimeValue(written);
  }

 private:
  RegKey key_;
};

std::shared_ptr<const SourceKeyNode> LiveKey(HKEY root, const std::string& path, SourceView view) {
  auto key = RegKey::Open(root, path, KEY_READ, RegViewOf(view));
  if (!key) return nullptr;
  return std::make_shared<const LiveNode>(std::move(*key));
}

std::string Join(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  return std::string(a) + "\\" + std::string(b);
}

std::string ExpandHere(std::string_view text) {
  const std::wstring wide = win32::Widen(text);
  std::wstring out(std::max<std::size_t>(wide.size() * 2, 260), L'\0');
  for (int tries = 0; tries < 3; ++tries) {
    const DWORD n = ExpandEnvironmentStringsW(wide.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (n == 0) return std::string(text);
    if (n <= out.size()) return win32::Narrow(std::wstring_view(out.data(), n - 1));
    out.assign(n, L'\0');
  }
  return std::string(text);
}

std::string Variable(const wchar_t* name) {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? win32::Narrow(std::wstring_view(buf, n)) : std::string();
}

std::string LastName(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  const std::size_t slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

struct UserHives {
  std::optional<hive::Hive> ntuser;
  std::optional<hive::Hive> classes;
};

class LiveBackend final : public SourceBackend, public std::enable_shared_from_this<LiveBackend> {
 public:
  LiveBackend() : files_(WindowsFileAccess()) {
    current_.sid = CurrentUserSidText();
    current_.name = AccountNameOf(current_.sid);
    current_.profileFolder = Variable(L"USERPROFILE");
    current_.loggedOn = true;
    current_.current = true;
  }

  bool IsLive() const override { return true; }
  std::string Description() const override { return "this PC"; }
  std::shared_ptr<const SourceKeyNode> OpenKey(SourceRoot root, const SystemUser* user, std::string_view path,
                                               SourceView view) const override;
  std::vector<SystemUser> Users() const override {
    std::call_once(usersRead_, [this] { ReadUsers(); });
    return users_;
  }
  std::optional<SystemUser> DefaultUser() const override { return current_; }
  std::vector<std::string> Problems() const override;
  std::string Expand(std::string_view text, const SystemUser* user) const override;
  SystemFolders Folders() const override;
  std::optional<std::string> PathNow(std::string_view systemPath, std::string& why) const override {
    if (systemPath.empty()) {
      why = "it is empty";
      return std::nullopt;
    }
    return std::string(systemPath);
  }
  std::optional<std::string> SystemPathOf(std::string_view nowPath) const override { return std::string(nowPath); }
  FileInfo StatFile(std::string_view systemPath) const override {
    FileInfo info = files_->Stat(std::string(systemPath));
    info.nowPath = systemPath;
    return info;
  }
  std::vector<std::string> ListFolder(std::string_view systemPath, std::size_t limit) const override {
    return files_->List(std::string(systemPath), limit);
  }

 private:
  void ReadUsers() const;
  // The user as this source knows it (by SID); null for one it does not.
  const SystemUser* Known(const SystemUser& user) const {
    std::call_once(usersRead_, [this] { ReadUsers(); });
    for (const SystemUser& u : users_)
      if (EqualsNoCase(u.sid, user.sid)) return &u;
    return nullptr;
  }
  std::shared_ptr<const UserHives> HivesOf(const SystemUser& user) const;
  std::shared_ptr<const SourceKeyNode> HiveUserKey(const SystemUser& user, std::string_view path,
                                                   SourceView view) const;
  std::shared_ptr<const SourceKeyNode> HiveClassesKey(const SystemUser& user, std::string_view path,
                                                      SourceView view) const;
  std::shared_ptr<const SourceKeyNode> OtherUserKey(const SystemUser& user, std::string_view path,
                                                    SourceView view) const;
  std::shared_ptr<const SourceKeyNode> OtherUserClasses(const SystemUser& user, std::string_view path,
                                                        SourceView view) const;

  std::shared_ptr<const FileAccess> files_;
  SystemUser current_;
  mutable std::once_flag usersRead_;
  mutable std::vector<SystemUser> users_;
  mutable std::mutex mutex_;
  mutable std::vector<std::string> problems_;
  mutable std::map<std::string, std::shared_ptr<const UserHives>> hives_;  // by upper-case SID
  mutable std::map<std::string, std::shared_ptr<const SystemEnvironment>> environments_;
  mutable std::optional<SystemEnvironment> machine_;
};

void LiveBackend::ReadUsers() const {
  std::set<std::string> loaded;
  if (const auto users = RegKey::Open(HKEY_USERS, "", KEY_READ))
    for (const std::string& name : users->SubKeyNames())
      if (LooksLikeSid(name)) loaded.insert(AsciiUpper(name));
  std::set<std::string> seen;
  auto add = [&](SystemUser user) {
    user.loggedOn = loaded.count(AsciiUpper(user.sid)) > 0;
    user.current = EqualsNoCase(user.sid, current_.sid);
    user.serviceAccount =
        EqualsNoCase(user.sid, "S-1-5-18") || EqualsNoCase(user.sid, "S-1-5-19") || EqualsNoCase(user.sid, "S-1-5-20");
    const std::string account = AccountNameOf(user.sid);
    user.name = !account.empty() ? account : !user.profileFolder.empty() ? LastName(user.profileFolder) : user.sid;
    if (user.current && user.profileFolder.empty()) user.profileFolder = current_.profileFolder;
    if (!user.profileFolder.empty()) {
      const std::string ntuser = user.profileFolder + "\\NTUSER.DAT";
      if (FileInfo i = files_->Stat(ntuser); i.exists && !i.folder) user.hiveFile = ntuser;
      for (const char* classes : {"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat",
                                  "\\Local Settings\\Application Data\\Microsoft\\Windows\\UsrClass.dat"})
        if (FileInfo i = files_->Stat(user.profileFolder + classes); i.exists && !i.folder) {
          user.classesHiveFile = user.profileFolder + classes;
          break;
        }
    }
    seen.insert(AsciiUpper(user.sid));
    users_.push_back(std::move(user));
  };
  if (const auto list = RegKey::Open(HKEY_LOCAL_MACHINE, kProfileList, KEY_READ)) {
    for (const std::string& sid : list->SubKeyNames()) {
      if (!LooksLikeSid(sid) || seen.count(AsciiUpper(sid))) continue;
      const auto entry = RegKey::Open(HKEY_LOCAL_MACHINE, Join(kProfileList, sid), KEY_READ);
      const auto stored = entry ? entry->ReadString("ProfileImagePath") : std::nullopt;
      SystemUser user;
      user.sid = sid;
      if (stored && !stored->empty()) user.profileFolder = ExpandHere(*stored);
      while (user.profileFolder.size() > 3 && user.profileFolder.back() == '\\') user.profileFolder.pop_back();
      add(std::move(user));
    }
  }
  // Hives loaded for accounts without a profile in the list.
  for (const std::string& sid : loaded) {
    if (seen.count(sid)) continue;
    SystemUser user;
    user.sid = sid;
    user.inProfileList = false;
    add(std::move(user));
  }
  if (!seen.count(AsciiUpper(current_.sid)) && !current_.sid.empty()) {
    SystemUser user = current_;
    user.inProfileList = false;
    add(std::move(user));
  }
}

std::shared_ptr<const UserHives> LiveBackend::HivesOf(const SystemUser& user) const {
  std::lock_guard lock(mutex_);
  const std::string key = AsciiUpper(user.sid);
  if (const auto found = hives_.find(key); found != hives_.end()) return found->second;
  auto hives = std::make_shared<UserHives>();
  if (!user.hiveFile.empty())
    hives->ntuser = LoadHive(*files_, user.hiveFile, "NTUSER.DAT of " + user.name, true, problems_);
  if (!user.classesHiveFile.empty())
    hives->classes = LoadHive(*files_, user.classesHiveFile, "UsrClass.dat of " + user.name, true, problems_);
  hives_[key] = hives;
  return hives;
}

std::shared_ptr<const SourceKeyNode> LiveBackend::HiveClassesKey(const SystemUser& user, std::string_view path,
                                                                 SourceView view) const {
  const auto hives = HivesOf(user);
  if (!hives->classes) return nullptr;
  const std::string at = view == SourceView::Force32 ? Wow64Path(path, true) : std::string(path);
  return OpenHiveKey(*hives->classes, at);
}

std::shared_ptr<const SourceKeyNode> LiveBackend::HiveUserKey(const SystemUser& user, std::string_view path,
                                                              SourceView view) const {
  constexpr std::string_view kClasses = "Software\\Classes";
  if (StartsWithNoCase(path, kClasses) && (path.size() == kClasses.size() || path[kClasses.size()] == '\\'))
    return HiveClassesKey(user, path.substr(std::min(path.size(), kClasses.size() + 1)), view);
  const auto hives = HivesOf(user);
  if (!hives->ntuser) return nullptr;
  return OpenHiveKey(*hives->ntuser, path);
}

// Another user's HKEY_CURRENT_USER: the loaded hive where there is one,
// else the hive files.
std::shared_ptr<const SourceKeyNode> LiveBackend::OtherUserKey(const SystemUser& user, std::string_view path,
                                                               SourceView view) const {
  if (user.loggedOn) return LiveKey(HKEY_USERS, Join(user.sid, path), view);
  return HiveUserKey(user, path, view);
}

std::shared_ptr<const SourceKeyNode> LiveBackend::OtherUserClasses(const SystemUser& user, std::string_view path,
                                                                   SourceView view) const {
  if (user.loggedOn) {
    const std::string at = view == SourceView::Force32 ? Wow64Path(path, true) : std::string(path);
    return LiveKey(HKEY_USERS, Join(user.sid + "_Classes", at), SourceView::Default);
  }
  return HiveClassesKey(user, path, view);
}

std::shared_ptr<const SourceKeyNode> LiveBackend::OpenKey(SourceRoot root, const SystemUser* user,
                                                          std::string_view path, SourceView view) const {
  const std::string at(path);
  const bool self = !user || EqualsNoCase(user->sid, current_.sid);
  switch (root) {
    case SourceRoot::LocalMachine:
      return LiveKey(HKEY_LOCAL_MACHINE, at, view);
    case SourceRoot::CurrentUser: {
      if (self) return LiveKey(HKEY_CURRENT_USER, at, view);
      const SystemUser* known = Known(*user);
      return known ? OtherUserKey(*known, path, view) : nullptr;
    }
    case SourceRoot::ClassesRoot: {
      if (self) return LiveKey(HKEY_CLASSES_ROOT, at, view);
      const SystemUser* known = Known(*user);
      auto machine = LiveKey(HKEY_LOCAL_MACHINE, Join("SOFTWARE\\Classes", at), view);
      return MergedClassesNode(known ? OtherUserClasses(*known, path, view) : nullptr, std::move(machine));
    }
    case SourceRoot::Users: {
      if (auto loaded = LiveKey(HKEY_USERS, at, view)) return loaded;
      // A user who is not logged on, from the hive files.
      const std::size_t slash = path.find('\\');
      std::string_view first = path.substr(0, slash);
      const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
      constexpr std::string_view kSuffix = "_Classes";
      const bool classes = EndsWithNoCase(first, kSuffix);
      if (classes) first.remove_suffix(kSuffix.size());
      SystemUser wanted;
      wanted.sid = std::string(first);
      const SystemUser* known = Known(wanted);
      if (!known || known->loggedOn) return nullptr;
      return classes ? HiveClassesKey(*known, rest, view) : HiveUserKey(*known, rest, view);
    }
  }
  return nullptr;
}

std::vector<std::string> LiveBackend::Problems() const {
  std::call_once(usersRead_, [this] { ReadUsers(); });
  std::lock_guard lock(mutex_);
  std::vector<std::string> out = problems_;
  for (const SystemUser& u : users_) {
    const auto found = hives_.find(AsciiUpper(u.sid));
    if (found == hives_.end()) continue;
    for (const auto& [hive, label, path] :
         {std::tuple{&found->second->ntuser, "NTUSER.DAT of " + u.name, u.hiveFile},
          std::tuple{&found->second->classes, "UsrClass.dat of " + u.name, u.classesHiveFile}})
      if (*hive)
        if (std::string text = HiveDamageText(**hive, label, path); !text.empty()) out.push_back(std::move(text));
  }
  return out;
}

std::string LiveBackend::Expand(std::string_view text, const SystemUser* user) const {
  if (!user || EqualsNoCase(user->sid, current_.sid)) return ExpandHere(text);
  const SystemUser* known = Known(*user);
  if (!known) return ExpandHere(text);
  const std::string key = AsciiUpper(known->sid);
  std::shared_ptr<const SystemEnvironment> env;
  {
    std::lock_guard lock(mutex_);
    if (const auto found = environments_.find(key); found != environments_.end()) env = found->second;
  }
  if (!env) {
    const SystemSource self(shared_from_this());
    SystemEnvironment machine;
    {
      std::lock_guard lock(mutex_);
      if (!machine_) machine_ = MachineEnvironment(self, Variable(L"SystemRoot"));
      machine = *machine_;
    }
    env = std::make_shared<const SystemEnvironment>(UserEnvironment(self.ForUser(*known), *known, machine));
    std::lock_guard lock(mutex_);
    environments_.emplace(key, env);
  }
  return env->Expand(text);
}

SystemFolders LiveBackend::Folders() const {
  SystemFolders f;
  // The Windows folder as the rest of the program takes it.
  f.windows = GetWindowsDir();
  f.system32 = f.windows + "\\System32";
  f.systemDrive = DriveOf(f.windows);
  f.programFiles = Variable(L"ProgramW6432");
  if (f.programFiles.empty()) f.programFiles = Variable(L"ProgramFiles");
  f.programFilesX86 = Variable(L"ProgramFiles(x86)");
  f.programData = Variable(L"ProgramData");
  const auto list = RegKey::Open(HKEY_LOCAL_MACHINE, kProfileList, KEY_READ);
  const auto profiles = list ? list->ReadString("ProfilesDirectory") : std::nullopt;
  f.profiles = profiles ? ExpandHere(*profiles) : f.systemDrive + "\\Users";
  return f;
}

}  // namespace

std::shared_ptr<const FileAccess> WindowsFileAccess() {
  static const auto files = std::make_shared<const WindowsFiles>();
  return files;
}

SystemSource LiveSystemSource() { return SystemSource(std::make_shared<LiveBackend>()); }

SystemSource OfflineSystemSource(const std::string& root, OfflineOptions options) {
  if (!options.files) options.files = WindowsFileAccess();
  return OpenOfflineSystem(root, options);
}

std::string CurrentUserSidText() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  win32::UniqueHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<uint8_t> buffer(size);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
  std::string sid = win32::Narrow(text);
  LocalFree(text);
  return sid;
}

std::string AccountNameOf(const std::string& sid) {
  PSID binary = nullptr;
  if (sid.empty() || !ConvertStringSidToSidW(win32::Widen(sid).c_str(), &binary)) return {};
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  std::string text;
  if (LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use))
    text = (domain[0] ? win32::Narrow(domain) + "\\" : std::string()) + win32::Narrow(name);
  LocalFree(binary);
  return text;
}

}  // namespace wl
