#include "undo/backup_store.h"

#include <windows.h>

#include <utility>

#include "sysroutines/store_folder.h"
#include "undo/store_parts.h"

namespace wl::undo {
namespace {

std::optional<std::string>& RootOverride() {
  static std::optional<std::string> root;
  return root;
}

// What was found and set aside while the store was made ready, until it is
// told to the user.
std::string& Notice() {
  static std::string notice;
  return notice;
}

}  // namespace

RootInfo StoreRoot(bool create) {
  if (RootOverride()) return {*RootOverride(), false};
  // With administrative rights under the machine-wide program-data folder,
  // administrators and the system only; otherwise in the user's profile. A
  // link or junction planted in the path is refused: then there is no store,
  // and every change fails closed.
  const StoreFolder folder = create ? PrepareStoreFolder("Backups") : FindStoreFolder("Backups");
  if (!folder.notice.empty() && Notice().find(folder.notice) == std::string::npos) Notice() += folder.notice;
  // A store a listing does not read from (a link, another user's folder) is said once.
  if (!create && !folder.ok() && Notice().find(folder.message) == std::string::npos) Notice() += folder.message + "\n";
  return folder.ok() ? RootInfo{folder.path, folder.machineWide} : RootInfo{};
}

std::string BackupStoreRoot() { return StoreRoot().path; }

std::string TakeStoreNotice() { return std::exchange(Notice(), std::string()); }

ScopedBackupStoreRoot::ScopedBackupStoreRoot(std::string root) : ScopedOverride(RootOverride(), std::move(root)) {}

}  // namespace wl::undo
