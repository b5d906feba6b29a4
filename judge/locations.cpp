#include "judge/locations.h"

#include <array>
#include <vector>

#include "core/ascii.h"

namespace wl {
namespace {

// Folders inside the Windows folder that a standard user may create files in.
constexpr std::array<std::string_view, 16> kWritableInWindows = {
    "temp",
    "tasks",
    "tracing",
    "debug\\wia",
    "registration\\crmlog",
    "system32\\tasks",
    "system32\\tasks_migrated",
    "system32\\spool\\drivers\\color",
    "system32\\spool\\printers",
    "system32\\microsoft\\crypto\\rsa\\machinekeys",
    "system32\\com\\dmp",
    "system32\\fxstmp",
    "syswow64\\tasks",
    "syswow64\\com\\dmp",
    "syswow64\\fxstmp",
    "servicing\\packages",
};

// Folders under Program Files that Windows itself installs.
constexpr std::array<std::string_view, 13> kWindowsInProgramFiles = {
    "internet explorer",
    "windows defender",
    "windows defender advanced threat protection",
    "windows mail",
    "windows media player",
    "windows multimedia platform",
    "windows nt",
    "windows photo viewer",
    "windows portable devices",
    "windows security",
    "windows sidebar",
    "windows journal",
    "common files\\system",
};

// Where Windows installs some of its programs outside the Windows folder:
// the program's name, the known folder the place lies in, and the place
// below it.
enum class HomeBase { ProgramFiles, ProgramData, Profile };
struct ProgramHome {
  std::string_view name;
  HomeBase base;
  std::string_view place;
};
constexpr std::array<ProgramHome, 22> kProgramHomes = {{
    {"msedge.exe", HomeBase::ProgramFiles, "microsoft\\edge"},
    {"msedge.exe", HomeBase::ProgramFiles, "microsoft\\edge beta"},
    {"msedge.exe", HomeBase::ProgramFiles, "microsoft\\edge dev"},
    {"msedge.exe", HomeBase::ProgramFiles, "microsoft\\edgecore"},
    {"msedgewebview2.exe", HomeBase::ProgramFiles, "microsoft\\edgewebview"},
    {"msedgewebview2.exe", HomeBase::ProgramFiles, "microsoft\\edgecore"},
    {"onedrive.exe", HomeBase::ProgramFiles, "microsoft onedrive"},
    {"onedrive.exe", HomeBase::Profile, "appdata\\local\\microsoft\\onedrive"},
    {"msmpeng.exe", HomeBase::ProgramData, "microsoft\\windows defender\\platform"},
    {"nissrv.exe", HomeBase::ProgramData, "microsoft\\windows defender\\platform"},
    {"mpcmdrun.exe", HomeBase::ProgramData, "microsoft\\windows defender\\platform"},
    {"notepad.exe", HomeBase::ProgramFiles, "windowsapps"},
    {"mspaint.exe", HomeBase::ProgramFiles, "windowsapps"},
    {"snippingtool.exe", HomeBase::ProgramFiles, "windowsapps"},
    {"wsl.exe", HomeBase::ProgramFiles, "windowsapps"},
    {"winget.exe", HomeBase::ProgramFiles, "windowsapps"},
    {"quickassist.exe", HomeBase::ProgramFiles, "windowsapps"},
    {"tabtip.exe", HomeBase::ProgramFiles, "common files\\microsoft shared\\ink"},
    {"mip.exe", HomeBase::ProgramFiles, "common files\\microsoft shared\\ink"},
    {"moviemk.exe", HomeBase::ProgramFiles, "movie maker"},
    {"msmsgs.exe", HomeBase::ProgramFiles, "messenger"},
    {"conf.exe", HomeBase::ProgramFiles, "netmeeting"},
}};

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::string LexicalPath(std::string_view path) {
  if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\") || path.starts_with("//?/") ||
      path.starts_with("//./"))
    return std::string(path);
  std::string text(path);
  for (char& c : text)
    if (c == '/') c = '\\';
  std::string root;
  std::size_t at = 0;
  if (text.size() >= 3 && IsDriveLetter(text[0]) && text[1] == ':' && text[2] == '\\') {
    root = text.substr(0, 3);
    at = 3;
  } else if (text.starts_with("\\\\")) {
    // "\\server\share\": both parts are the root.
    const std::size_t server = text.find('\\', 2);
    if (server == std::string::npos || server == 2) return text;
    std::size_t share = text.find('\\', server + 1);
    if (share == server + 1) return text;
    if (share == std::string::npos) share = text.size();
    root = text.substr(0, share) + "\\";
    at = share + 1;
  } else {
    return text;
  }
  std::vector<std::string> segments;
  while (at <= text.size()) {
    std::size_t end = text.find('\\', at);
    if (end == std::string::npos) end = text.size();
    std::string segment = text.substr(at, end - at);
    at = end + 1;
    if (segment == ".") continue;
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    while (!segment.empty() && (segment.back() == '.' || segment.back() == ' ')) segment.pop_back();
    if (!segment.empty()) segments.push_back(std::move(segment));
  }
  std::string out = root;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) out += '\\';
    out += segments[i];
  }
  if (out.size() > 3 && out.back() == '\\' && !segments.empty()) out.pop_back();
  return out;
}

