// wlscan: the headless front of the scanners, for scripting and tests.
//   wlscan PAGE              the page's rows: a header line with its column
//                            titles, then one line per row, tab-separated, UTF-8
//   wlscan hijack-rows PAGE  the hijack-report rows that page's scan appends
// Ref.dbd is read from beside the program. Exit status 1 with a message on
// standard error when it cannot be loaded or the command is unknown.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "scan/page_text.h"
#include "undo/undo_commands.h"
#include "win32/unicode.h"

namespace {

void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void Error(const std::string& text) {
  const std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string ProgramFolder() {
  std::wstring buf(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  buf.resize(n);
  const auto slash = buf.find_last_of(L"\\/");
  return wl::win32::Narrow(buf.substr(0, slash + 1));
}

int Usage() {
  std::string pages;
  for (const auto& p : wl::PageScans()) pages += std::string(" ") + p.name;
  Error("usage: wlscan PAGE | wlscan hijack-rows PAGE\npages:" + pages);
  return 2;
}

const wl::PageScanEntry* FindPage(const std::string& name) {
  for (const auto& p : wl::PageScans())
    if (name == p.name) return &p;
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(wl::win32::Narrow(argv[i]));
  if (args.empty()) return Usage();
  if (args[0] == "restore") {
    const auto restored = wl::undo::RestoreCommand(args);
    Write(restored.out);
    if (!restored.err.empty()) Error(restored.err);
    return restored.status;
  }
  const bool hijackRows = args[0] == "hijack-rows";
  if (hijackRows && args.size() != 2) return Usage();
  if (!hijackRows && args.size() != 1) return Usage();
  const wl::PageScanEntry* page = FindPage(hijackRows ? args[1] : args[0]);
  if (!page) return Usage();

  wl::ReferenceTables tables;
  wl::MainDbValues mainDb;
  const std::string refdb = ProgramFolder() + "Ref.dbd";
  try {
    wl::TZLBArchive archive;
    archive.Open(refdb);
    wl::LoadReferenceTables(archive, tables, mainDb);
  } catch (const std::exception& e) {
    Error("Cannot load " + refdb + ": " + e.what());
    return 1;
  }

  const wl::PageText text = page->scan(tables);
  if (hijackRows) {
    std::vector<wl::TextRow> rows;
    for (const auto& r : text.hijack) rows.push_back({r.itemName, r.description, r.IndexText()});
    Write(wl::FormatTable({"Item Name", "Description", "Index"}, rows));
  } else {
    Write(wl::FormatTable(text.header, text.rows));
  }
  return 0;
}
