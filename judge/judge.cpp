#include "judge/judge.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "core/ascii.h"
#include "core/path_text.h"
#include "judge/version_resource.h"

namespace wl {
namespace {

std::string Joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

void AddOnce(std::vector<std::string>& list, std::string text) {
  if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(std::move(text));
}

std::string_view TrimText(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::string PathOnly(std::string_view text) {
  text = TrimText(text);
  if (text.size() >= 2 && text.front() == '"') {
    const std::size_t close = text.find('"', 1);
    text = close == std::string_view::npos ? text.substr(1) : text.substr(1, close - 1);
  }
  return std::string(text);
}

// A missing program is a finding where the entry starts something by itself.
bool StartsByItself(Origin origin) {
  return origin == Origin::Autostart || origin == Origin::Task || origin == Origin::Service ||
         origin == Origin::Driver || origin == Origin::BrowserAddOn;
}

constexpr const char* kMicrosoftGroup = "Microsoft";
constexpr const char* kMicrosoftCompany = "Microsoft Corporation";

}  // namespace

std::string WrittenElsewhereReason(PlaceKind written, std::string_view realPath) {
  return std::string("Written as a path in ") + (written == PlaceKind::Windows ? "the Windows folders" : "Program Files") +
         ", but it names " + std::string(realPath);
}

std::string StreamReason(std::string_view streamHost) {
  return "Runs from an alternate data stream of " + std::string(streamHost);
}

std::string RenamedReason(std::string_view originalName, std::string_view fileName) {
  return std::string(originalName) + " renamed " + std::string(fileName);
}

std::string HostCopyReason(std::string_view hostName, std::string_view fileName) {
  // PowerShell by its name; the others by their file names.
  const std::string host = HostKindOf(hostName) == HostKind::PowerShell ? "PowerShell" : std::string(hostName);
  return "a copy of " + host + " named " + std::string(fileName);
}

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Trusted: return "trusted";
    case Verdict::Unknown: return "unknown";
    case Verdict::Suspicious: return "suspicious";
    case Verdict::Malicious: return "malicious";
  }
  return "unknown";
}

std::string SignerGroupOf(const std::string& rootThumbprint, const ReferenceTables& tables) {
  if (rootThumbprint.empty()) return {};
  const std::string* line = tables.signers.LastLineWithKey(AsciiUpper(rootThumbprint));
  return line ? std::string(TrimText(StringTable::ValueOf(*line))) : std::string();
}

FolderListing SystemFacts::ListFolder(const std::string&) const { return {}; }
std::string SystemFacts::FolderFinalPath(const std::string&) const { return {}; }
RootStore SystemFacts::RootStoreOf(const std::string&) const { return RootStore::Machine; }
std::vector<KnownHost> SystemFacts::KnownHosts() const { return {}; }
std::shared_ptr<const PathFacts> SystemFacts::UserEnvironment(const std::string&) const { return nullptr; }

namespace {

// A folder that this many lookups of one scan go to is listed once, and
// what it holds answered from the listing: on a file system that looks a
// missing name up by reading the whole folder, the lookups of a folder of
// thousands of names would otherwise cost the square of their number.
constexpr unsigned kListFolderAfter = 16;

// A name the listing can answer for: ASCII only (the file system's case
// rules for other letters are its own) and no short-name mark.
bool ListingAnswers(std::string_view name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) > 0x7F || c == '~') return false;
  return true;
}

// A folder and a name in it ("C:\" and "x" -> "C:\x").
std::string Joined(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '\\') out += '\\';
  return out + std::string(name);
}

// Whether a path is full (a drive's or a share's): the judge never looks a
// path up relative to its own current folder.
bool IsFullPath(std::string_view path) {
  return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.starts_with("\\\\");
}

// "C:\a\b.exe" -> "C:\a"; "C:\b.exe" -> "C:\"; "" when there is no folder.
std::string FolderOf(std::string_view path) {
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string_view::npos) return {};
  if (slash == 2 && path.size() > 1 && path[1] == ':') return std::string(path.substr(0, 3));
  return std::string(path.substr(0, slash));
}

std::string IdentityKey(const FileIdentity& id) {
  if (id.idLow == 0 && id.idHigh == 0) return "path:" + ComparablePath(id.finalPath);
  return "id:" + std::to_string(id.volume) + ":" + std::to_string(id.idHigh) + ":" + std::to_string(id.idLow);
}

// "PowerShell.EXE.MUI" -> "PowerShell.EXE": the name as the file gives it.
std::string ShownOriginalName(std::string_view original) {
  original = TrimText(original);
  if (EndsWithNoCase(original, ".mui")) original.remove_suffix(4);
  return std::string(FileNameOf(original));
}

}  // namespace

