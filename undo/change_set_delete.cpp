#include "undo/backup_store.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "sysroutines/store_folder.h"
#include "undo/store_parts.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

// Whether an item found in a folder is a link or junction (Wine shows a
// Unix link's mark by path only).
bool IsLink(const std::string& path, DWORD found) {
  DWORD byPath = win32::FileAttributes(path);
  if (byPath == INVALID_FILE_ATTRIBUTES) byPath = 0;
  return ((found | byPath) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool Fail(std::string* error, const std::string& what, DWORD code) {
  if (error) *error = "Could not delete " + what + ": " + win32::SystemErrorText(code);
  return false;
}

// Deletes what the handle holds when it is closed.
bool DeleteHeld(HANDLE held) {
  FILE_DISPOSITION_INFO gone{TRUE};
  return SetFileInformationByHandle(held, FileDispositionInfo, &gone, sizeof gone);
}

}  // namespace

bool DeleteStoreFolder(const std::string& folder, int depth, std::string* error) {
  win32::UniqueHfile held(CreateFileW(win32::ApiPath(folder).c_str(),
                                      DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!held) return Fail(error, folder, GetLastError());
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(held.get(), &info)) return Fail(error, folder, GetLastError());
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsLink(folder, info.dwFileAttributes)) {
    if (error) *error = "Could not delete " + folder + ": it is a link or junction; Wardenlake does not delete through it.";
    return false;
  }
  // Its items, read through the handle held.
  std::vector<std::pair<std::wstring, DWORD>> items;
  std::vector<uint8_t> buffer(64 * 1024);
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!GetFileInformationByHandleEx(held.get(), kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
      if (GetLastError() == ERROR_NO_MORE_FILES) break;
      return Fail(error, folder, GetLastError());
    }
    for (std::size_t at = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
      const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") items.emplace_back(name, entry->FileAttributes);
      if (!entry->NextEntryOffset) break;
      at += entry->NextEntryOffset;
    }
  }
  for (const auto& [name, attributes] : items) {
    const std::string child = folder + "\\" + win32::Narrow(name);
    const bool directory = attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (IsLink(child, attributes)) {
      // A link: removed itself, never followed.
      if (!(directory ? RemoveDirectoryW(win32::ApiPath(child).c_str()) : DeleteFileW(win32::ApiPath(child).c_str())))
        return Fail(error, child, GetLastError());
    } else if (directory) {
      if (depth > 4) return Fail(error, child, ERROR_BUFFER_OVERFLOW);
      if (!DeleteStoreFolder(child, depth + 1, error)) return false;
    } else {
      win32::UniqueHfile file(CreateFileW(win32::ApiPath(child).c_str(), DELETE | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (!file) return Fail(error, child, GetLastError());
      FILE_BASIC_INFO plain{};
      plain.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      SetFileInformationByHandle(file.get(), FileBasicInfo, &plain, sizeof plain);
      if (!DeleteHeld(file.get())) return Fail(error, child, GetLastError());
    }
  }
  if (!DeleteHeld(held.get())) return Fail(error, folder, GetLastError());
  held.reset();
  if (win32::FileAttributes(folder) != INVALID_FILE_ATTRIBUTES) return Fail(error, folder, ERROR_DIR_NOT_EMPTY);
  return true;
}

bool DeleteChangeSet(const std::string& id, std::string* error) {
  const std::string root = StoreRoot(false).path;
  if (!IsSetId(id) || root.empty() || !win32::DirectoryExists(root + "\\" + id)) {
    if (error) *error = "There is no change set " + id + ".";
    return false;
  }
  // A link or junction planted among the sets is not deleted through (its
  // target's files would go with the administrator's rights).
  if (CheckNoLinksBelow(root, root + "\\" + id) == kErrorLinkRefused) {
    if (error)
      *error = "The change set " + id +
               " is a link or junction, not a folder of the store; Wardenlake does not delete through it. Remove it "
               "by hand.";
    return false;
  }
  return DeleteStoreFolder(root + "\\" + id, 0, error);
}

}  // namespace wl::undo
