// Builds a whole hive file from a tree of keys and values, for tests that
// need hives of a system laid out as a test wants (SYSTEM with its control
// sets, SOFTWARE with its profile list, users' NTUSER.DAT and UsrClass.dat).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/hive.h"
#include "core/testing/hive_builder.h"

namespace wl::hive::testing {

struct TreeValue {
  std::string name;
  uint32_t type = kRegSz;
  std::string data;  // raw bytes
};

struct TreeKey {
  std::string name;
  std::vector<TreeValue> values;
  std::vector<TreeKey> subkeys;
  uint64_t time = 0x01D9000000000000ull;
  uint16_t flags = 0;

  // The key at a path of names below this one, made on the way.
  TreeKey& At(const std::string& path) {
    TreeKey* key = this;
    for (std::size_t start = 0; start < path.size();) {
      const std::size_t end = std::min(path.find('\\', start), path.size());
      const std::string name = path.substr(start, end - start);
      start = end + 1;
      if (name.empty()) continue;
      auto found = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                                [&](const TreeKey& k) { return NamesEqual(k.name, name); });
      if (found == key->subkeys.end()) {
        key->subkeys.push_back(TreeKey{name, {}, {}});
        found = key->subkeys.end() - 1;
      }
      key = &*found;
    }
    return *key;
  }
  TreeKey& Set(const std::string& name, uint32_t type, const std::string& data) {
    values.push_back({name, type, data});
    return *this;
  }
};

// UTF-16LE with its terminating NUL (ASCII and Latin-1 text).
inline std::string Sz(const std::string& text) {
  std::u16string units(text.begin(), text.end());
  units.push_back(u'\0');
  return Utf16Bytes(units);
}
inline std::string DwordBytes(uint32_t v) {
  std::string out(4, '\0');
  Put32(out, 0, v);
  return out;
}

namespace detail_tree {
// Names of ASCII only are stored compressed, others in UTF-16 (as Windows does).
inline bool Ascii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}
inline uint32_t Build(HiveBuilder& b, const TreeKey& key, bool root) {
  std::vector<const TreeKey*> children;
  for (const TreeKey& k : key.subkeys) children.push_back(&k);
  auto upper = [](const std::string& s) {
    std::string u = s;
    for (char& c : u) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return u;
  };
  std::sort(children.begin(), children.end(),
            [&](const TreeKey* a, const TreeKey* c) { return upper(a->name) < upper(c->name); });
  std::vector<uint32_t> childCells;
  std::vector<std::string> names;
  for (const TreeKey* k : children) {
    childCells.push_back(Build(b, *k, false));
    names.push_back(k->name);
  }
  std::vector<uint32_t> valueCells;
  for (const TreeValue& v : key.values) valueCells.push_back(b.Value(v.name, v.type, v.data, Ascii(v.name)));
  HiveBuilder::KeyFields f;
  f.name = key.name;
  f.compressed = Ascii(key.name);
  f.flags = static_cast<uint16_t>(key.flags | (root ? kKeyHiveEntry : 0));
  f.time = key.time;
  if (!childCells.empty()) {
    f.subkeyCount = static_cast<uint32_t>(childCells.size());
    f.subkeyList = b.List("lh", childCells, names);
  }
  if (!valueCells.empty()) {
    f.valueCount = static_cast<uint32_t>(valueCells.size());
    f.valueList = b.List("", valueCells);
  }
  return b.Key(f);
}
}  // namespace detail_tree

// The hive file of a tree (its root's name is the root key's).
inline std::string BuildHive(const TreeKey& root) {
  HiveBuilder b;
  const uint32_t cell = detail_tree::Build(b, root, true);
  return b.File(cell);
}

}  // namespace wl::hive::testing
