// The write routines of files and folders.
#include "sysroutines/system_write.h"

#include <shellapi.h>

#include <algorithm>

#include "sysroutines/held_path.h"
#include "sysroutines/store_folder.h"
#include "sysroutines/text_routines.h"
#include "sysroutines/write_gate.h"
#include "win32/file_path.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {

namespace {

// The shell's answer to a file operation as a Win32 error code.
uint32_t ShellOperationError(int rc) {
  switch (rc) {
    case 0x78:  // access denied at the source
      return ERROR_ACCESS_DENIED;
    case 0x7C:  // invalid files
      return ERROR_FILE_NOT_FOUND;
    case 0x4C7:  // cancelled
    case 0x75:
      return ERROR_CANCELLED;
    default:
      // Below the shell's own codes the answer is a Win32 error code.
      return (rc > 0 && rc < 0x71) ? static_cast<uint32_t>(rc) : ERROR_GEN_FAILURE;
  }
}

}  // namespace

WriteResult RecycleFile(std::string_view path) {
  const WriteRequest request{WriteKind::RecycleFile, std::string(path), {}};
  if (auto refused = gate::CheckFilePath(request, path)) return *refused;
  HeldPath way = gate::HoldWayTo(path);
  win32::UniqueHfile file = gate::OpenHeldFile(way, FILE_READ_DATA);
  if (!file) return gate::Failure(request, way.Error(), way.Reason());
  const std::string final = way.FinalPath();

  // The shell takes neither the "\\?\" form nor paths of MAX_PATH characters
  // or more; such a file goes by its 8.3 name when it has a short enough one.
  std::wstring from = win32::Widen(final);
  if (from.size() >= MAX_PATH) {
    from = win32::Widen(win32::ShortPath(final));
    if (from.empty() || from.size() >= MAX_PATH)
      return gate::Failure(request, ERROR_FILENAME_EXCED_RANGE, "the path is too long for the Recycle Bin.");
  }
  if (auto refused = gate::Intercepted(request)) return *refused;
  // Where there is no Recycle Bin the shell would delete the file for good;
  // leave it in place and say so instead.
  SHQUERYRBINFO bin{};
  bin.cbSize = sizeof bin;
  if (FAILED(SHQueryRecycleBinW(from.c_str(), &bin)))
    return gate::Failure(request, ERROR_NOT_SUPPORTED, "there is no Recycle Bin for it; the file was left in place.");
  from.push_back(L'\0');  // the list of names ends with a second zero

  // The shell moves the file by its name, in the folder that stays held
  // (no link can be put on the way meanwhile); the file itself is let go
  // for the move.
  file.reset();
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_WANTNUKEWARNING;
  const int rc = SHFileOperationW(&op);
  if (rc != 0) return gate::Failure(request, ShellOperationError(rc));
  if (op.fAnyOperationsAborted) return gate::Failure(request, ERROR_CANCELLED);
  if (win32::FileAttributes(final) != INVALID_FILE_ATTRIBUTES)
    return gate::Failure(request, ERROR_GEN_FAILURE, "the file is still there.");
  return gate::Done();
}

WriteResult DeleteFileNow(std::string_view path) {
  const WriteRequest request{WriteKind::DeleteFile, std::string(path), {}};
  if (auto refused = gate::CheckFilePath(request, path)) return *refused;
  HeldPath way = gate::HoldWayTo(path);
  // Opened for deletion and held: the file backed up is the file deleted.
  win32::UniqueHfile file = gate::OpenHeldFile(way, DELETE);
  if (!file) return gate::Failure(request, way.Error(), way.Reason());
  if (auto refused = gate::Intercepted(request)) return *refused;
  FILE_DISPOSITION_INFO gone{TRUE};
  if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &gone, sizeof gone))
    return gate::Failure(request, GetLastError());
  return gate::Done();
}

