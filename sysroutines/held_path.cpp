#include "sysroutines/held_path.h"

#include <winternl.h>

#include <vector>

#include "sysroutines/store_folder.h"
#include "win32/file_path.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::Narrow;
using win32::Widen;

#ifndef STATUS_OBJECT_NAME_COLLISION
constexpr NTSTATUS STATUS_OBJECT_NAME_COLLISION = static_cast<NTSTATUS>(0xC0000035L);
#endif

bool SameText(std::string_view a, std::string_view b) {
  const std::wstring wa = Widen(a), wb = Widen(b);
  return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                              TRUE) == CSTR_EQUAL;
}

std::string FinalPathText(std::wstring path) {
  path = win32::WithoutLongPrefix(std::move(path));
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return Narrow(path);
}

// The path the system gives for what the handle holds; empty on failure.
std::string FinalPathOf(HANDLE handle) {
  std::wstring buf(32768, L'\0');
  const DWORD n = GetFinalPathNameByHandleW(handle, buf.data(), static_cast<DWORD>(buf.size()),
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  return FinalPathText(buf);
}

// The system's own name of what the handle holds ("\Device\…\a\b" on
// Windows): the name the file system gives it, without a length limit.
// Empty on failure.
std::string ObjectPathOf(HANDLE handle) {
  std::vector<uint8_t> buffer(sizeof(OBJECT_NAME_INFORMATION) + 65536);
  ULONG size = 0;
  const NTSTATUS status =
      NtQueryObject(handle, ObjectNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &size);
  if (!NT_SUCCESS(status)) return {};
  const auto* info = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data());
  if (!info->Name.Buffer) return {};
  std::wstring name(info->Name.Buffer, info->Name.Length / sizeof(wchar_t));
  while (name.size() > 1 && name.back() == L'\\') name.pop_back();
  return Narrow(name);
}

// "An operation is not supported on a directory." (not in every SDK's headers)
constexpr uint32_t kErrorDirectoryNotSupported = 336;

// Opens name inside the folder dir; INVALID_HANDLE_VALUE and the status on failure.
HANDLE OpenInside(HANDLE dir, std::string_view name, ACCESS_MASK access, ULONG share, ULONG disposition,
                  ULONG options, ULONG attributes, NTSTATUS& status) {
  std::wstring wide = Widen(name);
  UNICODE_STRING text;
  text.Buffer = wide.data();
  text.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, dir, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  status = NtCreateFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share, disposition,
                        options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  return NT_SUCCESS(status) && handle ? handle : INVALID_HANDLE_VALUE;
}

uint32_t ErrorOf(NTSTATUS status) {
  const ULONG e = RtlNtStatusToDosError(status);
  return e ? static_cast<uint32_t>(e) : static_cast<uint32_t>(ERROR_GEN_FAILURE);
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// Splits a full path into its root ("C:", "\\server\share") and its parts;
// false for what names no file (a device, a stream, "." or "..").
bool SplitFullPath(std::string_view path, std::string& full, std::string& root, std::vector<std::string>& parts) {
  std::wstring wide = Widen(path);
  if (wide.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    wide = L"\\\\" + wide.substr(8);
  } else if (wide.rfind(L"\\\\?\\", 0) == 0) {
    wide = wide.substr(4);
  } else {
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return false;
    std::wstring out(n, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), n, out.data(), nullptr);
    if (got == 0 || got >= n) return false;
    out.resize(got);
    wide = out;
  }
  full = Narrow(wide);
  const bool drive = full.size() >= 3 && full[1] == ':' && full[2] == '\\' &&
                     ((full[0] >= 'A' && full[0] <= 'Z') || (full[0] >= 'a' && full[0] <= 'z'));
  const bool share = full.starts_with("\\\\") && !full.starts_with("\\\\.\\") && !full.starts_with("\\\\?\\");
  if (!drive && !share) return false;
  const std::size_t rootEnd = win32::PathRootEnd(full);
  if (rootEnd == std::string::npos) return false;
  root = full.substr(0, rootEnd);
  std::string part;
  for (std::size_t i = rootEnd + 1; i <= full.size(); ++i) {
    if (i == full.size() || full[i] == '\\' || full[i] == '/') {
      if (part == "." || part == ".." || part.find_first_of(":*?\"<>|") != std::string::npos) return false;
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += full[i];
    }
  }
  return !parts.empty();
}

// A folder is held with a right that the system counts in its share
// checks (reading its list; a handle with the right to read attributes only
// restricts nobody), shared for reading and writing but never for deleting:
// while it is held nobody can rename it or put something else in its place.
constexpr ACCESS_MASK kHoldAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
constexpr ULONG kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

bool HeldPath::Fail(uint32_t error, std::string reason) {
  error_ = error ? error : static_cast<uint32_t>(ERROR_GEN_FAILURE);
  reason_ = std::move(reason);
  return false;
}

