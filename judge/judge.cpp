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

struct Judge::FileFacts {
  FileIdentity stamp;
  SignatureInfo signature;
  std::string company;
  std::string sha256;
};

struct Judge::Cache {
  std::mutex mutex;
  std::unordered_map<std::string, std::shared_ptr<const FileFacts>> files;  // by ComparablePath
  std::atomic<std::size_t> verifications{0};
  std::mutex rulesMutex;
  const std::string* rulesFirst = nullptr;
  std::size_t rulesCount = static_cast<std::size_t>(-1);
  CommandRules rules;
};

// One file as judged: its facts and what they say.
struct FileFinding {
  std::string path;
  bool exists = false;
  Place place;
  SignatureInfo signature;
  std::string company;
  std::string sha256;
  char mark = 0;            // the Process.db line's category mark
  std::string description;  // the Process.db text ("(Unknown)" when none)
  bool verified = false;    // signed by a signer the verifier trusts (and not a false Microsoft)
  bool microsoft = false;   // signed under a Microsoft root
  bool windowsFile = false;
  bool known = false;
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
  std::optional<FileFinding> program;
  std::optional<FileFinding> payload;
};

Judge::Judge(const ReferenceTables& tables, const SystemFacts& facts, JudgeOptions options)
    : tables_(tables), facts_(facts), options_(options), cache_(std::make_unique<Cache>()) {}

Judge::~Judge() = default;

std::size_t Judge::Verifications() const { return cache_->verifications.load(); }

