#include "features/page_fixes.h"

#include <memory>

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

FixDone FromWrite(const WriteResult& r, const std::string& done) {
  if (r) return {FixOutcome::Fixed, done};
  return {FixOutcome::Failed, r.message.empty() ? "the change was not made" : r.message};
}

// The fix of a page whose hijack rows name its rows by their place:
// fixRow(row) for the row a hijack row names.
template <class Row, class FixRow>
PageFix FixByRow(std::shared_ptr<const std::vector<Row>> rows, PageText text, FixRow fixRow) {
  std::vector<HijackRow> hijack = text.hijack;
  return {std::move(text), [rows, hijack = std::move(hijack), fixRow](std::size_t k) -> FixDone {
            const HijackRow& h = hijack[k];
            if (h.index < 0 || static_cast<std::size_t>(h.index) >= rows->size())
              return {FixOutcome::Failed, "the entry's row is missing"};
            return fixRow((*rows)[static_cast<std::size_t>(h.index)]);
          }};
}

}  // namespace

PageFix AutorunFix(const Judge& judge) {
  const AutorunPlaces places = AutorunPlaces::OfThisSystem();
  auto scan = std::make_shared<AutorunScanResult>(ScanAutorun(judge, places));
  PageText text = AutorunPageTextOf(*scan);
  return FixByRow(std::shared_ptr<const std::vector<AutorunRow>>(scan, &scan->rows), std::move(text),
                  [places](const AutorunRow& row) -> FixDone {
                    // The entry only: the program file stays where it is, as
                    // the page leaves it unless asked.
                    const RemovalOutcome out =
                        RemoveAutorunItem(row, {.deleteProgramFile = false, .deleteEntry = true}, places);
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
                  });
}

PageFix ServicesFix(const Judge& judge) {
  auto scan = std::make_shared<ServiceScanResult>(ScanServices(judge));
  return {ServicesPageTextOf(*scan), [scan, &judge](std::size_t k) -> FixDone {
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
  return {AssociationsPageTextOf(scan), [assoc, hijack](std::size_t k) -> FixDone {
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
  return {IeExtensionsPageTextOf(*scan), [scan](std::size_t k) -> FixDone {
            if (k >= scan->rows.size()) return {FixOutcome::Failed, "the entry's row is missing"};
            return FromWrite(RemoveIeExtension(scan->rows[k]), "removed");
          }};
}

PageFix HelperObjectsFix(const Judge& judge) {
  auto scan = std::make_shared<HelperObjectScanResult>(ScanHelperObjects(judge.Tables()));
  JudgeHelperObjects(scan->rows, judge);
  PageText text = HelperObjectsPageTextOf(*scan);
  return FixByRow(std::shared_ptr<const std::vector<HelperObjectRow>>(scan, &scan->rows), std::move(text),
                  [](const HelperObjectRow& row) -> FixDone {
                    if (!CanRemoveHelperObject(row))
                      return {FixOutcome::Skipped, "it has no helper-object or extension entry to remove"};
                    return FromWrite(RemoveHelperObject(row), "removed");
                  });
}

PageFix OtherBrowsersFix(const Judge&) {
  auto rows = std::make_shared<const std::vector<BrowserRow>>(ScanOtherBrowsers());
  return FixByRow(rows, OtherBrowsersPageTextOf(*rows), [](const BrowserRow& row) -> FixDone {
    if (!CanRepair(row))
      return {FixOutcome::Skipped, "it is kept in the browser's profile files: reset it in the browser"};
    return FromWrite(RepairBrowserRow(row), "repaired");
  });
}

PageFix NetworkSettingsFix(const Judge& judge) {
  auto rows = std::make_shared<const std::vector<NetworkSettingRow>>(
      ScanNetworkSettings(judge.Tables(), NetworkSettingsPlaces::OfThisSystem(), &judge));
  return FixByRow(rows, NetworkSettingsPageTextOf(*rows), [](const NetworkSettingRow& row) -> FixDone {
    if (!CanRepair(row))
      return {FixOutcome::Skipped, row.kind.starts_with("Winsock") ? "the provider's entry names no GUID to remove it by"
                                                                   : "it has nothing to repair"};
    return FromWrite(RepairNetworkSetting(row), row.repair == NetworkRepair::CommentOutHostsLine
                                                    ? "its hosts line was commented out"
                                                : row.repair == NetworkRepair::RemoveWinsockProvider
                                                    ? "removed from its catalog through the system's setup routines"
                                                    : "removed");
  });
}

}  // namespace wl
