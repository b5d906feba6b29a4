#include "process/process_rows.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

TEST(ProcessRows, SizeAndAddressTexts) {
  EXPECT_EQ(KilobyteText(1048576), "1024 KB");
  EXPECT_EQ(KilobyteText(1023), "0 KB");  // fractions dropped
  EXPECT_EQ(KilobyteText(0x12345), "72 KB");
  EXPECT_EQ(AddressText(0x77C10000), "77C10000");
  EXPECT_EQ(AddressText(0x1A2B), "00001A2B");
  EXPECT_EQ(AddressText(0x00007FF612340000ull), "7FF612340000");  // 64-bit addresses are not cut
}

TEST(ProcessRows, VerdictImagesFollowTheCategory) {
  EXPECT_EQ(ProcessVerdictImage("(Unknown)"), kImageWarning);
  EXPECT_EQ(ProcessVerdictImage("(Virus/Trojan/Worm) x"), kImageVirus);
  EXPECT_EQ(ProcessVerdictImage("(General Software) x"), kImageCheck);
  EXPECT_EQ(ProcessVerdictImage("(System Process) x"), kImageCheck);
  EXPECT_EQ(ProcessVerdictImage("(Spyware/Adware) x"), kImageCheck);  // shares the second character
  EXPECT_EQ(ProcessVerdictImage("plain text"), -1);
  EXPECT_EQ(ProcessVerdictImage(""), -1);
  EXPECT_EQ(ModuleVerdictImage("Windows System File"), kImageCheck);
  EXPECT_EQ(ModuleVerdictImage("Distrustful File"), kImageWarning);
}

TEST(ProcessRows, PathParts) {
  EXPECT_EQ(FileNamePart("C:\\Windows\\notepad.exe"), "notepad.exe");
  EXPECT_EQ(FileNamePart("notepad.exe"), "notepad.exe");
  EXPECT_EQ(FileNamePart("C:\\dir\\"), "");
  EXPECT_EQ(FolderPart("C:\\Windows\\notepad.exe"), "C:\\Windows");
  EXPECT_EQ(FolderPart("C:\\x.exe"), "C:\\");  // a drive root keeps its backslash
  EXPECT_EQ(FolderPart("x.exe"), "");
}

TEST(ProcessRows, AnalysisLooksUpTheLowerCasedName) {
  ReferenceTables tables;
  tables.process = StringTable::FromText("notepad.exe=@Notepad\nevil.exe=$Evil\n");
  ProcessRow row;
  row.name = "NOTEPAD.EXE";
  row.id = 42;
  row.imageSize = 0x30000;
  row.analysis = ProcessAnalysis(row.name, tables);
  EXPECT_EQ(row.analysis, "(System Process) Notepad");
  EXPECT_EQ(ProcessRowText(row), (TextRow{"NOTEPAD.EXE", "42", "192 KB", "(System Process) Notepad", ""}));
  EXPECT_EQ(ProcessAnalysis("Evil.EXE", tables), "(Virus/Trojan/Worm) Evil");
  EXPECT_EQ(ProcessAnalysis("", tables), "(Unknown)");
  EXPECT_EQ(row.MainExecutable(), "");
  row.modules = {{"C:\\WINDOWS\\NOTEPAD.EXE", 0x30000, 0x1000}, {"C:\\WINDOWS\\SYSTEM32\\NTDLL.DLL", 1, 2}};
  EXPECT_EQ(row.MainExecutable(), "C:\\WINDOWS\\NOTEPAD.EXE");
  EXPECT_EQ(ModuleRowText(row.modules[0], "Distrustful File"),
            (TextRow{"C:\\WINDOWS\\NOTEPAD.EXE", "192 KB", "00001000", "Distrustful File"}));
}

}  // namespace
}  // namespace wl
