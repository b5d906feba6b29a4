#include "core/offline_system.h"

#include <map>
#include <mutex>
#include <set>

#include "core/ascii.h"
#include "core/system_environment.h"

namespace wl {
namespace {

constexpr const char* kProfileListKey = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// Windows' device names: a path naming one opens the device, not a file.
bool IsDeviceName(std::string_view name) {
  const std::size_t dot = name.find('.');
  std::string base = AsciiUpper(name.substr(0, dot));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const std::string_view d : kDevices)
    if (base == d) return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '0' && base[3] <= '9';
}

std::string ComparableText(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    const char d = c == '/' ? '\\' : AsciiLower(c);
    if (d == '\\' && !out.empty() && out.back() == '\\') continue;
    out += d;
  }
  while (out.size() > 1 && out.back() == '\\') out.pop_back();
  return out;
}

std::string LastName(std::string_view path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
  const std::size_t slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool IsServiceAccount(std::string_view sid) {
  return EqualsNoCase(sid, "S-1-5-18") || EqualsNoCase(sid, "S-1-5-19") || EqualsNoCase(sid, "S-1-5-20");
}

struct UserHives {
  std::optional<hive::Hive> ntuser;
  std::optional<hive::Hive> classes;
};

class OfflineBackend final : public SourceBackend, public std::enable_shared_from_this<OfflineBackend> {
 public:
  OfflineBackend(std::string root, OfflineOptions options) : root_(std::move(root)), options_(std::move(options)) {
    files_ = options_.files ? options_.files : PortableFileAccess();
    // "D:" alone is the current folder of D:; the volume's root is meant.
    if (root_.size() == 2 && root_[1] == ':') root_ += files_->Separator();
  }

  void Load();

  bool IsLive() const override { return false; }
  std::string Description() const override { return root_; }
  std::shared_ptr<const SourceKeyNode> OpenKey(SourceRoot root, const SystemUser* user, std::string_view path,
                                               SourceView view) const override;
  std::vector<SystemUser> Users() const override { return users_; }
  std::optional<SystemUser> DefaultUser() const override { return std::nullopt; }
  std::vector<std::string> Problems() const override;
  std::string Expand(std::string_view text, const SystemUser* user) const override;
  SystemFolders Folders() const override { return folders_; }
  std::optional<std::string> PathNow(std::string_view systemPath, std::string& why) const override;
  std::optional<std::string> SystemPathOf(std::string_view nowPath) const override;
  FileInfo StatFile(std::string_view systemPath) const override;
  std::vector<std::string> ListFolder(std::string_view systemPath, std::size_t limit) const override;

 private:
  std::string Join(const std::string& folder, std::string_view name) const {
    if (folder.empty()) return std::string(name);
    const char last = folder.back();
    return last == '\\' || last == '/' ? folder + std::string(name) : folder + files_->Separator() + std::string(name);
  }
  // The entry of folder called name, matched without regard to case where
  // the file system tells case apart; folder\name when there is none.
  std::string Child(const std::string& folder, std::string_view name) const;
  bool IsFile(const std::string& path) const {
    const FileInfo info = files_->Stat(path);
    return info.exists && !info.folder;
  }
  bool IsFolder(const std::string& path) const {
    const FileInfo info = files_->Stat(path);
    return info.exists && info.folder;
  }
  // Whether an existing path (or its nearest existing folder) stays in ROOT.
  bool StaysInRoot(const std::string& now, std::string& why) const;

  void FindWindowsFolder();
  void ReadUsers();
  void AddProfileFolders(std::set<std::string>& claimed, bool listed);
  void FillHiveFiles(SystemUser& user, const std::string& profileNow) const;

  std::shared_ptr<const UserHives> HivesOf(const SystemUser& user) const;
  const SystemUser* FindUser(std::string_view sid) const;
  LinkFollower Follower() const {
    return
        [this](SourceRoot root, const std::string& path) { return OpenKey(root, nullptr, path, SourceView::Default); };
  }
  std::shared_ptr<const SourceKeyNode> MachineKey(std::string_view path, SourceView view) const;
  std::shared_ptr<const SourceKeyNode> UserKey(const SystemUser& user, std::string_view path, SourceView view) const;
  std::shared_ptr<const SourceKeyNode> UserClassesKey(const SystemUser& user, std::string_view path,
                                                      SourceView view) const;
  std::shared_ptr<const SourceKeyNode> UsersKey(std::string_view path, SourceView view) const;
  const SystemEnvironment& UserEnvironmentOf(const SystemUser& user) const;
  void Note(std::string text) const {
    std::lock_guard lock(mutex_);
    problems_.push_back(std::move(text));
  }

  std::string root_;
  OfflineOptions options_;
  std::shared_ptr<const FileAccess> files_;
  std::string rootFinal_;
  std::string windowsName_;  // the Windows folder's name on the volume ("Windows")
  std::string configNow_;    // where the machine's hives are now
  std::optional<hive::Hive> system_, software_;
  std::string systemPath_, softwarePath_;
  std::string controlSet_ = "ControlSet001";
  bool wow64_ = true;  // a 64-bit Windows (its SOFTWARE has WOW6432Node)
  SystemEnvironment machine_;
  SystemFolders folders_;
  std::vector<SystemUser> users_;

  mutable std::mutex mutex_;
  mutable std::vector<std::string> problems_;
  mutable std::map<std::string, std::shared_ptr<const UserHives>> userHives_;  // by upper-case SID
  mutable std::map<std::string, std::shared_ptr<const SystemEnvironment>> userEnvironments_;
  mutable std::optional<std::optional<hive::Hive>> default_;
};

std::string OfflineBackend::Child(const std::string& folder, std::string_view name) const {
  const std::string exact = Join(folder, name);
  if (files_->CaseInsensitive() || files_->Stat(exact).exists) return exact;
  for (const std::string& entry : files_->List(folder, 100000))
    if (hive::NamesEqual(entry, name)) return Join(folder, entry);
  return exact;
}

bool OfflineBackend::StaysInRoot(const std::string& now, std::string& why) const {
  if (rootFinal_.empty()) return true;
  // The path itself, else the nearest folder on its way that exists: a
  // link there would lead what is below it elsewhere.
  std::string at = now;
  for (int up = 0; up < 64 && !at.empty(); ++up) {
    const std::string final = files_->FinalPath(at);
    if (!final.empty()) {
      if (PathIsWithin(final, rootFinal_)) return true;
      why = "it leads out of " + root_ + " (to " + final + ")";
      return false;
    }
    const std::size_t slash = at.find_last_of("\\/");
    if (slash == std::string::npos || slash + 1 >= at.size()) break;
    at.resize(slash);
  }
  return true;
}

void OfflineBackend::FindWindowsFolder() {
  auto configOf = [this](const std::string& windows) { return Child(Child(windows, "System32"), "config"); };
  const std::string windows = Child(root_, "Windows");
  if (IsFolder(configOf(windows))) {
    windowsName_ = LastName(windows);
    configNow_ = configOf(windows);
    return;
  }
  // Another name for the Windows folder ("WINNT"): the folder that holds
  // System32\config.
  for (const std::string& name : files_->List(root_, 256)) {
    const std::string candidate = Join(root_, name);
    if (IsFolder(configOf(candidate))) {
      windowsName_ = name;
      configNow_ = configOf(candidate);
      return;
    }
  }
}

void OfflineBackend::Load() {
  const FileInfo rootInfo = files_->Stat(root_);
  if (!rootInfo.exists || !rootInfo.folder) {
    Note(root_ + " is no folder that can be read: nothing of that system can be read");
    return;
  }
  rootFinal_ = files_->FinalPath(root_);
  FindWindowsFolder();
  std::vector<std::string> loading;
  if (configNow_.empty()) {
    loading.push_back("no Windows folder with System32\\config was found in " + root_ +
                      ": the machine's hives (SYSTEM, SOFTWARE) cannot be read");
  } else {
    systemPath_ = Child(configNow_, "SYSTEM");
    softwarePath_ = Child(configNow_, "SOFTWARE");
    system_ = LoadHive(*files_, systemPath_, "SYSTEM", options_.applyLogs, loading);
    software_ = LoadHive(*files_, softwarePath_, "SOFTWARE", options_.applyLogs, loading);
  }
  if (system_) {
    // The control set the system would start with.
    const auto select = system_->Find("Select");
    std::optional<uint32_t> number;
    for (const char* name : {"Current", "Default", "LastKnownGood"}) {
      const auto v = select ? select->GetValue(name) : std::nullopt;
      const auto n = v ? v->Dword() : std::nullopt;
      if (n && *n > 0 && *n < 1000) {
        char text[16];
        std::snprintf(text, sizeof text, "ControlSet%03u", static_cast<unsigned>(*n));
        if (system_->Find(text)) {
          number = n;
          controlSet_ = text;
          break;
        }
      }
    }
    if (!number) loading.push_back("SYSTEM names no control set in Select that it holds: ControlSet001 is read");
  }
  {
    std::lock_guard lock(mutex_);
    problems_.insert(problems_.end(), loading.begin(), loading.end());
  }
  const SystemSource self(shared_from_this());
  machine_ = MachineEnvironment(self, "C:\\" + (windowsName_.empty() ? std::string("Windows") : windowsName_));
  if (software_) {
    wow64_ = software_->Find("WOW6432Node").has_value();
  } else {
    const std::string arch = AsciiUpper(machine_.Get("PROCESSOR_ARCHITECTURE"));
    wow64_ = arch.empty() || arch == "AMD64" || arch == "ARM64" || arch == "IA64";
  }
  folders_ = MachineFolders(self, machine_);
  if (!wow64_) folders_.programFilesX86.clear();
  ReadUsers();
}

void OfflineBackend::FillHiveFiles(SystemUser& user, const std::string& profileNow) const {
  const std::string ntuser = Child(profileNow, "NTUSER.DAT");
  if (IsFile(ntuser)) user.hiveFile = ntuser;
  // Windows Vista and later; then Windows XP's place.
  const std::string vista =
      Child(Child(Child(Child(Child(profileNow, "AppData"), "Local"), "Microsoft"), "Windows"), "UsrClass.dat");
  const std::string xp =
      Child(Child(Child(Child(Child(profileNow, "Local Settings"), "Application Data"), "Microsoft"), "Windows"),
            "UsrClass.dat");
  if (IsFile(vista))
    user.classesHiveFile = vista;
  else if (IsFile(xp))
    user.classesHiveFile = xp;
}

void OfflineBackend::ReadUsers() {
  std::set<std::string> claimed;  // the profile folders of listed users, comparable
  const auto list = software_ ? software_->Find(kProfileListKey) : std::nullopt;
  if (list) {
    const auto entries = list->Subkeys();
    if (entries.size() > options_.maxUsers)
      Note("the profile list has " + std::to_string(entries.size()) + " entries: the first " +
           std::to_string(options_.maxUsers) + " are read");
    for (std::size_t i = 0; i < entries.size() && users_.size() < options_.maxUsers; ++i) {
      const hive::Key& entry = entries[i];
      const std::string sid = entry.Name();
      if (!LooksLikeSid(sid)) continue;  // "….bak" and the like: its folder is found below
      const auto value = entry.GetValue("ProfileImagePath");
      const auto stored = value ? value->String() : std::nullopt;
      if (!stored || stored->empty()) continue;
      const std::string expanded = value->Type() == hive::kRegExpandSz ? machine_.Expand(*stored) : *stored;
      std::string why;
      // ".." is refused outright: a profile path never needs it.
      bool dots = false;
      for (std::size_t at = 0; (at = expanded.find("..", at)) != std::string::npos; at += 2) {
        const bool startOk = at == 0 || expanded[at - 1] == '\\' || expanded[at - 1] == '/';
        const std::size_t after = at + 2;
        const bool endOk = after == expanded.size() || expanded[after] == '\\' || expanded[after] == '/';
        if (startOk && endOk) dots = true;
      }
      std::optional<std::string> now;
      if (dots)
        why = "it names \"..\"";
      else
        now = PathNow(expanded, why);
      if (!now) {
        Note("the profile of " + sid + " is refused: its folder " + expanded + " is not read (" + why + ")");
        continue;
      }
      SystemUser user;
      user.sid = sid;
      user.profileFolder = expanded;
      while (user.profileFolder.size() > 3 && (user.profileFolder.back() == '\\' || user.profileFolder.back() == '/'))
        user.profileFolder.pop_back();
      user.name = LastName(user.profileFolder);
      user.serviceAccount = IsServiceAccount(sid);
      FillHiveFiles(user, *now);
      claimed.insert(ComparableText(*now));
      users_.push_back(std::move(user));
    }
  } else if (!configNow_.empty() && !software_) {
    Note("without SOFTWARE, the users are those whose profile folders in " + folders_.profiles + " hold an NTUSER.DAT");
  }
  AddProfileFolders(claimed, list.has_value());
  // Listed users whose hive is not in the set (a collection often holds
  // only some of the profiles).
  std::string missing;
  for (const SystemUser& u : users_)
    if (u.hiveFile.empty() && !u.serviceAccount)
      missing += (missing.empty() ? "" : ", ") + u.name + " (" + u.profileFolder + ")";
  if (!missing.empty()) Note("no NTUSER.DAT, so no keys, for: " + missing);
}

void OfflineBackend::AddProfileFolders(std::set<std::string>& claimed, bool listed) {
  std::string why;
  const auto profilesNow = PathNow(folders_.profiles, why);
  if (!profilesNow) return;
  std::vector<std::string> unlisted;
  for (const std::string& name : files_->List(*profilesNow, options_.maxUsers * 4 + 16)) {
    if (users_.size() >= options_.maxUsers) break;
    if (EqualsNoCase(name, "Default") || EqualsNoCase(name, "Default User") || EqualsNoCase(name, "Public") ||
        EqualsNoCase(name, "All Users"))
      continue;
    SystemUser user;
    user.profileFolder = folders_.profiles + "\\" + name;
    const auto now = PathNow(user.profileFolder, why);
    if (!now || !IsFolder(*now) || claimed.count(ComparableText(*now))) continue;
    FillHiveFiles(user, *now);
    if (user.hiveFile.empty()) continue;
    claimed.insert(ComparableText(*now));
    user.name = name;
    user.inProfileList = false;
    // Its SID, as its hives tell it.
    std::vector<std::string> loading;
    auto hives = std::make_shared<UserHives>();
    hives->ntuser = LoadHive(*files_, user.hiveFile, "NTUSER.DAT of " + name, options_.applyLogs, loading);
    if (!user.classesHiveFile.empty())
      hives->classes = LoadHive(*files_, user.classesHiveFile, "UsrClass.dat of " + name, options_.applyLogs, loading);
    user.sid = SidOfUserHives(hives->ntuser ? &*hives->ntuser : nullptr, hives->classes ? &*hives->classes : nullptr);
    if (user.sid.empty() || FindUser(user.sid)) {
      user.sid = name;
      user.sidKnown = false;
    }
    user.serviceAccount = IsServiceAccount(user.sid);
    {
      std::lock_guard lock(mutex_);
      problems_.insert(problems_.end(), loading.begin(), loading.end());
      userHives_[AsciiUpper(user.sid)] = std::move(hives);
    }
    unlisted.push_back(name);
    users_.push_back(std::move(user));
  }
  if (listed && !unlisted.empty()) {
    std::string names;
    for (const std::string& n : unlisted) names += (names.empty() ? "" : ", ") + n;
    Note("profile folders the profile list does not name, read as users: " + names);
  }
}

const SystemUser* OfflineBackend::FindUser(std::string_view sid) const {
  for (const SystemUser& u : users_)
    if (EqualsNoCase(u.sid, sid)) return &u;
  return nullptr;
}

std::shared_ptr<const UserHives> OfflineBackend::HivesOf(const SystemUser& user) const {
  std::lock_guard lock(mutex_);
  const std::string key = AsciiUpper(user.sid);
  if (const auto found = userHives_.find(key); found != userHives_.end()) return found->second;
  auto hives = std::make_shared<UserHives>();
  if (!user.hiveFile.empty())
    hives->ntuser = LoadHive(*files_, user.hiveFile, "NTUSER.DAT of " + user.name, options_.applyLogs, problems_);
  if (!user.classesHiveFile.empty())
    hives->classes =
        LoadHive(*files_, user.classesHiveFile, "UsrClass.dat of " + user.name, options_.applyLogs, problems_);
  userHives_[key] = hives;
  return hives;
}

std::shared_ptr<const SourceKeyNode> OfflineBackend::MachineKey(std::string_view path, SourceView view) const {
  const std::size_t slash = path.find('\\');
  const std::string_view first = path.substr(0, slash);
  std::string rest(slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1));
  if (path.empty()) {
    std::vector<std::string> names;
    if (software_) names.push_back("SOFTWARE");
    if (system_) names.push_back("SYSTEM");
    return ListingNode(std::move(names));
  }
  if (EqualsNoCase(first, "SYSTEM")) {
    if (!system_) return nullptr;
    constexpr std::string_view kCurrent = "CurrentControlSet";
    if (StartsWithNoCase(rest, kCurrent) && (rest.size() == kCurrent.size() || rest[kCurrent.size()] == '\\'))
      rest.replace(0, kCurrent.size(), controlSet_);
    // Below SYSTEM's root, a key's sub-keys are where the hive has them.
    return OpenHiveKey(*system_, rest, Follower(), !rest.empty());
  }
  if (EqualsNoCase(first, "SOFTWARE")) {
    if (!software_) return nullptr;
    if (view == SourceView::Force32) {
      // A 32-bit Windows has one view: its keys are the native view's.
      if (!wow64_) return Wow64Redirected(rest, false) ? nullptr : OpenHiveKey(*software_, rest, Follower());
      rest = Wow64Path(rest, false);
    }
    // The 32-bit view moves some sub-keys and not others: each is opened by its path.
    return OpenHiveKey(*software_, rest, Follower(), view != SourceView::Force32);
  }
  return nullptr;
}

