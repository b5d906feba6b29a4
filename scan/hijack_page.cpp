#include "scan/hijack_page.h"

#include <commdlg.h>

#include "scan/hijack_report.h"
#include "scan/report_file.h"
#include "sysroutines/system_info.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {

namespace {

std::optional<std::string> AskSaveFile(HWND owner, const std::string& suggested) {
  std::wstring file = win32::Widen(suggested);
  file.resize(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = L"Text File\0*.txt\0";
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrDefExt = L"txt";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!GetSaveFileNameW(&ofn)) return std::nullopt;
  return win32::Narrow(file.c_str());
}

}  // namespace

HijackPage::HijackPage(ui::PageContext& context)
    : ListPage(context,
               {{"Item Name", 300, [](const HijackRow& r) { return r.itemName; }},
                {"Description", 220, [](const HijackRow& r) { return r.description; },
                 [](const HijackRow& r) { return r.image; }},
                {"Index", 0, [](const HijackRow& r) { return r.IndexText(); }}},
               win32::ListStyle{.subItemImages = true}) {
  AddAction({.id = kToolButton31,
             .caption = "Save Report",
             .hint = "Save scan report to text file.",
             .glyph = ui::Glyph::Save,
             .handler = [this] { ToolButton31Click(); },
             .menu = false});
  OnColumnClick([this](int) { HijackListColumnClick(); });
  chooseFile = [this](const std::string& suggested) { return AskSaveFile(context_.ui.MainWindow(), suggested); };
  today = ShortDateToday;
  systemName = GetWindowsVersionName;
}

void HijackPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.imageList1.get());
}

void HijackPage::ShowReport() {
  shownRevision_ = context_.hijack.Revision();
  ShowRows(context_.hijack.Rows());
}

void HijackPage::OnShow() {
  if (context_.hijack.Revision() != shownRevision_) ShowReport();
}

void HijackPage::HijackListColumnClick() { List().SortByCaption(); }

void HijackPage::ToolButton31Click() {
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
