// The hives of another Windows are outside bytes (a collected folder, a
// disk image): its SYSTEM, SOFTWARE and a user's NTUSER.DAT, laid out as a
// volume in memory, read as an offline system the way the scanners read it:
// its users from the profile list and folders, their keys and environment,
// the services and their files, paths mapped under the root.
// Input: SYSTEM, then SOFTWARE, then NTUSER.DAT (given to the users "alice"
// and "Bob"), separated by "--HIVE--".
#include <cstdint>
#include <memory>
#include <string>

#include "core/offline_system.h"
#include "core/system_environment.h"
#include "fuzz/offline_system_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wl;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  auto files = std::make_shared<fuzzing::MemoryFiles>(fuzzing::VolumeOf(input, {"alice", "Bob"}));
  OfflineOptions options;
  options.files = files;
  options.maxUsers = 32;
  const SystemSource source = OpenOfflineSystem("R:", options);
  std::size_t seen = 0;
  auto touch = [&seen](const std::string& text) { seen += text.size(); };
  for (const SystemUser& user : source.Users()) {
    const SystemSource asUser = source.ForUser(user);
    touch(asUser.Expand("%USERPROFILE%|%APPDATA%|%LOCALAPPDATA%|%TEMP%|%Path%"));
    if (const auto run = asUser.Open(SourceRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"))
      for (const SourceValue& v : run->Values()) {
        const std::string command = asUser.Expand(SourceValueText(v));
        touch(asUser.StatFile(command).refused);
        touch(asUser.PathNow(command).value_or(""));
      }
    if (const auto classes = asUser.Open(SourceRoot::ClassesRoot, ""))
      for (const std::string& name : classes->SubKeyNames())
        if (const auto key = classes->Open(name)) touch(key->ReadText("").value_or(""));
    if (const auto software = asUser.Open(SourceRoot::CurrentUser, ""))
      for (const std::string& name : software->SubKeyNames())
        if (const auto key = software->Open(name)) touch(key->LastWriteText());
  }
  if (const auto services = source.Open(SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Services"))
    for (const std::string& name : services->SubKeyNames())
      if (const auto key = services->Open(name)) {
        const std::string image = source.Expand(key->ReadText("ImagePath").value_or(""));
        touch(source.StatFile(source.Folders().windows + "\\" + image).nowPath);
        if (const auto parameters = key->Open("Parameters")) touch(parameters->ReadText("ServiceDll").value_or(""));
      }
  for (const SourceView view : {SourceView::Force64, SourceView::Force32})
    if (const auto uninstall =
            source.Open(SourceRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", view))
      for (const std::string& name : uninstall->SubKeyNames()) touch(name);
  for (const std::string& folder : SearchFoldersOf(source)) touch(folder);
  touch(AppPathOf(source, "x.exe"));
  for (const std::string& problem : source.Problems()) touch(problem);
  return seen == static_cast<std::size_t>(-1);
}