std::shared_ptr<const SourceKeyNode> OfflineBackend::UserClassesKey(const SystemUser& user, std::string_view path,
                                                                    SourceView view) const {
  const auto hives = HivesOf(user);
  if (!hives->classes) return nullptr;
  std::string at(path);
  if (view == SourceView::Force32) {
    if (!wow64_ && Wow64Redirected(at, true)) return nullptr;
    if (wow64_) at = Wow64Path(at, true);
  }
  return OpenHiveKey(*hives->classes, at, Follower(), view != SourceView::Force32);
}

std::shared_ptr<const SourceKeyNode> OfflineBackend::UserKey(const SystemUser& user, std::string_view path,
                                                             SourceView view) const {
  // Software\Classes of a user's hive is the user's UsrClass.dat.
  constexpr std::string_view kClasses = "Software\\Classes";
  if (StartsWithNoCase(path, kClasses) && (path.size() == kClasses.size() || path[kClasses.size()] == '\\'))
    return UserClassesKey(user, path.substr(std::min(path.size(), kClasses.size() + 1)), view);
  const auto hives = HivesOf(user);
  if (!hives->ntuser) return nullptr;
  // Software's sub-key Classes is another hive: above it, each key is
  // opened by its path.
  return OpenHiveKey(*hives->ntuser, path, Follower(), !path.empty() && !EqualsNoCase(path, "Software"));
}

