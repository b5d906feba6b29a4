#include "browser/other_browsers_readers.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "core/ascii.h"
#include "core/utf16_text.h"

namespace wl {
namespace {

using nlohmann::json;

std::string Cut(std::string text) {
  if (text.size() <= kValueTextLimit) return text;
  std::size_t n = kValueTextLimit;
  // Do not cut a UTF-8 sequence in two.
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  text.resize(n);
  return text + "\xE2\x80\xA6";
}

// The deepest nesting of arrays and objects, counted outside strings; stops
// counting once past the limit.
int NestingDepth(std::string_view bytes) {
  int depth = 0, deepest = 0;
  bool inString = false, escaped = false;
  for (char c : bytes) {
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
      continue;
    }
    if (c == '"') inString = true;
    else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
      if (deepest > kJsonDepthLimit) return deepest;
    } else if (c == ']' || c == '}') {
      if (depth > 0) --depth;
    }
  }
  return deepest;
}

// Parses bytes as one JSON document; on failure says why in error.
std::optional<json> Parse(std::string_view bytes, std::string& error) {
  if (bytes.empty()) {
    error = "the file is empty.";
    return std::nullopt;
  }
  if (NestingDepth(bytes) > kJsonDepthLimit) {
    error = "the file is nested too deeply to be read.";
    return std::nullopt;
  }
  try {
    // A byte-order mark before the document is allowed (ignore_comments off).
    json doc = json::parse(bytes.begin(), bytes.end(), nullptr, true, false);
    return doc;
  } catch (const json::parse_error& e) {
    // Cut off: the input ended where more was needed, or inside a text.
    const std::string_view what = e.what();
    if (what.find("end of input") != std::string_view::npos ||
        (e.byte >= bytes.size() && what.find("missing closing quote") != std::string_view::npos))
      error = "the file ends before its contents do (it may be cut off).";
    else
      error = "the file is not valid JSON (at byte " + std::to_string(e.byte) + ").";
  } catch (const std::exception&) {
    error = "the file is not valid JSON.";
  }
  return std::nullopt;
}

// The text of a value for a list: strings as they are, lists of strings
// joined by " | ", anything else as compact JSON.
std::string ValueText(const json& v) {
  if (v.is_string()) return Cut(v.get<std::string>());
  if (v.is_array()) {
    bool allStrings = true;
    for (const auto& e : v)
      if (!e.is_string()) allStrings = false;
    if (allStrings) {
      std::string out;
      for (const auto& e : v) {
        if (!out.empty()) out += " | ";
        out += e.get<std::string>();
        if (out.size() > kValueTextLimit) break;
      }
      return Cut(out);
    }
  }
  // The depth was checked before parsing, so dumping cannot recurse deeply.
  return Cut(v.dump(-1, ' ', false, json::error_handler_t::replace));
}

// Typed look-ups that record a problem instead of failing on the wrong type.
class Reader {
 public:
  explicit Reader(ReadOutcome& outcome) : outcome_(outcome) {}

  const json* Object(const json& parent, const char* key, const std::string& where) {
    const json* v = Find(parent, key);
    if (!v) return nullptr;
    if (!v->is_object()) {
      Problem(where, "is not an object");
      return nullptr;
    }
    return v;
  }
  const json* Array(const json& parent, const char* key, const std::string& where) {
    const json* v = Find(parent, key);
    if (!v) return nullptr;
    if (!v->is_array()) {
      Problem(where, "is not a list");
      return nullptr;
    }
    return v;
  }
  std::optional<std::string> String(const json& parent, const char* key, const std::string& where) {
    const json* v = Find(parent, key);
    if (!v || v->is_null()) return std::nullopt;
    if (!v->is_string()) {
      Problem(where, "is not a text");
      return std::nullopt;
    }
    return Cut(v->get<std::string>());
  }
  std::optional<bool> Bool(const json& parent, const char* key, const std::string& where) {
    const json* v = Find(parent, key);
    if (!v || v->is_null()) return std::nullopt;
    if (!v->is_boolean()) {
      Problem(where, "is not true or false");
      return std::nullopt;
    }
    return v->get<bool>();
  }
  std::optional<int> Int(const json& parent, const char* key, const std::string& where) {
    const json* v = Find(parent, key);
    if (!v || v->is_null()) return std::nullopt;
    if (!v->is_number_integer()) {
      Problem(where, "is not a whole number");
      return std::nullopt;
    }
    const auto n = v->get<std::int64_t>();
    if (n < INT32_MIN || n > INT32_MAX) {
      Problem(where, "is out of range");
      return std::nullopt;
    }
    return static_cast<int>(n);
  }
  void Problem(const std::string& where, const std::string& what) {
    if (outcome_.problems.size() < 20) outcome_.problems.push_back("\"" + where + "\" " + what + ".");
  }