std::string PlainFinalPath(std::string_view finalPath) {
  if (finalPath.starts_with("\\\\?\\UNC\\")) return "\\\\" + std::string(finalPath.substr(8));
  if (finalPath.starts_with("\\\\?\\") && finalPath.size() >= 6 && finalPath[5] == ':')
    return std::string(finalPath.substr(4));
  return std::string(finalPath);
}

std::string StreamHostOf(std::string_view path) {
  std::size_t from = 0;
  if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\") || path.starts_with("//?/") ||
      path.starts_with("//./"))
    from = 4;
  // Only a full path names a file's stream ("http://…" is an address).
  if (path.size() >= from + 3 && IsDriveLetter(path[from]) && path[from + 1] == ':' &&
      (path[from + 2] == '\\' || path[from + 2] == '/'))
    from += 2;
  else if (from == 0 && !path.starts_with("\\\\") && !path.starts_with("//"))
    return {};
  const std::size_t colon = path.find(':', from);
  if (colon == std::string_view::npos) return {};
  std::string host(path.substr(0, colon));
  while (host.size() > from + 1 && (host.back() == '\\' || host.back() == '/')) host.pop_back();
  return host.empty() ? std::string(path.substr(0, colon)) : host;
}

bool InWindowsProgramHome(std::string_view fileName, std::string_view path, const KnownFolders& folders) {
  const std::string p = ComparablePath(path);
  for (const ProgramHome& home : kProgramHomes) {
    if (home.name != fileName) continue;
    const std::string place(home.place);
    switch (home.base) {
      case HomeBase::ProgramFiles:
        for (const std::string& programFiles : folders.programFiles)
          if (!programFiles.empty() && PathIsUnder(p, ComparablePath(programFiles) + "\\" + place)) return true;
        break;
      case HomeBase::ProgramData:
        if (!folders.programData.empty() && PathIsUnder(p, ComparablePath(folders.programData) + "\\" + place))
          return true;
        break;
      case HomeBase::Profile: {
        if (folders.profiles.empty() || !PathIsUnder(p, folders.profiles)) break;
        const std::string base = ComparablePath(folders.profiles);
        const std::size_t userEnd = p.find('\\', base.size() + 1);
        if (userEnd != std::string::npos && PathIsUnder(p.substr(userEnd + 1), place)) return true;
        break;
      }
    }
  }
  return false;
}

std::string ComparablePath(std::string_view path) {
  if (path.starts_with("\\\\?\\") || path.starts_with("//?/")) path.remove_prefix(4);
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '/') c = '\\';
    // A doubled separator names the same folder (but keep a UNC path's "\\").
    if (c == '\\' && !out.empty() && out.back() == '\\' && out.size() > 1) continue;
    out += AsciiLower(c);
  }
  while (out.size() > 3 && out.back() == '\\') out.pop_back();
  return out;
}

bool PathIsUnder(std::string_view path, std::string_view folder) {
  const std::string p = ComparablePath(path);
  const std::string f = ComparablePath(folder);
  if (f.empty() || p.size() < f.size() || p.compare(0, f.size(), f) != 0) return false;
  return p.size() == f.size() || f.back() == '\\' || p[f.size()] == '\\';
}