std::shared_ptr<const SourceKeyNode> OfflineBackend::UsersKey(std::string_view path, SourceView view) const {
  const std::size_t slash = path.find('\\');
  const std::string_view first = path.substr(0, slash);
  const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
  if (path.empty()) {
    std::vector<std::string> names;
    if (!configNow_.empty() && IsFile(Child(configNow_, "DEFAULT"))) names.push_back(".DEFAULT");
    for (const SystemUser& u : users_) {
      if (u.hiveFile.empty()) continue;
      names.push_back(u.sid);
      if (!u.classesHiveFile.empty()) names.push_back(u.sid + "_Classes");
    }
    return ListingNode(std::move(names));
  }
  if (EqualsNoCase(first, ".DEFAULT")) {
    std::optional<hive::Hive> hive;
    {
      std::lock_guard lock(mutex_);
      if (!default_) {
        default_.emplace();
        if (!configNow_.empty())
          *default_ = LoadHive(*files_, Child(configNow_, "DEFAULT"), "DEFAULT", options_.applyLogs, problems_);
      }
      hive = *default_;
    }
    return hive ? OpenHiveKey(*hive, rest, Follower(), true) : nullptr;
  }
  constexpr std::string_view kSuffix = "_Classes";
  if (EndsWithNoCase(first, kSuffix)) {
    const SystemUser* user = FindUser(first.substr(0, first.size() - kSuffix.size()));
    return user ? UserClassesKey(*user, rest, view) : nullptr;
  }
  const SystemUser* user = FindUser(first);
  return user ? UserKey(*user, rest, view) : nullptr;
}

