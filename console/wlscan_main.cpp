// wlscan: the headless front of the scanners, for scripts, fleets and tests.
//   wlscan PAGE [--format tsv|json|csv]               the page's rows
//   wlscan hijack-rows PAGE [--format tsv|json|csv]   the hijack rows that page's scan adds
//   wlscan scan [--format text|json|csv] [--output FILE] [--baseline FILE]
//                                                     the whole hijack scan; with a
//                                                     baseline, only what is new or
//                                                     changed since it
//   wlscan immunity spyware|sites [--format tsv|json|csv]
//   wlscan immunize spyware|sites --all | ID...
//   wlscan unimmunize spyware|sites --all | ID...
//   wlscan packets FILE [--format tsv|json|csv]       the packets of a capture file
//                                                     as the sniffer lists them
//   wlscan hive FILE [--no-logs] [--format tsv|json|csv]
//                                                     every key and value of a registry
//                                                     hive file (its logs applied when dirty)
//   wlscan restore ID [--overwrite] [--dry-run]       puts a change set of the backups back
//   wlscan fix FILE                                   fixes the items of a "scan --format json"
//                                                     document, backed up as one change set
//   wlscan --version                                  the program's version
// Ref.dbd is read from beside the program. Output is UTF-8. Exit status: 0
// fine (nothing flagged, every write made); 1 items flagged (scan; with a
// baseline, items new or changed since it) or some
// writes failed (immunize, unimmunize), some item not restored (restore),
// some item skipped or not fixed (fix); 2 error (usage, Ref.dbd not
// loadable, output not writable, a baseline that cannot be read or is no
// scan document), with a message on standard error.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/ascii.h"
#include "core/hive.h"
#include "core/hive_listing.h"
#include "core/table_text.h"
#include "core/version.h"
#include "immunize/immunity.h"
#include "judge/windows_facts.h"
#include "network/packet_listing.h"
#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "documents/baseline_file.h"
#include "scan/hijack_report.h"
#include "console/fix_command.h"
#include "console/hijack_scan.h"
#include "scan/report_file.h"
#include "documents/scan_document.h"
#include "features/feature_table.h"
#include "sysroutines/system_info.h"
#include "sysroutines/system_paths.h"
#include "undo/backup_store.h"
#include "undo/undo_commands.h"
#include "win32/dll_search.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace {

constexpr int kFine = 0;
constexpr int kFlagged = 1;
constexpr int kError = 2;

// The version the program shows.
constexpr char kProgramVersion[] = "v" WL_VERSION_TEXT;

void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void Error(const std::string& text) {
  const std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

int Usage(const std::string& why = {}) {
  std::string pages;
  for (const wl::Feature& f : wl::Features())
    if (f.wlscanPage) pages += std::string(" ") + f.name;
  if (!why.empty()) Error("wlscan: " + why);
  Error("usage: wlscan PAGE [--format tsv|json|csv]\n"
        "       wlscan hijack-rows PAGE [--format tsv|json|csv]\n"
        "       wlscan scan [--format text|json|csv] [--output FILE] [--baseline FILE]\n"
        "       wlscan immunity spyware|sites [--format tsv|json|csv]\n"
        "       wlscan immunize spyware|sites --all | ID...\n"
        "       wlscan unimmunize spyware|sites --all | ID...\n"
        "       wlscan packets FILE [--format tsv|json|csv]\n"
        "       wlscan hive FILE [--no-logs] [--format tsv|json|csv]\n"
        "       wlscan restore ID [--overwrite] [--dry-run]\n"
        "       wlscan fix FILE\n"
        "       wlscan --version\n"
        "pages:" + pages);
  return kError;
}

const wl::Feature* FindPage(const std::string& name) {
  const wl::Feature* feature = wl::FindFeature(name);
  return feature && feature->wlscanPage ? feature : nullptr;
}

// The arguments after the command: --format, --output, --all, --baseline
// (only where allowed) and the rest.
struct Options {
  std::string format;
  std::optional<std::string> output;
  std::optional<std::string> baseline;
  bool all = false;
  std::vector<std::string> words;
  std::string error;
};

Options ParseOptions(const std::vector<std::string>& args, std::size_t from, bool baselineAllowed = false) {
  Options o;
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--format" || a == "--output" || (baselineAllowed && a == "--baseline")) {
      if (i + 1 >= args.size()) {
        o.error = a + " needs a value";
        return o;
      }
      (a == "--format" ? o.format : a == "--output" ? o.output.emplace() : o.baseline.emplace()) = args[++i];
    } else if (a.starts_with("--format=")) {
      o.format = a.substr(9);
    } else if (a.starts_with("--output=")) {
      o.output = a.substr(9);
    } else if (baselineAllowed && a.starts_with("--baseline=")) {
      o.baseline = a.substr(11);
    } else if (a == "--all") {
      o.all = true;
    } else if (a.starts_with("--")) {
      o.error = "unknown option " + a;
      return o;
    } else {
      o.words.push_back(a);
    }
  }
  return o;
}

