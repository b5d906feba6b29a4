#include "core/hive_source.h"

#include <fstream>
#include <system_error>
#include <unordered_set>

#include "core/ascii.h"
#include "core/hive_listing.h"
#include "core/utf16_text.h"
#include "core/utf8_path.h"

namespace wl {
namespace {

// ---------------------------------------------------------------- files

class StandardFiles : public FileAccess {
 public:
  std::optional<std::string> ReadWhole(const std::string& path, uint64_t limit, std::string& error) const override {
    std::error_code ec;
    const auto p = PathFromUtf8(path);
    if (std::filesystem::is_directory(p, ec)) {
      error = "it is a folder";
      return std::nullopt;
    }
    if (!std::filesystem::exists(p, ec)) {
      error = "not found";
      return std::nullopt;
    }
    std::ifstream in(p, std::ios::binary);
    if (!in) {
      error = "cannot be opened";
      return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.seekg(0, std::ios::beg);
    if (end < 0 || !in) {
      error = "cannot be read";
      return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(std::min<uint64_t>(static_cast<uint64_t>(end), limit)), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
      error = "cannot be read";
      return std::nullopt;
    }
    return bytes;
  }

  FileInfo Stat(const std::string& path) const override {
    FileInfo info;
    std::error_code ec;
    const auto p = PathFromUtf8(path);
    const auto status = std::filesystem::status(p, ec);
    if (ec || !std::filesystem::exists(status)) return info;
    info.exists = true;
    info.folder = std::filesystem::is_directory(status);
    if (!info.folder) info.size = std::filesystem::file_size(p, ec);
    const auto written = std::filesystem::last_write_time(p, ec);
    if (!ec) {
      // The file clock's time as a FILETIME (100 ns since 1601).
      const auto since = std::chrono::file_clock::to_sys(written).time_since_epoch();
      const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
      info.lastWriteTime = static_cast<uint64_t>(ticks + 116444736000000000LL);
    }
    return info;
  }

  std::vector<std::string> List(const std::string& folder, std::size_t limit) const override {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(PathFromUtf8(folder), ec), end;
    for (; !ec && it != end && names.size() < limit; it.increment(ec))
      names.push_back(Utf8FromPath(it->path().filename()));
    return names;
  }

  std::string FinalPath(const std::string& path) const override {
    std::error_code ec;
    const auto p = PathFromUtf8(path);
    if (!std::filesystem::exists(p, ec)) return {};
    const auto canonical = std::filesystem::canonical(p, ec);
    return ec ? std::string() : Utf8FromPath(canonical);
  }

  bool CaseInsensitive() const override { return false; }
  char Separator() const override { return static_cast<char>(std::filesystem::path::preferred_separator); }
};

// ---------------------------------------------------------------- keys

SourceValue ValueOf(const hive::Value& v) { return {v.Name(), v.Type(), v.Data()}; }

class HiveNode : public SourceKeyNode {
 public:
  HiveNode(hive::Hive hive, hive::Key key, bool plainChildren)
      : hive_(std::move(hive)), key_(key), plainChildren_(plainChildren) {}

  std::shared_ptr<const SourceKeyNode> Child(std::string_view name, bool& handled) const override {
    handled = false;
    if (!plainChildren_) return nullptr;
    const auto sub = key_.Subkey(name);
    if (sub && sub->IsSymbolicLink()) return nullptr;
    handled = true;
    return sub ? std::make_shared<const HiveNode>(hive_, *sub, true) : nullptr;
  }

  std::vector<std::string> SubKeyNames(bool& whole) const override {
    std::vector<std::string> names;
    const auto subkeys = key_.Subkeys();
    names.reserve(subkeys.size());
    for (const hive::Key& k : subkeys) names.push_back(k.Name());
    whole = subkeys.size() == key_.SubkeyCount();
    return names;
  }

  std::vector<SourceValue> Values(bool& whole) const override {
    std::vector<SourceValue> out;
    const auto values = key_.Values();
    out.reserve(values.size());
    whole = values.size() == key_.ValueCount();
    for (const hive::Value& v : values) {
      out.push_back(ValueOf(v));
      if (out.back().data.size() != v.DataSize()) whole = false;
    }
    return out;
  }

  std::optional<SourceValue> Read(std::string_view name) const override {
    const auto v = key_.GetValue(name);
    if (!v) return std::nullopt;
    return ValueOf(*v);
  }

  uint64_t LastWriteTime() const override { return key_.LastWriteTime(); }

