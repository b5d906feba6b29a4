#include "undo/restore_steps.h"

#include "sysroutines/store_folder.h"
#include "win32/file_path.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

constexpr char kPrepared[] = "restore.tmp";

// The folder of the change set's store (where its copies are expanded).
std::string StoreRootOf(const StoredChangeSet& set) {
  const auto slash = set.folder.find_last_of('\\');
  return slash == std::string::npos ? set.folder : set.folder.substr(0, slash);
}

FileStamp StampOf(const FileCopy& copy) {
  auto ft = [](uint64_t v) { return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}; };
  FileStamp stamp;
  stamp.created = ft(copy.created);
  stamp.accessed = ft(copy.accessed);
  stamp.written = ft(copy.written);
  stamp.attributes = copy.attributes;
  return stamp;
}

}  // namespace

WriteResult WriteTreeExact(const KeyPlace& place, const RegTreeCopy& tree) {
  const auto& [root, path, view] = place;
  if (WriteResult r = CreateRegKey(root, path, view); !r) return r;
  RegTreeCopy now;
  if (const uint32_t e = DumpRegTree(root, path, view, now))
    return WriteResult::Failure(e, "Could not read the key " + path + ": " + win32::SystemErrorText(e));
  for (const auto& v : now.values) {
    bool keep = false;
    for (const auto& b : tree.values) keep = keep || SameName(v.name, b.name);
    if (!keep)
      if (WriteResult r = DeleteRegValue(root, path, v.name, view); !r && !r.NotFound()) return r;
  }
  for (const auto& k : now.keys) {
    bool keep = false;
    for (const auto& b : tree.keys) keep = keep || SameName(k.name, b.name);
    if (!keep)
      if (WriteResult r = DeleteRegTree(root, path + "\\" + k.name, view); !r && !r.NotFound()) return r;
  }
  for (const auto& v : tree.values) {
    bool same = false;
    for (const auto& n : now.values) same = same || (SameName(v.name, n.name) && v.type == n.type && v.data == n.data);
    if (!same)
      if (WriteResult r = WriteRegData(root, path, v.name, v.type, v.data, view); !r) return r;
  }
  for (const auto& k : tree.keys)
    if (WriteResult r = WriteTreeExact({root, path + "\\" + k.name, view}, k); !r) return r;
  return {};
}

WriteResult DeleteEmptyTree(const KeyPlace& place, const RegTreeCopy& tree) {
  for (const auto& k : tree.keys)
    if (WriteResult r = DeleteEmptyTree({place.root, place.path + "\\" + k.name, place.view}, k); !r && !r.NotFound())
      return r;
  return GoneAlready(DeleteEmptyRegKey(place.root, place.path, place.view));
}

WriteResult PrepareCopy(const StoredChangeSet& set, const FileCopy& copy, const std::string& what,
                        std::string& prepared) {
  prepared = set.folder + "\\" + kPrepared;
  uint32_t e = CheckNoLinksBelow(StoreRootOf(set), prepared);
  if (!e) e = CheckNoLinksBelow(StoreRootOf(set), set.folder + "\\" + copy.copyName);
  if (!e) e = ExpandFileCopy(set.folder + "\\" + copy.copyName, prepared, copy);
  if (e) return WriteResult::Failure(e, "Could not expand the copy of " + what + ": " + win32::SystemErrorText(e));
  return {};
}

WriteResult ReadCopy(const StoredChangeSet& set, const FileCopy& copy, const std::string& what,
                     std::optional<std::string>& bytes) {
  std::string prepared;
  if (WriteResult r = PrepareCopy(set, copy, what, prepared); !r) return r;
  bytes = ReadWholeFile(prepared);
  DeleteFileW(win32::ApiPath(prepared).c_str());
  return {};
}

WriteResult PlaceCopy(const StoredChangeSet& set, const FileCopy& copy, const std::string& path) {
  std::string prepared;
  if (WriteResult r = PrepareCopy(set, copy, path, prepared); !r) return r;
  WriteResult r = PlaceFile(prepared, path, StampOf(copy));
  DeleteFileW(win32::ApiPath(prepared).c_str());
  return r;
}

bool CopyKept(const StoredChangeSet& set, const FileCopy& copy) {
  return win32::FileExists(set.folder + "\\" + copy.copyName);
}

ItemCheck CheckKeyTree(const CheckContext& c, const RegPlace& at, bool existed, const RegTreeCopy& tree,
                       const std::optional<ServiceConfigCopy>& service, bool serviceKind) {
  KeyPlace place;
  if (!KeyPlaceOf(at, place)) return State(ItemState::Unrestorable, "its registry root is unknown");
  const std::string name = service ? service->name : std::string();
  if (serviceKind && !existed)  // a service the change created
    return c.system.ServiceThere(name) ? State(ItemState::Restorable) : State(ItemState::InPlace);
  if (!existed) return State(ItemState::InPlace);
  RegTreeCopy now;
  const uint32_t e = c.system.Tree(place, now);
  if (e == ERROR_FILE_NOT_FOUND) {
    if (serviceKind && c.system.ServiceThere(name))
      return State(ItemState::Changed, "a service of that name is there again");
    return State(ItemState::Restorable);
  }
  if (e != ERROR_SUCCESS) return State(ItemState::Unrestorable, "the key cannot be read: " + win32::SystemErrorText(e));
  if (service && !c.system.ServiceThere(name))
    return State(ItemState::Changed, "a key of that name is there again, but no such service");
  if (SortedTree(now) == SortedTree(tree)) return State(ItemState::InPlace);
  return State(ItemState::Changed, c.operation == "Keep" ? "the key was changed"
                                   : serviceKind         ? "a service of that name is there again"
                                                         : "a key of that name is there again");
}

WriteResult RestoreServiceKey(const RegPlace& at, const RegTreeCopy& tree,
                              const std::optional<ServiceConfigCopy>& service) {
  KeyPlace place;
  KeyPlaceOf(at, place);
  // The service is registered again first; its key then gets the backup's
  // values exactly.
  if (service && !ReadServiceConfig(service->name)) {
    ServiceSpec spec;
    spec.name = service->name;
    spec.displayName = service->displayName;
    spec.description = service->description;
    spec.binaryPath = service->binaryPath;
    spec.account = service->account;
    spec.group = service->group;
    spec.dependencies = service->dependencies;
    spec.serviceType = service->serviceType;
    spec.startType = service->startType;
    spec.errorControl = service->errorControl;
    if (spec.account == "LocalSystem") spec.account.clear();
    if (WriteResult r = CreateServiceEntry(spec); !r) return r;
  }
  return WriteTreeExact(place, tree);
}

}  // namespace wl::undo