bool LoadTables(wl::ReferenceTables& tables, wl::MainDbValues& mainDb) {
  const std::string refdb = wl::OwnProgramFolder() + "Ref.dbd";
  try {
    wl::TZLBArchive archive;
    archive.Open(refdb);
    wl::LoadReferenceTables(archive, tables, mainDb);
  } catch (const std::exception& e) {
    Error("Cannot load " + refdb + ": " + e.what());
    return false;
  }
  return true;
}

// A listing in the chosen format; false for an unknown format.
bool WriteListing(const std::string& format, const std::string& page, const wl::PageText& text) {
  if (format.empty() || format == "tsv") {
    Write(wl::FormatTable(text.header, text.rows));
  } else if (format == "csv") {
    Write(wl::FormatCsv(text.header, text.rows));
  } else if (format == "json") {
    Write(wl::PageJson(page, text));
  } else {
    return false;
  }
  return true;
}

int PageCommand(const std::vector<std::string>& args) {
  const bool hijackRows = args[0] == "hijack-rows";
  const Options o = ParseOptions(args, 1);
  if (!o.error.empty()) return Usage(o.error);
  if (o.output || o.all || o.words.size() != (hijackRows ? 1u : 0u)) return Usage();
  const wl::Feature* page = FindPage(hijackRows ? o.words[0] : args[0]);
  if (!page) return Usage();
  if (!o.format.empty() && o.format != "tsv" && o.format != "csv" && o.format != "json")
    return Usage("unknown format " + o.format);

  wl::ReferenceTables tables;
  wl::MainDbValues mainDb;
  if (!LoadTables(tables, mainDb)) return kError;
  const wl::WindowsFacts facts;
  const wl::Judge judge(tables, facts);
  const wl::PageText text = page->listing(judge);
  if (!hijackRows) {
    WriteListing(o.format, page->name, text);
    return kFine;
  }
  if (o.format == "json") {
    Write(wl::PageItemsJson(page->name, wl::ScanItems(page->name, text)));
    return kFine;
  }
  wl::PageText rows;
  rows.header = {"Item Name", "Description", "Index"};
  for (const auto& r : text.hijack) rows.rows.push_back({r.itemName, r.description, r.IndexText()});
  WriteListing(o.format, page->name, rows);
  return kFine;
}

// A capture file's packets as the sniffer lists them; needs no Ref.dbd.
int PacketsCommand(const std::vector<std::string>& args) {
  const Options o = ParseOptions(args, 1);
  if (!o.error.empty()) return Usage(o.error);
  if (o.output || o.all || o.words.size() != 1) return Usage();
  if (!o.format.empty() && o.format != "tsv" && o.format != "csv" && o.format != "json")
    return Usage("unknown format " + o.format);
  wl::PageText text;
  std::string error;
  const bool ok = wl::PacketsPageText(o.words[0], text, error);
  WriteListing(o.format, "packets", text);
  if (!ok) Error(error);
  return ok ? kFine : kError;
}

// Every key and value of a registry hive file, read by the portable reader
// (nothing is loaded into the registry); FILE.LOG1 and FILE.LOG2 beside a
// dirty hive are applied unless --no-logs. Needs no Ref.dbd. A damaged hive
// gives what can be read, then what is wrong (exit 2).
int HiveCommand(const std::vector<std::string>& args) {
  std::vector<std::string> rest;
  bool logs = true;
  for (const auto& a : args)
    if (a == "--no-logs")
      logs = false;
    else
      rest.push_back(a);
  const Options o = ParseOptions(rest, 1);
  if (!o.error.empty()) return Usage(o.error);
  if (o.output || o.all || o.words.size() != 1) return Usage();
  if (!o.format.empty() && o.format != "tsv" && o.format != "csv" && o.format != "json")
    return Usage("unknown format " + o.format);
  const std::string& path = o.words[0];
  std::string error;
  const auto hive = wl::hive::OpenHiveFile(path, {logs}, error);
  if (!hive) {
    Error("wlscan: " + error);
    return kError;
  }
  const std::size_t slash = path.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  WriteListing(o.format, "hive", wl::HiveListingText(*hive));
  if (const std::string recovery = wl::HiveRecoveryText(*hive, name, logs); !recovery.empty())
    Error("wlscan: " + recovery);
  if (!hive->Root()) {
    Error("wlscan: " + path + ": " + hive->Error());
    return kError;
  }
  const auto problems = hive->Problems();
  for (const auto& p : problems) Error("wlscan: " + path + ": " + p);
  if (!problems.empty()) {
    Error("wlscan: " + path + " is damaged; the rows above are what could be read");
    return kError;
  }
  return kFine;
}

