// The judge: one verdict for a program, the same on every page and in the
// console scanner. It takes a command line as stored and where it came
// from, resolves what would run (and what a host such as rundll32 or
// svchost loads), and weighs the file's signature, where it lies, the
// command line's rules and the reference tables. Portable: the system's
// answers come through SystemFacts, whose answers about files are kept for
// the run (per path, size and last write).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "judge/command_line.h"
#include "judge/command_rules.h"
#include "judge/locations.h"
#include "core/page_text.h"
#include "refdb/reference_tables.h"

namespace wl {

enum class Verdict { Trusted, Unknown, Suspicious, Malicious };
// "trusted", "unknown", "suspicious", "malicious".
const char* VerdictName(Verdict verdict);

struct FileIdentity {
  bool exists = false;  // an existing file (not a folder)
  std::uint64_t size = 0;
  std::uint64_t lastWrite = 0;
  bool operator==(const FileIdentity&) const = default;
};

enum class SignatureState {
  NotChecked,  // signatures were not asked for
  NotSigned,
  Verified,    // the system's verifier accepts it
  Broken,      // signed, but the file changed after signing
  Untrusted,   // signed, but the verifier does not trust the signer (root, revocation, expiry…)
  Unreadable,  // the file could not be read
};

struct SignatureInfo {
  SignatureState state = SignatureState::NotChecked;
  bool catalog = false;        // the signature is a catalog's, not the file's own
  std::string signer;          // the signing certificate's subject, as a name
  std::string rootThumbprint;  // SHA-256 of the chain's root certificate, upper-case hex; empty when unknown
  std::string detail;          // the verifier's answer when it did not verify ("0x800B0109")
};

// What the judge asks of the system.
class SystemFacts : public PathFacts {
 public:
  virtual FileIdentity Stat(const std::string& path) const = 0;
  virtual const KnownFolders& Folders() const = 0;
  // Whether the system keeps the catalogs Windows' own files are signed in:
  // without them (an emulation layer), Windows' files cannot be told from
  // others by their signatures, only by where they are and what they say.
  virtual bool SystemCatalogsPresent() const = 0;
  // These three may be called from several threads at once.
  virtual SignatureInfo Signature(const std::string& path) const = 0;
  virtual std::string CompanyName(const std::string& path) const = 0;
  virtual std::string Sha256(const std::string& path) const = 0;  // lower-case hex; empty when unreadable

  bool IsFile(const std::string& path) const override { return Stat(path).exists; }
};

// Where an entry was found: it decides what a missing file means and what
// goes into the hijack report.
enum class Origin {
  Autostart,     // a place that starts a program by itself (Run keys, Startup, hooks …)
  Task,          // a scheduled task
  Service,       // a Win32 service
  Driver,        // a kernel or file-system driver
  Process,       // a running process's program
  Module,        // a module loaded into a process
  BrowserAddOn,  // a browser helper object, toolbar, button or control
  Other,
};

struct JudgeRequest {
  JudgeRequest() = default;
  JudgeRequest(std::string command_, Origin origin_ = Origin::Autostart, bool isPath_ = false,
               std::string serviceDll_ = {})
      : command(std::move(command_)), origin(origin_), isPath(isPath_), serviceDll(std::move(serviceDll_)) {}

