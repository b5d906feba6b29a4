#include "judge/command_line.h"

#include <array>

#include "core/ascii.h"
#include "core/path_text.h"

namespace wl {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

bool HasExtension(std::string_view path) { return FileNameOf(path).find('.') != std::string_view::npos; }

bool HasSeparator(std::string_view text) { return text.find_first_of("\\/:") != std::string_view::npos; }

bool IsFullPathText(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  return path.starts_with("\\\\") || path.starts_with("//");
}

// File names a command's program part most likely ends with, when nothing of
// the text exists to tell.
bool HasProgramExtension(std::string_view path) {
  static constexpr std::array<std::string_view, 16> kExtensions = {
      ".exe", ".com", ".bat", ".cmd", ".scr", ".pif", ".dll", ".sys",
      ".cpl", ".vbs", ".vbe", ".js",  ".jse", ".wsf", ".ps1", ".hta"};
  const std::string name = AsciiLower(FileNameOf(path));
  for (std::string_view ext : kExtensions)
    if (name.size() > ext.size() && name.ends_with(ext)) return true;
  return false;
}

std::string Unquoted(std::string_view text) {
  text = TrimBlanks(text);
  if (text.size() >= 2 && text.front() == '"') {
    const std::size_t close = text.find('"', 1);
    return std::string(close == std::string_view::npos ? text.substr(1) : text.substr(1, close - 1));
  }
  return std::string(text);
}

// The program file a name stands for: as it is when it has an extension,
// with ".exe" added when it has none (as the system starts programs).
std::string AsProgram(std::string_view name) {
  return HasExtension(name) ? std::string(name) : std::string(name) + ".exe";
}

std::string SearchFor(const std::string& name, const PathFacts& facts) {
  for (const std::string& folder : facts.SearchFolders()) {
    if (folder.empty()) continue;
    std::string candidate = folder;
    if (candidate.back() != '\\') candidate += '\\';
    candidate += name;
    if (facts.IsFile(candidate)) return candidate;
  }
  return {};
}

bool IsSwitch(std::string_view arg) {
  if (arg.empty()) return false;
  if (arg.front() == '-' || arg.front() == '/') return true;
  // En dash, em dash and horizontal bar: PowerShell takes them for "-".
  return arg.size() >= 3 && static_cast<unsigned char>(arg[0]) == 0xE2 && static_cast<unsigned char>(arg[1]) == 0x80 &&
         (static_cast<unsigned char>(arg[2]) >= 0x93 && static_cast<unsigned char>(arg[2]) <= 0x95);
}

// The name of a switch argument in lower case, without its dashes or slash
// and without a ":value" part.
std::string SwitchName(std::string_view arg) {
  if (arg.size() >= 3 && static_cast<unsigned char>(arg[0]) == 0xE2) arg.remove_prefix(3);
  while (!arg.empty() && (arg.front() == '-' || arg.front() == '/')) arg.remove_prefix(1);
  const std::size_t colon = arg.find(':');
  if (colon != std::string_view::npos) arg = arg.substr(0, colon);
  return AsciiLower(arg);
}

// Whether name is a non-empty prefix of full of at least minLength letters.
bool Abbreviates(std::string_view name, std::string_view full, std::size_t minLength) {
  return name.size() >= minLength && name.size() <= full.size() && full.substr(0, name.size()) == name;
}

// A chain of cmd commands split where it is chained ("&", "&&", "|", "||"),
// outside quotes; carets escape the next character.
std::vector<std::string> SplitChain(std::string_view text) {
  std::vector<std::string> parts;
  std::string current;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '^' && !quoted && i + 1 < text.size()) {
      current += text[++i];
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && (c == '&' || c == '|')) {
      if (i + 1 < text.size() && text[i + 1] == c) ++i;
      const std::string_view part = TrimBlanks(current);
      if (!part.empty()) parts.emplace_back(part);
      current.clear();
      continue;
    }
    current += c;
  }
  const std::string_view part = TrimBlanks(current);
  if (!part.empty()) parts.emplace_back(part);
  return parts;
}