// What is known of a file's contents, for one identity and stamp.
struct Judge::Contents {
  ChangeStamp stamp;
  SignatureInfo signature;
  VersionFacts version;
  std::string sha256;
};

// One path as judged in a scan.
struct Judge::FileFacts {
  FileIdentity identity;
  std::string realPath;    // where it is: the final path, else the plain path (short names expanded where they can be)
  std::string streamHost;  // the path names a stream of this file or folder: it is not opened
  std::shared_ptr<const Contents> contents;
};

struct Judge::Cache {
  std::mutex mutex;
  std::unordered_map<std::string, std::shared_ptr<const Contents>> files;  // by IdentityKey
  std::atomic<std::size_t> verifications{0};
  std::atomic<std::size_t> lookups{0}, listings{0}, opens{0}, folderOpens{0};
  std::mutex rulesMutex;
  const std::string* rulesFirst = nullptr;
  std::size_t rulesCount = static_cast<std::size_t>(-1);
  CommandRules rules;
  std::mutex scanMutex;
  std::shared_ptr<Scan> held;  // the scan of the ScanScopes held
  int holders = 0;
  std::once_flag placesOnce;
  std::unique_ptr<PlaceIndex> places;  // the known folders, prepared once
};

// What one scan has learnt of the file system: each name is looked up once,
// each path opened once.
struct Judge::Scan {
  struct Folder {
    unsigned lookups = 0;
    bool listed = false;
    FolderListing::State state = FolderListing::State::Unlisted;
    std::unordered_map<std::string, std::string> names;  // lower case -> as the folder gives it
  };
  std::mutex mutex;
  std::unordered_map<std::string, bool> exists;  // by ComparablePath
  std::unordered_map<std::string, Folder> folders;
  std::unordered_map<std::string, std::shared_ptr<const FileFacts>> files;
  std::unordered_map<std::string, std::string> realFolders;
  std::unordered_map<std::string, std::string> appPaths;  // owner '\0' name -> path
  std::unordered_map<std::string, std::shared_ptr<const PathFacts>> users;
  std::once_flag hostsOnce;
  std::unordered_map<std::string, std::string> hosts;  // sha256 -> host's file name
};

// The file system as one scan sees it, in one user's environment.
class Judge::ScanPaths final : public PathFacts {
 public:
  ScanPaths(const Judge& judge, Scan& scan, std::shared_ptr<const PathFacts> user, std::string owner)
      : judge_(judge), scan_(scan), user_(std::move(user)), owner_(std::move(owner)) {}
  std::string Expand(std::string_view text) const override {
    return user_ ? user_->Expand(text) : judge_.facts_.Expand(text);
  }
  bool IsFile(const std::string& path) const override { return judge_.Exists(path, scan_); }
  const std::vector<std::string>& SearchFolders() const override {
    return user_ ? user_->SearchFolders() : judge_.facts_.SearchFolders();
  }
  std::string AppPath(const std::string& fileName) const override {
    const std::string key = owner_ + '\0' + AsciiLower(fileName);
    {
      std::lock_guard lock(scan_.mutex);
      if (const auto it = scan_.appPaths.find(key); it != scan_.appPaths.end()) return it->second;
    }
    std::string path = user_ ? user_->AppPath(fileName) : judge_.facts_.AppPath(fileName);
    std::lock_guard lock(scan_.mutex);
    return scan_.appPaths.emplace(key, std::move(path)).first->second;
  }
  const std::string& WindowsFolder() const override { return judge_.facts_.WindowsFolder(); }

 private:
  const Judge& judge_;
  Scan& scan_;
  std::shared_ptr<const PathFacts> user_;
  std::string owner_;
};

// One file as judged: its facts and what they say.
struct Judge::Finding {
  std::string path;      // as the command names it, resolved
  std::string realPath;  // where it is
  bool exists = false;
  bool stream = false;
  Place place;
  SignatureInfo signature;
  VersionFacts version;
  std::string sha256;
  char mark = 0;            // the Process.db line's category mark
  std::string description;  // the Process.db text ("(Unknown)" when none)
  bool verified = false;    // signed by a signer the verifier trusts (and not a false Microsoft)
  bool microsoft = false;   // signed under a Microsoft root
  bool windowsFile = false;
  bool known = false;
  HostKind host = HostKind::None;
  std::string hostName;  // the host it is ("powershell.exe"), by its name, version information or contents
  std::vector<std::string> reasons;
  bool malicious = false;
  std::vector<std::string> notes;
  Verdict verdict = Verdict::Unknown;
};