 private:
  hive::Hive hive_;  // keeps the hive's image alive
  hive::Key key_;
  bool plainChildren_;
};

// The upper-case form Windows compares key names by.
std::string NameKey(std::string_view name) {
  std::u16string units = Utf16FromUtf8(name);
  for (char16_t& c : units) c = hive::UpcaseUnit(c);
  return Utf8FromUtf16(units);
}

class MergedNode : public SourceKeyNode {
 public:
  MergedNode(std::shared_ptr<const SourceKeyNode> user, std::shared_ptr<const SourceKeyNode> machine)
      : user_(std::move(user)), machine_(std::move(machine)) {}

  std::vector<std::string> SubKeyNames(bool& whole) const override {
    bool userWhole = true, machineWhole = true;
    std::vector<std::string> names = user_->SubKeyNames(userWhole);
    std::unordered_set<std::string> seen;
    for (const std::string& n : names) seen.insert(NameKey(n));
    for (std::string& n : machine_->SubKeyNames(machineWhole))
      if (seen.insert(NameKey(n)).second) names.push_back(std::move(n));
    whole = userWhole && machineWhole;
    return names;
  }
  std::vector<SourceValue> Values(bool& whole) const override { return user_->Values(whole); }
  std::optional<SourceValue> Read(std::string_view name) const override { return user_->Read(name); }
  uint64_t LastWriteTime() const override { return user_->LastWriteTime(); }

 private:
  std::shared_ptr<const SourceKeyNode> user_;
  std::shared_ptr<const SourceKeyNode> machine_;
};

class Listing : public SourceKeyNode {
 public:
  explicit Listing(std::vector<std::string> names) : names_(std::move(names)) {}
  std::vector<std::string> SubKeyNames(bool& whole) const override {
    whole = true;
    return names_;
  }
  std::vector<SourceValue> Values(bool& whole) const override {
    whole = true;
    return {};
  }
  std::optional<SourceValue> Read(std::string_view) const override { return std::nullopt; }
  uint64_t LastWriteTime() const override { return 0; }

