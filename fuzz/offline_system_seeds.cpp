// Writes the built seeds of fuzz_offline_system (fuzz/make_corpus.sh runs
// it): a system's SYSTEM (two control sets, a link, services), SOFTWARE (a
// profile list with hostile entries, both views, classes, App Paths) and a
// user's NTUSER.DAT (Run values, environment, shell folders), each input the
// three hives separated by "--HIVE--".
#include <fstream>
#include <string>

#include "core/testing/hive_tree.h"
#include "fuzz/offline_system_files.h"

using namespace wl::hive;
using namespace wl::hive::testing;

namespace {

std::string Link(const std::string& target) {
  std::u16string units(target.begin(), target.end());
  return Utf16Bytes(units);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string folder = argv[1];
  TreeKey system{"SYSTEM", {}, {}};
  system.At("Select").Set("Current", kRegDword, DwordBytes(2));
  system.At("ControlSet002\\Services\\Svc")
      .Set("Type", kRegDword, DwordBytes(0x20))
      .Set("ImagePath", kRegExpandSz, Sz("%SystemRoot%\\System32\\svchost.exe -k x"));
  system.At("ControlSet002\\Services\\Svc\\Parameters").Set("ServiceDll", kRegExpandSz, Sz("%SystemRoot%\\x.dll"));
  system.At("ControlSet002\\Services\\Drv")
      .Set("Type", kRegDword, DwordBytes(1))
      .Set("ImagePath", kRegSz, Sz("System32\\drivers\\..\\..\\..\\drv.sys"));
  system.At("ControlSet002\\Control\\Session Manager\\Environment")
      .Set("Path", kRegExpandSz, Sz("%SystemRoot%\\system32;%Path%;C:\\T"))
      .Set("TEMP", kRegExpandSz, Sz("%TEMP%\\%TMP%"));
  TreeKey& link = system.At("ControlSet002\\Loop");
  link.flags = kKeySymbolicLink;
  link.Set("SymbolicLinkValue", kRegLink, Link("\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Loop"));

  TreeKey software{"SOFTWARE", {}, {}};
  software.At("Microsoft\\Windows NT\\CurrentVersion").Set("SystemRoot", kRegSz, Sz("C:\\Windows"));
  TreeKey& list = software.At("Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
  list.Set("ProfilesDirectory", kRegExpandSz, Sz("%SystemDrive%\\Users"));
  list.At("S-1-5-21-1-2-3-1001").Set("ProfileImagePath", kRegExpandSz, Sz("%SystemDrive%\\Users\\alice"));
  list.At("S-1-5-21-1-2-3-1002").Set("ProfileImagePath", kRegSz, Sz("C:\\Users\\..\\Bob"));
  list.At("S-1-5-21-1-2-3-1003").Set("ProfileImagePath", kRegSz, Sz("D:\\x"));
  software.At("Microsoft\\Windows\\CurrentVersion\\Uninstall\\A").Set("DisplayName", kRegSz, Sz("A"));
  software.At("WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\B").Set("DisplayName", kRegSz, Sz("B"));
  software.At("Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe").Set("", kRegSz, Sz("\"%ProgramFiles%\\x.exe\""));
  software.At("Classes\\.txt").Set("", kRegSz, Sz("txtfile"));

  TreeKey ntuser{"CMI-CreateHive{0}", {}, {}};
  ntuser.At("Software\\Microsoft\\Windows\\CurrentVersion\\Run")
      .Set("Updater", kRegSz, Sz("%APPDATA%\\u.exe"))
      .Set("Far", kRegSz, Sz("\\\\?\\UNC\\server\\share\\x.exe"))
      .Set("Device", kRegSz, Sz("C:\\Windows\\NUL"));
  ntuser.At("Environment").Set("TEMP", kRegExpandSz, Sz("%USERPROFILE%\\Temp"));
  ntuser.At("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders")
      .Set("AppData", kRegExpandSz, Sz("%USERPROFILE%\\Roaming"));

  const std::string sep(wl::fuzzing::kHiveSeparator);
  std::ofstream(folder + "/seed-built-system", std::ios::binary)
      << BuildHive(system) + sep + BuildHive(software) + sep + BuildHive(ntuser);
  std::ofstream(folder + "/seed-built-no-software", std::ios::binary)
      << BuildHive(system) + sep + sep + BuildHive(ntuser);
  std::ofstream(folder + "/seed-built-junk", std::ios::binary) << "regf" + sep + "junk" + sep + BuildHive(ntuser);
  return 0;
}