struct Judge::Assessment {
  Judgement judgement;
  bool malicious = false;
  bool suspicious = false;
  bool untrusted = false;  // some part is not trusted
  // The program's file, and the first file it loads or runs: the judged
  // file is that one when there is one.
  std::optional<Finding> program;
  std::optional<Finding> payload;
};

Judge::Judge(const ReferenceTables& tables, const SystemFacts& facts, JudgeOptions options)
    : tables_(tables), facts_(facts), options_(options), cache_(std::make_unique<Cache>()) {}

Judge::~Judge() = default;

std::size_t Judge::Verifications() const { return cache_->verifications.load(); }

FileSystemCounts Judge::Counts() const {
  return {cache_->lookups.load(), cache_->listings.load(), cache_->opens.load(), cache_->folderOpens.load()};
}

void Judge::Forget() const {
  std::lock_guard lock(cache_->mutex);
  cache_->files.clear();
}

Judge::ScanScope::ScanScope(const Judge& judge) : judge_(judge) {
  std::lock_guard lock(judge_.cache_->scanMutex);
  if (judge_.cache_->holders++ == 0) {
    judge_.facts_.NewScan();
    judge_.cache_->held = std::make_shared<Scan>();
  }
}

Judge::ScanScope::~ScanScope() {
  std::lock_guard lock(judge_.cache_->scanMutex);
  if (--judge_.cache_->holders == 0) judge_.cache_->held.reset();
}

std::shared_ptr<Judge::Scan> Judge::CurrentScan() const {
  std::lock_guard lock(cache_->scanMutex);
  if (cache_->held) return cache_->held;
  facts_.NewScan();
  return std::make_shared<Scan>();
}

const CommandRules& Judge::Rules() const {
  std::lock_guard lock(cache_->rulesMutex);
  const auto& lines = tables_.commands.Lines();
  const std::string* first = lines.empty() ? nullptr : lines.data();
  if (first != cache_->rulesFirst || lines.size() != cache_->rulesCount) {
    cache_->rules = ParseCommandRules(lines);
    cache_->rulesFirst = first;
    cache_->rulesCount = lines.size();
  }
  return cache_->rules;
}

bool Judge::Exists(const std::string& path, Scan& scan) const {
  const std::string plain = LexicalPath(path);
  // A stream is never looked up (nor opened): it is judged by its name.
  if (!IsFullPath(plain) || !StreamHostOf(plain).empty()) return false;
  const std::string key = ComparablePath(plain);
  const std::string folderText = FolderOf(plain);
  const std::string folderKey = ComparablePath(folderText);
  const std::string name = AsciiLower(FileNameOf(plain));
  {
    std::lock_guard lock(scan.mutex);
    if (const auto it = scan.exists.find(key); it != scan.exists.end()) return it->second;
    Scan::Folder& folder = scan.folders[folderKey];
    if (folder.listed) {
      std::optional<bool> answer;
      if (folder.state == FolderListing::State::Missing)
        answer = false;
      else if (folder.state == FolderListing::State::Listed && folder.names.count(name))
        answer = true;
      else if (folder.state == FolderListing::State::Listed && ListingAnswers(name))
        answer = false;
      if (answer) return scan.exists[key] = *answer;
    }
  }
  const bool found = facts_.IsFile(plain);
  ++cache_->lookups;
  bool list = false;
  {
    std::lock_guard lock(scan.mutex);
    scan.exists[key] = found;
    Scan::Folder& folder = scan.folders[folderKey];
    list = !folderText.empty() && !folder.listed && ++folder.lookups >= kListFolderAfter;
    if (list) folder.listed = true;  // this thread lists it
  }
  if (list) {
    FolderListing listing = facts_.ListFolder(folderText);
    ++cache_->listings;
    std::lock_guard lock(scan.mutex);
    Scan::Folder& folder = scan.folders[folderKey];
    folder.state = listing.state;
    for (std::string& entry : listing.names) folder.names.emplace(AsciiLower(entry), std::move(entry));
  }
  return found;
}

std::string Judge::RealFolder(const std::string& folder, Scan& scan) const {
  // Only a short name ("PROGRA~1") can make a path name another folder than
  // it reads as, short of links that only administrators may make there.
  if (folder.find('~') == std::string::npos || folder.size() <= 3) return folder;
  const std::string key = ComparablePath(folder);
  {
    std::lock_guard lock(scan.mutex);
    if (const auto it = scan.realFolders.find(key); it != scan.realFolders.end()) return it->second;
  }
  std::string real = facts_.FolderFinalPath(folder);
  ++cache_->folderOpens;
  if (real.empty()) {
    // A missing folder: where its parent is, and its name.
    const std::string parent = FolderOf(folder);
    real = parent.empty() || parent == folder ? folder : Joined(RealFolder(parent, scan), FileNameOf(folder));
  }
  std::lock_guard lock(scan.mutex);
  return scan.realFolders.emplace(key, std::move(real)).first->second;
}

