#include "undo/kinds/folder.h"

#include "undo/manifest_json.h"

namespace wl::undo {

void FolderChange::ToJson(Json& j) const {
  j["path"] = manifest::TextJson(path);
  j["existed"] = existed;
}

FolderChange FolderChange::FromJson(const Json& j) {
  return {manifest::Text(j, "path"), manifest::Flag(j, "existed")};
}

}  // namespace wl::undo

#ifdef _WIN32
#include "undo/capture.h"
#include "undo/restore_steps.h"
#include "win32/file_path.h"

namespace wl::undo {

bool FolderChange::Records(WriteKind kind) { return kind == WriteKind::CreateFolder || kind == WriteKind::DeleteFolder; }

WriteResult FolderChange::Capture(CaptureContext& c) {
  // A folder a restore makes on the way to a file it puts back (or an empty
  // one deleted): a restore of this set deletes it again while it is empty
  // (or makes it again).
  const WriteRequest& r = c.request;
  const bool make = r.kind == WriteKind::CreateFolder;
  const bool there = win32::DirectoryExists(r.target);
  c.changesNothing = make == there;
  c.Record(std::string(WriteKindName(r.kind)), (make ? "Make the folder " : "Delete the empty folder ") + r.target,
           FolderChange{r.target, there});
  return {};
}

ItemCheck FolderChange::Check(const CheckContext& c) const {
  const bool there = c.system.FolderAt(path);
  if (existed) {  // an empty folder deleted
    if (there) return State(ItemState::InPlace);
    if (c.system.File(path).present) return State(ItemState::Unrestorable, "a file of that name is there now");
    return State(ItemState::Restorable);
  }
  // A folder made: it goes again while nothing is in it.
  if (!there) return State(ItemState::InPlace);
  if (c.system.FolderEmpty(path)) return State(ItemState::Restorable);
  return State(ItemState::Unrestorable, "it holds files or folders now; it stays");
}

void FolderChange::PutBack(SystemModel& system) const { system.PutFolder(path, existed); }

WriteResult FolderChange::Restore(RestoreContext&) const {
  if (existed) {
    WriteResult r = MakeFolder(path);
    if (!r && !(r.error == ERROR_ALREADY_EXISTS && win32::DirectoryExists(path))) return r;
    return {};
  }
  return GoneAlready(RemoveEmptyFolder(path));
}

}  // namespace wl::undo
#endif