 private:
  static const json* Find(const json& parent, const char* key) {
    if (!parent.is_object()) return nullptr;
    auto it = parent.find(key);
    return it == parent.end() ? nullptr : &*it;
  }
  ReadOutcome& outcome_;
};

std::optional<json> ParseObject(std::string_view bytes, ReadOutcome& outcome) {
  auto doc = Parse(bytes, outcome.error);
  if (!doc) return std::nullopt;
  if (!doc->is_object()) {
    outcome.error = "the file does not hold a JSON object.";
    return std::nullopt;
  }
  return doc;
}

void ReadExtensionSettings(Reader& r, const json& root, ChromiumPreferences& out) {
  const json* extensions = r.Object(root, "extensions", "extensions");
  if (!extensions) return;
  const json* settings = r.Object(*extensions, "settings", "extensions.settings");
  if (!settings) return;
  for (const auto& [id, entry] : settings->items()) {
    const std::string where = "extensions.settings." + id;
    if (!entry.is_object()) {
      r.Problem(where, "is not an object");
      continue;
    }
    ChromiumExtensionState state;
    state.id = Cut(id);
    state.location = r.Int(entry, "location", where + ".location").value_or(0);
    state.fromWebstore = r.Bool(entry, "from_webstore", where + ".from_webstore").value_or(false);
    state.disabled = r.Int(entry, "state", where + ".state").value_or(1) == 0;
    if (auto reasons = r.Int(entry, "disable_reasons", where + ".disable_reasons"); reasons && *reasons != 0)
      state.disabled = true;
    state.path = r.String(entry, "path", where + ".path").value_or("");
    if (const json* manifest = r.Object(entry, "manifest", where + ".manifest"))
      state.name = r.String(*manifest, "name", where + ".manifest.name").value_or("");
    out.extensions.push_back(std::move(state));
  }
}

}  // namespace

ChromiumPreferences ReadChromiumPreferences(std::string_view bytes) {
  ChromiumPreferences out;
  auto doc = ParseObject(bytes, out.outcome);
  if (!doc) return out;
  Reader r(out.outcome);
  out.homepage = r.String(*doc, "homepage", "homepage");
  out.homepageIsNewTab = r.Bool(*doc, "homepage_is_newtabpage", "homepage_is_newtabpage");
  if (const json* session = r.Object(*doc, "session", "session")) {
    out.restoreOnStartup = r.Int(*session, "restore_on_startup", "session.restore_on_startup");
    if (const json* urls = r.Array(*session, "startup_urls", "session.startup_urls")) {
      for (const auto& u : *urls) {
        if (u.is_string()) out.startupUrls.push_back(Cut(u.get<std::string>()));
        else r.Problem("session.startup_urls", "holds an entry that is not a text");
      }
    }
  }
  // The search provider: current browsers keep it under
  // "default_search_provider_data", older ones under "default_search_provider".
  if (const json* data = r.Object(*doc, "default_search_provider_data", "default_search_provider_data")) {
    if (const json* t = r.Object(*data, "template_url_data", "default_search_provider_data.template_url_data")) {
      out.searchName = r.String(*t, "short_name", "default_search_provider_data.template_url_data.short_name");
      out.searchUrl = r.String(*t, "url", "default_search_provider_data.template_url_data.url");
    }
  }
  if (const json* old = r.Object(*doc, "default_search_provider", "default_search_provider")) {
    if (!out.searchName) out.searchName = r.String(*old, "name", "default_search_provider.name");
    if (!out.searchUrl) out.searchUrl = r.String(*old, "search_url", "default_search_provider.search_url");
  }
  ReadExtensionSettings(r, *doc, out);
  return out;
}