std::shared_ptr<const SourceKeyNode> OfflineBackend::OpenKey(SourceRoot root, const SystemUser* user,
                                                             std::string_view path, SourceView view) const {
  switch (root) {
    case SourceRoot::LocalMachine:
      return MachineKey(path, view);
    case SourceRoot::Users:
      return UsersKey(path, view);
    case SourceRoot::CurrentUser: {
      const SystemUser* known = user ? FindUser(user->sid) : nullptr;
      return known ? UserKey(*known, path, view) : nullptr;
    }
    case SourceRoot::ClassesRoot: {
      const SystemUser* known = user ? FindUser(user->sid) : nullptr;
      auto machine =
          MachineKey(path.empty() ? std::string("SOFTWARE\\Classes") : "SOFTWARE\\Classes\\" + std::string(path), view);
      return MergedClassesNode(known ? UserClassesKey(*known, path, view) : nullptr, std::move(machine));
    }
  }
  return nullptr;
}

std::vector<std::string> OfflineBackend::Problems() const {
  std::vector<std::string> out;
  std::lock_guard lock(mutex_);
  out = problems_;
  auto damage = [&out](const std::optional<hive::Hive>& hive, const std::string& label, const std::string& path) {
    if (!hive) return;
    if (std::string text = HiveDamageText(*hive, label, path); !text.empty()) out.push_back(std::move(text));
  };
  damage(system_, "SYSTEM", systemPath_);
  damage(software_, "SOFTWARE", softwarePath_);
  for (const SystemUser& u : users_) {
    const auto found = userHives_.find(AsciiUpper(u.sid));
    if (found == userHives_.end()) continue;
    damage(found->second->ntuser, "NTUSER.DAT of " + u.name, u.hiveFile);
    damage(found->second->classes, "UsrClass.dat of " + u.name, u.classesHiveFile);
  }
  return out;
}