namespace {

// Whether a comparable path lies in a comparable folder or below it.
bool Under(std::string_view p, std::string_view f) {
  if (f.empty() || p.size() < f.size() || p.compare(0, f.size(), f) != 0) return false;
  return p.size() == f.size() || f.back() == '\\' || p[f.size()] == '\\';
}

}  // namespace

PlaceIndex::PlaceIndex(const KnownFolders& folders) {
  windows_ = folders.windows.empty() ? std::string() : ComparablePath(folders.windows);
  if (!windows_.empty())
    for (std::string_view writable : kWritableInWindows) writableInWindows_.push_back(windows_ + "\\" + std::string(writable));
  for (const std::string& programFiles : folders.programFiles) {
    if (programFiles.empty()) continue;
    programFiles_.push_back(ComparablePath(programFiles));
    std::vector<std::string> components;
    for (std::string_view component : kWindowsInProgramFiles)
      components.push_back(programFiles_.back() + "\\" + std::string(component));
    windowsInProgramFiles_.push_back(std::move(components));
  }
  for (const std::string& temp : folders.temp)
    if (!temp.empty()) temp_.push_back(ComparablePath(temp));
  programData_ = folders.programData.empty() ? std::string() : ComparablePath(folders.programData);
  profiles_ = folders.profiles.empty() ? std::string() : ComparablePath(folders.profiles);
}

Place PlaceIndex::Classify(std::string_view path) const {
  const std::string p = ComparablePath(path);
  auto under = [&p](std::string_view folder) { return Under(p, folder); };

  // The Recycle Bin of any drive.
  if (p.size() > 3 && p[1] == ':' && p[2] == '\\') {
    const std::string_view rest = std::string_view(p).substr(3);
    for (std::string_view bin : {"$recycle.bin", "recycler", "recycled"})
      if (rest.starts_with(bin) && (rest.size() == bin.size() || rest[bin.size()] == '\\'))
        return {PlaceKind::UserWritable, "the Recycle Bin"};
  }
  for (const std::string& temp : temp_)
    if (under(temp)) return {PlaceKind::UserWritable, "a temporary folder"};

  if (under(windows_)) {
    for (const std::string& writable : writableInWindows_)
      if (under(writable)) return {PlaceKind::UserWritable, "a folder of Windows that users can write"};
    return {PlaceKind::Windows, {}};
  }
  for (std::size_t i = 0; i < programFiles_.size(); ++i) {
    if (!under(programFiles_[i])) continue;
    for (const std::string& component : windowsInProgramFiles_[i])
      if (under(component)) return {PlaceKind::Windows, {}};
    return {PlaceKind::ProgramFiles, {}};
  }
  if (under(programData_)) {
    // A file right in ProgramData: any user may put one there.
    if (p.find('\\', programData_.size() + 1) == std::string::npos) return {PlaceKind::UserWritable, "the root of ProgramData"};
    return {PlaceKind::Other, {}};
  }
  if (under(profiles_)) {
    const std::string& base = profiles_;
    const std::size_t userEnd = p.find('\\', base.size() + 1);
    if (userEnd == std::string::npos) return {PlaceKind::Other, {}};
    const std::string_view user = std::string_view(p).substr(base.size() + 1, userEnd - base.size() - 1);
    const std::string_view inside = std::string_view(p).substr(userEnd + 1);
    auto in = [&inside](std::string_view folder) {
      return inside.starts_with(folder) && (inside.size() == folder.size() || inside[folder.size()] == '\\');
    };
    if (user == "public") return {PlaceKind::UserWritable, "the Public folder"};
    if (in("appdata")) return {PlaceKind::UserWritable, "the user's AppData folder"};
    if (in("downloads")) return {PlaceKind::UserWritable, "the user's Downloads folder"};
    if (in("desktop")) return {PlaceKind::UserWritable, "the user's Desktop"};
    return {PlaceKind::UserWritable, "a user's profile folder"};
  }
  return {PlaceKind::Other, {}};
}

Place ClassifyPlace(std::string_view path, const KnownFolders& folders) { return PlaceIndex(folders).Classify(path); }

}  // namespace wl