std::shared_ptr<const Judge::FileFacts> Judge::FactsOf(const std::string& path, Scan& scan) const {
  const std::string plain = LexicalPath(path);
  const std::string key = ComparablePath(plain);
  {
    std::lock_guard lock(scan.mutex);
    if (const auto it = scan.files.find(key); it != scan.files.end()) return it->second;
  }
  auto facts = std::make_shared<FileFacts>();
  auto contents = std::make_shared<Contents>();
  facts->contents = contents;
  const std::string host = plain.empty() ? std::string() : StreamHostOf(plain);
  auto absent = [&] {
    const std::string folder = FolderOf(plain);
    facts->realPath = folder.empty() ? plain : Joined(RealFolder(folder, scan), FileNameOf(plain));
  };
  if (!host.empty()) {
    facts->streamHost = RealFolder(host, scan);
    facts->realPath = plain;
    contents->signature.state = SignatureState::Unreadable;
  } else if (plain.empty() || !Exists(plain, scan)) {
    absent();
  } else {
    // Opened under the name the folder's listing gives, where it was listed.
    std::string openPath = plain;
    {
      std::lock_guard lock(scan.mutex);
      const auto folder = scan.folders.find(ComparablePath(FolderOf(plain)));
      if (folder != scan.folders.end()) {
        const auto named = folder->second.names.find(AsciiLower(FileNameOf(plain)));
        if (named != folder->second.names.end()) openPath = Joined(FolderOf(plain), named->second);
      }
    }
    const std::unique_ptr<OpenedFile> opened = facts_.Open(openPath);
    ++cache_->opens;
    const FileIdentity& id = opened ? opened->Identity() : FileIdentity{};
    facts->identity = id;
    if (!id.exists) {
      absent();
    } else {
      facts->realPath = id.finalPath.empty() ? plain : id.finalPath;
      if (!id.readable) {
        contents->signature.state = SignatureState::Unreadable;
      } else {
        const std::string idKey = IdentityKey(id);
        std::shared_ptr<const Contents> known;
        {
          std::lock_guard lock(cache_->mutex);
          const auto it = cache_->files.find(idKey);
          if (it != cache_->files.end() && it->second->stamp == id.stamp) known = it->second;
        }
        if (known) {
          facts->contents = known;
        } else {
          contents->stamp = id.stamp;
          if (options_.hashes) contents->sha256 = opened->Sha256();
          if (options_.signatures) {
            contents->signature = opened->Signature();
            ++cache_->verifications;
          }
          contents->version = opened->Version();
          // What was read while others could write is not kept: it is read again.
          if (id.held) {
            std::lock_guard lock(cache_->mutex);
            cache_->files[idKey] = contents;
          }
        }
      }
    }
  }
  std::lock_guard lock(scan.mutex);
  return scan.files.emplace(key, std::move(facts)).first->second;
}

void Judge::Gather(const std::vector<std::string>& paths, Scan& scan) const {
  std::vector<std::string> todo;
  std::unordered_set<std::string> seen;
  for (const std::string& path : paths)
    if (!path.empty() && seen.insert(ComparablePath(LexicalPath(path))).second) todo.push_back(path);
  unsigned threads = options_.threads;
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  threads = std::min<unsigned>(threads, static_cast<unsigned>(todo.size()));
  if (threads <= 1) {
    for (const std::string& path : todo) FactsOf(path, scan);
    return;
  }
  std::atomic<std::size_t> next{0};
  std::atomic<unsigned> running{threads};
  std::mutex doneMutex;
  std::condition_variable done;
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t)
    workers.emplace_back([&] {
      for (std::size_t i = next++; i < todo.size(); i = next++) FactsOf(todo[i], scan);
      std::lock_guard lock(doneMutex);
      if (--running == 0) done.notify_all();
    });
  {
    std::unique_lock lock(doneMutex);
    while (running > 0) {
      done.wait_for(lock, std::chrono::milliseconds(50));
      if (running > 0 && options_.whileWaiting) {
        lock.unlock();
        options_.whileWaiting();
        lock.lock();
      }
    }
  }
  for (auto& worker : workers) worker.join();
}

std::string Judge::HostByContents(const std::string& sha256, Scan& scan) const {
  if (sha256.empty()) return {};
  std::call_once(scan.hostsOnce, [&] {
    for (const KnownHost& host : facts_.KnownHosts())
      if (!host.sha256.empty()) scan.hosts.emplace(AsciiLower(host.sha256), AsciiLower(host.name));
  });
  const auto it = scan.hosts.find(sha256);
  return it == scan.hosts.end() ? std::string() : it->second;
}

