// The judge: one verdict for a program, the same on every page and in the
// console scanner. It takes a command line as stored and where it came
// from, resolves what would run (and what a host such as rundll32 or
// svchost loads), and weighs the file's signature, where it lies, the
// command line's rules and the reference tables. Portable: the system's
// answers come through SystemFacts, whose answers about files are kept for
// the run by the file's identity (volume and file id) and a change stamp
// no user can set back, so a file swapped for another of the same size and
// times is judged again.
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

// When a file last changed, as far as its identity goes: what no user can
// set back to an earlier value without it showing (the change time of the
// file's metadata, which SetFileTime does not set, and the change journal's
// number where the volume keeps one), beside its size and last write.
struct ChangeStamp {
  std::uint64_t size = 0;
  std::uint64_t lastWrite = 0;
  std::uint64_t changeTime = 0;
  std::int64_t usn = 0;  // 0 where the volume keeps no change journal
  bool operator==(const ChangeStamp&) const = default;
};

// One file as the system names it once opened: the same file under any of
// its names (a short name, "..", a hard link) has the same volume and id.
struct FileIdentity {
  bool exists = false;   // an existing file (not a folder)
  bool readable = true;  // it could be opened for reading (exists, but locked or denied: false)
  std::string finalPath; // where the file is: long names, no "." or "..", as the system gives it
  std::uint64_t volume = 0;
  std::uint64_t idLow = 0, idHigh = 0;  // the file's id on its volume (0 where the volume has none)
  ChangeStamp stamp;
  // Its contents could not change while it was open (others may read it,
  // none may write it); a file another program holds open for writing is
  // read all the same, and judged again the next time.
  bool held = true;
};

// What a program's version information says.
struct VersionFacts {
  std::string companyName;
  std::string originalFilename;  // as written ("PowerShell.EXE.MUI")
};

// One opened file: what the judge reads of it, all through the one handle
// that is open while it is judged. Used by one thread at a time.
class OpenedFile {
 public:
  virtual ~OpenedFile() = default;
  virtual const FileIdentity& Identity() const = 0;
  virtual SignatureInfo Signature() = 0;
  virtual VersionFacts Version() = 0;
  virtual std::string Sha256() = 0;  // lower-case hex; empty when unreadable
};

// Where the root certificate of a verified chain is kept.
enum class RootStore {
  Machine,   // a root store of the machine (or no store is consulted: the verifier's word counts)
  UserOnly,  // only in a user's own root store
  None,      // in no root store (a verifier that accepts any root accepted it)
};

// A program that runs what its command line names, known by its contents:
// the SHA-256 of one of the Windows folders' own hosts and its file name.
struct KnownHost {
  std::string sha256;
  std::string name;  // "powershell.exe"
};

// What a folder holds, as one listing: the names of its files (not its
// folders), or whether it is missing.
struct FolderListing {
  enum class State { Listed, Missing, Unlisted } state = State::Unlisted;
  std::vector<std::string> names;
};

