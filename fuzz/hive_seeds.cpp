// Writes the built seeds of fuzz_hive (fuzz/make_corpus.sh runs it): small
// hives with every kind of cell, a dirty hive with logs of both formats, and
// hostile structures. Each seed is the target's input: a flag byte (1: make
// checksums and hashes right), the hive, then "--LOG--" and each log.
#include <cstdio>
#include <fstream>
#include <string>

#include "core/testing/hive_builder.h"

using namespace wl::hive;
using namespace wl::hive::testing;

namespace {

void Write(const std::string& folder, const std::string& name, const std::string& bytes) {
  std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
}

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  Put32(s, 0, v);
  return s;
}

std::string State(bool newer, uint32_t primarySeq, uint32_t secondarySeq) {
  HiveBuilder b;
  const uint32_t root = b.Key({.name = "R", .flags = kKeyHiveEntry});
  const uint32_t value = b.Value("V", kRegSz, Utf16Bytes(newer ? u"two" : u"one"));
  std::vector<uint32_t> keys = {b.Key({.name = "Old"})};
  if (newer)
    keys.push_back(b.Key(
        {.name = "New", .valueCount = 1, .valueList = b.List("", {b.Value("Run", kRegSz, Utf16Bytes(u"x.exe"))})}));
  b.Patch32(root, 20, static_cast<uint32_t>(keys.size()));
  b.Patch32(root, 28, b.List("lh", keys, {"Old", "New"}));
  b.Patch32(root, 36, 1);
  b.Patch32(root, 40, b.List("", {value}));
  return b.File(root, primarySeq, secondarySeq, 0x01D0000000000000ull, newer ? 8192 : 4096);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hive_seeds FOLDER\n");
    return 2;
  }
  const std::string out = argv[1];
  {
    HiveBuilder b;
    const std::string sd = std::string("\x01\x00\x04\x80", 4) + std::string(16, '\0');
    const uint32_t sk = b.Cell("sk" + std::string(14, '\0') + Le32(static_cast<uint32_t>(sd.size())) + sd);
    const uint32_t cls = b.Cell(Utf16Bytes(u"Class"));
    const std::vector<uint32_t> values = {b.Value("", kRegSz, Utf16Bytes(u"default")),
                                          b.Value("E", kRegExpandSz, Utf16Bytes(u"%SystemRoot%")),
                                          b.Value("M", kRegMultiSz, Utf16Bytes(std::u16string(u"a\0b\0\0", 5))),
                                          b.Value("D", kRegDword, Le32(1)),
                                          b.Value("Q", kRegQword, Le32(1) + Le32(2)),
                                          b.Value("B", kRegBinary, std::string(20000, 'b')),
                                          b.Value("\xC3\xBC", kRegSz, Utf16Bytes(u"u"), false)};
    const uint32_t a = b.Key({.name = "a"});
    const uint32_t c = b.Key({.name = "\xCE\xA9", .compressed = false});
    const uint32_t d = b.Key({.name = "d", .subkeyCount = 1, .subkeyList = b.List("li", {b.Key({.name = "e"})})});
    const uint32_t list = b.List("ri", {b.List("lf", {a}, {"a"}), b.List("lh", {d, c}, {"d"})});
    const uint32_t root = b.Key({.name = "ROOT",
                                 .flags = kKeyHiveEntry,
                                 .time = 0x01D8000000000000ull,
                                 .subkeyCount = 3,
                                 .subkeyList = list,
                                 .valueCount = static_cast<uint32_t>(values.size()),
                                 .valueList = b.List("", values),
                                 .security = sk,
                                 .classCell = cls,
                                 .classSize = 10});
    Write(out, "seed-built-every-cell", "\x01" + b.File(root));
  }
  {
    const std::string newer = State(true, 7, 7), dirty = State(false, 6, 5);
    const uint32_t size = static_cast<uint32_t>(newer.size() - 4096);
    const std::string log1 = NewFormatLog(dirty, 5, {{{0, newer.substr(4096, 4096)}}}, size);
    const std::string log2 = NewFormatLog(dirty, 6, {{{4096, newer.substr(8192, 4096)}}}, size);
    Write(out, "seed-built-dirty-log-entries", "\x01" + dirty + "--LOG--" + log1 + "--LOG--" + log2);
    std::vector<uint32_t> pages;
    for (uint32_t p = 0; p < size / 512; ++p) pages.push_back(p);
    const std::string newerSameTime = State(true, 5, 5);
    Write(out, "seed-built-dirty-vector",
          "\x01" + State(false, 5, 4) + "--LOG--" + DirtyVectorLog(newerSameTime, pages));
  }
  {
    HiveBuilder b;
    const uint32_t list = b.List("li", {0, 0});
    const uint32_t self = b.Key({.name = "Self", .flags = kKeyHiveEntry, .subkeyCount = 2, .subkeyList = list});
    b.Patch32(list, 4, self);
    b.Patch32(list, 8, 0x7FFFFFF8);
    Write(out, "seed-built-cycle", "\x01" + b.File(self));
  }
  return 0;
}