// What a command of cmd's own runs: "start" and "call" run what follows them.
std::string CommandAfterBuiltins(std::string_view command) {
  for (int guard = 0; guard < 4; ++guard) {
    command = TrimBlanks(command);
    std::size_t end = 0;
    while (end < command.size() && !IsBlank(command[end])) ++end;
    const std::string word = AsciiLower(command.substr(0, end));
    if (word == "call") {
      command.remove_prefix(end);
      continue;
    }
    if (word == "start") {
      command = TrimBlanks(command.substr(end));
      // A quoted first argument is the window's title; switches come next.
      if (command.starts_with('"')) {
        const std::size_t close = command.find('"', 1);
        if (close != std::string_view::npos) command = TrimBlanks(command.substr(close + 1));
      }
      while (command.starts_with('/')) {
        std::size_t e = 0;
        while (e < command.size() && !IsBlank(command[e])) ++e;
        const std::string option = AsciiLower(command.substr(0, e));
        command = TrimBlanks(command.substr(e));
        // These take a value.
        if (option == "/d" || option == "/affinity" || option == "/node") {
          std::size_t v = 0;
          while (v < command.size() && !IsBlank(command[v])) ++v;
          command = TrimBlanks(command.substr(v));
        }
      }
      continue;
    }
    break;
  }
  return std::string(command);
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
      // Not a variable: the first "%" stays, and the second may open one.
      out += '%';
      out.append(name);
      at = close;
    }
  }
  out.append(text.substr(at));
  return out;
}