  std::string command;  // as stored
  Origin origin = Origin::Autostart;
  // The text is a file path (a module, a COM server), not a command line:
  // it is not split at blanks.
  bool isPath = false;
  // What a service hosted by svchost loads: its ServiceDll, as stored.
  std::string serviceDll;
};

struct Judgement {
  Verdict verdict = Verdict::Unknown;
  // Why it is not trusted (for Suspicious and Malicious), one sentence each.
  std::vector<std::string> reasons;
  // Facts that are neither for nor against it ("Not signed").
  std::vector<std::string> notes;
  std::string program;     // the program that runs, resolved
  std::string payload;     // what a host loads or runs (a path, an address); empty for none
  std::string judgedFile;  // the file signer and sha256 are of: the payload's file, else the program
  bool fileFound = false;  // judgedFile exists
  SignatureInfo signature;
  std::string signer;  // "(Verified) Valve Corp.", "(Not signed)" … (empty when signatures are off)
  std::string sha256;
  // The reference table's text for the program's name ("(System Process)
  // Windows PowerShell"), "(Unknown)" when it has none.
  std::string description;
  bool known = false;            // the description names the program (a name match that holds)
  bool windowsFile = false;      // the file is one of Windows' own
  bool inWindowsFolders = false; // the judged file lies in Windows' folders
  bool flagged = false;          // it goes into the hijack report, for its origin
};

// The text of the lists' verdict column: the reference text where it holds
// ("(System Process) …", "(General Software) …", "(Virus/Trojan/Worm) …"),
// "(Trusted) <signer>", "(Unknown)" with its notes, "(Suspicious) <reasons>",
// "(Malicious) <reasons>".
std::string VerdictText(const Judgement& judgement);
// The file verdict of the service and module lists: "Windows System File",
// "Trusted File", "Distrustful File", with the reasons after a colon when
// there are any.
std::string FileVerdictText(const Judgement& judgement);
// "(Verified) Valve Corp.", "(Not signed)", "(Signature broken) …",
// "(Signer not trusted) …", "(File not found)", "(Unreadable)"; empty when
// signatures were not checked.
std::string SignerText(const Judgement& judgement);

struct JudgeOptions {
  bool signatures = true;  // verify signatures (off: judged without them)
  bool hashes = true;      // the SHA-256 of each judged file
  unsigned threads = 0;    // verifications at once; 0: one per processor (at most 8)
  // Called now and then on the calling thread while verifications run on
  // others (a window redraws itself from here); may be empty.
  std::function<void()> whileWaiting;
};

// The tables a judge reads beside Process.db: Signer.db (root thumbprint =
// publisher group) and Command.db (the command-line rules).
class Judge {
 public:
  Judge(const ReferenceTables& tables, const SystemFacts& facts, JudgeOptions options = {});
  ~Judge();
  Judge(const Judge&) = delete;
  Judge& operator=(const Judge&) = delete;

  Judgement Assess(const JudgeRequest& request) const;
  // The same for many, the files' facts gathered first, in parallel.
  std::vector<Judgement> AssessAll(const std::vector<JudgeRequest>& requests) const;

  const ReferenceTables& Tables() const { return tables_; }
  const SystemFacts& Facts() const { return facts_; }
  const JudgeOptions& Options() const { return options_; }
  // Signature checks made so far (each distinct file once per stamp).
  std::size_t Verifications() const;
  // Drops what is known of files (the next judgement asks again).
  void Forget() const;

 private:
  struct FileFacts;
  struct Cache;
  struct Assessment;

  std::shared_ptr<const FileFacts> FactsOf(const std::string& path) const;
  void Gather(const std::vector<std::string>& paths) const;
  void AssessCommand(std::string_view command, bool isPath, Origin origin, int depth, Assessment& out) const;
  // Judges one file and adds what it found to out; payload: a file the
  // program loads or runs (its reasons name it).
  void AssessFile(const std::string& path, Origin origin, bool payload, Assessment& out) const;
  std::vector<std::string> FilesOf(const JudgeRequest& request) const;
  const CommandRules& Rules() const;

  const ReferenceTables& tables_;
  const SystemFacts& facts_;
  JudgeOptions options_;
  std::unique_ptr<Cache> cache_;
};

// The group Signer.db gives a root certificate ("Microsoft"), empty when it
// lists none.
std::string SignerGroupOf(const std::string& rootThumbprint, const ReferenceTables& tables);

// What the judge said, as the rows of a page's text carry it.
inline RowJudgement RowJudgementOf(const Judgement& j) {
  return {VerdictName(j.verdict), j.reasons, j.signer, j.sha256};
}

}  // namespace wl