ChromiumLocalState ReadChromiumLocalState(std::string_view bytes) {
  ChromiumLocalState out;
  auto doc = ParseObject(bytes, out.outcome);
  if (!doc) return out;
  Reader r(out.outcome);
  const json* profile = r.Object(*doc, "profile", "profile");
  if (!profile) return out;
  const json* cache = r.Object(*profile, "info_cache", "profile.info_cache");
  if (!cache) return out;
  for (const auto& [folder, info] : cache->items()) {
    if (!info.is_object()) continue;
    if (auto name = r.String(info, "name", "profile.info_cache." + folder + ".name"))
      out.profileNames.push_back({Cut(folder), *name});
  }
  return out;
}

ExtensionManifest ReadExtensionManifest(std::string_view bytes) {
  ExtensionManifest out;
  auto doc = ParseObject(bytes, out.outcome);
  if (!doc) return out;
  Reader r(out.outcome);
  out.name = r.String(*doc, "name", "name").value_or("");
  out.version = r.String(*doc, "version", "version").value_or("");
  out.defaultLocale = r.String(*doc, "default_locale", "default_locale").value_or("");
  out.updateUrl = r.String(*doc, "update_url", "update_url").value_or("");
  for (const char* key : {"permissions", "host_permissions"}) {
    if (const json* list = r.Array(*doc, key, key)) {
      for (const auto& p : *list) {
        if (out.permissions.size() >= 200) break;
        if (p.is_string()) out.permissions.push_back(Cut(p.get<std::string>()));
      }
    }
  }
  if (const json* s = r.Object(*doc, "chrome_settings_overrides", "chrome_settings_overrides")) {
    if (auto home = r.String(*s, "homepage", "chrome_settings_overrides.homepage"))
      out.overrides.push_back({"home page", *home});
    if (const json* search = r.Object(*s, "search_provider", "chrome_settings_overrides.search_provider")) {
      if (auto url = r.String(*search, "search_url", "chrome_settings_overrides.search_provider.search_url"))
        out.overrides.push_back({"search provider", *url});
    }
    if (const json* pages = r.Array(*s, "startup_pages", "chrome_settings_overrides.startup_pages"))
      out.overrides.push_back({"start-up pages", ValueText(*pages)});
  }
  if (const json* u = r.Object(*doc, "chrome_url_overrides", "chrome_url_overrides")) {
    if (auto tab = r.String(*u, "newtab", "chrome_url_overrides.newtab")) out.overrides.push_back({"new-tab page", *tab});
  }
  return out;
}

std::string ManifestMessageKey(std::string_view name) {
  if (name.size() > 8 && name.starts_with("__MSG_") && name.ends_with("__"))
    return std::string(name.substr(6, name.size() - 8));
  return {};
}

std::string ReadManifestMessage(std::string_view catalogue, std::string_view key) {
  ReadOutcome outcome;
  auto doc = ParseObject(catalogue, outcome);
  if (!doc || key.empty()) return {};
  const std::string wanted = AsciiLower(key);
  for (const auto& [k, entry] : doc->items()) {
    if (AsciiLower(k) != wanted || !entry.is_object()) continue;
    auto it = entry.find("message");
    if (it != entry.end() && it->is_string()) return Cut(it->get<std::string>());
  }
  return {};
}