std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false;
  bool inArg = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (IsBlank(c) && !quoted) {
      if (inArg) args.push_back(std::move(current));
      current.clear();
      inArg = false;
      ++i;
      continue;
    }
    inArg = true;
    if (c == '\\') {
      std::size_t count = 0;
      while (i < text.size() && text[i] == '\\') ++count, ++i;
      if (i < text.size() && text[i] == '"') {
        current.append(count / 2, '\\');
        if (count % 2 == 1) {
          current += '"';
          ++i;
        }
      } else {
        current.append(count, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current += c;
    ++i;
  }
  if (inArg) args.push_back(std::move(current));
  return args;
}

std::string PlainCommand(std::string_view stored, const PathFacts& facts) {
  std::string text = facts.Expand(TrimBlanks(stored));
  std::string_view view = TrimBlanks(text);
  const bool quoted = view.starts_with('"');
  if (quoted) view.remove_prefix(1);
  std::string head;
  if (view.starts_with("\\??\\") || view.starts_with("\\\\?\\")) view.remove_prefix(4);
  const std::string& windows = facts.WindowsFolder();
  if (!windows.empty()) {
    if (StartsWithNoCase(view, "\\SystemRoot\\")) {
      head = windows + "\\";
      view.remove_prefix(12);
    } else if (StartsWithNoCase(view, "System32\\") || StartsWithNoCase(view, "SysWOW64\\")) {
      head = windows + "\\";
    }
  }
  return (quoted ? "\"" : "") + head + std::string(view);
}

ResolvedCommand ResolveCommand(std::string_view stored, const PathFacts& facts) {
  ResolvedCommand out;
  const std::string plain = PlainCommand(stored, facts);
  const std::string_view text = TrimBlanks(plain);
  if (text.empty()) return out;

  auto setArguments = [&out](std::string_view rest) {
    out.arguments = std::string(TrimBlanks(rest));
    out.args = SplitArguments(out.arguments);
  };
  auto findBare = [&out, &facts](std::string_view name) {
    const std::string program = AsProgram(name);
    std::string found = SearchFor(program, facts);
    if (found.empty()) found = facts.AppPath(program);
    if (!found.empty() && facts.IsFile(found)) {
      out.program = found;
      out.found = true;
    } else {
      out.program = program;
    }
  };

  if (text.front() == '"') {
    const std::size_t close = text.find('"', 1);
    const std::string_view program = close == std::string_view::npos ? text.substr(1) : text.substr(1, close - 1);
    setArguments(close == std::string_view::npos ? std::string_view() : text.substr(close + 1));
    if (!HasSeparator(program)) {
      findBare(program);
      return out;
    }
    out.program = AsProgram(program);
    out.found = facts.IsFile(out.program);
    return out;
  }

  std::size_t firstBlank = 0;
  while (firstBlank < text.size() && !IsBlank(text[firstBlank])) ++firstBlank;
  if (!HasSeparator(text.substr(0, firstBlank))) {
    findBare(text.substr(0, firstBlank));
    setArguments(text.substr(firstBlank));
    return out;
  }

  // An unquoted path: the system tries it up to each blank in turn.
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (IsBlank(text[i]) && i > 0 && !IsBlank(text[i - 1])) ends.push_back(i);
  ends.push_back(text.size());
  auto tryAt = [&](std::size_t end) -> std::string {
    const std::string candidate = AsProgram(text.substr(0, end));
    return facts.IsFile(candidate) ? candidate : std::string();
  };
  for (std::size_t k = 0; k < ends.size(); ++k) {
    std::string found = tryAt(ends[k]);
    if (found.empty()) continue;
    out.program = std::move(found);
    out.found = true;
    setArguments(text.substr(ends[k]));
    for (std::size_t m = k + 1; m < ends.size() && out.shadowed.empty(); ++m)
      if (HasProgramExtension(text.substr(0, ends[m]))) out.shadowed = tryAt(ends[m]);
    return out;
  }
  // Nothing exists: the likeliest program is the shortest part that ends
  // like a program file, else the first word.
  std::size_t guess = ends.front();
  for (std::size_t end : ends)
    if (HasProgramExtension(text.substr(0, end))) {
      guess = end;
      break;
    }
  out.program = std::string(text.substr(0, guess));
  setArguments(text.substr(guess));
  return out;
}

std::string ResolveHostedFile(std::string_view text, const PathFacts& facts, std::string_view defaultExtension) {
  std::string name = Unquoted(PlainCommand(Unquoted(text), facts));
  if (name.empty()) return name;
  if (!HasExtension(name) && !defaultExtension.empty()) name += defaultExtension;
  if (IsFullPathText(name)) return name;
  if (std::string found = SearchFor(name, facts); !found.empty()) return found;
  return name;
}

HostKind HostKindOf(std::string_view programPath) {
  std::string name = AsciiLower(FileNameOf(TrimBlanks(programPath)));
  if (name.ends_with(".exe")) name.resize(name.size() - 4);
  if (name == "rundll32") return HostKind::Rundll32;
  if (name == "regsvr32") return HostKind::Regsvr32;
  if (name == "mshta") return HostKind::Mshta;
  if (name == "wscript" || name == "cscript") return HostKind::ScriptHost;
  if (name == "powershell" || name == "pwsh") return HostKind::PowerShell;
  if (name == "cmd") return HostKind::Cmd;
  if (name == "msiexec") return HostKind::Msiexec;
  if (name == "svchost") return HostKind::Svchost;
  return HostKind::None;
}

bool IsNetworkAddress(std::string_view text) {
  text = TrimBlanks(text);
  while (text.starts_with('"') || text.starts_with('\'')) text.remove_prefix(1);
  return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://") ||
         StartsWithNoCase(text, "ftp://") || text.starts_with("\\\\") || text.starts_with("//");
}

bool IsScriptAddress(std::string_view text) {
  text = TrimBlanks(text);
  while (text.starts_with('"') || text.starts_with('\'')) text.remove_prefix(1);
  return StartsWithNoCase(text, "javascript:") || StartsWithNoCase(text, "vbscript:") ||
         StartsWithNoCase(text, "about:");
}

HostedPayload PayloadOf(HostKind host, std::string_view arguments, const std::vector<std::string>& args) {
  HostedPayload out;
  auto fileOrAddress = [&out](std::string_view text) {
    if (text.empty()) return;
    out.text = std::string(text);
    if (IsScriptAddress(text))
      out.kind = HostedPayload::Kind::InlineScript;
    else if (IsNetworkAddress(text))
      out.kind = HostedPayload::Kind::Url;
    else
      out.kind = HostedPayload::Kind::File;
  };
  arguments = TrimBlanks(arguments);
  switch (host) {
    case HostKind::None: break;
    case HostKind::Rundll32: {
      // "file,entry arguments": the file ends at the comma.
      std::string_view file = arguments;
      if (file.starts_with('"')) {
        const std::size_t close = file.find('"', 1);
        file = close == std::string_view::npos ? file.substr(1) : file.substr(1, close - 1);
      } else {
        const std::size_t end = file.find_first_of(", \t");
        if (end != std::string_view::npos) file = file.substr(0, end);
      }
      if (IsScriptAddress(arguments)) {
        out.kind = HostedPayload::Kind::InlineScript;
        out.text = std::string(arguments);
      } else {
        fileOrAddress(file);
      }
      break;
    }
    case HostKind::Regsvr32:
      for (const std::string& arg : args)
        if (!IsSwitch(arg)) {
          fileOrAddress(arg);
          break;
        }
      break;
    case HostKind::Mshta:
      if (!args.empty()) fileOrAddress(IsScriptAddress(arguments) ? arguments : std::string_view(args.front()));
      break;
    case HostKind::ScriptHost:
      for (const std::string& arg : args)
        if (!arg.starts_with("//")) {
          fileOrAddress(arg);
          break;
        }
      break;
    case HostKind::PowerShell: {
      for (std::size_t i = 0; i < args.size(); ++i) {
        if (!IsSwitch(args[i])) continue;
        const std::string name = SwitchName(args[i]);
        if (Abbreviates(name, "file", 1) && i + 1 < args.size()) {
          fileOrAddress(args[i + 1]);
          return out;
        }
        if (Abbreviates(name, "command", 1) || Abbreviates(name, "encodedcommand", 1) || name == "ec") {
          out.kind = HostedPayload::Kind::InlineScript;
          out.text = std::string(arguments);
          return out;
        }
      }
      // A script named without -File (pwsh takes its first argument as one).
      for (const std::string& arg : args)
        if (!IsSwitch(arg) && AsciiLower(arg).ends_with(".ps1")) {
          fileOrAddress(arg);
          return out;
        }
      break;
    }
    case HostKind::Cmd: {
      // The command follows "/c", "/k" or "/r" (the switch may be glued to it).
      std::size_t at = std::string_view::npos;
      for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] != '/') continue;
        const char s = AsciiLower(arguments[i + 1]);
        if ((s == 'c' || s == 'k' || s == 'r') && (i == 0 || IsBlank(arguments[i - 1]))) {
          at = i + 2;
          break;
        }
      }
      if (at == std::string_view::npos) break;
      std::string_view rest = TrimBlanks(arguments.substr(at));
      // cmd drops the quotes around the whole command.
      if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
      out.kind = HostedPayload::Kind::Commands;
      out.text = std::string(rest);
      for (const std::string& part : SplitChain(rest)) {
        std::string command = CommandAfterBuiltins(part);
        if (!command.empty()) out.commands.push_back(std::move(command));
      }
      break;
    }
    case HostKind::Msiexec:
      for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (!IsSwitch(args[i])) continue;
        const std::string name = SwitchName(args[i]);
        if (name == "i" || name == "package" || name == "a" || name == "y" || name == "z" || name.starts_with("j") ||
            name.starts_with("f")) {
          if (!args[i + 1].starts_with('{')) fileOrAddress(args[i + 1]);
          break;
        }
      }
      break;
    case HostKind::Svchost:
      for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (AsciiLower(args[i]) == "-k" || AsciiLower(args[i]) == "/k") {
          out.kind = HostedPayload::Kind::ServiceGroup;
          out.text = args[i + 1];
          break;
        }
      break;
  }
  return out;
}

std::string RuleText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '^' && c != '`') out += AsciiLower(c);
  return out;
}

}  // namespace wl
