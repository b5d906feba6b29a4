#include "undo/kinds/file.h"

#include "undo/manifest_json.h"

namespace wl::undo {

void FileChange::ToJson(Json& j) const {
  using namespace manifest;
  j["path"] = TextJson(path);
  j["existed"] = existed;
  j["file"] = FileJson(file);
  if (textAfter) j["textAfter"] = TextJson(*textAfter);
}

FileChange FileChange::FromJson(const Json& j) {
  using namespace manifest;
  FileChange c;
  c.path = Text(j, "path");
  c.existed = Flag(j, "existed");
  // Only a file put in place (it was not there) keeps no copy.
  c.file = FileFrom(Field(j, "file"), !c.existed);
  c.textAfter = TextAfter(j);
  return c;
}

}  // namespace wl::undo

#ifdef _WIN32
#include "sysroutines/shortcuts.h"
#include "undo/capture.h"
#include "undo/restore_steps.h"
#include "win32/file_path.h"
#include "win32/system_error.h"

namespace wl::undo {

bool FileChange::Records(WriteKind kind) {
  return kind == WriteKind::RewriteFile || kind == WriteKind::RecycleFile || kind == WriteKind::DeleteFile ||
         kind == WriteKind::WriteShortcut || kind == WriteKind::PlaceFile;
}

WriteResult FileChange::Capture(CaptureContext& c) {
  const WriteRequest& r = c.request;
  FileChange change;
  if (r.kind == WriteKind::PlaceFile) {
    // Nothing was there: what is kept is what the file put there is, to
    // know it again.
    change.path = r.target;
    if (const uint32_t e = FileSizeAndCrc(r.source, change.file))
      return WriteResult::Failure(e, "the file to put in place cannot be read: " + win32::SystemErrorText(e));
    c.Record("PlaceFile", "Put the file " + r.target + " in place", std::move(change));
    return {};
  }
  // The file's own name (a list may show it upper-cased): a restore brings
  // it back under that. The file as it is is kept.
  change.path = win32::StoredPath(r.target);
  change.existed = true;
  std::string description;
  switch (r.kind) {
    case WriteKind::RewriteFile:
      // What it becomes is known by its size and checksum, so that a
      // restore can tell it was not changed again since.
      description = "Change the file ";
      change.textAfter = FileFingerprint(r.data.data(), r.data.size());
      break;
    case WriteKind::RecycleFile: description = "Move to the Recycle Bin "; break;
    case WriteKind::DeleteFile: description = "Delete the file "; break;
    default:
      description = "Change the arguments of the shortcut ";
      change.textAfter = r.text.value_or(std::string());
      break;
  }
  if (WriteResult copied = c.keepCopy(r.target, change.file); !copied) return copied;
  description += change.path;
  c.Record(std::string(WriteKindName(r.kind)), std::move(description), std::move(change));
  return {};
}

Retake FileChange::Retakes(const WriteRequest& r, const std::string& operation, const FileChange& failed) {
  if ((r.kind != WriteKind::DeleteFile && r.kind != WriteKind::RecycleFile) || operation != WriteKindName(r.kind))
    return Retake::NotThis;
  if (!SameName(failed.path, win32::StoredPath(r.target))) return Retake::NotThis;
  return FileMatchesCopy(r.target, failed.file) ? Retake::TakeUp : Retake::CopyAgain;
}

ItemCheck FileChange::Check(const CheckContext& c) const {
  const SystemModel::FileState now = c.system.File(path);
  if (!existed) {  // a file the change put in place
    if (!now.present) return State(ItemState::InPlace);
    if (SameSizeAndCrc(now.info, file)) return State(ItemState::Restorable);
    return State(ItemState::Changed, "another file of that name is there now");
  }
  const char* kMissingCopy = "the copy of the file is missing from the backup";
  if (!now.present) {
    if (c.system.FolderAt(path)) return State(ItemState::Unrestorable, "a folder of that name is there now");
    if (!CopyKept(c.set, file)) return State(ItemState::Unrestorable, kMissingCopy);
    return State(ItemState::Restorable);
  }
  if (SameSizeAndCrc(now.info, file)) return State(ItemState::InPlace);
  if (c.operation == "RewriteFile") {
    if (!CopyKept(c.set, file)) return State(ItemState::Unrestorable, kMissingCopy);
    if (textAfter && FileFingerprint(now.info) == *textAfter) return State(ItemState::Restorable);
    return State(ItemState::Changed, "the file was changed since");
  }
  if (c.operation == "WriteShortcut") {
    // The shortcut as the change left it: its arguments are what was written.
    if (!CopyKept(c.set, file)) return State(ItemState::Unrestorable, kMissingCopy);
    const ShortcutTarget link = c.system.FileAsOnDisk(path) ? ResolveShortcut(path) : ShortcutTarget{};
    if (link.loaded && textAfter && link.arguments == *textAfter) return State(ItemState::Restorable);
    return State(ItemState::Changed, "the shortcut was changed since");
  }
  return State(ItemState::Changed, "another file of that name is there now");
}

void FileChange::PutBack(SystemModel& system) const { system.PutFile(path, {existed, file}); }

void FileChange::Impact(ImpactCounter& impact, const std::string&) const { impact.AddFile(path); }

WriteResult FileChange::Restore(RestoreContext& c) const {
  if (!existed) {
    // A file the change put in place goes again: for good when it is the
    // one put there (its bytes are in the backup), else to the Recycle Bin.
    if (c.state == ItemState::Changed) return RecycleFile(path);
    return GoneAlready(DeleteFileNow(path));
  }
  if (c.operation == "RewriteFile" && win32::FileExists(path)) {
    // The bytes it held are written back in place: the file keeps its
    // security and attributes.
    std::optional<std::string> bytes;
    if (WriteResult r = ReadCopy(c.set, file, path, bytes); !r) return r;
    if (!bytes) return WriteResult::Failure(ERROR_READ_FAULT, "Could not read the copy of " + path + ".");
    // The read-only attribute comes back as the backup kept it.
    return RewriteFile(path, *bytes, (file.attributes & FILE_ATTRIBUTE_READONLY) != 0);
  }
  if (win32::FileExists(path)) {
    // The file there now goes to the Recycle Bin, never deleted for good.
    if (WriteResult r = RecycleFile(path); !r) return r;
  }
  return PlaceCopy(c.set, file, path);
}

}  // namespace wl::undo
#endif
