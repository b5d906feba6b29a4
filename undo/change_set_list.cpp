#include "undo/backup_store.h"

#include <windows.h>

#include <algorithm>

#include "sysroutines/store_folder.h"
#include "undo/store_parts.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

uint64_t FolderSize(const std::string& folder, int depth = 0) {
  uint64_t total = 0;
  WIN32_FIND_DATAW fd{};
  win32::UniqueFind find(FindFirstFileW(win32::ApiPath(folder + "\\*").c_str(), &fd));
  if (!find) return 0;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (depth < 4 && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        total += FolderSize(folder + "\\" + win32::Narrow(name), depth + 1);
    } else {
      total += (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    }
  } while (FindNextFileW(find.get(), &fd));
  return total;
}

// Why a set's folder is not used: a link or junction in its place, or (in
// the machine-wide store) a folder the administrators do not own, which
// someone else may have filled. Empty when it is used.
std::string Untrusted(const RootInfo& root, const std::string& folder) {
  const uint32_t e = CheckNoLinksBelow(root.path, folder);
  if (e == kErrorLinkRefused) return "it is a link or junction, not a folder of the store";
  if (e) return "it cannot be checked: " + win32::SystemErrorText(e);
  if (!StoreFolderTrusted(folder, root.machineWide)) return "it was not made by an administrator";
  return {};
}

StoredChangeSet LoadSet(const RootInfo& root, const std::string& id) {
  StoredChangeSet set;
  set.folder = root.path + "\\" + id;
  set.manifest.id = id;
  if (const std::string why = Untrusted(root, set.folder); !why.empty()) {
    set.error = why + "; it is not used";
    return set;
  }
  set.size = FolderSize(set.folder);
  const auto text = ReadWholeFile(set.folder + "\\" + kManifestName);
  if (!text) {
    set.error = "its manifest could not be read";
    return set;
  }
  std::string error;
  auto manifest = ManifestFromJson(*text, &error);
  if (!manifest) {
    set.error = "its manifest is damaged: " + error;
    return set;
  }
  // A journal left behind: the set was not closed (the program ended while
  // it was filled); the journal holds every item that was changed.
  if (const auto journal = ReadWholeFile(set.folder + "\\" + kJournalName)) {
    auto items = ItemsFromJournal(*journal, &error);
    if (!items) {
      set.error = "its journal is damaged: " + error;
      return set;
    }
    if (items->size() >= manifest->items.size()) manifest->items = std::move(*items);
  }
  set.manifest = std::move(*manifest);
  set.manifest.id = id;  // the folder decides
  return set;
}

}  // namespace

bool IsSetId(const std::string& id) {
  return !id.empty() && id.size() < 64 &&
         std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

std::vector<StoredChangeSet> ListChangeSets() {
  std::vector<StoredChangeSet> sets;
  const RootInfo info = StoreRoot(false);
  const std::string& root = info.path;
  if (root.empty()) return sets;
  WIN32_FIND_DATAW fd{};
  std::vector<std::string> ids;
  {
    win32::UniqueFind find(FindFirstFileW(win32::ApiPath(root + "\\*").c_str(), &fd));
    if (!find) return sets;
    do {
      const std::string name = win32::Narrow(fd.cFileName);
      if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsSetId(name)) ids.push_back(name);
    } while (FindNextFileW(find.get(), &fd));
  }
  // Ids sort by time; a number after the time sorts by its value.
  std::sort(ids.begin(), ids.end(), [](const std::string& a, const std::string& b) {
    const std::string ta = a.substr(0, 19), tb = b.substr(0, 19);
    if (ta != tb) return ta > tb;
    if (a.size() != b.size()) return a.size() > b.size();
    return a > b;
  });
  for (const auto& id : ids) sets.push_back(LoadSet(info, id));
  return sets;
}

std::optional<StoredChangeSet> FindChangeSet(const std::string& id, std::string* error) {
  const RootInfo info = StoreRoot(false);
  if (!IsSetId(id) || info.path.empty() || !win32::DirectoryExists(info.path + "\\" + id)) {
    if (error) *error = "There is no change set " + id + ".";
    return std::nullopt;
  }
  StoredChangeSet set = LoadSet(info, id);
  if (!set.error.empty()) {
    if (error) *error = "The change set " + id + " cannot be used: " + set.error + ".";
    return std::nullopt;
  }
  return set;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (512ll << 20)) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr) || got == 0) return std::nullopt;
    done += got;
  }
  return bytes;
}

}  // namespace wl::undo