Judge::Finding Judge::AssessFile(const std::string& path, Origin origin, bool payload, Scan& scan,
                              Assessment& out) const {
  Finding f;
  f.path = path;
  const std::shared_ptr<const FileFacts> facts = FactsOf(path, scan);
  f.realPath = facts->realPath;
  f.stream = !facts->streamHost.empty();
  f.exists = facts->identity.exists;
  f.signature = facts->contents->signature;
  f.version = facts->contents->version;
  f.sha256 = facts->contents->sha256;
  const KnownFolders& folders = facts_.Folders();
  std::call_once(cache_->placesOnce, [&] { cache_->places = std::make_unique<PlaceIndex>(folders); });
  const PlaceIndex& places = *cache_->places;
  f.place = places.Classify(f.stream ? facts->streamHost : f.realPath);
  // Where the text says it is: the same where the text is the path.
  const Place written = ComparablePath(path) == ComparablePath(f.realPath) ? f.place : places.Classify(path);

  // The name Windows runs: the file's own (a short name is its long one).
  const std::string shownName(FileNameOf(f.exists ? f.realPath : LexicalPath(path)));
  const std::string name = AsciiLower(shownName);
  if (const std::string* line = tables_.process.LastLineWithKey(name)) {
    const std::string_view value = StringTable::ValueOf(*line);
    if (!value.empty()) f.mark = value.front();
  }
  f.description = LookupVerdict(name, tables_.process);

  const bool checked = options_.signatures && f.exists;
  const bool inWindows = f.place.kind == PlaceKind::Windows;
  const std::string group = SignerGroupOf(f.signature.rootThumbprint, tables_);
  bool signatureGood = f.signature.state == SignatureState::Verified;
  // A root the machine does not trust (only a user's store holds it, or none
  // does) verifies nothing, whatever the verifier says; Signer.db's roots
  // are trusted as pinned.
  RootStore rootStore = RootStore::Machine;
  if (signatureGood && group.empty()) {
    rootStore = facts_.RootStoreOf(AsciiUpper(f.signature.rootThumbprint));
    if (rootStore != RootStore::Machine) {
      signatureGood = false;
      f.signature.state = SignatureState::Untrusted;
      if (f.signature.detail.empty()) f.signature.detail = "root not in the machine's stores";
    }
  }
  const bool claimsMicrosoft = ContainsNoCase(f.signature.signer, "microsoft");
  f.microsoft = signatureGood && group == kMicrosoftGroup;
  const bool falseMicrosoft = signatureGood && claimsMicrosoft && !f.microsoft;
  f.verified = signatureGood && !falseMicrosoft;
  f.windowsFile =
      inWindows && f.exists &&
      (f.microsoft || (!facts_.SystemCatalogsPresent() && (f.mark == '@' || f.version.companyName == kMicrosoftCompany)));

  // Which host it is: by its name, else by what its version information
  // calls it, else by its contents.
  const std::string original = OriginalProgramName(f.version.originalFilename);
  f.host = HostKindOf(name);
  if (f.host != HostKind::None) {
    f.hostName = name;
  } else if (f.exists && HostKindOf(original) != HostKind::None) {
    f.hostName = original;
  } else if (f.exists) {
    f.hostName = HostByContents(f.sha256, scan);
  }
  if (f.host == HostKind::None && !f.hostName.empty()) f.host = HostKindOf(f.hostName);
  const bool renamedHost = f.host != HostKind::None && HostKindOf(name) == HostKind::None;

  const std::string subject = payload ? path + ": " : std::string();
  auto reason = [&](std::string text, bool malicious = false) {
    AddOnce(f.reasons, subject + text);
    f.malicious = f.malicious || malicious;
  };
  if (f.mark == '$' || f.mark == '#') reason("Listed as " + f.description, true);
  if (f.stream) {
    reason(StreamReason(facts->streamHost));
  } else if (!f.exists) {
    if (StartsByItself(origin))
      reason("File not found");
    else
      AddOnce(f.notes, "File not found");
  }
  // Written to read as a place it is not ("..", a short name, trailing
  // dots). A folder an administrator linked elsewhere ("Program Files" moved
  // to another drive) is judged where it leads, but is no such trick.
  if (!f.stream && (written.kind == PlaceKind::Windows || written.kind == PlaceKind::ProgramFiles) &&
      f.place.kind != written.kind && f.place.kind != PlaceKind::Windows) {
    const bool textTrick =
        places.Classify(LexicalPath(path)).kind != written.kind || path.find('~') != std::string::npos;
    if (textTrick) reason(WrittenElsewhereReason(written.kind, f.realPath));
  }
  if (checked && f.signature.state == SignatureState::Broken)
    reason("The signature is broken: the file was changed after it was signed");
  if (checked && rootStore == RootStore::UserOnly) reason(kUserRootReason);
  if (falseMicrosoft) reason("Signed in Microsoft's name (\"" + f.signature.signer + "\") under a root that is not Microsoft's");
  // A system program's name outside the Windows folders, whatever signs it
  // (save where Windows installs that very program, signed by Microsoft).
  if (f.mark == '@' && !inWindows && !(f.microsoft && InWindowsProgramHome(name, f.realPath, folders)))
    reason("Named like the Windows program " + name + ", but not in the Windows folders");
  if (renamedHost && !inWindows) {
    reason(HostCopyReason(f.hostName, shownName));
  } else if (f.microsoft && !original.empty() && original != name && !renamedHost) {
    const std::string renamed = RenamedReason(ShownOriginalName(f.version.originalFilename), shownName);
    if (inWindows)
      AddOnce(f.notes, renamed);
    else
      reason(renamed);
  }
  if (checked && f.version.companyName == kMicrosoftCompany && !f.microsoft &&
      (!inWindows || facts_.SystemCatalogsPresent()))
    reason("Says it is from Microsoft Corporation, but is not signed by Microsoft");
  if (checked && !f.verified && !f.windowsFile && f.place.kind == PlaceKind::UserWritable) {
    const char* why = f.signature.state == SignatureState::Untrusted ? "Signer not trusted" : "Not signed";
    reason(std::string(why) + ", in " + f.place.what + " (a folder users can write)");
  }

  f.known = (f.mark == '@' && inWindows) ||
            (f.mark == '%' && (f.verified || f.place.kind == PlaceKind::ProgramFiles || inWindows));
  if (checked && !f.verified) {
    switch (f.signature.state) {
      case SignatureState::NotSigned: AddOnce(f.notes, "Not signed"); break;
      case SignatureState::Untrusted: AddOnce(f.notes, "Signer not trusted"); break;
      case SignatureState::Unreadable: AddOnce(f.notes, "Unreadable"); break;
      default: break;
    }
  }
  if (f.malicious)
    f.verdict = Verdict::Malicious;
  else if (!f.reasons.empty())
    f.verdict = Verdict::Suspicious;
  else if (f.verified || f.windowsFile || f.known)
    f.verdict = Verdict::Trusted;
  else
    f.verdict = Verdict::Unknown;

  for (const std::string& r : f.reasons) AddOnce(out.judgement.reasons, r);
  for (const std::string& n : f.notes) AddOnce(out.judgement.notes, (payload ? subject : std::string()) + n);
  out.malicious = out.malicious || f.malicious;
  out.suspicious = out.suspicious || !f.reasons.empty();
  out.untrusted = out.untrusted || f.verdict != Verdict::Trusted;
  if (payload && !out.payload)
    out.payload = f;
  else if (!payload && !out.program)
    out.program = f;
  return f;
}

