// A volume held in memory for the offline system's fuzz target and its
// seeds: the hives of a system laid out as its files ("--HIVE--" separates
// SYSTEM, SOFTWARE and a user's NTUSER.DAT in one input).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/ascii.h"
#include "core/hive_image.h"
#include "core/hive_source.h"

namespace wl::fuzzing {

inline constexpr std::string_view kHiveSeparator = "--HIVE--";

class MemoryFiles : public FileAccess {
 public:
  static std::string Key(std::string_view path) {
    std::string key = AsciiLower(path);
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
  }
  void Add(const std::string& path, std::string bytes) {
    files_[Key(path)] = std::move(bytes);
    for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
      folders_[AsciiLower(path.substr(0, at))] = path.substr(0, at);
  }
  std::optional<std::string> ReadWhole(const std::string& path, uint64_t limit, std::string& error) const override {
    const auto found = files_.find(Key(path));
    if (found == files_.end()) {
      error = folders_.count(Key(path)) ? "it is a folder" : "not found";
      return std::nullopt;
    }
    return found->second.substr(0, static_cast<std::size_t>(std::min<uint64_t>(limit, found->second.size())));
  }
  FileInfo Stat(const std::string& path) const override {
    FileInfo info;
    const std::string key = Key(path);
    if (const auto f = files_.find(key); f != files_.end()) {
      info.exists = true;
      info.size = f->second.size();
    } else if (folders_.count(key)) {
      info.exists = info.folder = true;
    }
    return info;
  }
  std::vector<std::string> List(const std::string& folder, std::size_t limit) const override {
    std::vector<std::string> names;
    const std::string prefix = Key(folder) + "\\";
    auto add = [&](const std::string& lowered, const std::string& shown) {
      if (names.size() >= limit || !lowered.starts_with(prefix)) return;
      if (shown.find('\\', prefix.size()) == std::string::npos) names.push_back(shown.substr(prefix.size()));
    };
    for (const auto& [lowered, shown] : folders_) add(lowered, shown);
    for (const auto& [lowered, bytes] : files_) add(lowered, lowered);
    return names;
  }
  std::string FinalPath(const std::string& path) const override {
    const FileInfo info = Stat(path);
    return info.exists ? path : std::string();
  }
  bool CaseInsensitive() const override { return true; }
  char Separator() const override { return '\\'; }

 private:
  std::map<std::string, std::string> files_;
  std::map<std::string, std::string> folders_;  // lower-case path -> as given
};

// The volume of an input: R:\Windows\System32\config\SYSTEM and SOFTWARE,
// and R:\Users\<each name>\NTUSER.DAT with the third part; each hive's
// base block checksum made right, so that the cells are reached.
inline MemoryFiles VolumeOf(std::string_view input, const std::vector<std::string>& users) {
  std::vector<std::string> parts;
  while (parts.size() < 2) {
    const std::size_t at = input.find(kHiveSeparator);
    if (at == std::string_view::npos) break;
    parts.emplace_back(input.substr(0, at));
    input.remove_prefix(at + kHiveSeparator.size());
  }
  parts.emplace_back(input);
  MemoryFiles files;
  const char* names[] = {"R:\\Windows\\System32\\config\\SYSTEM", "R:\\Windows\\System32\\config\\SOFTWARE"};
  for (std::string& part : parts)
    if (part.size() >= 512) {
      auto* b = reinterpret_cast<uint8_t*>(part.data());
      hive::detail::Put32(b + 508, hive::detail::BaseBlockChecksum(b));
    }
  for (std::size_t i = 0; i < parts.size() && i < 2; ++i)
    if (!parts[i].empty()) files.Add(names[i], parts[i]);
  if (parts.size() == 3)
    for (const std::string& user : users) files.Add("R:\\Users\\" + user + "\\NTUSER.DAT", parts[2]);
  return files;
}

}  // namespace wl::fuzzing
