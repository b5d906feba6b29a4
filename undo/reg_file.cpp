#include "undo/reg_file.h"

#include <algorithm>
#include <cstdio>

#include "core/ascii.h"
#include "core/utf16_text.h"

namespace wl::undo {
namespace {

// A value name in quotes with backslashes and quotes escaped.
std::string QuotedName(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// "prefix=hex(N):xx,xx,…" wrapped the way the registry editor wraps it.
std::string ValueLine(const RegFileValue& v) {
  std::string line = v.name.empty() ? "@" : QuotedName(v.name);
  line += '=';
  if (v.remove) return line + "-\r\n";
  char type[32];
  std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(v.type));
  line += type;
  static const char digits[] = "0123456789abcdef";
  std::size_t column = line.size();
  for (std::size_t i = 0; i < v.data.size(); ++i) {
    line += digits[v.data[i] >> 4];
    line += digits[v.data[i] & 15];
    column += 2;
    if (i + 1 < v.data.size()) {
      line += ',';
      ++column;
      if (column > 76) {
        line += "\\\r\n  ";
        column = 2;
      }
    }
  }
  return line + "\r\n";
}

// The registry file's lines end at a line break, and a zero ends its text:
// a name that holds either cannot be written in it.
bool FitsTheFormat(const std::string& name) { return name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

// A name on a comment line: the characters it cannot hold spelled out.
std::string Spelled(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\0') out += "\\0";
    else out += c;
  }
  return out;
}

}  // namespace

void AddRegFileTree(const std::string& path, const RegTreeCopy& tree, std::vector<RegFileKey>& out) {
  RegFileKey key{path, false, {}};
  for (const auto& v : tree.values) key.values.push_back({v.name, false, v.type, v.data});
  out.push_back(std::move(key));
  for (const auto& sub : tree.keys) AddRegFileTree(path + "\\" + sub.name, sub, out);
}

std::string RegFilePath(const std::string& root, const std::string& key, const std::string& view) {
  std::string k = key;
  if (view == "32") {
    const std::string upperRoot = AsciiUpper(root), upperKey = AsciiUpper(key);
    if (upperRoot == "HKEY_LOCAL_MACHINE" && (upperKey == "SOFTWARE" || upperKey.starts_with("SOFTWARE\\")) &&
        !upperKey.starts_with("SOFTWARE\\WOW6432NODE"))
      k = key.substr(0, 8) + "\\Wow6432Node" + key.substr(8);
    else if (upperRoot == "HKEY_CLASSES_ROOT" && !upperKey.starts_with("WOW6432NODE"))
      k = "Wow6432Node" + (key.empty() ? std::string() : "\\" + key);
  }
  return k.empty() ? root : root + "\\" + k;
}

std::vector<uint8_t> WriteRegFile(const std::vector<RegFileKey>& keys) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (const auto& key : keys) {
    if (!FitsTheFormat(key.path)) {
      text += "; Left out: the key \"" + Spelled(key.path) +
              "\" (its name holds a line break or a zero, which this file cannot hold). Restoring the change set in "
              "Wardenlake puts it back.\r\n\r\n";
      continue;
    }
    if (key.remove) {
      text += "[-" + key.path + "]\r\n\r\n";
      continue;
    }
    text += "[" + key.path + "]\r\n";
    for (const auto& v : key.values) {
      if (FitsTheFormat(v.name)) {
        text += ValueLine(v);
      } else {
        text += "; Left out: the value \"" + Spelled(v.name) +
                "\" (its name holds a line break or a zero, which this file cannot hold). Restoring the change set in "
                "Wardenlake puts it back.\r\n";
      }
    }
    text += "\r\n";
  }
  const std::u16string wide = Utf16FromUtf8(text);
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  bytes.reserve(2 + wide.size() * 2);
  for (char16_t c : wide) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

std::vector<RegFileKey> RegFileKeysFor(const ChangeSetManifest& manifest) {
  std::vector<RegFileKey> out;
  for (auto it = manifest.items.rbegin(); it != manifest.items.rend(); ++it)
    std::visit(
        [&out](const auto& change) {
          if constexpr (requires { change.AddRegFileKeys(out); }) change.AddRegFileKeys(out);
        },
        it->change);
  return out;
}

}  // namespace wl::undo
