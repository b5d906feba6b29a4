#include "scan/hijack_page.h"

#include "scan/hijack_report.h"
#include "scan/report_file.h"
#include "sysroutines/system_info.h"
#include "win32/file_dialog.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {

HijackPage::HijackPage(ui::PageContext& context)
    : ListPage(context,
               {{"Item Name", 300, [](const HijackRow& r) { return r.itemName; }},
                {"Description", 220, [](const HijackRow& r) { return r.description; },
                 [](const HijackRow& r) { return r.image; }},
                {"Index", 0, [](const HijackRow& r) { return r.IndexText(); }}},
               win32::ListStyle{.subItemImages = true}) {
  AddAction({.id = kSaveReportButton,
             .caption = "Save Report",
             .hint = "Save scan report to text file.",
             .glyph = ui::Glyph::Save,
             .handler = [this] { SaveReportClick(); },
             .menu = false});
  OnColumnClick([this](int) { HijackListColumnClick(); });
  chooseFile = [this](const std::string& suggested) {
    return win32::AskSaveFile(context_.ui.OwnerWindow(),
                              {.filter = "Text File|*.txt", .defaultExtension = "txt", .suggestedName = suggested});
  };
  today = ShortDateToday;
  systemName = GetWindowsVersionName;
}

void HijackPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.categoryImages.get());
}

void HijackPage::ShowReport() {
  shownRevision_ = context_.hijack.Revision();
  ShowRows(context_.hijack.Rows());
}

void HijackPage::OnShow() {
  if (context_.hijack.Revision() != shownRevision_) ShowReport();
}

void HijackPage::HijackListColumnClick() { List().SortByCaption(); }

void HijackPage::SaveReportClick() {
  const std::string date = today();
  const auto file = chooseFile(HijackReportFileName(date));
  if (!file || file->empty()) return;
  const std::string bytes = ReportFileBytes(JoinLines(HijackReportLines(date, systemName(), List().Rows())));
  const uint32_t error = WriteWholeFile(*file, bytes);
  if (error)
    context_.ui.Message("The report could not be saved to \"" + *file + "\":\r\n" + win32::SystemErrorText(error),
                        "Save Report", MB_OK | MB_ICONERROR);
}

}  // namespace wl
