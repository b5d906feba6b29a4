// Timing program for the backup recorder, run under Wine by scripts/bench.sh
// (not by the tests). One change set records N value writes (each backed up
// and flushed to disk before it is made); the time per write must not grow
// with N. The store is a scratch folder; the values go under
// HKEY_CURRENT_USER\Software\WardenlakeBench and are deleted afterwards.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "sysroutines/system_write.h"
#include "undo/backup_store.h"
#include "win32/file_path.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kKey[] = "Software\\WardenlakeBench\\Recording";

std::string ScratchStore() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return wl::win32::Narrow(temp) + "wl-bench-store-" + std::to_string(GetCurrentProcessId());
}

}  // namespace

int wmain() {
  const std::string store = ScratchStore();
  wl::undo::ScopedBackupStoreRoot root(store);
  wl::undo::ScopedBackupRecording recording;
  const std::string data(200, 'x');
  for (int n : {250, 1000, 4000}) {
    const auto t0 = Clock::now();
    {
      wl::undo::ChangeSet set("Bench", "Record " + std::to_string(n));
      for (int i = 0; i < n; ++i)
        if (!wl::WriteRegString(HKEY_CURRENT_USER, kKey, "v" + std::to_string(i), data)) {
          std::printf("write %d failed\n", i);
          return 1;
        }
    }  // the manifest and the .reg file are written here
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("%5d writes in one change set: %8.1f ms, %.3f ms per write\n", n, ms, ms / n);
    wl::win32::RegWriteKey::DeleteTree(HKEY_CURRENT_USER, kKey);
  }
  for (const auto& set : wl::undo::ListChangeSets()) wl::undo::DeleteChangeSet(set.manifest.id);
  RemoveDirectoryW(wl::win32::ApiPath(store).c_str());
  return 0;
}