void Judge::AssessCommand(std::string_view command, bool isPath, Origin origin, int depth, const ScanPaths& paths,
                          Scan& scan, Assessment& out) const {
  ResolvedCommand resolved;
  if (isPath) {
    resolved.program = PathOnly(PlainCommand(PathOnly(command), paths));
    resolved.found = paths.IsFile(resolved.program);
  } else {
    resolved = ResolveCommand(command, paths);
  }
  if (resolved.program.empty()) {
    out.untrusted = true;
    return;
  }
  if (depth == 0) out.judgement.program = resolved.program;
  const Finding program = AssessFile(resolved.program, origin, depth > 0, scan, out);
  if (!resolved.shadowed.empty()) {
    AddOnce(out.judgement.reasons,
            "An unquoted path with blanks: Windows runs " + resolved.program + " instead of " + resolved.shadowed);
    out.suspicious = true;
  }
  if (isPath) return;

  // A host is known by what it is, under any name: its command line is read
  // as that host's, and the host's rules apply.
  const HostKind host = program.host;
  RuleSubject subject;
  subject.program = program.hostName.empty() ? AsciiLower(FileNameOf(resolved.program)) : program.hostName;
  subject.text = RuleText(PlainCommand(command, paths));
  subject.args = resolved.args;
  const HostedPayload payload = PayloadOf(host, resolved.arguments, resolved.args);
  auto judgeHosted = [&](const std::string& path) {
    if (depth == 0) out.judgement.payload = path;
    const Finding hosted = AssessFile(path, origin, true, scan, out);
    subject.payloadFile = true;
    subject.payloadUserWritable = hosted.place.kind == PlaceKind::UserWritable;
    subject.payloadMissing = !hosted.exists;
  };
  switch (payload.kind) {
    case HostedPayload::Kind::None: break;
    case HostedPayload::Kind::File: {
      const bool dll = host == HostKind::Rundll32 || host == HostKind::Regsvr32;
      judgeHosted(ResolveHostedFile(payload.text, paths, dll ? ".dll" : ""));
      break;
    }
    case HostedPayload::Kind::Url:
      subject.payloadUrl = true;
      if (depth == 0) out.judgement.payload = payload.text;
      out.untrusted = true;
      break;
    case HostedPayload::Kind::InlineScript:
      subject.payloadScript = true;
      if (host != HostKind::PowerShell) {
        if (depth == 0) out.judgement.payload = payload.text;
        out.untrusted = true;
      }
      break;
    case HostedPayload::Kind::Commands:
      if (depth == 0) out.judgement.payload = payload.text;
      if (depth < 3)
        for (const std::string& inner : payload.commands) AssessCommand(inner, false, origin, depth + 1, paths, scan, out);
      break;
    case HostedPayload::Kind::ServiceGroup:
      break;
  }
  for (const CommandRule& rule : Rules().rules) {
    if (!RuleMatches(rule, subject)) continue;
    AddOnce(out.judgement.reasons, rule.reason);
    out.suspicious = true;
    out.malicious = out.malicious || rule.severity == RuleSeverity::Malicious;
  }
}

