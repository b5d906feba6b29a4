#include "process/process_scan.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>

#include "process/operate_process.h"
#include "process/testing/child_process.h"
#include "win32/unicode.h"

namespace wl {
namespace {

const ProcessRow* FindRow(const ProcessScan& scan, DWORD id) {
  for (const auto& row : scan.rows)
    if (row.id == id) return &row;
  return nullptr;
}

TEST(ProcessScan, ListsOwnProcessWithItsModulesMainExecutableFirst) {
  const ProcessScan scan = ScanProcesses(ReferenceTables{});
  EXPECT_EQ(scan.error, "");
  const ProcessRow* own = FindRow(scan, GetCurrentProcessId());
  ASSERT_NE(own, nullptr);

  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::string ownPath = win32::Narrow(path);
  EXPECT_EQ(own->name, std::string(FileNamePart(ownPath)));
  ASSERT_GE(own->modules.size(), 3u);
  EXPECT_EQ(AsciiLower(own->modules.front().path), AsciiLower(ownPath));
  MODULEINFO info{};
  GetModuleInformation(GetCurrentProcess(), GetModuleHandleW(nullptr), &info, sizeof info);
  EXPECT_EQ(own->imageSize, info.SizeOfImage);
  EXPECT_EQ(own->modules.front().entryPoint, reinterpret_cast<uintptr_t>(info.EntryPoint));
  EXPECT_EQ(ProcessRowText(*own)[2], std::to_string(info.SizeOfImage >> 10) + " KB");
  EXPECT_TRUE(std::any_of(own->modules.begin(), own->modules.end(),
                          [](const ModuleRecord& m) { return AsciiLower(FileNamePart(m.path)) == "kernel32.dll"; }));
  EXPECT_EQ(own->analysis, "(Unknown)");

  // The idle and kernel pseudo-processes never appear.
  EXPECT_EQ(FindRow(scan, 0), nullptr);
  EXPECT_EQ(FindRow(scan, 4), nullptr);
  for (const auto& row : scan.rows) EXPECT_FALSE(row.name.empty()) << row.id;
}

TEST(ProcessScan, VerdictComesFromTheLowerCasedExecutableName) {
  test::ScratchDir dir;
  test::ChildProcess child(test::IdleCommand(dir, "WLIdleVerdict.EXE"), true);
  ASSERT_TRUE(child.Started());
  ReferenceTables tables;
  tables.process = StringTable::FromText("wlidleverdict.exe=$Test worm\n");
  const ProcessScan scan = ScanProcesses(tables);
  const ProcessRow* row = FindRow(scan, child.Id());
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(AsciiLower(row->name), "wlidleverdict.exe");
  EXPECT_EQ(row->analysis, "(Virus/Trojan/Worm) Test worm");
  EXPECT_EQ(ProcessVerdictImage(row->analysis), kImageVirus);
  EXPECT_EQ(AsciiLower(FileNamePart(row->MainExecutable())), "wlidleverdict.exe");
}

TEST(ProcessScan, ProcessIdsListEveryProcessOfTheSnapshot) {
  const std::vector<DWORD> ids = EnumerateProcessIds();
  EXPECT_NE(std::find(ids.begin(), ids.end(), GetCurrentProcessId()), ids.end());
  for (DWORD id : FindProcessesByExecutableName("services.exe"))
    EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end());
}

TEST(ProcessScan, SystemErrorTextCarriesCodeAndMessage) {
  const std::string text = SystemErrorMessage(ERROR_ACCESS_DENIED);
  EXPECT_EQ(text.rfind("System Error.  Code: 5.\r\n", 0), 0u) << text;
  EXPECT_GT(text.size(), std::string("System Error.  Code: 5.\r\n").size());
}

}  // namespace
}  // namespace wl