FirefoxExtensions ReadFirefoxExtensions(std::string_view bytes) {
  FirefoxExtensions out;
  auto doc = ParseObject(bytes, out.outcome);
  if (!doc) return out;
  Reader r(out.outcome);
  const json* addons = r.Array(*doc, "addons", "addons");
  if (!addons) return out;
  for (const auto& a : *addons) {
    if (!a.is_object()) {
      r.Problem("addons", "holds an entry that is not an object");
      continue;
    }
    FirefoxAddon addon;
    addon.id = r.String(a, "id", "addons.id").value_or("");
    addon.version = r.String(a, "version", "addons.version").value_or("");
    addon.type = r.String(a, "type", "addons.type").value_or("");
    addon.location = r.String(a, "location", "addons.location").value_or("");
    addon.sourceUri = r.String(a, "sourceURI", "addons.sourceURI").value_or("");
    addon.active = r.Bool(a, "active", "addons.active").value_or(false);
    addon.signedState = r.Int(a, "signedState", "addons.signedState");
    if (const json* locale = r.Object(a, "defaultLocale", "addons.defaultLocale"))
      addon.name = r.String(*locale, "name", "addons.defaultLocale.name").value_or("");
    if (const json* perms = r.Object(a, "userPermissions", "addons.userPermissions")) {
      for (const char* key : {"permissions", "origins"}) {
        if (const json* list = r.Array(*perms, key, std::string("addons.userPermissions.") + key))
          for (const auto& p : *list)
            if (p.is_string() && addon.permissions.size() < 200) addon.permissions.push_back(Cut(p.get<std::string>()));
      }
    }
    out.addons.push_back(std::move(addon));
  }
  return out;
}

FirefoxPolicies ReadFirefoxPolicies(std::string_view bytes) {
  FirefoxPolicies out;
  auto doc = ParseObject(bytes, out.outcome);
  if (!doc) return out;
  Reader r(out.outcome);
  const json* policies = r.Object(*doc, "policies", "policies");
  if (!policies) return out;
  for (const auto& [name, value] : policies->items()) {
    // Forced extensions get a row each, so each can be seen on its own.
    if (name == "Extensions" && value.is_object()) {
      if (const json* install = r.Array(value, "Install", "policies.Extensions.Install"))
        for (const auto& url : *install)
          out.policies.push_back({"Extensions\\Install", ValueText(url), true});
      for (const auto& [key, inner] : value.items())
        if (key != "Install") out.policies.push_back({"Extensions\\" + Cut(key), ValueText(inner), false});
      continue;
    }
    if (name == "ExtensionSettings" && value.is_object()) {
      for (const auto& [id, settings] : value.items()) {
        bool forced = false;
        if (settings.is_object()) {
          auto mode = settings.find("installation_mode");
          forced = mode != settings.end() && mode->is_string() &&
                   (*mode == "force_installed" || *mode == "normal_installed");
        }
        out.policies.push_back({"ExtensionSettings\\" + Cut(id), ValueText(settings), forced});
      }
      continue;
    }
    out.policies.push_back({Cut(name), ValueText(value), false});
  }
  return out;
}

// ---- prefs.js ---------------------------------------------------------------

namespace {

class PrefsTokenizer {
 public:
  explicit PrefsTokenizer(std::string_view text) : s_(text) {}

  void Run(PrefsFile& out) {
    while (true) {
      SkipSpaceAndComments();
      if (AtEnd()) return;
      const int line = line_;
      std::string error;
      PrefStatement st;
      if (Statement(st, error)) {
        st.line = line;
        if (out.prefs.size() < 100000) out.prefs.push_back(std::move(st));
      } else {
        if (out.outcome.problems.size() < 20)
          out.outcome.problems.push_back("line " + std::to_string(line) + ": " + error);
        // A statement without its ";" ends where the next one begins.
        if (!missingSemicolon_) Recover();
        missingSemicolon_ = false;
      }
    }
  }

