// The gate every write routine goes through: the interceptor tests put in
// place, the recorder that backs up what a write is about to change, and
// the failure a write reports (the recorder told of it). The routines
// themselves are in a file per domain (system_write_<domain>.cpp).
#include "sysroutines/system_write.h"

#include <utility>

#include "sysroutines/held_path.h"
#include "sysroutines/store_folder.h"
#include "sysroutines/text_routines.h"
#include "sysroutines/write_gate.h"
#include "win32/file_path.h"
#include "win32/system_error.h"

namespace wl {

namespace {

// "An operation is not supported on a directory." (not in every SDK's headers)
constexpr uint32_t kErrorDirectoryNotSupported = 336;

WriteInterceptor& Interceptor() {
  static WriteInterceptor interceptor;
  return interceptor;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string ValueLabel(std::string_view name) { return name.empty() ? "(Default)" : Quoted(name); }

// "Could not … : reason" for the request.
std::string Describe(const WriteRequest& r) {
  switch (r.kind) {
    case WriteKind::DeleteRegValue: return "Could not delete the value " + ValueLabel(r.name) + " of " + r.target;
    case WriteKind::DeleteRegTree: return "Could not delete the key " + r.target;
    case WriteKind::CreateRegKey: return "Could not create the key " + r.target;
    case WriteKind::WriteRegValue: return "Could not write the value " + ValueLabel(r.name) + " of " + r.target;
    case WriteKind::WriteIniValue: return "Could not write the entry " + Quoted(r.name) + " of " + r.target;
    case WriteKind::DeleteIniValue: return "Could not delete the entry " + Quoted(r.name) + " of " + r.target;
    case WriteKind::RecycleFile: return "Could not move " + r.target + " to the Recycle Bin";
    case WriteKind::DeleteFile: return "Could not delete " + r.target;
    case WriteKind::PlaceFile: return "Could not put back " + r.target;
    case WriteKind::CreateService: return "Could not create the service " + r.target;
    case WriteKind::UnregisterServer: return "Could not unregister " + r.target;
    case WriteKind::RunUninstaller: return "Could not start " + r.target;
    case WriteKind::DeleteTask: return "Could not delete the scheduled task " + r.target;
    case WriteKind::DisableTask: return "Could not disable the scheduled task " + r.target;
    case WriteKind::WriteShortcut: return "Could not change the shortcut " + r.target;
    case WriteKind::DeleteService: return "Could not remove the service " + r.target;
    case WriteKind::EnableTask: return "Could not enable the scheduled task " + r.target;
    case WriteKind::RegisterTask: return "Could not register the scheduled task " + r.target;
    case WriteKind::RewriteFile: return "Could not change the file " + r.target;
    case WriteKind::DeleteCertificate: return "Could not delete the certificate " + r.name + " from " + r.target;
    case WriteKind::AddCertificate: return "Could not add the certificate " + r.name + " to " + r.target;
    case WriteKind::RemoveWinsockProvider: return "Could not remove the Winsock provider " + r.name + " from " + r.target;
    case WriteKind::InstallWinsockProvider: return "Could not install the Winsock provider " + r.name + " into " + r.target;
    case WriteKind::DeleteWmiInstance: return "Could not delete the WMI instance " + r.name + " of " + r.target;
    case WriteKind::CreateWmiInstance: return "Could not create the WMI instance " + r.name + " in " + r.target;
    case WriteKind::CancelTransferJob: return "Could not cancel the transfer job " + r.target;
    case WriteKind::CreateFolder: return "Could not make the folder " + r.target;
    case WriteKind::DeleteFolder: return "Could not delete the folder " + r.target;
    case WriteKind::Count: break;
  }
  return "Could not change " + r.target;
}

WriteRecorder& Recorder() {
  static WriteRecorder recorder;
  return recorder;
}

WriteFailureRecorder& FailureRecorder() {
  static WriteFailureRecorder recorder;
  return recorder;
}

// The request the recorder has just recorded, until its write ends: a
// failure is then told to the recorder.
const WriteRequest*& Pending() {
  static const WriteRequest* pending = nullptr;
  return pending;
}

}  // namespace

namespace gate {

WriteResult Failure(const WriteRequest& r, uint32_t error, std::string reason) {
  WriteResult result;
  result.error = error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
  if (reason.empty())
    reason = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? "it does not exist."
                                                                              : win32::SystemErrorText(result.error);
  result.message = Describe(r) + ": " + reason;
  if (Pending() == &r) {
    Pending() = nullptr;
    if (FailureRecorder()) FailureRecorder()(r, result);
  }
  return result;
}

// A failure after the change was made (a file put back whose times could
// not be set): the record stays as it is.
WriteResult FailureAfterChange(const WriteRequest& r, uint32_t error, std::string reason) {
  Pending() = nullptr;
  return Failure(r, error, std::move(reason));
}

WriteResult Done() {
  Pending() = nullptr;
  return {};
}

// The interceptor's answer, when it refuses the request; then the recorder's,
// when it could not record what the request is about to change.
std::optional<WriteResult> Intercepted(const WriteRequest& r) {
  Pending() = nullptr;
  const auto& interceptor = Interceptor();
  if (interceptor) {
    const uint32_t error = interceptor(r);
    if (error != ERROR_SUCCESS) return Failure(r, error);
  }
  static bool recording = false;
  if (!Recorder() || recording) return std::nullopt;
  recording = true;
  WriteResult recorded;
  try {
    recorded = Recorder()(r);
  } catch (const std::exception& e) {
    recorded.error = ERROR_GEN_FAILURE;
    recorded.message = e.what();
  }
  recording = false;
  if (recorded.ok()) {
    Pending() = &r;
    return std::nullopt;
  }
  return Failure(r, recorded.error,
                 "its backup could not be written (" + recorded.message + "); nothing was changed.");
}

// The checks every file change makes before touching anything.
std::optional<WriteResult> CheckFilePath(const WriteRequest& r, std::string_view path) {
  if (TrimUpToChar(path, ' ').empty()) return Failure(r, ERROR_INVALID_PARAMETER, "no file was named.");
  std::string_view body = path;
  if (body.starts_with("\\\\?\\")) body.remove_prefix(4);
  if (body.find_first_of("*?") != std::string_view::npos)
    return Failure(r, ERROR_INVALID_NAME, "the name contains a wildcard.");
  if (!IsFullPath(path)) return Failure(r, ERROR_INVALID_NAME, "it is not a full path.");
  const DWORD attributes = win32::FileAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return Failure(r, error == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : error);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return Failure(r, kErrorDirectoryNotSupported, "it is a folder, not a file.");
  return std::nullopt;
}

// The way to a file a change acts on, held; links on the way refused with
// administrative rights.
HeldPath HoldWayTo(std::string_view path) { return HeldPath::Open(path, RunsElevated()); }

// Opens the file at the end of the way, held against being renamed or put
// aside while it is backed up and changed: opened with a right the system
// counts in its share checks (reading, or deleting), its share mode gives
// others no right to delete (nor, where that can be had, to write). A file
// that a running program holds open for writing is opened with that right
// shared.
win32::UniqueHfile OpenHeldFile(HeldPath& way, ACCESS_MASK access, bool shareWrite) {
  win32::UniqueHfile file = way.OpenFile(access, FILE_SHARE_READ | (shareWrite ? FILE_SHARE_WRITE : 0), FILE_OPEN);
  if (!file && !shareWrite && way.Error() == ERROR_SHARING_VIOLATION) {
    way = HoldWayTo(way.FinalPath());
    if (way.ok()) file = way.OpenFile(access, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN);
  }
  return file;
}

}  // namespace gate

ScopedWriteInterceptor::ScopedWriteInterceptor(WriteInterceptor interceptor)
    : ScopedOverride(Interceptor(), std::move(interceptor)) {}

ScopedWriteRecorder::ScopedWriteRecorder(WriteRecorder recorder, WriteFailureRecorder failed)
    : recorder_(Recorder(), std::move(recorder)), failed_(FailureRecorder(), std::move(failed)) {}

std::string_view WriteKindName(WriteKind kind) {
  switch (kind) {
    case WriteKind::DeleteRegValue: return "DeleteRegValue";
    case WriteKind::DeleteRegTree: return "DeleteRegTree";
    case WriteKind::CreateRegKey: return "CreateRegKey";
    case WriteKind::WriteRegValue: return "WriteRegValue";
    case WriteKind::WriteIniValue: return "WriteIniValue";
    case WriteKind::DeleteIniValue: return "DeleteIniValue";
    case WriteKind::RecycleFile: return "RecycleFile";
    case WriteKind::DeleteFile: return "DeleteFile";
    case WriteKind::PlaceFile: return "PlaceFile";
    case WriteKind::CreateService: return "CreateService";
    case WriteKind::UnregisterServer: return "UnregisterServer";
    case WriteKind::RunUninstaller: return "RunUninstaller";
    case WriteKind::DeleteTask: return "DeleteTask";
    case WriteKind::DisableTask: return "DisableTask";
    case WriteKind::WriteShortcut: return "WriteShortcut";
    case WriteKind::DeleteService: return "DeleteService";
    case WriteKind::EnableTask: return "EnableTask";
    case WriteKind::RegisterTask: return "RegisterTask";
    case WriteKind::RewriteFile: return "RewriteFile";
    case WriteKind::DeleteCertificate: return "DeleteCertificate";
    case WriteKind::AddCertificate: return "AddCertificate";
    case WriteKind::RemoveWinsockProvider: return "RemoveWinsockProvider";
    case WriteKind::InstallWinsockProvider: return "InstallWinsockProvider";
    case WriteKind::DeleteWmiInstance: return "DeleteWmiInstance";
    case WriteKind::CreateWmiInstance: return "CreateWmiInstance";
    case WriteKind::CancelTransferJob: return "CancelTransferJob";
    case WriteKind::CreateFolder: return "CreateFolder";
    case WriteKind::DeleteFolder: return "DeleteFolder";
    case WriteKind::Count: break;
  }
  return "";
}

}  // namespace wl