std::shared_ptr<const PathFacts> Judge::UserOf(const std::string& owner, Scan& scan) const {
  if (owner.empty()) return nullptr;
  {
    std::lock_guard lock(scan.mutex);
    if (const auto it = scan.users.find(owner); it != scan.users.end()) return it->second;
  }
  std::shared_ptr<const PathFacts> user = facts_.UserEnvironment(owner);
  std::lock_guard lock(scan.mutex);
  return scan.users.emplace(owner, std::move(user)).first->second;
}

std::vector<std::string> Judge::FilesOf(const JudgeRequest& request, const ScanPaths& paths) const {
  std::vector<std::string> files;
  if (request.isPath) {
    files.push_back(PathOnly(PlainCommand(PathOnly(request.command), paths)));
    return files;
  }
  // The program and what a host loads, one level deep (enough to gather
  // the most; deeper ones, and what renamed hosts load, are asked for when
  // judged).
  const ResolvedCommand resolved = ResolveCommand(request.command, paths);
  if (resolved.program.empty()) return files;
  files.push_back(resolved.program);
  const HostKind host = HostKindOf(resolved.program);
  const HostedPayload payload = PayloadOf(host, resolved.arguments, resolved.args);
  if (payload.kind == HostedPayload::Kind::File) {
    const bool dll = host == HostKind::Rundll32 || host == HostKind::Regsvr32;
    files.push_back(ResolveHostedFile(payload.text, paths, dll ? ".dll" : ""));
  } else if (payload.kind == HostedPayload::Kind::Commands) {
    for (const std::string& inner : payload.commands) {
      const ResolvedCommand r = ResolveCommand(inner, paths);
      if (!r.program.empty()) files.push_back(r.program);
    }
  }
  if (host == HostKind::Svchost && !request.serviceDll.empty())
    files.push_back(ResolveHostedFile(request.serviceDll, paths, ".dll"));
  return files;
}