 private:
  bool AtEnd() const { return i_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[i_]; }
  void Advance() {
    if (s_[i_] == '\n') ++line_;
    ++i_;
  }

  void SkipSpaceAndComments() {
    while (!AtEnd()) {
      const char c = Peek();
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
        Advance();
      } else if (c == '#' || (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '/')) {
        while (!AtEnd() && Peek() != '\n') Advance();
      } else if (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '*') {
        Advance();
        Advance();
        while (!AtEnd() && !(Peek() == '*' && i_ + 1 < s_.size() && s_[i_ + 1] == '/')) Advance();
        if (!AtEnd()) {
          Advance();
          Advance();
        }
      } else if (i_ == 0 && s_.substr(0, 3) == "\xEF\xBB\xBF") {
        i_ = 3;
      } else {
        return;
      }
    }
  }

  // After an error: past the next ";" or the end of the line.
  void Recover() {
    while (!AtEnd()) {
      const char c = Peek();
      Advance();
      if (c == ';' || c == '\n') return;
    }
  }

  bool Expect(char c, std::string& error) {
    SkipSpaceAndComments();
    if (Peek() != c) {
      error = std::string("\"") + c + "\" expected";
      return false;
    }
    Advance();
    return true;
  }

  bool Statement(PrefStatement& st, std::string& error) {
    const std::size_t start = i_;
    while (!AtEnd() && (std::isalnum(static_cast<unsigned char>(Peek())) || Peek() == '_')) Advance();
    st.function = std::string(s_.substr(start, i_ - start));
    if (st.function != "user_pref" && st.function != "pref" && st.function != "sticky_pref" &&
        st.function != "lockPref") {
      error = st.function.empty() ? "a statement was expected" : "unknown statement \"" + Cut(st.function) + "\"";
      return false;
    }
    if (!Expect('(', error)) return false;
    SkipSpaceAndComments();
    if (Peek() != '"' && Peek() != '\'') {
      error = "the preference name is not a quoted text";
      return false;
    }
    if (!QuotedString(st.name, error)) return false;
    if (!Expect(',', error)) return false;
    SkipSpaceAndComments();
    if (Peek() == '"' || Peek() == '\'') {
      if (!QuotedString(st.value, error)) return false;
      st.isString = true;
    } else {
      const std::size_t v = i_;
      if (Peek() == '-' || Peek() == '+') Advance();
      while (!AtEnd() && std::isalnum(static_cast<unsigned char>(Peek()))) Advance();
      st.value = std::string(s_.substr(v, i_ - v));
      if (!ValidBareValue(st.value)) {
        error = "the value of \"" + Cut(st.name) + "\" is neither a text, a number nor true/false";
        return false;
      }
    }
    // Newer files may mark a preference after its value: ", sticky", ", locked".
    SkipSpaceAndComments();
    while (Peek() == ',') {
      Advance();
      SkipSpaceAndComments();
      const std::size_t a = i_;
      while (!AtEnd() && std::isalpha(static_cast<unsigned char>(Peek()))) Advance();
      const std::string_view attribute = s_.substr(a, i_ - a);
      if (attribute != "sticky" && attribute != "locked") {
        error = "an unknown mark after the value of \"" + Cut(st.name) + "\"";
        return false;
      }
      SkipSpaceAndComments();
    }
    if (!Expect(')', error)) return false;
    if (!Expect(';', error)) {
      missingSemicolon_ = true;
      return false;
    }
    st.name = Cut(st.name);
    st.value = Cut(st.value);
    return true;
  }

  static bool ValidBareValue(const std::string& v) {
    if (v == "true" || v == "false") return true;
    std::size_t k = (!v.empty() && (v[0] == '-' || v[0] == '+')) ? 1 : 0;
    if (k >= v.size()) return false;
    for (; k < v.size(); ++k)
      if (!std::isdigit(static_cast<unsigned char>(v[k]))) return false;
    return true;
  }

