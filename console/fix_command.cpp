#include "console/fix_command.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "autorun/autorun_actions.h"
#include "autorun/autorun_scan.h"
#include "browser/helper_objects.h"
#include "browser/ie_sweeper.h"
#include "browser/other_browsers_actions.h"
#include "browser/other_browsers_page_text.h"
#include "browser/other_browsers_scan.h"
#include "network/network_settings_scan.h"
#include "service/service_actions.h"
#include "service/service_page_text.h"
#include "settings/association_scan.h"
#include "settings/settings_page_text.h"
#include "settings/settings_repair.h"
#include "sysroutines/system_info.h"

namespace wl {
namespace {

struct Done {
  FixOutcome outcome;
  std::string message;
};

Done FromWrite(const WriteResult& r, const std::string& done) {
  if (r) return {FixOutcome::Fixed, done};
  return {FixOutcome::Failed, r.message.empty() ? "the change was not made" : r.message};
}

// A page scanned now, and how to fix the entry of one of its hijack rows.
struct PageFix {
  PageText text;
  std::function<Done(std::size_t hijackRow)> fix;
};

PageFix AutorunFix(const Judge& judge) {
  const AutorunPlaces places = AutorunPlaces::OfThisSystem();
  auto scan = std::make_shared<AutorunScanResult>(ScanAutorun(judge, places));
  return {AutorunPageTextOf(*scan), [scan, places](std::size_t k) -> Done {
            const HijackRow& h = scan->hijack[k];
            if (h.index < 0 || static_cast<std::size_t>(h.index) >= scan->rows.size())
              return {FixOutcome::Failed, "the entry's row is missing"};
            const AutorunRow& row = scan->rows[static_cast<std::size_t>(h.index)];
            // The entry only: the program file stays where it is, as the page
            // leaves it unless asked.
            const RemovalOutcome out = RemoveAutorunItem(row, {.deleteProgramFile = false, .deleteEntry = true}, places);
            if (!out.entryRemoved)
              return {FixOutcome::Failed, out.entryError.empty() ? "the entry is still there" : out.entryError};
            if (!row.element.empty()) return {FixOutcome::Fixed, "removed from its list; the rest stays"};
            if (row.removal == AutorunRemoval::TransferJob)
              return {FixOutcome::Fixed, "the transfer job was cancelled (a cancelled job cannot be restored)"};
            if (row.removal == AutorunRemoval::TerminalLogon)
              return {FixOutcome::Fixed, "startOnUserLogin set to false"};
            if (row.removal == AutorunRemoval::WmiSubscription)
              return {FixOutcome::Fixed, "removed with its bindings and the filters no other binding uses"};
            return {FixOutcome::Fixed, CanRestoreDefault(row) ? "set back to the system's default" : "removed"};
          }};
}

PageFix ServicesFix(const Judge& judge) {
  auto scan = std::make_shared<ServiceScanResult>(ScanServices(judge));
  return {ServicesPageTextOf(*scan), [scan, &judge](std::size_t k) -> Done {
            const std::string& name = scan->hijack[k].entryKey;
            for (const ServiceRow& row : scan->rows) {
              if (row.keyName != name) continue;
              // What the service starts is judged again with the real tables,
              // and the file deleted is the one it would start.
              const RemoveServiceResult r = RemoveServiceEntry(row, judge);
              switch (r.outcome) {
                case RemoveServiceOutcome::Removed:
                  if (!r.programKeptReason.empty()) return {FixOutcome::Fixed, "removed; " + r.programKeptReason};
                  if (!r.programKeptFor.empty())
                    return {FixOutcome::Fixed, "removed; " + ProgramKeptText(r.program, r.programKeptFor)};
                  return {FixOutcome::Fixed, r.fileResult && !*r.fileResult
                                                 ? "removed; its program file stays: " + r.fileResult->message
                                                 : "removed with its program file"};
                case RemoveServiceOutcome::SystemService:
                  return {FixOutcome::Skipped, "its program is a Windows system file"};
                case RemoveServiceOutcome::CannotStop: return {FixOutcome::Failed, "it did not stop"};
                case RemoveServiceOutcome::KeyNotDeleted:
                  return {FixOutcome::Failed, "its key was not deleted: " + r.keyResult.message};
              }
            }
            return {FixOutcome::Failed, "the service's row is missing"};
          }};
}

PageFix AssociationsFix(const Judge&) {
  auto assoc = std::make_shared<AssociationTables>(BuildAssociationTables());
  const AssociationScanResult scan = ScanAssociations(*assoc);
  auto hijack = std::make_shared<std::vector<HijackRow>>(scan.hijack);
  return {AssociationsPageTextOf(scan), [assoc, hijack](std::size_t k) -> Done {
            const int index = (*hijack)[k].index;
            if (index < 0) return {FixOutcome::Failed, "the association's row is missing"};
            return FromWrite(RestoreDefaultAssociation(*assoc, static_cast<std::size_t>(index)),
                             "its default command was written back");
          }};
}

PageFix IeExtensionsFix(const Judge& judge) {
  auto scan = std::make_shared<IeExtensionScanResult>(ScanIeExtensions(judge.Tables()));
  JudgeIeExtensions(scan->rows, judge);
  // One hijack row per list row, in the same order.
  return {IeExtensionsPageTextOf(*scan), [scan](std::size_t k) -> Done {
            if (k >= scan->rows.size()) return {FixOutcome::Failed, "the entry's row is missing"};
            return FromWrite(RemoveIeExtension(scan->rows[k]), "removed");
          }};
}

PageFix HelperObjectsFix(const Judge& judge) {
  auto scan = std::make_shared<HelperObjectScanResult>(ScanHelperObjects(judge.Tables()));
  JudgeHelperObjects(scan->rows, judge);
  return {HelperObjectsPageTextOf(*scan), [scan](std::size_t k) -> Done {
            const int index = scan->hijack[k].index;
            if (index < 0 || static_cast<std::size_t>(index) >= scan->rows.size())
              return {FixOutcome::Failed, "the entry's row is missing"};
            const HelperObjectRow& row = scan->rows[static_cast<std::size_t>(index)];
            if (!CanRemoveHelperObject(row))
              return {FixOutcome::Skipped, "it has no helper-object or extension entry to remove"};
            return FromWrite(RemoveHelperObject(row), "removed");
          }};
}

PageFix OtherBrowsersFix(const Judge&) {
  auto rows = std::make_shared<std::vector<BrowserRow>>(ScanOtherBrowsers());
  PageText text = OtherBrowsersPageTextOf(*rows);
  std::vector<HijackRow> hijack = text.hijack;
  return {std::move(text), [rows, hijack = std::move(hijack)](std::size_t k) -> Done {
            const int index = hijack[k].index;
            if (index < 0 || static_cast<std::size_t>(index) >= rows->size())
              return {FixOutcome::Failed, "the entry's row is missing"};
            const BrowserRow& row = (*rows)[static_cast<std::size_t>(index)];
            if (!CanRepair(row))
              return {FixOutcome::Skipped, "it is kept in the browser's profile files: reset it in the browser"};
            return FromWrite(RepairBrowserRow(row), "repaired");
          }};
}

PageFix NetworkSettingsFix(const Judge& judge) {
  auto rows = std::make_shared<std::vector<NetworkSettingRow>>(
      ScanNetworkSettings(judge.Tables(), NetworkSettingsPlaces::OfThisSystem(), &judge));
  PageText text = NetworkSettingsPageTextOf(*rows);
  std::vector<HijackRow> hijack = text.hijack;
  return {std::move(text), [rows, hijack = std::move(hijack)](std::size_t k) -> Done {
            const int index = hijack[k].index;
            if (index < 0 || static_cast<std::size_t>(index) >= rows->size())
              return {FixOutcome::Failed, "the entry's row is missing"};
            const NetworkSettingRow& row = (*rows)[static_cast<std::size_t>(index)];
            if (!CanRepair(row))
              return {FixOutcome::Skipped, row.kind.starts_with("Winsock")
                                               ? "the provider's entry names no GUID to remove it by"
                                               : "it has nothing to repair"};
            return FromWrite(RepairNetworkSetting(row), row.repair == NetworkRepair::CommentOutHostsLine
                                                            ? "its hosts line was commented out"
                                                        : row.repair == NetworkRepair::RemoveWinsockProvider
                                                            ? "removed from its catalog through the system's setup routines"
                                                            : "removed");
          }};
}

struct PageFixer {
  const char* page;
  PageFix (*prepare)(const Judge&);
};

const PageFixer kFixers[] = {
    {"autorun", &AutorunFix},          {"services", &ServicesFix}, {"associations", &AssociationsFix},
    {"ieext", &IeExtensionsFix},       {"bho", &HelperObjectsFix}, {"browsers", &OtherBrowsersFix},
    {"network-settings", &NetworkSettingsFix},
};

}  // namespace

const char* FixOutcomeWord(FixOutcome outcome) {
  switch (outcome) {
    case FixOutcome::Fixed: return "fixed";
    case FixOutcome::Skipped: return "skipped";
    case FixOutcome::Failed: return "failed";
  }
  return "?";
}

std::vector<FixLine> FixScanItems(const Judge& judge, const std::vector<FixRequest>& requests) {
  std::vector<FixLine> lines(requests.size());
  for (std::size_t i = 0; i < requests.size(); ++i) lines[i].id = requests[i].id;
  std::vector<bool> handled(requests.size(), false);

  for (std::size_t first = 0; first < requests.size(); ++first) {
    if (handled[first]) continue;
    const std::string page = requests[first].page;
    const PageFixer* fixer = nullptr;
    for (const PageFixer& f : kFixers)
      if (page == f.page) fixer = &f;
    // Each page is scanned once, then its requested items are fixed in order.
    std::optional<PageFix> scanned;
    std::vector<ScanItem> items;
    std::set<std::size_t> fixedRows;
    std::set<std::string> seenIds;
    if (fixer) {
      scanned = fixer->prepare(judge);
      items = ScanItems(page, scanned->text);
    }
    for (std::size_t i = first; i < requests.size(); ++i) {
      if (handled[i] || requests[i].page != page) continue;
      handled[i] = true;
      FixLine& line = lines[i];
      if (!fixer) {
        line = {requests[i].id, FixOutcome::Skipped, "items of the page \"" + page + "\" are not fixed here"};
        continue;
      }
      if (!seenIds.insert(requests[i].id).second) {
        line.message = "listed twice";
        continue;
      }
      std::string difference;
      std::optional<std::size_t> match;
      for (std::size_t k = 0; k < items.size() && !match; ++k) {
        if (items[k].id != requests[i].id || fixedRows.count(k)) continue;
        const std::string d = DifferenceSinceScan(requests[i], items[k]);
        if (d.empty()) match = k;
        else if (difference.empty()) difference = d;
      }
      if (!match) {
        line.message = difference.empty() ? "no longer found" : "changed since the scan: " + difference;
        continue;
      }
      fixedRows.insert(*match);
      const Done done = scanned->fix(*match);
      line.outcome = done.outcome;
      line.message = done.message;
    }
  }
  return lines;
}

}  // namespace wl
