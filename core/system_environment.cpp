#include "core/system_environment.h"

#include "core/ascii.h"
#include "core/hive.h"

namespace wl {
namespace {

constexpr const char* kWindowsNtCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kWindowsCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kSessionEnvironment = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kUserShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// A string value of a key, expanded with env when it is an expandable one.
std::optional<std::string> ExpandedValue(const std::optional<SourceKey>& key, std::string_view name,
                                         const SystemEnvironment& env) {
  if (!key) return std::nullopt;
  const auto v = key->Read(name);
  if (!v || (v->type != hive::kRegSz && v->type != hive::kRegExpandSz)) return std::nullopt;
  std::string text = SourceValueText(*v);
  if (text.empty()) return std::nullopt;
  return v->type == hive::kRegExpandSz ? env.Expand(text) : text;
}

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

// The values of an Environment key into env: plain strings first, then the
// expandable ones (which may name the plain ones), as Windows sets them.
void AddEnvironmentKey(const std::optional<SourceKey>& key, SystemEnvironment& env, bool appendPath) {
  if (!key) return;
  const auto values = key->Values();
  for (const bool expandable : {false, true}) {
    for (const SourceValue& v : values) {
      if (v.name.empty() || (v.type != hive::kRegSz && v.type != hive::kRegExpandSz)) continue;
      if ((v.type == hive::kRegExpandSz) != expandable) continue;
      std::string text = SourceValueText(v);
      if (expandable) text = env.Expand(text);
      if (appendPath && EqualsNoCase(v.name, "Path")) {
        const std::string machinePath = env.Get("Path");
        if (!machinePath.empty()) text = machinePath + (machinePath.ends_with(';') ? "" : ";") + text;
      }
      env.Set(v.name, std::move(text));
    }
  }
}

}  // namespace

std::string ExpandVariables(std::string_view text, const std::function<const std::string*(std::string_view)>& lookup) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('%', at);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(at, open - at));
    const std::string_view name = text.substr(open + 1, close - open - 1);
    const std::string* value = name.empty() ? nullptr : lookup(name);
    if (value) {
      out += *value;
      at = close + 1;
    } else {
      out += '%';
      out.append(name);
      at = close;
    }
  }
  out.append(text.substr(at));
  return out;
}

void SystemEnvironment::Set(std::string_view name, std::string value) {
  for (auto& [n, v] : vars_)
    if (EqualsNoCase(n, name)) {
      v = std::move(value);
      return;
    }
  vars_.emplace_back(std::string(name), std::move(value));
}

const std::string* SystemEnvironment::Find(std::string_view name) const {
  for (const auto& [n, v] : vars_)
    if (EqualsNoCase(n, name)) return &v;
  return nullptr;
}

std::string SystemEnvironment::Get(std::string_view name) const {
  const std::string* v = Find(name);
  return v ? *v : std::string();
}

std::string SystemEnvironment::Expand(std::string_view text) const {
  return ExpandVariables(text, [this](std::string_view name) { return Find(name); });
}

std::string DriveOf(std::string_view path) {
  const bool letter = !path.empty() && AsciiLower(path[0]) >= 'a' && AsciiLower(path[0]) <= 'z';
  if (letter && path.size() >= 2 && path[1] == ':' && (path.size() == 2 || path[2] == '\\' || path[2] == '/'))
    return std::string(1, AsciiUpper(path[0])) + ":";
  return {};
}