  static int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // The hex digits at the current place (count of them), or -1.
  long ReadHex(int count) {
    long v = 0;
    for (int k = 0; k < count; ++k) {
      if (AtEnd()) return -1;
      const int h = Hex(Peek());
      if (h < 0) return -1;
      v = v * 16 + h;
      Advance();
    }
    return v;
  }

  bool QuotedString(std::string& out, std::string& error) {
    const char quote = Peek();
    Advance();
    out.clear();
    while (true) {
      if (AtEnd() || Peek() == '\n') {
        error = "a text is not closed";
        return false;
      }
      char c = Peek();
      Advance();
      if (c == quote) return true;
      if (c != '\\') {
        if (out.size() < kValueTextLimit * 4) out += c;
        continue;
      }
      if (AtEnd()) {
        error = "a text is not closed";
        return false;
      }
      c = Peek();
      Advance();
      std::uint32_t cp = 0;
      switch (c) {
        case 'n': cp = '\n'; break;
        case 'r': cp = '\r'; break;
        case 't': cp = '\t'; break;
        case 'b': cp = '\b'; break;
        case 'f': cp = '\f'; break;
        case 'v': cp = '\v'; break;
        case '0': cp = 0; break;
        case 'x': {
          const long h = ReadHex(2);
          if (h < 0) {
            error = "a \\x escape without two hex digits";
            return false;
          }
          cp = static_cast<std::uint32_t>(h);
          break;
        }
        case 'u': {
          long h = ReadHex(4);
          if (h < 0) {
            error = "a \\u escape without four hex digits";
            return false;
          }
          // A surrogate pair written as two escapes.
          if (h >= 0xD800 && h <= 0xDBFF && i_ + 1 < s_.size() && s_[i_] == '\\' && s_[i_ + 1] == 'u') {
            const std::size_t save = i_;
            const int saveLine = line_;
            Advance();
            Advance();
            const long low = ReadHex(4);
            if (low >= 0xDC00 && low <= 0xDFFF) {
              h = 0x10000 + ((h - 0xD800) << 10) + (low - 0xDC00);
            } else {
              i_ = save;
              line_ = saveLine;
            }
          }
          if (h >= 0xD800 && h <= 0xDFFF) h = 0xFFFD;  // a lone surrogate
          cp = static_cast<std::uint32_t>(h);
          break;
        }
        default: cp = static_cast<unsigned char>(c); break;  // \\ \" \' and any other character as itself
      }
      if (out.size() < kValueTextLimit * 4) {
        if (cp < 0x80 || c == 'x' || c == 'u') AppendUtf8(out, cp);
        else out += static_cast<char>(cp);
      }
    }
  }

  std::string_view s_;
  std::size_t i_ = 0;
  int line_ = 1;
  bool missingSemicolon_ = false;
};

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

}  // namespace

PrefsFile ReadPrefsJs(std::string_view bytes) {
  PrefsFile out;
  PrefsTokenizer(bytes).Run(out);
  return out;
}

std::vector<FirefoxProfileEntry> ReadProfilesIni(std::string_view bytes) {
  std::vector<FirefoxProfileEntry> out;
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  bool inProfile = false;
  FirefoxProfileEntry current;
  auto flush = [&] {
    if (inProfile && !current.path.empty() && out.size() < 1000) out.push_back(current);
    current = {};
  };
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string line = Trim(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      flush();
      const std::size_t close = line.find(']');
      const std::string section = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      inProfile = section.size() > 7 && section.compare(0, 7, "Profile") == 0;
      continue;
    }
    if (!inProfile) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = Trim(std::string_view(line).substr(0, eq));
    const std::string value = Trim(std::string_view(line).substr(eq + 1));
    if (key == "Name") current.name = Cut(value);
    else if (key == "Path") current.path = Cut(value);
    else if (key == "IsRelative") current.isRelative = value != "0";
    else if (key == "Default") current.isDefault = value == "1";
  }
  flush();
  return out;
}

}  // namespace wl
