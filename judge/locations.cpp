#include "judge/locations.h"

#include <array>

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

}  // namespace

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

Place ClassifyPlace(std::string_view path, const KnownFolders& folders) {
  const std::string p = ComparablePath(path);
  auto under = [&p](std::string_view folder) { return PathIsUnder(p, folder); };

  // The Recycle Bin of any drive.
  if (p.size() > 3 && p[1] == ':' && p[2] == '\\') {
    const std::string_view rest = std::string_view(p).substr(3);
    for (std::string_view bin : {"$recycle.bin", "recycler", "recycled"})
      if (rest.starts_with(bin) && (rest.size() == bin.size() || rest[bin.size()] == '\\'))
        return {PlaceKind::UserWritable, "the Recycle Bin"};
  }
  for (const std::string& temp : folders.temp)
    if (under(temp)) return {PlaceKind::UserWritable, "a temporary folder"};

  if (!folders.windows.empty() && under(folders.windows)) {
    const std::string base = ComparablePath(folders.windows);
    for (std::string_view writable : kWritableInWindows)
      if (under(base + "\\" + std::string(writable))) return {PlaceKind::UserWritable, "a folder of Windows that users can write"};
    return {PlaceKind::Windows, {}};
  }
  for (const std::string& programFiles : folders.programFiles) {
    if (programFiles.empty() || !under(programFiles)) continue;
    const std::string base = ComparablePath(programFiles);
    for (std::string_view component : kWindowsInProgramFiles)
      if (under(base + "\\" + std::string(component))) return {PlaceKind::Windows, {}};
    return {PlaceKind::ProgramFiles, {}};
  }
  if (!folders.programData.empty() && under(folders.programData)) {
    const std::string base = ComparablePath(folders.programData);
    // A file right in ProgramData: any user may put one there.
    if (p.find('\\', base.size() + 1) == std::string::npos) return {PlaceKind::UserWritable, "the root of ProgramData"};
    return {PlaceKind::Other, {}};
  }
  if (!folders.profiles.empty() && under(folders.profiles)) {
    const std::string base = ComparablePath(folders.profiles);
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

}  // namespace wl
