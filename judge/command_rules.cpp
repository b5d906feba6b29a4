#include "judge/command_rules.h"

#include "core/ascii.h"
#include "judge/command_line.h"

namespace wl {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitOn(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string Unescaped(std::string_view word) {
  std::string out;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (word[i] == '\\' && i + 1 < word.size() && (word[i + 1] == 's' || word[i + 1] == 'c')) {
      out += word[i + 1] == 's' ? ' ' : ',';
      ++i;
      continue;
    }
    out += AsciiLower(word[i]);
  }
  return out;
}

bool ParseCondition(std::string_view token, RuleCondition& out) {
  if (token.starts_with('!')) {
    out.negated = true;
    token.remove_prefix(1);
  }
  const std::size_t colon = token.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view kind = token.substr(0, colon);
  if (kind == "switch")
    out.kind = RuleCondition::Kind::Switch;
  else if (kind == "text")
    out.kind = RuleCondition::Kind::Text;
  else if (kind == "arg")
    out.kind = RuleCondition::Kind::Arg;
  else if (kind == "payload")
    out.kind = RuleCondition::Kind::Payload;
  else
    return false;
  for (std::string_view alt : SplitOn(token.substr(colon + 1), ',')) {
    if (alt.empty()) return false;
    RuleCondition::Alternative a;
    if (out.kind == RuleCondition::Kind::Switch) {
      const std::size_t valueAt = alt.find(':');
      std::string_view name = alt.substr(0, valueAt);
      if (valueAt != std::string_view::npos)
        for (std::string_view value : SplitOn(alt.substr(valueAt + 1), '|')) {
          if (value.empty()) return false;
          a.values.push_back(Unescaped(value));
        }
      const std::size_t slash = name.find('/');
      if (slash != std::string_view::npos) {
        const std::string_view digits = name.substr(slash + 1);
        if (digits.empty() || digits.size() > 2) return false;
        for (char c : digits)
          if (c < '0' || c > '9') return false;
        a.minLength = static_cast<std::size_t>(std::stoi(std::string(digits)));
        name = name.substr(0, slash);
      }
      a.name = AsciiLower(name);
      if (a.name.empty()) return false;
      if (a.minLength == 0 || a.minLength > a.name.size()) a.minLength = a.name.size();
    } else if (out.kind == RuleCondition::Kind::Payload) {
      a.name = AsciiLower(alt);
      if (a.name != "url" && a.name != "script" && a.name != "userwritable" && a.name != "missing" &&
          a.name != "file")
        return false;
    } else {
      a.name = Unescaped(alt);
    }
    out.alternatives.push_back(std::move(a));
  }
  return !out.alternatives.empty();
}

bool IsSwitchArg(std::string_view arg) {
  if (arg.empty()) return false;
  if (arg.front() == '-' || arg.front() == '/') return true;
  return arg.size() >= 3 && static_cast<unsigned char>(arg[0]) == 0xE2 && static_cast<unsigned char>(arg[1]) == 0x80 &&
         static_cast<unsigned char>(arg[2]) >= 0x93 && static_cast<unsigned char>(arg[2]) <= 0x95;
}

bool SwitchHolds(const RuleCondition::Alternative& alt, const RuleSubject& subject) {
  for (std::size_t i = 0; i < subject.args.size(); ++i) {
    std::string_view arg = subject.args[i];
    if (!IsSwitchArg(arg)) continue;
    if (static_cast<unsigned char>(arg[0]) == 0xE2) arg.remove_prefix(3);
    while (!arg.empty() && (arg.front() == '-' || arg.front() == '/')) arg.remove_prefix(1);
    const std::size_t colon = arg.find(':');
    const std::string name = AsciiLower(arg.substr(0, colon));
    if (name.size() < alt.minLength || name.size() > alt.name.size() || alt.name.compare(0, name.size(), name) != 0)
      continue;
    if (alt.values.empty()) return true;
    std::string value;
    if (colon != std::string_view::npos)
      value = AsciiLower(arg.substr(colon + 1));
    else if (i + 1 < subject.args.size())
      value = AsciiLower(subject.args[i + 1]);
    for (const std::string& pattern : alt.values)
      if (GlobMatches(pattern, value)) return true;
  }
  return false;
}

bool AlternativeHolds(RuleCondition::Kind kind, const RuleCondition::Alternative& alt, const RuleSubject& subject) {
  switch (kind) {
    case RuleCondition::Kind::Switch: return SwitchHolds(alt, subject);
    case RuleCondition::Kind::Text: return subject.text.find(alt.name) != std::string::npos;
    case RuleCondition::Kind::Arg:
      for (const std::string& arg : subject.args)
        if (GlobMatches(alt.name, arg)) return true;
      return false;
    case RuleCondition::Kind::Payload:
      if (alt.name == "url") return subject.payloadUrl;
      if (alt.name == "script") return subject.payloadScript;
      if (alt.name == "userwritable") return subject.payloadUserWritable;
      if (alt.name == "missing") return subject.payloadMissing;
      return subject.payloadFile;
  }
  return false;
}

}  // namespace

bool GlobMatches(std::string_view pattern, std::string_view text) {
  // Iterative matching with one point to return to after a "*".
  std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(text[t]))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

CommandRules ParseCommandRules(const std::vector<std::string>& lines) {
  CommandRules out;
  for (const std::string& raw : lines) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) {
      ++out.unreadable;
      continue;
    }
    CommandRule rule;
    rule.id = std::string(Trim(line.substr(0, equals)));
    // The reason is the rest after the third ";" and may hold ";" itself.
    std::vector<std::string_view> fields;
    std::string_view rest = line.substr(equals + 1);
    for (int i = 0; i < 3; ++i) {
      const std::size_t semi = rest.find(';');
      if (semi == std::string_view::npos) break;
      fields.push_back(Trim(rest.substr(0, semi)));
      rest = rest.substr(semi + 1);
    }
    rule.reason = std::string(Trim(rest));
    if (fields.size() != 3 || rule.reason.empty()) {
      ++out.unreadable;
      continue;
    }
    if (fields[0] == "suspicious")
      rule.severity = RuleSeverity::Suspicious;
    else if (fields[0] == "malicious")
      rule.severity = RuleSeverity::Malicious;
    else {
      ++out.unreadable;
      continue;
    }
    bool good = true;
    if (fields[1] != "*")
      for (std::string_view program : SplitOn(fields[1], ',')) {
        program = Trim(program);
        if (program.empty()) good = false;
        rule.programs.push_back(AsciiLower(program));
      }
    std::string_view conditions = fields[2];
    while (good && !conditions.empty()) {
      const std::size_t blank = conditions.find(' ');
      const std::string_view token = conditions.substr(0, blank);
      conditions = blank == std::string_view::npos ? std::string_view() : Trim(conditions.substr(blank + 1));
      if (token.empty()) continue;
      RuleCondition condition;
      if (!ParseCondition(token, condition)) good = false;
      rule.conditions.push_back(std::move(condition));
    }
    if (!good || rule.conditions.empty()) {
      ++out.unreadable;
      continue;
    }
    out.rules.push_back(std::move(rule));
  }
  return out;
}

bool RuleMatches(const CommandRule& rule, const RuleSubject& subject) {
  if (!rule.programs.empty()) {
    bool named = false;
    for (const std::string& program : rule.programs) named = named || program == subject.program;
    if (!named) return false;
  }
  for (const RuleCondition& condition : rule.conditions) {
    bool any = false;
    for (const auto& alt : condition.alternatives) any = any || AlternativeHolds(condition.kind, alt, subject);
    if (any == condition.negated) return false;
  }
  return true;
}

}  // namespace wl
