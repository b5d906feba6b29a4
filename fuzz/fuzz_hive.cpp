// A registry hive and its transaction logs are outside bytes (a collected
// folder, a disk image): read arbitrary ones as a hive with up to two logs,
// walk every key and value, print the listing, and look keys and values up.
// Input: a flag byte, then the primary file, then each log after a line
// "--LOG--". When the flag's low bit is set, the base blocks' checksums and
// the log entries' hashes are made right first, so that the fuzzer reaches
// the cells and the recovery, not only those checks.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/hive.h"
#include "core/hive_image.h"
#include "core/hive_listing.h"

namespace {

using namespace wl::hive;

void Put64(std::string& s, std::size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

void MakeChecksRight(std::string& file) {
  auto* b = reinterpret_cast<uint8_t*>(file.data());
  if (file.size() < 512) return;
  detail::Put32(b + 508, detail::BaseBlockChecksum(b));
  for (std::size_t off = 512; file.size() - off >= 40 && file.compare(off, 4, "HvLE") == 0;) {
    const uint32_t size = detail::Get32(b + off + 4);
    if (size < 40 || size % 512 || size > file.size() - off) break;
    Put64(file, off + 24, detail::Marvin32(b + off + 40, size - 40));
    Put64(file, off + 32, detail::Marvin32(b + off, 32));
    off += size;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool fix = data[0] & 1;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<std::string> parts;
  for (std::size_t at; parts.size() < 2 && (at = rest.find("--LOG--")) != std::string_view::npos;) {
    parts.emplace_back(rest.substr(0, at));
    rest.remove_prefix(at + 7);
  }
  parts.emplace_back(rest);
  std::vector<LogFile> logs;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (fix) MakeChecksRight(parts[i]);
    if (i) logs.push_back({"FUZZ.LOG" + std::to_string(i), parts[i]});
  }
  const Hive hive = Hive::FromBytes(parts[0], logs);
  // What the logs may grow the hive to is bounded by what they carry.
  std::size_t given = 0;
  for (const auto& p : parts) given += p.size();
  if (hive.Bytes().size() > 4096 + given + 4096) std::abort();
  if (!hive.Root() && hive.Error().empty()) std::abort();

  const wl::PageText listing = wl::HiveListingText(hive);
  std::size_t keys = 0;
  Walk(hive, [&](const Key& key, const std::string& path) {
    if (++keys <= 16) {
      (void)key.ClassName();
      (void)key.SecurityDescriptor();
      for (const Value& v : key.Values()) {
        (void)v.String();
        (void)v.MultiString();
        (void)v.Dword();
        (void)v.Qword();
        (void)key.GetValue(v.Name());
      }
      // A key is found again by its path.
      if (path.find('\\') == std::string::npos && !path.empty() && !hive.Find(path)) std::abort();
      for (const Key& child : key.Subkeys()) (void)key.Subkey(child.Name());
    }
    return true;
  });
  (void)hive.Find("ControlSet001\\Services\\Tcpip\\Parameters");
  (void)wl::HiveRecoveryText(hive, "FUZZ", true);
  return 0;
}
