// The text tables of Ref.dbd and the lookups that turn a table line into the
// verdict text shown in the lists.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wl {

class TZLBArchive;

// One table: its lines as loaded, plus an index of every key to its last line
// (the last matching line gives the verdict).
class StringTable {
 public:
  StringTable() = default;
  // Splits text at CR LF, LF or CR; a final line end makes no empty line.
  static StringTable FromText(std::string_view text);

  std::size_t Count() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  const std::string& Line(std::size_t i) const { return lines_.at(i); }
  const std::vector<std::string>& Lines() const { return lines_; }

  // The line whose key matches last, if any.
  const std::string* LastLineWithKey(const std::string& key) const;

  // Key: text before the first "=". Value: text after the last "=".
  // A line without "=" has an empty key and its whole text as value.
  static std::string_view KeyOf(std::string_view line);
  static std::string_view ValueOf(std::string_view line);

 private:
  std::vector<std::string> lines_;
  std::unordered_map<std::string, std::size_t> lastByKey_;
};

struct ReferenceTables {
  StringTable process;  // Process.db
  StringTable classes;  // Class.db
  StringTable ports;    // Port.db
  StringTable hijack;   // Hijack.db
  StringTable sites;    // Site.db
  // Read by the judge: root certificate thumbprints (SHA-256) and the
  // publisher group they stand for, and the command-line rules. An archive
  // without them loads; the judge then has no roots and no rules.
  StringTable signers;   // Signer.db
  StringTable commands;  // Command.db
  // Read by the "Network Settings" scan: well-known domains ("host:…"),
  // public DNS resolvers ("dns:…"). Optional like the two above.
  StringTable network;  // Network.db
};

// Line 0 and line 1 of Main.db.
struct MainDbValues {
  std::string lastUpdated;
  std::string definitions;
};

// The value of the last line whose key equals key (exact, case-sensitive),
// with a leading category mark replaced by its text; "(Unknown)" when nothing
// matches or the value is empty.
std::string LookupVerdict(const std::string& key, const StringTable& table);
// Same lookup done the slow way, line by line; kept for comparison.
std::string LookupVerdictLinear(const std::string& key, const StringTable& table);

// Callers pass the bare file name in lower case.
std::string ClassifyProcess(const std::string& fileName, const ReferenceTables& tables);
std::string DescribePort(const std::string& protocol, const std::string& serviceOrNumber,
                         const ReferenceTables& tables);
std::string LookupClass(const std::string& classId, const ReferenceTables& tables);

// Category of a verdict: its second character ('U', 'V', 'G', 'S'), or 0.
char VerdictCategory(const std::string& verdict);

// Reads the two status values; nullopt when Main.db has fewer than two lines.
std::optional<MainDbValues> ParseMainDb(std::string_view text);

// The member names, in the order they are loaded at start-up.
inline constexpr const char* kProcessDb = "Process.db";
inline constexpr const char* kClassDb = "Class.db";
inline constexpr const char* kPortDb = "Port.db";
inline constexpr const char* kMainDb = "Main.db";
inline constexpr const char* kHijackDb = "Hijack.db";
inline constexpr const char* kSiteDb = "Site.db";
inline constexpr const char* kSignerDb = "Signer.db";
inline constexpr const char* kCommandDb = "Command.db";
inline constexpr const char* kNetworkDb = "Network.db";

// Extracts the six members from an open archive into tables and the Main.db
// values, then Signer.db, Command.db and Network.db where the archive has them. Raises
// ArchiveError with the reader's message on the first failure; the tables
// loaded before it stay loaded. A Main.db of fewer than two lines is no
// failure: it feeds only the status page's two values, so the tables load
// and false says those two values are not known (mainDb is left as it was).
bool LoadReferenceTables(TZLBArchive& archive, ReferenceTables& tables, MainDbValues& mainDb);

}  // namespace wl