// What the judge asks of the system.
class SystemFacts : public PathFacts {
 public:
  // The file a path names, opened once for reading (its contents held still
  // while it is open); an identity with exists false when there is none.
  virtual std::unique_ptr<OpenedFile> Open(const std::string& path) const = 0;
  // The entries of a folder in one listing: asked of a folder that many
  // lookups of one scan go to (see IsFile). Unlisted by default.
  virtual FolderListing ListFolder(const std::string& folder) const;
  // The path of an existing folder as the system gives it for the opened
  // folder (long names); empty when there is none.
  virtual std::string FolderFinalPath(const std::string& folder) const;
  virtual const KnownFolders& Folders() const = 0;
  // Whether the system keeps the catalogs Windows' own files are signed in:
  // without them (an emulation layer), Windows' files cannot be told from
  // others by their signatures, only by where they are and what they say.
  virtual bool SystemCatalogsPresent() const = 0;
  // Where a root certificate (SHA-256, upper-case hex) is kept.
  virtual RootStore RootStoreOf(const std::string& rootThumbprint) const;
  // The hosts of the Windows folders, by their contents.
  virtual std::vector<KnownHost> KnownHosts() const;
  // The environment an entry of another user runs in (that user's profile
  // and variables, for expansion and the search for programs); null for
  // the current user's own.
  virtual std::shared_ptr<const PathFacts> UserEnvironment(const std::string& sid) const;
  // A scan begins: what the facts keep of the system for a scan (root
  // stores, the hosts' hashes, users' environments) is read again.
  virtual void NewScan() const {}
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
  // The user the entry belongs to (a SID) when it is not the current user
  // or the machine: its text is expanded, and its programs looked for, in
  // that user's environment. An account the system does not know (kept by
  // its name) gets the machine's variables only.
  std::string owner;
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
  // Where the judged file and the program are, as the system gives their
  // paths once opened (long names, no ".."); where they do not exist, their
  // paths made plain as Windows makes them.
  std::string judgedPath;
  std::string programPath;
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

// The reasons that name where a file really is and what it really is.
// "Written as a path in the Windows folders, but it names C:\Users\…"
std::string WrittenElsewhereReason(PlaceKind written, std::string_view realPath);
// "Runs from an alternate data stream of C:\Windows\Tracing"
std::string StreamReason(std::string_view streamHost);
// "signtool.exe renamed svchost.exe"
std::string RenamedReason(std::string_view originalName, std::string_view fileName);
// "a copy of PowerShell named upd.exe"
std::string HostCopyReason(std::string_view hostName, std::string_view fileName);
inline constexpr const char* kUserRootReason = "root only in a user's certificate store";

struct JudgeOptions {
  bool signatures = true;  // verify signatures (off: judged without them)
  bool hashes = true;      // the SHA-256 of each judged file
  unsigned threads = 0;    // verifications at once; 0: one per processor (at most 8)
  // Called now and then on the calling thread while verifications run on
  // others (a window redraws itself from here); may be empty.
  std::function<void()> whileWaiting;
};

// What a judge has asked of the file system so far.
struct FileSystemCounts {
  std::size_t lookups = 0;      // whether a name exists (one per name and scan)
  std::size_t listings = 0;     // folders listed whole (many lookups went to them)
  std::size_t opens = 0;        // files opened to be judged (one per file and scan)
  std::size_t folderOpens = 0;  // folders opened for their real paths
};

// The tables a judge reads beside Process.db: Signer.db (root thumbprint =
// publisher group) and Command.db (the command-line rules).
//
// Within one scan (one AssessAll, or everything judged while a ScanScope is
// held), each name is looked up once and each file opened once; what is
// known of a file is kept across scans by its identity and change stamp,
// and asked again of the file when either differs.
class Judge {
 public:
  Judge(const ReferenceTables& tables, const SystemFacts& facts, JudgeOptions options = {});
  ~Judge();
  Judge(const Judge&) = delete;
  Judge& operator=(const Judge&) = delete;

  Judgement Assess(const JudgeRequest& request) const;
  // The same for many, the files' facts gathered first, in parallel.
  std::vector<Judgement> AssessAll(const std::vector<JudgeRequest>& requests) const;

  // While held, every judgement of this judge belongs to one scan (a scan of
  // several pages: nothing is looked up twice).
  class ScanScope {
   public:
    explicit ScanScope(const Judge& judge);
    ~ScanScope();
    ScanScope(const ScanScope&) = delete;
    ScanScope& operator=(const ScanScope&) = delete;

   private:
    const Judge& judge_;
  };

  const ReferenceTables& Tables() const { return tables_; }
  const SystemFacts& Facts() const { return facts_; }
  const JudgeOptions& Options() const { return options_; }
  // Signature checks made so far (each distinct file once per stamp).
  std::size_t Verifications() const;
  FileSystemCounts Counts() const;
  // Drops what is known of files (the next judgement asks again).
  void Forget() const;

 private:
  struct Contents;
  struct FileFacts;
  struct Cache;
  struct Scan;
  struct Finding;
  struct Assessment;
  class ScanPaths;

  std::shared_ptr<Scan> CurrentScan() const;
  // Whether a path names an existing file, asked once per scan (answered
  // from the folder's listing where many lookups go to one folder).
  bool Exists(const std::string& path, Scan& scan) const;
  // Where a folder is, its short names expanded (asked once per scan).
  std::string RealFolder(const std::string& folder, Scan& scan) const;
  std::string HostByContents(const std::string& sha256, Scan& scan) const;
  std::shared_ptr<const PathFacts> UserOf(const std::string& owner, Scan& scan) const;
  std::shared_ptr<const FileFacts> FactsOf(const std::string& path, Scan& scan) const;
  void Gather(const std::vector<std::string>& paths, Scan& scan) const;
  void AssessCommand(std::string_view command, bool isPath, Origin origin, int depth, const ScanPaths& paths,
                     Scan& scan, Assessment& out) const;
  // Judges one file and adds what it found to out; payload: a file the
  // program loads or runs (its reasons name it).
  Finding AssessFile(const std::string& path, Origin origin, bool payload, Scan& scan, Assessment& out) const;
  Judgement AssessIn(const JudgeRequest& request, Scan& scan) const;
  std::vector<std::string> FilesOf(const JudgeRequest& request, const ScanPaths& paths) const;
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