WriteResult RewriteFile(std::string_view path, std::string_view bytes, std::optional<bool> readOnly) {
  WriteRequest request{WriteKind::RewriteFile, std::string(path), {}};
  request.data.assign(bytes.begin(), bytes.end());
  if (auto refused = gate::CheckFilePath(request, path)) return *refused;
  HeldPath way = gate::HoldWayTo(path);
  win32::UniqueHfile file = gate::OpenHeldFile(way, FILE_READ_DATA);
  if (!file) return gate::Failure(request, way.Error(), way.Reason());
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) return gate::Failure(request, GetLastError());
  const DWORD attributes = info.dwFileAttributes;
  const bool wasReadOnly = attributes & FILE_ATTRIBUTE_READONLY;
  const bool readOnlyAfter = readOnly.value_or(wasReadOnly);
  if (auto refused = gate::Intercepted(request)) return *refused;
  const std::string final = way.FinalPath();
  // The new bytes go into a new file made inside the held folder.
  const std::string freshName =
      "~wl" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + ".tmp";
  const std::string fresh = way.FolderPath() + (way.FolderPath().back() == '\\' ? "" : "\\") + freshName;
  {
    win32::UniqueHfile out = way.OpenSibling(freshName, GENERIC_WRITE | DELETE, 0, FILE_CREATE, 0,
                                             FILE_ATTRIBUTE_TEMPORARY);
    if (!out) return gate::Failure(request, way.Error(), "no new file can be made beside it: " + way.Reason());
    auto abandon = [&](DWORD e) {
      FILE_DISPOSITION_INFO gone{TRUE};
      SetFileInformationByHandle(out.get(), FileDispositionInfo, &gone, sizeof gone);
      out.reset();
      return gate::Failure(request, e ? e : ERROR_WRITE_FAULT);
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
      DWORD wrote = 0;
      if (!WriteFile(out.get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) return abandon(GetLastError());
      done += wrote;
    }
    if (!FlushFileBuffers(out.get())) return abandon(GetLastError());
  }
  // The replacement renames the file: it is let go; its folder stays held.
  file.reset();
  // The file replacement refuses a read-only file: the attribute is off
  // for the replacement only.
  const std::wstring apiPath = win32::ApiPath(final);
  if (wasReadOnly && !SetFileAttributesW(apiPath.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
    const DWORD e = GetLastError();
    DeleteFileW(win32::ApiPath(fresh).c_str());
    return gate::Failure(request, e, "the file is read-only (FILE_ATTRIBUTE_READONLY), and the attribute cannot be cleared: " +
                                   win32::SystemErrorText(e));
  }
  if (!ReplaceFileW(apiPath.c_str(), win32::ApiPath(fresh).c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                    nullptr)) {
    const DWORD e = GetLastError();
    DeleteFileW(win32::ApiPath(fresh).c_str());
    if (wasReadOnly) SetFileAttributesW(apiPath.c_str(), attributes);
    return gate::Failure(request, e);
  }
  // The replacement took the file's attributes (as they were during it).
  const DWORD now = GetFileAttributesW(apiPath.c_str());
  if (now != INVALID_FILE_ATTRIBUTES && ((now & FILE_ATTRIBUTE_READONLY) != 0) != readOnlyAfter) {
    const DWORD wanted = readOnlyAfter ? now | FILE_ATTRIBUTE_READONLY : now & ~FILE_ATTRIBUTE_READONLY;
    if (!SetFileAttributesW(apiPath.c_str(), wanted))
      return gate::FailureAfterChange(request, GetLastError(),
                                std::string("the new bytes are in place, but its read-only attribute could not be ") +
                                    (readOnlyAfter ? "put back." : "cleared."));
  }
  return gate::Done();
}

WriteResult PlaceFile(std::string_view preparedPath, std::string_view path, const FileStamp& stamp) {
  WriteRequest request{WriteKind::PlaceFile, std::string(path), {}};
  request.source = preparedPath;
  if (!IsFullPath(path) || !IsFullPath(preparedPath))
    return gate::Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  if (win32::FileAttributes(path) != INVALID_FILE_ATTRIBUTES)
    return gate::Failure(request, ERROR_FILE_EXISTS, "something of that name is there already.");
  win32::UniqueHfile source(CreateFileW(win32::ApiPath(preparedPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!source) return gate::Failure(request, GetLastError(), "the prepared file cannot be read.");
  // The folders on the way, from the top down, opened each inside the one
  // before and held open (none can be swapped for a link meanwhile).
  HeldPath way = gate::HoldWayTo(path);
  if (!way.ok()) return gate::Failure(request, way.Error(), way.Reason());
  // The folders to make are recorded before anything is made, then the file.
  std::vector<WriteRequest> folders;
  for (const std::string& folder : way.Missing()) folders.push_back({WriteKind::CreateFolder, folder, {}});
  for (const WriteRequest& folder : folders)
    if (auto refused = gate::Intercepted(folder)) return gate::Failure(request, refused->error, refused->message);
  if (auto refused = gate::Intercepted(request)) return *refused;
  std::vector<std::string> made;
  if (!way.MakeMissing(made)) return gate::Failure(request, way.Error(), way.Reason());
  // Made anew inside the held folder: it gets the security its folder gives
  // new files. Nothing of that name may be there, a link included.
  win32::UniqueHfile out =
      way.OpenFile(GENERIC_WRITE | FILE_WRITE_ATTRIBUTES | DELETE, 0, FILE_CREATE, 0, FILE_ATTRIBUTE_NORMAL);
  if (!out) return gate::Failure(request, way.Error(), way.Reason());
  auto abandon = [&](uint32_t error, std::string reason) {
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(out.get(), FileDispositionInfo, &gone, sizeof gone);
    out.reset();
    return gate::Failure(request, error ? error : ERROR_WRITE_FAULT, std::move(reason));
  };
  // Between the check of its folder and the write, the folder may have been
  // turned into a mount point by someone allowed to change its attributes:
  // looked at again before the bytes go in.
  if (!way.FolderStillPlain())
    return abandon(kErrorLinkRefused, "its folder " + way.FolderPath() +
                                          " became a link or junction meanwhile; nothing is put there.");
  std::vector<char> buffer(1 << 20);
  for (;;) {
    DWORD got = 0, written = 0;
    if (!ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      return abandon(GetLastError(), "the prepared file cannot be read.");
    if (got == 0) break;
    if (!WriteFile(out.get(), buffer.data(), got, &written, nullptr) || written != got)
      return abandon(GetLastError(), win32::SystemErrorText(GetLastError()));
  }
  if (!FlushFileBuffers(out.get())) return abandon(GetLastError(), win32::SystemErrorText(GetLastError()));
  FILE_BASIC_INFO basic{};
  auto large = [](const FILETIME& t) {
    LARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = static_cast<LONG>(t.dwHighDateTime);
    return v;
  };
  basic.CreationTime = large(stamp.created);
  basic.LastAccessTime = large(stamp.accessed);
  basic.LastWriteTime = large(stamp.written);
  basic.FileAttributes = stamp.attributes ? stamp.attributes & ~FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  const bool stamped = SetFileInformationByHandle(out.get(), FileBasicInfo, &basic, sizeof basic);
  const DWORD stampError = stamped ? ERROR_SUCCESS : GetLastError();
  out.reset();
  source.reset();
  DeleteFileW(win32::ApiPath(preparedPath).c_str());
  if (!stamped)
    return gate::FailureAfterChange(request, stampError, "the file is back, but its times and attributes could not be set.");
  return gate::Done();
}

WriteResult MakeFolder(std::string_view path) {
  const WriteRequest request{WriteKind::CreateFolder, std::string(path), {}};
  if (!IsFullPath(path)) return gate::Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  HeldPath way = gate::HoldWayTo(path);
  if (!way.ok()) return gate::Failure(request, way.Error(), way.Reason());
  if (!way.Missing().empty()) return gate::Failure(request, ERROR_PATH_NOT_FOUND, "the folder it belongs in does not exist.");
  if (win32::FileAttributes(way.FinalPath()) != INVALID_FILE_ATTRIBUTES)
    return gate::Failure(request, ERROR_ALREADY_EXISTS, "something of that name is there already.");
  if (auto refused = gate::Intercepted(request)) return *refused;
  if (!way.OpenChildFolder(way.Name(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE))
    return gate::Failure(request, way.Error(), way.Reason());
  return gate::Done();
}

WriteResult RemoveEmptyFolder(std::string_view path) {
  const WriteRequest request{WriteKind::DeleteFolder, std::string(path), {}};
  if (!IsFullPath(path)) return gate::Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  HeldPath way = gate::HoldWayTo(path);
  if (!way.ok()) return gate::Failure(request, way.Error(), way.Reason());
  win32::UniqueHfile folder =
      way.OpenChildFolder(way.Name(), DELETE | FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!folder) return gate::Failure(request, way.Error(), way.Reason());
  if (auto refused = gate::Intercepted(request)) return *refused;
  FILE_DISPOSITION_INFO gone{TRUE};
  if (!SetFileInformationByHandle(folder.get(), FileDispositionInfo, &gone, sizeof gone)) {
    const DWORD e = GetLastError();
    return gate::Failure(request, e, e == ERROR_DIR_NOT_EMPTY ? "it is not empty." : win32::SystemErrorText(e));
  }
  return gate::Done();
}

}  // namespace wl