void Judge::Forget() const {
  std::lock_guard lock(cache_->mutex);
  cache_->files.clear();
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

std::shared_ptr<const Judge::FileFacts> Judge::FactsOf(const std::string& path) const {
  const std::string key = ComparablePath(path);
  const FileIdentity stamp = facts_.Stat(path);
  {
    std::lock_guard lock(cache_->mutex);
    const auto it = cache_->files.find(key);
    if (it != cache_->files.end() && it->second->stamp == stamp) return it->second;
  }
  auto facts = std::make_shared<FileFacts>();
  facts->stamp = stamp;
  if (stamp.exists) {
    if (options_.signatures) {
      facts->signature = facts_.Signature(path);
      ++cache_->verifications;
    }
    facts->company = facts_.CompanyName(path);
    if (options_.hashes) facts->sha256 = facts_.Sha256(path);
  }
  std::lock_guard lock(cache_->mutex);
  cache_->files[key] = facts;
  return facts;
}

void Judge::Gather(const std::vector<std::string>& paths) const {
  std::vector<std::string> todo;
  std::unordered_set<std::string> seen;
  for (const std::string& path : paths)
    if (!path.empty() && seen.insert(ComparablePath(path)).second) todo.push_back(path);
  unsigned threads = options_.threads;
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  threads = std::min<unsigned>(threads, static_cast<unsigned>(todo.size()));
  if (threads <= 1) {
    for (const std::string& path : todo) FactsOf(path);
    return;
  }
  std::atomic<std::size_t> next{0};
  std::atomic<unsigned> running{threads};
  std::mutex doneMutex;
  std::condition_variable done;
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t)
    workers.emplace_back([&] {
      for (std::size_t i = next++; i < todo.size(); i = next++) FactsOf(todo[i]);
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

void Judge::AssessFile(const std::string& path, Origin origin, bool payload, Assessment& out) const {
  FileFinding f;
  f.path = path;
  const std::shared_ptr<const FileFacts> facts = FactsOf(path);
  f.exists = facts->stamp.exists;
  f.signature = facts->signature;
  f.company = facts->company;
  f.sha256 = facts->sha256;
  f.place = ClassifyPlace(path, facts_.Folders());

  const std::string name = AsciiLower(FileNameOf(path));
  if (const std::string* line = tables_.process.LastLineWithKey(name)) {
    const std::string_view value = StringTable::ValueOf(*line);
    if (!value.empty()) f.mark = value.front();
  }
  f.description = LookupVerdict(name, tables_.process);

  const bool checked = options_.signatures && f.exists;
  const bool inWindows = f.place.kind == PlaceKind::Windows;
  const std::string group = SignerGroupOf(f.signature.rootThumbprint, tables_);
  const bool signatureGood = f.signature.state == SignatureState::Verified;
  const bool claimsMicrosoft = ContainsNoCase(f.signature.signer, "microsoft");
  f.microsoft = signatureGood && group == kMicrosoftGroup;
  const bool falseMicrosoft = signatureGood && claimsMicrosoft && !f.microsoft;
  f.verified = signatureGood && !falseMicrosoft;
  f.windowsFile = inWindows && f.exists &&
                  (f.microsoft || (!facts_.SystemCatalogsPresent() && (f.mark == '@' || f.company == kMicrosoftCompany)));

  const std::string subject = payload ? path + ": " : std::string();
  auto reason = [&](std::string text, bool malicious = false) {
    AddOnce(f.reasons, subject + text);
    f.malicious = f.malicious || malicious;
  };
  if (f.mark == '$' || f.mark == '#') reason("Listed as " + f.description, true);
  if (!f.exists) {
    if (StartsByItself(origin))
      reason("File not found");
    else
      AddOnce(f.notes, "File not found");
  }
  if (checked && f.signature.state == SignatureState::Broken)
    reason("The signature is broken: the file was changed after it was signed");
  if (falseMicrosoft) reason("Signed in Microsoft's name (\"" + f.signature.signer + "\") under a root that is not Microsoft's");
  if (f.mark == '@' && !inWindows && !f.microsoft)
    reason("Named like the Windows program " + name + ", but not in the Windows folders");
  if (checked && f.company == kMicrosoftCompany && !f.microsoft && (!inWindows || facts_.SystemCatalogsPresent()))
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
    out.payload = std::move(f);
  else if (!payload && !out.program)
    out.program = std::move(f);
}

void Judge::AssessCommand(std::string_view command, bool isPath, Origin origin, int depth, Assessment& out) const {
  ResolvedCommand resolved;
  if (isPath) {
    resolved.program = PathOnly(PlainCommand(PathOnly(command), facts_));
    resolved.found = facts_.IsFile(resolved.program);
  } else {
    resolved = ResolveCommand(command, facts_);
  }
  if (resolved.program.empty()) {
    out.untrusted = true;
    return;
  }
  if (depth == 0) out.judgement.program = resolved.program;
  AssessFile(resolved.program, origin, depth > 0, out);
  if (!resolved.shadowed.empty()) {
    AddOnce(out.judgement.reasons,
            "An unquoted path with blanks: Windows runs " + resolved.program + " instead of " + resolved.shadowed);
    out.suspicious = true;
  }
  if (isPath) return;

  RuleSubject subject;
  subject.program = AsciiLower(FileNameOf(resolved.program));
  subject.text = RuleText(PlainCommand(command, facts_));
  subject.args = resolved.args;
  const HostKind host = HostKindOf(resolved.program);
  const HostedPayload payload = PayloadOf(host, resolved.arguments, resolved.args);
  auto judgeHosted = [&](const std::string& path) {
    if (depth == 0) out.judgement.payload = path;
    AssessFile(path, origin, true, out);
    const Place place = ClassifyPlace(path, facts_.Folders());
    subject.payloadFile = true;
    subject.payloadUserWritable = place.kind == PlaceKind::UserWritable;
    subject.payloadMissing = !facts_.IsFile(path);
  };
  switch (payload.kind) {
    case HostedPayload::Kind::None: break;
    case HostedPayload::Kind::File: {
      const bool dll = host == HostKind::Rundll32 || host == HostKind::Regsvr32;
      judgeHosted(ResolveHostedFile(payload.text, facts_, dll ? ".dll" : ""));
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
        for (const std::string& inner : payload.commands) AssessCommand(inner, false, origin, depth + 1, out);
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

std::vector<std::string> Judge::FilesOf(const JudgeRequest& request) const {
  std::vector<std::string> files;
  if (request.isPath) {
    files.push_back(PathOnly(PlainCommand(PathOnly(request.command), facts_)));
    return files;
  }
  // The program and what a host loads, one level deep (enough to gather
  // the most; deeper ones are asked for when judged).
  const ResolvedCommand resolved = ResolveCommand(request.command, facts_);
  if (resolved.program.empty()) return files;
  files.push_back(resolved.program);
  const HostKind host = HostKindOf(resolved.program);
  const HostedPayload payload = PayloadOf(host, resolved.arguments, resolved.args);
  if (payload.kind == HostedPayload::Kind::File) {
    const bool dll = host == HostKind::Rundll32 || host == HostKind::Regsvr32;
    files.push_back(ResolveHostedFile(payload.text, facts_, dll ? ".dll" : ""));
  } else if (payload.kind == HostedPayload::Kind::Commands) {
    for (const std::string& inner : payload.commands) {
      const ResolvedCommand r = ResolveCommand(inner, facts_);
      if (!r.program.empty()) files.push_back(r.program);
    }
  }
  if (host == HostKind::Svchost && !request.serviceDll.empty())
    files.push_back(ResolveHostedFile(request.serviceDll, facts_, ".dll"));
  return files;
}

Judgement Judge::Assess(const JudgeRequest& request) const {
  Assessment a;
  AssessCommand(request.command, request.isPath, request.origin, 0, a);
  if (!request.isPath && !request.serviceDll.empty() && HostKindOf(a.judgement.program) == HostKind::Svchost) {
    const std::string dll = ResolveHostedFile(request.serviceDll, facts_, ".dll");
    a.judgement.payload = dll;
    AssessFile(dll, request.origin, true, a);
  }
  Judgement& j = a.judgement;
  const bool haveFile = a.payload || a.program;
  const FileFinding f = a.payload ? *a.payload : a.program ? *a.program : FileFinding{};
  j.judgedFile = f.path;
  j.fileFound = f.exists;
  j.signature = f.signature;
  j.sha256 = f.sha256;
  j.windowsFile = f.windowsFile;
  j.inWindowsFolders = haveFile && f.place.kind == PlaceKind::Windows;

  // The program's own description (a host keeps its own: "rundll32.exe").
  const std::string name = AsciiLower(FileNameOf(j.program));
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
    j.signer = j.fileFound ? SignerText(shown) : "(File not found)";
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

std::vector<Judgement> Judge::AssessAll(const std::vector<JudgeRequest>& requests) const {
  std::vector<std::string> files;
  for (const JudgeRequest& request : requests) {
    auto more = FilesOf(request);
    files.insert(files.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  }
  Gather(files);
  std::vector<Judgement> out;
  out.reserve(requests.size());
  for (const JudgeRequest& request : requests) out.push_back(Assess(request));
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