std::string HeldPath::FinalPath() const {
  if (folderFinal_.empty()) return given_;
  return folderFinal_ + (folderFinal_.back() == '\\' ? "" : "\\") + name_;
}

bool HeldPath::CheckChild(HANDLE child, const std::string& name, bool folder) {
  const std::string given = folderGiven_ + "\\" + name;
  BY_HANDLE_FILE_INFORMATION info{};
  const std::string object = ObjectPathOf(child);
  if (!GetFileInformationByHandle(child, &info) || object.empty())
    return Fail(GetLastError(), Quoted(given) + " cannot be checked: " + win32::SystemErrorText(GetLastError()));
  // The path to show and act on: the system's final path where it gives one
  // (not for every long path under every system), else the path as named.
  std::string final = FinalPathOf(child);
  if (linksRefused_) {
    // A link shows its mark on the handle opened without following it, or
    // (Wine, which follows links regardless) on its path only; a link that
    // shows neither leads somewhere else than its folder.
    DWORD byPath = win32::FileAttributes(given);
    if (byPath == INVALID_FILE_ATTRIBUTES) byPath = 0;
    const bool marked = ((info.dwFileAttributes | byPath) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const auto slash = object.find_last_of('\\');
    const bool elsewhere = slash == std::string::npos || !SameText(object.substr(0, slash), folderObject_);
    if (marked || elsewhere)
      return Fail(kErrorLinkRefused,
                  (folder ? "the folder " : "") + Quoted(given) + " is a link or junction" +
                      (elsewhere ? " (it leads to " + Quoted(final.empty() ? object : final) + ")" : std::string()) +
                      "; with administrative rights Wardenlake changes nothing through a link. If the change is "
                      "meant, make it by hand.");
  }
  const bool isFolder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  if (folder && !isFolder) return Fail(ERROR_DIRECTORY, Quoted(given) + " is a file, not a folder.");
  if (!folder && isFolder) return Fail(kErrorDirectoryNotSupported, "it is a folder, not a file.");
  if (folder) {
    folderObject_ = object;
    folderFinal_ = final.empty() ? folderFinal_ + (folderFinal_.back() == '\\' ? "" : "\\") + name : final;
  }
  return true;
}

HeldPath HeldPath::Open(std::string_view path, bool linksRefused) {
  HeldPath held;
  held.linksRefused_ = linksRefused;
  std::string root;
  std::vector<std::string> parts;
  if (!SplitFullPath(path, held.given_, root, parts)) {
    held.Fail(kErrorNotAFilePath, Quoted(path) + " names no file on a drive or share.");
    return held;
  }
  held.name_ = parts.back();
  parts.pop_back();
  win32::UniqueHfile top(CreateFileW(win32::ApiPath(root + "\\").c_str(), kHoldAccess, kHoldShare, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!top) {
    const DWORD e = GetLastError();
    held.Fail(e, Quoted(root) + " cannot be opened: " + win32::SystemErrorText(e));
    return held;
  }
  held.folderFinal_ = FinalPathOf(top.get());
  held.folderObject_ = ObjectPathOf(top.get());
  if (held.folderFinal_.empty() || held.folderObject_.empty()) {
    held.Fail(GetLastError(), Quoted(root) + " cannot be checked.");
    return held;
  }
  held.folderGiven_ = root;
  held.held_.push_back(std::move(top));
  const ULONG options = FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | (linksRefused ? FILE_OPEN_REPARSE_POINT : 0);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    NTSTATUS status = 0;
    win32::UniqueHfile folder(
        OpenInside(held.held_.back().get(), parts[i], kHoldAccess, kHoldShare, FILE_OPEN, options, 0, status));
    if (!folder) {
      const uint32_t e = ErrorOf(status);
      if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
        std::string missing = held.folderGiven_;
        for (std::size_t k = i; k < parts.size(); ++k) held.missing_.push_back(missing += "\\" + parts[k]);
        return held;
      }
      const std::string given = held.folderGiven_ + "\\" + parts[i];
      if (e == ERROR_DIRECTORY) held.Fail(e, Quoted(given) + " is a file, not a folder.");
      else held.Fail(e, "the folder " + Quoted(given) + " cannot be opened: " + win32::SystemErrorText(e));
      return held;
    }
    if (!held.CheckChild(folder.get(), parts[i], true)) return held;
    held.folderGiven_ += "\\" + parts[i];
    held.held_.push_back(std::move(folder));
  }
  return held;
}

