// A command line as stored, taken apart the way Windows takes it apart when
// it runs it: the program (quoted, unquoted with blanks, a bare name found
// along the search order), its arguments, and, for the programs that only
// host something else (rundll32, regsvr32, mshta, the script hosts,
// PowerShell with -File, cmd /c, msiexec, svchost -k), what they load or
// run. Portable: what the file system says comes through PathFacts.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/system_environment.h"  // ExpandVariables

namespace wl {

// What resolving a command needs to know of the system.
class PathFacts {
 public:
  virtual ~PathFacts() = default;
  // Environment variables ("%SystemRoot%") replaced as the system would.
  virtual std::string Expand(std::string_view text) const = 0;
  // Whether path names an existing file (not a folder).
  virtual bool IsFile(const std::string& path) const = 0;
  // Where a bare program name is looked for, in order: the system folder,
  // the 16-bit system folder, the Windows folder, then the PATH.
  virtual const std::vector<std::string>& SearchFolders() const = 0;
  // The program "App Paths" registers for a file name ("" when none).
  virtual std::string AppPath(const std::string& fileName) const = 0;
  // The Windows folder ("C:\Windows").
  virtual const std::string& WindowsFolder() const = 0;
};

// Environment variables replaced as the system replaces them: "%NAME%" by
// the variable's value where lookup knows it (names compare without ASCII
// case), left as it is where not; a "%" without a partner stays.


// The arguments of a command line (after the program), split by the rules of
// the C runtime and CommandLineToArgvW: blanks and tabs separate, double
// quotes group, 2n backslashes before a quote give n backslashes, 2n+1 give
// n and a literal quote.
std::vector<std::string> SplitArguments(std::string_view text);

// The stored text with its system-root forms made plain: "\??\" dropped,
// "\SystemRoot\" and a leading "System32\" put under the Windows folder, and
// the environment variables expanded.
std::string PlainCommand(std::string_view stored, const PathFacts& facts);

struct ResolvedCommand {
  std::string program;           // the program's path, as the system would find it (or the best guess)
  bool found = false;            // program names an existing file
  std::string arguments;         // the text after the program
  std::vector<std::string> args; // the arguments, split
  // An unquoted path with blanks whose first part exists as a program: the
  // longer path the text meant (Windows runs program instead).
  std::string shadowed;
};

// The program a command line runs, found as Windows finds it: a quoted path
// as it stands; an unquoted path with blanks tried at every blank from the
// left ("C:\Program.exe", then "C:\Program Files\…"), ".exe" added where the
// name has no extension; a bare name looked for in the search folders, then
// in App Paths; a relative path under the Windows folder.
ResolvedCommand ResolveCommand(std::string_view stored, const PathFacts& facts);

// A file a host is given (a DLL, a script), found as the host finds it: a
// full path as it stands, a bare or relative name in the search folders;
// defaultExtension (".dll") is added to a name without one.
std::string ResolveHostedFile(std::string_view text, const PathFacts& facts, std::string_view defaultExtension);

// The programs that run what their command line names.
enum class HostKind { None, Rundll32, Regsvr32, Mshta, ScriptHost, PowerShell, Cmd, Msiexec, Svchost };
// By the program's file name (any case).
HostKind HostKindOf(std::string_view programPath);

struct HostedPayload {
  enum class Kind { None, File, Url, InlineScript, Commands, ServiceGroup };
  Kind kind = Kind::None;
  std::string text;  // the file as written, the address, the script, the group
  // Kind::Commands: what cmd runs, one command per part of a chain ("a & b | c").
  std::vector<std::string> commands;
};

// What a host loads or runs, by its arguments (arguments: the raw text after
// the program, args: the same split).
HostedPayload PayloadOf(HostKind host, std::string_view arguments, const std::vector<std::string>& args);

// Lower-case ASCII, carets and backticks removed (cmd and PowerShell escapes
// that split words without changing them): the text rules compare with.
std::string RuleText(std::string_view text);

// Whether text (an address or a path) points at the network or a script:
// "http://", "https://", "ftp://", "\\server\…", "javascript:", "vbscript:".
bool IsNetworkAddress(std::string_view text);
bool IsScriptAddress(std::string_view text);

}  // namespace wl