SystemEnvironment MachineEnvironment(const SystemSource& source, std::string_view defaultSystemRoot) {
  SystemEnvironment env;
  const auto ntVersion = source.Open(SourceRoot::LocalMachine, kWindowsNtCurrentVersion);
  std::string systemRoot(defaultSystemRoot);
  if (DriveOf(systemRoot).empty()) systemRoot = "C:\\Windows";
  env.Set("SystemDrive", DriveOf(systemRoot));
  if (auto root = ExpandedValue(ntVersion, "SystemRoot", env); root && !DriveOf(*root).empty())
    systemRoot = WithoutTrailingSeparator(*root);
  env.Set("SystemDrive", DriveOf(systemRoot));
  env.Set("SystemRoot", systemRoot);
  env.Set("windir", systemRoot);

  const auto version = source.Open(SourceRoot::LocalMachine, kWindowsCurrentVersion);
  const std::string drive = env.Get("SystemDrive");
  // The program folders: each from its value where the system names one.
  struct Folder {
    const char* variable;
    const char* value;
    std::string fallback;
  };
  const bool wow64 = source.Exists(SourceRoot::LocalMachine, "SOFTWARE\\WOW6432Node");
  const Folder folders[] = {
      {"ProgramFiles", "ProgramFilesDir", drive + "\\Program Files"},
      {"ProgramW6432", "ProgramW6432Dir", drive + "\\Program Files"},
      {"CommonProgramFiles", "CommonFilesDir", drive + "\\Program Files\\Common Files"},
      {"CommonProgramW6432", "CommonW6432Dir", drive + "\\Program Files\\Common Files"},
      {"ProgramFiles(x86)", "ProgramFilesDir (x86)", drive + "\\Program Files (x86)"},
      {"CommonProgramFiles(x86)", "CommonFilesDir (x86)", drive + "\\Program Files (x86)\\Common Files"},
  };
  for (const Folder& f : folders) {
    const bool x86 = std::string_view(f.variable).ends_with("(x86)");
    auto value = ExpandedValue(version, f.value, env);
    if (!value && x86 && version && !wow64) continue;  // a 32-bit system has no second program folder
    env.Set(f.variable, WithoutTrailingSeparator(value.value_or(f.fallback)));
  }
  const auto profiles = source.Open(SourceRoot::LocalMachine, kProfileList);
  const std::string programData =
      WithoutTrailingSeparator(ExpandedValue(profiles, "ProgramData", env).value_or(drive + "\\ProgramData"));
  env.Set("ProgramData", programData);
  env.Set("ALLUSERSPROFILE", programData);
  env.Set("PUBLIC",
          WithoutTrailingSeparator(ExpandedValue(profiles, "Public", env).value_or(drive + "\\Users\\Public")));
  if (auto name = source.ReadString(SourceRoot::LocalMachine,
                                    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName"))
    env.Set("COMPUTERNAME", *name);
  AddEnvironmentKey(source.Open(SourceRoot::LocalMachine, kSessionEnvironment), env, false);
  // What Windows sets itself wins over a value of the same name there.
  env.Set("SystemRoot", systemRoot);
  env.Set("SystemDrive", DriveOf(systemRoot));
  return env;
}

SystemFolders MachineFolders(const SystemSource& source, const SystemEnvironment& machine) {
  SystemFolders f;
  f.systemDrive = machine.Get("SystemDrive");
  f.windows = machine.Get("SystemRoot");
  f.system32 = f.windows + "\\System32";
  f.programFiles = machine.Get("ProgramFiles");
  f.programFilesX86 = machine.Get("ProgramFiles(x86)");
  f.programData = machine.Get("ProgramData");
  const auto profiles = source.Open(SourceRoot::LocalMachine, kProfileList);
  f.profiles = WithoutTrailingSeparator(
      ExpandedValue(profiles, "ProfilesDirectory", machine).value_or(f.systemDrive + "\\Users"));
  return f;
}

SystemEnvironment UserEnvironment(const SystemSource& userSource, const SystemUser& user,
                                  const SystemEnvironment& machine) {
  SystemEnvironment env = machine;
  const std::string profile = user.profileFolder;
  if (!profile.empty()) {
    env.Set("USERPROFILE", profile);
    const std::string drive = DriveOf(profile);
    env.Set("HOMEDRIVE", drive);
    env.Set("HOMEPATH", drive.empty() ? profile : profile.substr(2));
  }
  std::string name = user.name;
  if (const std::size_t slash = name.find('\\'); slash != std::string::npos) name.erase(0, slash + 1);
  if (!name.empty()) env.Set("USERNAME", name);
  const auto shellFolders = userSource.Open(SourceRoot::CurrentUser, kUserShellFolders);
  if (!profile.empty()) {
    env.Set("APPDATA", WithoutTrailingSeparator(
                           ExpandedValue(shellFolders, "AppData", env).value_or(profile + "\\AppData\\Roaming")));
    env.Set("LOCALAPPDATA",
            WithoutTrailingSeparator(
                ExpandedValue(shellFolders, "Local AppData", env).value_or(profile + "\\AppData\\Local")));
  }
  AddEnvironmentKey(userSource.Open(SourceRoot::CurrentUser, "Environment"), env, true);
  return env;
}

std::vector<std::string> SearchFoldersOf(const SystemSource& source) {
  const SystemFolders folders = source.Folders();
  std::vector<std::string> out;
  auto add = [&out](std::string folder) {
    folder = WithoutTrailingSeparator(std::move(folder));
    if (folder.empty()) return;
    for (const std::string& known : out)
      if (EqualsNoCase(known, folder)) return;
    out.push_back(std::move(folder));
  };
  add(folders.system32);
  add(folders.windows + "\\System");
  add(folders.windows);
  const std::string path = source.Expand("%Path%");
  if (path != "%Path%") {
    std::size_t start = 0;
    while (start <= path.size()) {
      const std::size_t end = std::min(path.find(';', start), path.size());
      std::string part = path.substr(start, end - start);
      if (part.size() >= 2 && part.front() == '"' && part.back() == '"') part = part.substr(1, part.size() - 2);
      add(std::move(part));
      start = end + 1;
    }
  }
  return out;
}

std::string AppPathOf(const SystemSource& source, std::string_view fileName) {
  if (fileName.empty() || fileName.find('\\') != std::string_view::npos) return {};
  const auto key = source.Open(SourceRoot::LocalMachine,
                               "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + std::string(fileName));
  if (!key) return {};
  const auto v = key->Read("");
  if (!v || (v->type != hive::kRegSz && v->type != hive::kRegExpandSz)) return {};
  std::string text = SourceValueText(*v);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  return source.Expand(text);
}

}  // namespace wl