const SystemEnvironment& OfflineBackend::UserEnvironmentOf(const SystemUser& user) const {
  const std::string key = AsciiUpper(user.sid);
  {
    std::lock_guard lock(mutex_);
    if (const auto found = userEnvironments_.find(key); found != userEnvironments_.end()) return *found->second;
  }
  const SystemUser* known = FindUser(user.sid);
  auto env = std::make_shared<const SystemEnvironment>(
      known ? UserEnvironment(SystemSource(shared_from_this()).ForUser(*known), *known, machine_) : machine_);
  std::lock_guard lock(mutex_);
  return *userEnvironments_.emplace(key, std::move(env)).first->second;
}

std::string OfflineBackend::Expand(std::string_view text, const SystemUser* user) const {
  return user ? UserEnvironmentOf(*user).Expand(text) : machine_.Expand(text);
}

std::optional<std::string> OfflineBackend::PathNow(std::string_view systemPath, std::string& why) const {
  std::string_view p = systemPath;
  for (const std::string_view prefix : {"\\\\?\\", "\\??\\", "\\\\.\\"})
    if (p.starts_with(prefix)) {
      p.remove_prefix(prefix.size());
      break;
    }
  if (p.starts_with("\\\\") || p.starts_with("//") || StartsWithNoCase(p, "UNC\\")) {
    why = "it is a network path";
    return std::nullopt;
  }
  const std::string drive = DriveOf(p);
  if (drive.empty()) {
    why = "it is no full path";
    return std::nullopt;
  }
  if (!EqualsNoCase(drive, folders_.systemDrive.empty() ? "C:" : folders_.systemDrive)) {
    why = "it is on drive " + drive + ", not on the system's drive " + folders_.systemDrive;
    return std::nullopt;
  }
  // Its names as Windows' path layer makes them: "." dropped, ".." taken
  // back (never above the drive), trailing dots and blanks dropped.
  std::vector<std::string> names;
  std::string_view rest = p.substr(2);
  while (!rest.empty()) {
    const std::size_t slash = rest.find_first_of("\\/");
    std::string name(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    if (name.empty()) continue;
    if (IsDeviceName(name)) {
      why = "it names the device " + name;
      return std::nullopt;
    }
    names.push_back(std::move(name));
  }
  std::string now = root_;
  for (const std::string& name : names) now = Child(now, name);
  if (!StaysInRoot(now, why)) return std::nullopt;
  return now;
}

std::optional<std::string> OfflineBackend::SystemPathOf(std::string_view nowPath) const {
  for (const std::string& base : {root_, rootFinal_}) {
    if (base.empty() || !PathIsWithin(nowPath, base)) continue;
    std::string rest(nowPath.substr(std::min(nowPath.size(), base.size())));
    for (char& c : rest)
      if (c == '/') c = '\\';
    while (!rest.empty() && rest.front() == '\\') rest.erase(0, 1);
    return folders_.systemDrive + "\\" + rest;
  }
  return std::nullopt;
}

FileInfo OfflineBackend::StatFile(std::string_view systemPath) const {
  std::string why;
  const auto now = PathNow(systemPath, why);
  if (!now) {
    FileInfo info;
    info.refused = why;
    return info;
  }
  FileInfo info = files_->Stat(*now);
  info.nowPath = *now;
  return info;
}

std::vector<std::string> OfflineBackend::ListFolder(std::string_view systemPath, std::size_t limit) const {
  std::string why;
  const auto now = PathNow(systemPath, why);
  return now ? files_->List(*now, limit) : std::vector<std::string>{};
}

}  // namespace

bool PathIsWithin(std::string_view path, std::string_view folder) {
  const std::string p = ComparableText(path);
  const std::string f = ComparableText(folder);
  if (f.empty() || !p.starts_with(f)) return false;
  return p.size() == f.size() || p[f.size()] == '\\' || f.back() == '\\';
}

SystemSource OpenOfflineSystem(const std::string& root, const OfflineOptions& options) {
  auto backend = std::make_shared<OfflineBackend>(root, options);
  backend->Load();
  return SystemSource(std::move(backend));
}

}  // namespace wl