Judgement Judge::AssessIn(const JudgeRequest& request, Scan& scan) const {
  Assessment a;
  const ScanPaths paths(*this, scan, UserOf(request.owner, scan), request.owner);
  AssessCommand(request.command, request.isPath, request.origin, 0, paths, scan, a);
  if (!request.isPath && !request.serviceDll.empty() && a.program && a.program->host == HostKind::Svchost) {
    const std::string dll = ResolveHostedFile(request.serviceDll, paths, ".dll");
    a.judgement.payload = dll;
    AssessFile(dll, request.origin, true, scan, a);
  }
  Judgement& j = a.judgement;
  const bool haveFile = a.payload || a.program;
  const Finding f = a.payload ? *a.payload : a.program ? *a.program : Finding{};
  j.judgedFile = f.path;
  j.judgedPath = f.realPath;
  j.programPath = a.program ? a.program->realPath : std::string();
  j.fileFound = f.exists;
  j.signature = f.signature;
  j.sha256 = f.sha256;
  j.windowsFile = f.windowsFile;
  j.inWindowsFolders = haveFile && f.place.kind == PlaceKind::Windows;

  // The program's own description (a host keeps its own: "rundll32.exe").
  const std::string name = AsciiLower(FileNameOf(a.program && a.program->exists ? a.program->realPath : j.program));
  j.description = LookupVerdict(name, tables_.process);
  const std::string* line = tables_.process.LastLineWithKey(name);
  const char mark = line && !StringTable::ValueOf(*line).empty() ? StringTable::ValueOf(*line).front() : 0;
  j.known = (mark == '@' || mark == '%') && !a.untrusted;

  if (a.malicious)
    j.verdict = Verdict::Malicious;
  else if (a.suspicious || !j.reasons.empty())
    j.verdict = Verdict::Suspicious;
  else if (!a.untrusted && haveFile)
    j.verdict = Verdict::Trusted;
  else
    j.verdict = Verdict::Unknown;
  if (options_.signatures) {
    Judgement shown = j;
    // A false Microsoft signature is no verification.
    if (j.signature.state == SignatureState::Verified && !f.verified) shown.signature.state = SignatureState::Untrusted;
    j.signer = f.stream ? "(Unreadable)" : j.fileFound ? SignerText(shown) : "(File not found)";
    j.signature = shown.signature;
  }
  switch (request.origin) {
    case Origin::Autostart:
    case Origin::Task: j.flagged = j.verdict != Verdict::Trusted; break;
    case Origin::Service:
    case Origin::Driver:
      j.flagged = j.verdict == Verdict::Suspicious || j.verdict == Verdict::Malicious ||
                  (j.verdict == Verdict::Unknown && !j.inWindowsFolders);
      break;
    default: j.flagged = j.verdict == Verdict::Suspicious || j.verdict == Verdict::Malicious; break;
  }
  return j;
}

Judgement Judge::Assess(const JudgeRequest& request) const {
  const std::shared_ptr<Scan> scan = CurrentScan();
  return AssessIn(request, *scan);
}

std::vector<Judgement> Judge::AssessAll(const std::vector<JudgeRequest>& requests) const {
  const std::shared_ptr<Scan> scan = CurrentScan();
  std::vector<std::string> files;
  for (const JudgeRequest& request : requests) {
    const ScanPaths paths(*this, *scan, UserOf(request.owner, *scan), request.owner);
    auto more = FilesOf(request, paths);
    files.insert(files.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  }
  Gather(files, *scan);
  std::vector<Judgement> out;
  out.reserve(requests.size());
  for (const JudgeRequest& request : requests) out.push_back(AssessIn(request, *scan));
  return out;
}

std::string SignerText(const Judgement& j) {
  if (j.signature.state == SignatureState::NotChecked) return {};
  if (!j.fileFound) return "(File not found)";
  const std::string& signer = j.signature.signer;
  switch (j.signature.state) {
    case SignatureState::NotChecked: return {};
    case SignatureState::Verified: return "(Verified) " + signer;
    case SignatureState::NotSigned: return "(Not signed)";
    case SignatureState::Broken: return signer.empty() ? "(Signature broken)" : "(Signature broken) " + signer;
    case SignatureState::Untrusted:
      return signer.empty() ? "(Signer not trusted)" : "(Signer not trusted) " + signer;
    case SignatureState::Unreadable: return "(Unreadable)";
  }
  return {};
}

std::string VerdictText(const Judgement& j) {
  switch (j.verdict) {
    case Verdict::Malicious: {
      const bool listed = j.description.starts_with("(Virus/Trojan/Worm) ") || j.description.starts_with("(Spyware/Adware) ");
      if (listed) {
        std::vector<std::string> others;
        for (const std::string& r : j.reasons)
          if (r != "Listed as " + j.description) others.push_back(r);
        return others.empty() ? j.description : j.description + "; " + Joined(others, "; ");
      }
      return "(Malicious) " + Joined(j.reasons, "; ");
    }
    case Verdict::Suspicious: return "(Suspicious) " + Joined(j.reasons, "; ");
    case Verdict::Trusted:
      if (j.known) return j.description;
      if (j.signature.state == SignatureState::Verified && !j.signature.signer.empty())
        return "(Trusted) " + j.signature.signer;
      return j.windowsFile ? "(Trusted) Windows file" : "(Trusted)";
    case Verdict::Unknown:
      return j.notes.empty() ? "(Unknown)" : "(Unknown) " + Joined(j.notes, "; ");
  }
  return "(Unknown)";
}

std::string FileVerdictText(const Judgement& j) {
  switch (j.verdict) {
    case Verdict::Trusted: return j.windowsFile ? "Windows System File" : "Trusted File";
    case Verdict::Unknown: return "Distrustful File";
    case Verdict::Suspicious: return "Distrustful File: " + Joined(j.reasons, "; ");
    case Verdict::Malicious: return "Malicious File: " + Joined(j.reasons, "; ");
  }
  return "Distrustful File";
}

}  // namespace wl