int ScanCommand(const std::vector<std::string>& args) {
  const Options o = ParseOptions(args, 1, true);
  if (!o.error.empty()) return Usage(o.error);
  if (o.all || !o.words.empty()) return Usage();
  const std::string format = o.format.empty() ? "text" : o.format;
  if (format != "text" && format != "json" && format != "csv") return Usage("unknown format " + format);
  if (o.baseline && o.baseline->empty()) return Usage("--baseline needs a file");

  // The baseline is read before the scan: a bad one is an error, never
  // "nothing new".
  wl::Baseline baseline;
  std::string why;
  if (o.baseline && !wl::ReadBaselineFile(*o.baseline, baseline, why)) {
    Error("wlscan: " + why);
    return kError;
  }

  wl::ReferenceTables tables;
  wl::MainDbValues mainDb;
  if (!LoadTables(tables, mainDb)) return kError;
  wl::HijackList list;
  const wl::WindowsFacts facts;
  const wl::Judge judge(tables, facts);
  std::vector<wl::ScanItem> items = wl::RunHeadlessHijackScan(judge, list);
  std::vector<wl::HijackRow> rows = list.Rows();
  std::optional<wl::ScanBaselineHead> compared;
  if (o.baseline) {
    // One item per report row, in the same order: both keep what is new or changed.
    const wl::BaselineComparison comparison = wl::CompareWithBaseline(baseline, items);
    std::vector<wl::HijackRow> kept;
    for (std::size_t i = 0; i < rows.size() && i < comparison.items.size(); ++i)
      if (comparison.items[i] != wl::SinceBaseline::Same) kept.push_back(rows[i]);
    rows = std::move(kept);
    items = wl::NewAndChangedItems(std::move(items), comparison);
    compared = wl::ScanBaselineHead{*o.baseline,          baseline.computer,         baseline.time,
                                    baseline.items.size(), comparison.newCount,       comparison.changedCount,
                                    comparison.goneCount};
    Error("wlscan: " + wl::BaselineSummary(comparison, *o.baseline) + " (" + std::to_string(comparison.goneCount) +
          " no longer found)");
  }

  std::string out;
  if (format == "text") {
    const std::string text = wl::JoinLines(wl::HijackReportLines(wl::ShortDateToday(), wl::GetWindowsVersionName(),
                                                                 rows));
    out = o.output ? wl::ReportFileBytes(text) : text;
  } else if (format == "json") {
    wl::ScanHead head = wl::ScanHeadOfThisSystem();
    head.programVersion = kProgramVersion;
    head.databaseUpdated = mainDb.lastUpdated;
    head.databaseDefinitions = mainDb.definitions;
    head.baseline = compared;
    out = wl::ScanJson(head, items);
  } else {
    out = wl::ScanCsv(items);
  }
  if (o.output) {
    if (const uint32_t error = wl::WriteWholeFile(*o.output, out)) {
      Error("Cannot write " + *o.output + ": " + wl::win32::SystemErrorText(error));
      return kError;
    }
  } else {
    Write(out);
  }
  return items.empty() ? kFine : kFlagged;
}

std::optional<wl::ImmunityKind> KindOf(const std::string& word) {
  if (word == "spyware") return wl::ImmunityKind::Spyware;
  if (word == "sites") return wl::ImmunityKind::Sites;
  return std::nullopt;
}

int ImmunityCommand(const std::vector<std::string>& args) {
  const std::string& command = args[0];
  const Options o = ParseOptions(args, 1);
  if (!o.error.empty()) return Usage(o.error);
  if (o.words.empty() || o.output) return Usage();
  const auto kind = KindOf(o.words[0]);
  if (!kind) return Usage("expected spyware or sites, not " + o.words[0]);
  const std::vector<std::string> ids(o.words.begin() + 1, o.words.end());

  wl::ReferenceTables tables;
  wl::MainDbValues mainDb;
  if (!LoadTables(tables, mainDb)) return kError;
  const auto entries = wl::ImmunityEntries(*kind == wl::ImmunityKind::Spyware ? tables.hijack : tables.sites);
  const std::vector<bool> stored = wl::LoadImmunity(*kind, entries);

  if (command == "immunity") {
    if (o.all || !ids.empty()) return Usage();
    if (!o.format.empty() && o.format != "tsv" && o.format != "csv" && o.format != "json")
      return Usage("unknown format " + o.format);
    wl::PageText text;
    text.header = *kind == wl::ImmunityKind::Spyware ? wl::TextRow{"CLSID", "Name", "Status"}
                                                     : wl::TextRow{"Domain", "Description", "Status"};
    text.keys = {"id", "name", "status"};
    for (std::size_t i = 0; i < entries.size(); ++i)
      text.rows.push_back({entries[i].id, entries[i].name, wl::ImmunityWord(stored[i])});
    WriteListing(o.format, o.words[0], text);
    return kFine;
  }

  if (!o.format.empty()) return Usage();
  if (o.all == !ids.empty()) return Usage("name the entries, or --all");
  const bool immunize = command == "immunize";
  std::vector<bool> wanted = stored;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (o.all) wanted[i] = immunize;
  for (const std::string& id : ids) {
    bool found = false;
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (wl::EqualsNoCase(entries[i].id, id)) {
        wanted[i] = immunize;
        found = true;
      }
    if (!found) {
      Error("wlscan: " + id + " is not in the list; nothing was changed");
      return kError;
    }
  }
  const wl::ImmunityApplyResult result = wl::ApplyImmunity(*kind, entries, stored, wanted);
  for (const auto& f : result.failures) Error(f.id + ": " + f.reason);
  Write(std::to_string(result.changed) + (result.changed == 1 ? " entry" : " entries") + " changed, " +
        std::to_string(result.failures.size()) + " failed\n");
  return result.ok() ? kFine : kFlagged;
}

