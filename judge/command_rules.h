// The command-line rules: which programs carry a payload in their command
// line, and how to see it (an encoded PowerShell command, a scriptlet
// address for regsvr32, a download by certutil …). The rules are data: the
// lines of Command.db. Portable.
//
// A line:   <id>=<severity>;<programs>;<conditions>;<reason>
//   severity    "suspicious" or "malicious"
//   programs    file names in lower case, separated by commas; "*" for any
//   conditions  separated by blanks, all must hold; each "kind:alternatives"
//               with the alternatives separated by commas (any one holds);
//               "!" before the kind: none of them holds. Kinds:
//     switch:NAME[/MIN][:GLOB|GLOB…]  an argument is a switch ("-x", "/x",
//               "–x") whose name abbreviates NAME with at least MIN letters
//               (all of NAME without MIN), and, with ":", whose value (after
//               its own ":" or the next argument) matches one of the patterns
//     text:WORD     the command line contains WORD (no case, carets and
//               backticks removed; "\s" stands for a blank, "\c" for a comma)
//     arg:GLOB      an argument matches the pattern ("*", "?"; no case)
//     payload:KIND  what the program loads or runs: url (the web or a network
//               share), script (javascript:, vbscript:), userwritable (a file
//               in a folder users can write), missing (a file not found), file
//   reason      the text the row shows
// Lines starting with "#" and empty lines are ignored; a line that cannot be
// read is skipped and counted. A line holds one "=" only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wl {

enum class RuleSeverity { Suspicious, Malicious };

struct RuleCondition {
  enum class Kind { Switch, Text, Arg, Payload };
  Kind kind = Kind::Text;
  bool negated = false;
  struct Alternative {
    std::string name;                 // switch name, word, pattern or payload kind
    std::size_t minLength = 0;        // switch: least letters of the name
    std::vector<std::string> values;  // switch: patterns its value must match (any)
  };
  std::vector<Alternative> alternatives;
};

struct CommandRule {
  std::string id;
  RuleSeverity severity = RuleSeverity::Suspicious;
  std::vector<std::string> programs;  // empty: any program
  std::vector<RuleCondition> conditions;
  std::string reason;
};

struct CommandRules {
  std::vector<CommandRule> rules;
  std::size_t unreadable = 0;  // lines that could not be read
};

CommandRules ParseCommandRules(const std::vector<std::string>& lines);

// What a rule is matched against.
struct RuleSubject {
  std::string program;            // the program's file name, lower case
  std::string text;               // the whole command line, RuleText form
  std::vector<std::string> args;  // the arguments as split
  // What the program loads or runs.
  bool payloadUrl = false, payloadScript = false, payloadUserWritable = false, payloadMissing = false,
       payloadFile = false;
};

bool RuleMatches(const CommandRule& rule, const RuleSubject& subject);

// Whether text matches a pattern of "*" and "?" (ASCII case ignored).
bool GlobMatches(std::string_view pattern, std::string_view text);

}  // namespace wl