 private:
  std::vector<std::string> names_;
};

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const std::size_t slash = path.find('\\');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

// Links followed on the way to one key (a link to a link … is bounded).
thread_local int linkDepth = 0;
constexpr int kMaxLinks = 16;

// ---------------------------------------------------------------- 32-bit view

// Keys below SOFTWARE both views share (Windows 7 and later).
constexpr std::string_view kSharedSoftware[] = {
    "Classes",
    "Clients",
    "Microsoft\\COM3",
    "Microsoft\\Cryptography\\Calais\\Current",
    "Microsoft\\Cryptography\\Calais\\Readers",
    "Microsoft\\Cryptography\\Services",
    "Microsoft\\CTF\\SystemShared",
    "Microsoft\\CTF\\TIP",
    "Microsoft\\DFS",
    "Microsoft\\Driver Signing",
    "Microsoft\\EnterpriseCertificates",
    "Microsoft\\EventSystem",
    "Microsoft\\MSMQ",
    "Microsoft\\Non-Driver Signing",
    "Microsoft\\Notepad\\DefaultFonts",
    "Microsoft\\OLE",
    "Microsoft\\RAS",
    "Microsoft\\RPC",
    "Microsoft\\Shared Tools\\MSInfo",
    "Microsoft\\SystemCertificates",
    "Microsoft\\TermServLicensing",
    "Microsoft\\Transaction Server",
    "Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    "Microsoft\\Windows\\CurrentVersion\\Group Policy",
    "Microsoft\\Windows\\CurrentVersion\\Policies",
    "Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Setup",
    "Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
    "Microsoft\\Windows NT\\CurrentVersion\\Console",
    "Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    "Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    "Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    "Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    "Microsoft\\Windows NT\\CurrentVersion\\LanguagePack",
    "Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    "Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    "Microsoft\\Windows NT\\CurrentVersion\\Ports",
    "Microsoft\\Windows NT\\CurrentVersion\\Print",
    "Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    "Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    "Policies",
    "RegisteredApplications",
};
// Keys below a Classes key that move.
constexpr std::string_view kRedirectedClasses[] = {"CLSID", "DirectShow", "Interface", "Media Type", "MediaFoundation"};

// Whether path is key or lies below it (names without regard to case).
bool IsAtOrBelow(std::string_view path, std::string_view key) {
  if (!StartsWithNoCase(path, key)) return false;
  return path.size() == key.size() || path[key.size()] == '\\';
}

}  // namespace

std::shared_ptr<const FileAccess> PortableFileAccess() {
  static const auto files = std::make_shared<const StandardFiles>();
  return files;
}

std::optional<hive::Hive> LoadHive(const FileAccess& files, const std::string& path, const std::string& label,
                                   bool applyLogs, std::vector<std::string>& problems) {
  // A hive's bins are counted in 32 bits: nothing past that is read.
  constexpr uint64_t kLimit = 4096 + uint64_t{0xFFFFFFFF};
  std::string error;
  auto primary = files.ReadWhole(path, kLimit, error);
  if (!primary) {
    problems.push_back(label + " (" + path + ") cannot be read: " + error);
    return std::nullopt;
  }
  std::vector<hive::LogFile> logs;
  if (applyLogs) {
    for (const char* suffix : {".LOG1", ".LOG2", ".LOG"}) {
      std::string logError;
      const std::string logPath = path + suffix;
      const FileInfo info = files.Stat(logPath);
      if (!info.exists || info.folder) continue;
      if (auto bytes = files.ReadWhole(logPath, kLimit, logError)) {
        const std::size_t slash = logPath.find_last_of("\\/");
        logs.push_back({slash == std::string::npos ? logPath : logPath.substr(slash + 1), std::move(*bytes)});
      }
    }
  }
  hive::Hive hive = hive::Hive::FromBytes(std::move(*primary), std::move(logs));
  if (!hive.Root()) {
    problems.push_back(label + " (" + path + ") is no registry hive: " + hive.Error());
    return std::nullopt;
  }
  const std::size_t slash = path.find_last_of("\\/");
  if (std::string recovery =
          HiveRecoveryText(hive, slash == std::string::npos ? path : path.substr(slash + 1), applyLogs);
      !recovery.empty())
    problems.push_back(label + ": " + recovery);
  return hive;
}

std::string HiveDamageText(const hive::Hive& hive, const std::string& label, const std::string& path) {
  const auto damage = hive.Problems();
  if (damage.empty()) return {};
  return label + " (" + path + ") is damaged; what can be read is read: " + damage.front() +
         (damage.size() > 1 ? " (and " + std::to_string(damage.size() - 1) + " more)" : "");
}

std::shared_ptr<const SourceKeyNode> HiveKeyNode(const hive::Hive& hive, const hive::Key& key, bool plainChildren) {
  return std::make_shared<const HiveNode>(hive, key, plainChildren);
}

std::shared_ptr<const SourceKeyNode> OpenHiveKey(const hive::Hive& hive, std::string_view path,
                                                 const LinkFollower& follow, bool plainChildren) {
  auto key = hive.Root();
  if (!key) return nullptr;
  const auto parts = SplitPath(path);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    auto sub = key->Subkey(parts[i]);
    if (!sub) return nullptr;
    if (sub->IsSymbolicLink() && follow) {
      const auto link = sub->GetValue("SymbolicLinkValue");
      const std::vector<uint8_t> data = link ? link->Data() : std::vector<uint8_t>{};
      std::u16string units(data.size() / 2, u'\0');
      for (std::size_t u = 0; u < units.size(); ++u)
        units[u] = static_cast<char16_t>(data[2 * u] | data[2 * u + 1] << 8);
      std::string target = CleanKeyPath(Utf8FromUtf16(units));
      SourceRoot root;
      constexpr std::string_view kMachine = "REGISTRY\\MACHINE";
      constexpr std::string_view kUser = "REGISTRY\\USER";
      if (IsAtOrBelow(target, kMachine)) {
        root = SourceRoot::LocalMachine;
        target.erase(0, std::min(target.size(), kMachine.size() + 1));
      } else if (IsAtOrBelow(target, kUser)) {
        root = SourceRoot::Users;
        target.erase(0, std::min(target.size(), kUser.size() + 1));
      } else {
        return nullptr;  // a link to nowhere a source reads
      }
      for (std::size_t rest = i + 1; rest < parts.size(); ++rest) target += "\\" + std::string(parts[rest]);
      if (linkDepth >= kMaxLinks) return nullptr;
      ++linkDepth;
      auto node = follow(root, CleanKeyPath(target));
      --linkDepth;
      return node;
    }
    key = sub;
  }
  return HiveKeyNode(hive, *key, plainChildren);
}

std::shared_ptr<const SourceKeyNode> MergedClassesNode(std::shared_ptr<const SourceKeyNode> user,
                                                       std::shared_ptr<const SourceKeyNode> machine) {
  if (!user) return machine;
  if (!machine) return user;
  return std::make_shared<const MergedNode>(std::move(user), std::move(machine));
}

std::shared_ptr<const SourceKeyNode> ListingNode(std::vector<std::string> subKeyNames) {
  return std::make_shared<const Listing>(std::move(subKeyNames));
}

bool Wow64Redirected(std::string_view path, bool classes) {
  const std::string clean = CleanKeyPath(path);
  if (clean.empty() || IsAtOrBelow(clean, "WOW6432Node")) return false;
  if (classes) {
    for (const std::string_view key : kRedirectedClasses)
      if (IsAtOrBelow(clean, key)) return true;
    return false;
  }
  for (const std::string_view key : kSharedSoftware) {
    if (!IsAtOrBelow(clean, key)) continue;
    // Classes is shared but for the class keys that move within it.
    return key == "Classes" && clean.size() > key.size() + 1 && Wow64Redirected(clean.substr(key.size() + 1), true);
  }
  return true;
}

std::string Wow64Path(std::string_view path, bool classes) {
  const std::string clean = CleanKeyPath(path);
  if (!Wow64Redirected(clean, classes)) return clean;
  // Classes\Wow6432Node is where SOFTWARE\Wow6432Node\Classes leads.
  if (!classes && IsAtOrBelow(clean, "Classes")) return "Classes\\Wow6432Node\\" + clean.substr(8);
  return "Wow6432Node\\" + clean;
}

std::string SidText(const uint8_t* bytes, std::size_t size) {
  if (size < 8 || bytes[0] != 1) return {};
  const std::size_t count = bytes[1];
  if (count > 15 || size < 8 + 4 * count) return {};
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = authority << 8 | bytes[i];
  std::string text = "S-1-" + std::to_string(authority);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* p = bytes + 8 + 4 * i;
    text += "-" + std::to_string(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
  }
  return text;
}

bool LooksLikeSid(std::string_view text) {
  if (!StartsWithNoCase(text, "S-1-") || text.size() > 200) return false;
  bool digit = false;
  for (std::size_t i = 4; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      digit = true;
    } else if (text[i] == '-' && digit) {
      digit = false;
    } else {
      return false;
    }
  }
  return digit;
}