bool HeldPath::MakeMissing(std::vector<std::string>& made) {
  if (!ok()) return false;
  const ULONG options = FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | (linksRefused_ ? FILE_OPEN_REPARSE_POINT : 0);
  while (!missing_.empty()) {
    const std::string name = missing_.front().substr(missing_.front().find_last_of('\\') + 1);
    NTSTATUS status = 0;
    bool ours = true;
    win32::UniqueHfile folder(OpenInside(held_.back().get(), name, kHoldAccess, kHoldShare, FILE_CREATE, options,
                                         FILE_ATTRIBUTE_NORMAL, status));
    if (!folder && status == STATUS_OBJECT_NAME_COLLISION) {
      // Made meanwhile by someone else: used only when it passes the checks.
      ours = false;
      folder.reset(OpenInside(held_.back().get(), name, kHoldAccess, kHoldShare, FILE_OPEN, options, 0, status));
    }
    if (!folder) {
      const uint32_t e = ErrorOf(status);
      return Fail(e, "the folder " + Quoted(missing_.front()) + " cannot be made: " + win32::SystemErrorText(e));
    }
    if (ours) made.push_back(missing_.front());
    if (!CheckChild(folder.get(), name, true)) return false;
    folderGiven_ += "\\" + name;
    held_.push_back(std::move(folder));
    missing_.erase(missing_.begin());
  }
  return true;
}

win32::UniqueHfile HeldPath::OpenSibling(std::string_view name, ACCESS_MASK access, ULONG share, ULONG disposition,
                                         ULONG options, ULONG attributes) {
  if (!ok()) return {};
  if (!missing_.empty()) {
    Fail(ERROR_PATH_NOT_FOUND, "its folder " + Quoted(missing_.front()) + " does not exist.");
    return {};
  }
  options |= FILE_NON_DIRECTORY_FILE | (linksRefused_ ? FILE_OPEN_REPARSE_POINT : 0);
  if (disposition == FILE_CREATE) access |= DELETE;  // undone through the handle when the check fails
  NTSTATUS status = 0;
  win32::UniqueHfile file(OpenInside(held_.back().get(), name, access | FILE_READ_ATTRIBUTES, share, disposition,
                                     options, attributes, status));
  if (!file) {
    const uint32_t e = ErrorOf(status);
    if (e == ERROR_ACCESS_DENIED && disposition == FILE_OPEN) {
      // A folder of that name answers "access denied" to a file's open.
      const DWORD a = win32::FileAttributes(folderGiven_ + "\\" + std::string(name));
      if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY))
        Fail(kErrorDirectoryNotSupported, "it is a folder, not a file.");
      else
        Fail(e, win32::SystemErrorText(e));
    } else {
      Fail(e, e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? "it does not exist." : win32::SystemErrorText(e));
    }
    return {};
  }
  if (!CheckChild(file.get(), std::string(name), false)) {
    if (disposition == FILE_CREATE) {
      FILE_DISPOSITION_INFO gone{TRUE};
      SetFileInformationByHandle(file.get(), FileDispositionInfo, &gone, sizeof gone);
    }
    return {};
  }
  return file;
}

win32::UniqueHfile HeldPath::OpenFile(ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
                                      ULONG attributes) {
  return OpenSibling(name_, access, share, disposition, options, attributes);
}

win32::UniqueHfile HeldPath::OpenChildFolder(std::string_view name, ACCESS_MASK access, ULONG share,
                                             ULONG disposition) {
  if (!ok()) return {};
  if (!missing_.empty()) {
    Fail(ERROR_PATH_NOT_FOUND, "its folder " + Quoted(missing_.front()) + " does not exist.");
    return {};
  }
  if (disposition == FILE_CREATE) access |= DELETE;  // undone through the handle when the check fails
  NTSTATUS status = 0;
  const ULONG options = FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | (linksRefused_ ? FILE_OPEN_REPARSE_POINT : 0);
  win32::UniqueHfile folder(OpenInside(held_.back().get(), name, access | FILE_READ_ATTRIBUTES, share, disposition,
                                       options, FILE_ATTRIBUTE_NORMAL, status));
  if (!folder) {
    const uint32_t e = ErrorOf(status);
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) Fail(e, "it does not exist.");
    else if (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS) Fail(ERROR_ALREADY_EXISTS, "something of that name is there already.");
    else Fail(e, win32::SystemErrorText(e));
    return {};
  }
  const std::string finalBefore = folderFinal_, objectBefore = folderObject_;
  const bool plain = CheckChild(folder.get(), std::string(name), true);
  folderFinal_ = finalBefore;  // the held folder stays the deepest one
  folderObject_ = objectBefore;
  if (!plain) {
    if (disposition == FILE_CREATE) {
      FILE_DISPOSITION_INFO gone{TRUE};
      SetFileInformationByHandle(folder.get(), FileDispositionInfo, &gone, sizeof gone);
    }
    return {};
  }
  return folder;
}

bool HeldPath::FolderStillPlain() {
  if (!ok() || held_.empty()) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(held_.back().get(), &info)) return false;
  DWORD byPath = held_.size() > 1 ? win32::FileAttributes(folderGiven_) : 0;
  if (byPath == INVALID_FILE_ATTRIBUTES) byPath = 0;
  if (linksRefused_ && ((info.dwFileAttributes | byPath) & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return SameText(ObjectPathOf(held_.back().get()), folderObject_);
}

}  // namespace wl