// Fixes what a scan document lists, as one change set of the backups. The
// document is read whole first: a damaged one changes nothing.
int FixCommand(const std::vector<std::string>& args) {
  const Options o = ParseOptions(args, 1);
  if (!o.error.empty()) return Usage(o.error);
  if (o.output || o.all || !o.format.empty() || o.words.size() != 1) return Usage();
  const auto bytes = wl::undo::ReadWholeFile(o.words[0]);
  if (!bytes) {
    Error("Cannot read " + o.words[0]);
    return kError;
  }
  std::vector<wl::FixRequest> requests;
  std::string why;
  if (!wl::ReadFixDocument(*bytes, requests, why)) {
    Error("wlscan: " + o.words[0] + ": " + why + "; nothing was changed");
    return kError;
  }
  wl::ReferenceTables tables;
  wl::MainDbValues mainDb;
  if (!LoadTables(tables, mainDb)) return kError;

  wl::undo::ScopedBackupRecording backups;
  wl::undo::ChangeSet set("wlscan", "fix");
  const wl::WindowsFacts facts;
  const wl::Judge judge(tables, facts);
  const std::vector<wl::FixLine> lines = wl::FixScanItems(judge, requests);
  int counts[3] = {};
  std::string out;
  for (const auto& line : lines) {
    ++counts[static_cast<int>(line.outcome)];
    out += line.id + "\t" + wl::FixOutcomeWord(line.outcome) + "\t" + line.message + "\n";
  }
  out += std::to_string(counts[0]) + " fixed, " + std::to_string(counts[1]) + " skipped, " +
         std::to_string(counts[2]) + " failed\n";
  if (const std::string id = set.Id(); !id.empty()) out += "Backup: " + id + "\n";
  Write(out);
  return counts[1] || counts[2] ? kFlagged : kFine;
}

int Run(const std::vector<std::string>& args) {
  if (args.size() == 1 && args[0] == "--version") {
    Write("wlscan " WL_VERSION_TEXT "\n");
    return kFine;
  }
  try {
    if (args[0] == "packets") return PacketsCommand(args);
    if (args[0] == "hive") return HiveCommand(args);
    if (args[0] == "restore") {
      const auto restored = wl::undo::RestoreCommand(args);
      Write(restored.out);
      if (!restored.err.empty()) Error(restored.err);
      return restored.status;
    }
    if (args[0] == "scan") return ScanCommand(args);
    if (args[0] == "fix") return FixCommand(args);
    if (args[0] == "immunize" || args[0] == "unimmunize") {
      // Every write is backed up first, all of them in one change set.
      wl::undo::ScopedBackupRecording backups;
      wl::undo::ChangeSet set("wlscan", args[0] + (args.size() > 1 ? " " + args[1] : std::string()));
      return ImmunityCommand(args);
    }
    if (args[0] == "immunity") return ImmunityCommand(args);
    return PageCommand(args);
  } catch (const std::exception& e) {
    Error(std::string("wlscan: ") + e.what());
    return kError;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Before anything else: no DLL from the program's folder or the current
  // folder.
  wl::win32::RestrictDllSearchToSystem();
  // The bytes go out as they are: CSV records end with CR LF, other lines with LF.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(wl::win32::Narrow(argv[i]));
  if (args.empty()) return Usage();
  const int status = Run(args);
  // A folder of the backup store that someone else made first was set aside.
  if (const std::string notice = wl::undo::TakeStoreNotice(); !notice.empty()) Error("wlscan: " + notice);
  return status;
}