std::string SidOfUserHives(const hive::Hive* ntuser, const hive::Hive* usrClass) {
  if (usrClass) {
    if (const auto root = usrClass->Root()) {
      std::string name = root->Name();
      constexpr std::string_view kSuffix = "_Classes";
      if (EndsWithNoCase(name, kSuffix)) {
        name.resize(name.size() - kSuffix.size());
        if (LooksLikeSid(name)) return name;
      }
    }
  }
  if (!ntuser) return {};
  const auto root = ntuser->Root();
  if (!root) return {};
  // The root's access list: the first allowing entry for an account of a
  // machine or domain (S-1-5-21-…) is the user's own.
  const std::vector<uint8_t> sd = root->SecurityDescriptor();
  if (sd.size() < 20 || sd[0] != 1) return {};
  auto get32 = [&](std::size_t at) {
    return static_cast<uint32_t>(sd[at]) | static_cast<uint32_t>(sd[at + 1]) << 8 |
           static_cast<uint32_t>(sd[at + 2]) << 16 | static_cast<uint32_t>(sd[at + 3]) << 24;
  };
  const uint32_t dacl = get32(16);
  if (dacl == 0 || dacl + 8 > sd.size()) return {};
  const std::size_t aclSize = std::min<std::size_t>(sd[dacl + 2] | sd[dacl + 3] << 8, sd.size() - dacl);
  const std::size_t count = sd[dacl + 4] | sd[dacl + 5] << 8;
  std::size_t at = dacl + 8;
  const std::size_t end = dacl + aclSize;
  for (std::size_t i = 0; i < count && at + 8 <= end; ++i) {
    const uint8_t type = sd[at];
    const std::size_t aceSize = sd[at + 2] | sd[at + 3] << 8;
    if (aceSize < 8 || at + aceSize > end) break;
    if (type == 0 /* access allowed */ && aceSize > 8) {
      const std::string sid = SidText(sd.data() + at + 8, aceSize - 8);
      if (StartsWithNoCase(sid, "S-1-5-21-")) return sid;
    }
    at += aceSize;
  }
  return {};
}

}  // namespace wl
