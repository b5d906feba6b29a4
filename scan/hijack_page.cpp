#include "scan/hijack_page.h"

#include <commdlg.h>

#include "scan/hijack_report.h"
#include "sysroutines/system_info.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {

namespace {

std::string ShortDateToday() {
  wchar_t buf[128] = {};
  if (!GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buf, 128, nullptr)) return {};
  return win32::Narrow(buf);
}

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

// Converts UTF-8 text to the system's ANSI code page.
std::string ToAnsi(const std::string& utf8) {
  const std::wstring wide = win32::Widen(utf8);
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

HijackPage::HijackPage(app::PageContext& context)
    : ListPage(context,
               {{"Item Name", 300, [](const HijackRow& r) { return r.itemName; }},
                {"Description", 220, [](const HijackRow& r) { return r.description; },
                 [](const HijackRow& r) { return r.image; }},
                {"Index", 0, [](const HijackRow& r) { return r.IndexText(); }}},
               win32::ListStyle{.subItemImages = true}) {
  AddAction({.id = kToolButton31,
             .caption = "Save Report",
             .hint = "Save scan report to text file.",
             .glyph = app::Glyph::Save,
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
  const std::string text = ToAnsi(JoinLines(HijackReportLines(date, systemName(), List().Rows())));
  win32::UniqueHfile out(CreateFileW(win32::Widen(*file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD error = 0;
  if (!out) {
    error = GetLastError();
  } else {
    DWORD written = 0;
    if (!WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
      error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
  }
  if (error)
    context_.ui.Message("The report could not be saved to \"" + *file + "\":\r\n" + win32::SystemErrorText(error),
                        "Save Report", MB_OK | MB_ICONERROR);
}

}  // namespace wl
