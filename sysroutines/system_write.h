// The one small set of routines through which every change to the system
// goes: registry values and keys, INI entries, files and folders, services,
// scheduled tasks, certificates, Winsock providers, WMI instances, transfer
// jobs, shortcuts. Each returns what happened; none shows a message. Every
// one passes the same gate (system_write.cpp), so that a backup or undo
// layer wraps every change in one place; the routines of each domain are in
// system_write_<domain>.cpp.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/scoped_override.h"
#include "sysroutines/transfer_jobs.h"
#include "sysroutines/wmi_subscriptions.h"
#include "win32/registry.h"

namespace wl {

// The outcome of one change.
struct WriteResult {
  uint32_t error = ERROR_SUCCESS;  // Win32 error code; ERROR_SUCCESS when done
  std::string message;             // for the user; empty when done

  bool ok() const { return error == ERROR_SUCCESS; }
  explicit operator bool() const { return ok(); }
  // The thing to change was not there (nothing was changed).
  bool NotFound() const { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
  // A failure with the user's message; an error code of 0 becomes a general failure.
  static WriteResult Failure(uint32_t error, std::string message) {
    return {error ? error : static_cast<uint32_t>(ERROR_GEN_FAILURE), std::move(message)};
  }
};

enum class WriteKind {
  DeleteRegValue,
  DeleteRegTree,
  CreateRegKey,
  WriteRegValue,
  WriteIniValue,
  DeleteIniValue,
  RecycleFile,
  DeleteFile,
  PlaceFile,
  CreateService,
  UnregisterServer,
  RunUninstaller,
  DeleteTask,
  DisableTask,
  WriteShortcut,
  DeleteService,
  EnableTask,
  RegisterTask,
  RewriteFile,
  DeleteCertificate,
  AddCertificate,
  RemoveWinsockProvider,
  InstallWinsockProvider,
  DeleteWmiInstance,
  CreateWmiInstance,
  CancelTransferJob,
  CreateFolder,
  DeleteFolder,
  Count,  // not a kind: how many kinds there are (keep it last)
};

// The kind's name ("DeleteRegValue" …), as backups record it.
std::string_view WriteKindName(WriteKind kind);

// One provider of a Winsock catalog as its setup routines install it.
struct WinsockProviderSetup {
  bool nameSpace = false;  // a namespace provider (else a protocol provider)
  bool wow32 = false;      // of the 32-bit programs' catalog of a 64-bit system
  std::string providerId;  // "{GUID}"
  std::string dllPath;     // as the catalog keeps it (environment variables unexpanded)
  // A protocol provider: each of its catalog entries' descriptions (the
  // system's WSAPROTOCOL_INFOW bytes), in catalog order.
  std::vector<std::vector<uint8_t>> protocols{};
  // A namespace provider.
  std::string displayName{};
  uint32_t nameSpaceId = 0, version = 0;
  bool enabled = true;
  bool operator==(const WinsockProviderSetup&) const = default;
};

// One change as the write routines describe it before making it.
struct WriteRequest {
  WriteKind kind;
  std::string target;  // "HKEY_LOCAL_MACHINE\Software\…", a file path, or a task path "\Folder\Name"
  std::string name;    // value name or "section\key" of an INI entry; empty for keys and files
  // What a backup of the change needs besides: the registry view, the type
  // and bytes a value write stores, an INI entry's section, key and the text
  // written (none: the entry is deleted).
  win32::RegView view = win32::RegView::Default;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data{};
  std::string section{}, entry{};
  // The text written: an INI entry's text (none: deleted), a task's
  // definition, a shortcut's arguments.
  std::optional<std::string> text{};
  // The prepared file a file is placed from.
  std::string source{};
  // A step that runs outside this program (a server's own unregistration,
  // an uninstaller): the keys and values it is known to change, in view, so
  // that a backup can keep them ("HKEY_…\path"; key text and value name).
  std::vector<std::string> outsideKeys{};
  std::vector<std::pair<std::string, std::string>> outsideValues{};
  // Winsock providers removed or installed, as the setup routines list them.
  std::vector<WinsockProviderSetup> winsock{};
};

// While one is installed, every write routine asks it first. A non-zero
// answer is returned as the write's error code and the system is left as it
// is; zero lets the write go ahead. Tests use it to produce answers such as
// "access denied" that the test system cannot give.
using WriteInterceptor = std::function<uint32_t(const WriteRequest&)>;

class ScopedWriteInterceptor : ScopedOverride<WriteInterceptor> {
 public:
  explicit ScopedWriteInterceptor(WriteInterceptor interceptor);
};

// While one is installed, every write that the interceptor lets through is
// handed to it first, to record what the write is about to change. A failed
// answer stops the write: nothing is changed and the write's result says
// why. Writes made by the recorder itself are not handed back to it.
using WriteRecorder = std::function<WriteResult(const WriteRequest&)>;
// Told, after a recorded write, that it failed (its change was not made, or
// not in full), so that the record can say so.
using WriteFailureRecorder = std::function<void(const WriteRequest&, const WriteResult&)>;

class ScopedWriteRecorder {
 public:
  explicit ScopedWriteRecorder(WriteRecorder recorder, WriteFailureRecorder failed = {});

 private:
  ScopedOverride<WriteRecorder> recorder_;
  ScopedOverride<WriteFailureRecorder> failed_;
};

// Registry. Key paths are relative to root; empty parts ("a\\b", a trailing
// backslash) are ignored.
WriteResult DeleteRegValue(HKEY root, std::string_view keyPath, std::string_view valueName,
                           win32::RegView view = win32::RegView::Default);
// Deletes a key with all its sub-keys. A top-level key (one directly under
// the root, such as "Software") is never deleted.
WriteResult DeleteRegTree(HKEY root, std::string_view keyPath, win32::RegView view = win32::RegView::Default);
WriteResult CreateRegKey(HKEY root, std::string_view keyPath, win32::RegView view = win32::RegView::Default);
// Deletes a key that holds no values and no sub-keys; nothing is lost, so a
// key directly under the root (such as a file class) may go too.
WriteResult DeleteEmptyRegKey(HKEY root, std::string_view keyPath, win32::RegView view = win32::RegView::Default);
// The writes create the key when it is missing.
WriteResult WriteRegString(HKEY root, std::string_view keyPath, std::string_view valueName, std::string_view value,
                           DWORD type = REG_SZ, win32::RegView view = win32::RegView::Default);
WriteResult WriteRegDword(HKEY root, std::string_view keyPath, std::string_view valueName, uint32_t value,
                          win32::RegView view = win32::RegView::Default);
WriteResult WriteRegData(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD type,
                         const std::vector<uint8_t>& data, win32::RegView view = win32::RegView::Default);

// The value named valueName in the key a registry path text names
// ("HKEY_CURRENT_USER\…" or "HKEY_LOCAL_MACHINE\…", the form the lists show).
// The key is opened, never created. A text under any other root deletes
// nothing and says so.
WriteResult DeleteRegistryValuePath(std::string_view keyPathText, std::string_view valueName,
                                    win32::RegView view = win32::RegView::Default);

// INI entries (a full file path).
WriteResult WriteIniValue(std::string_view iniPath, std::string_view section, std::string_view key,
                          std::string_view value);
WriteResult DeleteIniValue(std::string_view iniPath, std::string_view section, std::string_view key);

// Files. The path must be a full path to an existing file: an empty or
// relative path, a wildcard or a folder is refused (each would act on
// something other than the one file meant).
//
// Every file change goes through the folders on the way held open (see
// sysroutines/held_path.h), the file itself opened and made inside the very
// folder that was checked. With administrative rights a link on the way -
// or the file being a link itself - is refused (kErrorLinkRefused) with a
// message that names it, and nothing is changed: a standard user could have
// swapped a folder of his for a junction into a folder of Windows after the
// scan. Without those rights the user's own links are followed.
//
// RecycleFile moves the file to the Recycle Bin; done only when the shell
// reports success and the file is gone. A file on a drive without a Recycle
// Bin is left in place (ERROR_NOT_SUPPORTED), never deleted for good; should
// the shell still find it cannot recycle the file, it asks the user first.
WriteResult RecycleFile(std::string_view path);
// Deletes the file for good.
WriteResult DeleteFileNow(std::string_view path);

// Times and attributes a file gets back.
struct FileStamp {
  FILETIME created{}, accessed{}, written{};
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
};
// Puts a prepared file (preparedPath, on any drive) at path, where nothing
// may be, creating missing folders, and gives it the times and attributes of
// stamp. The file is made anew in its folder (so it gets the security that
// folder gives new files, not the prepared file's) and the bytes are copied;
// the prepared file is gone afterwards when this succeeds. With
// administrative rights every folder on the way that is there already must
// be a plain folder: a link or junction is refused (kErrorLinkRefused), and
// the folders are held open until the file is in place.
// Each missing folder is made inside the one held before it and recorded
// as a write of its own (CreateFolder) before anything is made, so that
// the backup knows it.
WriteResult PlaceFile(std::string_view preparedPath, std::string_view path, const FileStamp& stamp);

// Makes one folder in a folder that is there; refused when something of
// that name is there already.
WriteResult MakeFolder(std::string_view path);
// Deletes one empty folder (ERROR_DIR_NOT_EMPTY when it holds anything).
WriteResult RemoveEmptyFolder(std::string_view path);

// A service to register with the service control manager.
struct ServiceSpec {
  std::string name, displayName, description, binaryPath, account, group;
  std::vector<std::string> dependencies;  // groups with a leading "+"
  DWORD serviceType = SERVICE_WIN32_OWN_PROCESS, startType = SERVICE_DEMAND_START,
        errorControl = SERVICE_ERROR_NORMAL;
};
WriteResult CreateServiceEntry(const ServiceSpec& spec);
// Removes a service: its key with everything below it (so that it does not
// come back at the next start), then its registration with the service
// control manager. The service should be stopped first. Not found when
// neither is there.
WriteResult DeleteServiceEntry(std::string_view name);
// COM servers. Has the in-process server at path unregister itself: the
// system's regsvr32 (from the system folder, by its full path; for a server
// of the 32-bit view the one of the 32-bit system folder where there is one)
// runs hidden with "/u /s" and the path in quotes, and is waited for up to
// wait. Done when it ends with exit code 0; a server it cannot load, one
// whose unregistration fails, and a run that outlasts the wait (it is left
// to finish by itself) are failures that say so.
inline constexpr std::chrono::milliseconds kUnregisterWait{15000};
WriteResult UnregisterServer(std::string_view path, win32::RegView view = win32::RegView::Default,
                             std::chrono::milliseconds wait = kUnregisterWait);
// What a step outside the program is known to change (see WriteRequest).
struct OutsideChanges {
  std::vector<std::string> keys;
  std::vector<std::pair<std::string, std::string>> values;
};
// The same, for a server whose registration is known: its class key and the
// value that names it (a toolbar) are backed up before it runs.
WriteResult UnregisterServer(std::string_view path, win32::RegView view, const OutsideChanges& known,
                             std::chrono::milliseconds wait = kUnregisterWait);
// Asked before an uninstaller is started (the caller starts it only when this
// is done): the write interceptor and the backups see the command, and the
// backup keeps what the uninstaller is known to change (its entry's key).
WriteResult BeforeUninstaller(std::string_view command, win32::RegView view, const OutsideChanges& known);
// Scheduled tasks, named by their path ("\Folder\Name"), through the task
// service. The definition (XML, UTF-8) of a task as the service gives it;
// empty when it has none of that path.
std::string ScheduledTaskXml(std::string_view taskPath);
// Deletes the task. xmlBefore, when given, receives its definition as it was
// just before (for a backup); a task whose definition cannot be read is not
// deleted then.
WriteResult DeleteScheduledTask(std::string_view taskPath, std::string* xmlBefore = nullptr);
// Disables the task; done only when the service reports it disabled
// afterwards (a service that accepts the change and keeps the task enabled
// is a failure).
WriteResult DisableScheduledTask(std::string_view taskPath);
// Enables it again, the same way.
WriteResult EnableScheduledTask(std::string_view taskPath);
// Whether the task is enabled, as the service says; nullopt when it has no
// task of that path.
std::optional<bool> ScheduledTaskEnabled(std::string_view taskPath);
// Registers the task from its definition (XML), replacing one of that path;
// missing task folders are made. The principal the definition names is kept.
WriteResult RegisterScheduledTask(std::string_view taskPath, std::string_view xml);

// Replaces the bytes of an existing file (a full path) with bytes: they are
// written to a new file in the same folder, which then takes the file's
// place through the system's file replacement, so the file keeps its
// security, attributes and name and is never left half written. A read-only
// file (unwanted software sets the attribute to keep its changes) is made
// writable for the replacement only and read-only again right after; should
// the replacement fail, the attribute is put back and nothing else changed.
// readOnly, when given, is the attribute the file has afterwards instead (a
// restore gives back the one its backup kept).
WriteResult RewriteFile(std::string_view path, std::string_view bytes, std::optional<bool> readOnly = std::nullopt);

// Certificate stores of the system, named "LocalMachine\ROOT",
// "LocalMachine\AuthRoot", "CurrentUser\ROOT" (any system store name after
// the location; the locations LocalMachineGroupPolicy, LocalMachineEnterprise
// and CurrentUserGroupPolicy too); a certificate by its SHA-1 thumbprint (hex,
// any case). Each names the store's own registry part, never the collection
// the system store of a location is.
// Whether the store holds the certificate; nullopt when the store cannot be
// opened. Reads only.
std::optional<bool> CertificateInStore(std::string_view store, std::string_view sha1);
// The certificate as the store keeps it (its serialized element: the
// certificate and its properties); nullopt when it is not there.
std::optional<std::vector<uint8_t>> CertificateElement(std::string_view store, std::string_view sha1);
// Deletes the certificate from the store. The backup keeps its bytes and
// properties (the store's serialized element).
WriteResult DeleteCertificate(std::string_view store, std::string_view sha1);
// Adds a certificate to the store: bytes are a serialized store element (as a
// deletion's backup keeps it) or a plain encoded (DER) certificate. One that
// is there already is replaced.
WriteResult AddCertificate(std::string_view store, const std::vector<uint8_t>& bytes);

// WMI instances through the store in use (WmiStore), named by their
// namespace ("root\subscription") and relative path. The backup keeps a
// deleted instance's class and properties: a restore creates it again.
WriteResult DeleteWmiInstance(std::string_view wmiNamespace, std::string_view path);
// Creates an instance from its class and properties; one of that path must
// not be there (ERROR_ALREADY_EXISTS).
WriteResult CreateWmiInstance(std::string_view wmiNamespace, const WmiInstance& instance);

// Cancels a background transfer job (TransferJobs()), by its identifier.
// The backup describes the job (its files, its notify command line, its
// owner), but a restore cannot bring it back: the service gives a job made
// anew another identifier and owner, and what the job had transferred is
// gone with it. The backup says so, and a restore changes nothing.
WriteResult CancelTransferJob(std::string_view id);

// ---- Winsock catalogs ------------------------------------------------------
// Providers are removed and installed only through the system's setup
// routines, never by editing the catalog's registry keys.

// The routines the removal and the re-installation go through. The system's
// (used unless others are put in place; only the write routines reach them)
// are looked up when called (WSCEnumProtocols, WSCDeinstallProvider,
// WSCInstallProvider, WSCUnInstallNameSpace, WSCInstallNameSpace and their
// 32-bit forms): a system without one gives ERROR_PROC_NOT_FOUND. Tests put
// others in place.
struct WinsockSetupRoutines {
  // The providers of one catalog, grouped by provider, in catalog order
  // (what the routines list, then the registry's entries they skip);
  // nullopt with error set when the catalog cannot be read.
  std::function<std::optional<std::vector<WinsockProviderSetup>>(bool nameSpace, bool wow32, uint32_t& error)> list;
  // 0 when done, else the Winsock or Win32 error code.
  std::function<uint32_t(const WinsockProviderSetup&)> remove;
  std::function<uint32_t(const WinsockProviderSetup&)> install;
};

// Puts other routines in place while it lives.
class ScopedWinsockSetup : ScopedOverride<std::optional<WinsockSetupRoutines>> {
 public:
  explicit ScopedWinsockSetup(WinsockSetupRoutines routines);
};

// The providers of the catalog as the routines in place list them.
std::optional<std::vector<WinsockProviderSetup>> ListWinsockProviders(bool nameSpace, bool wow32, uint32_t& error);

// Removes the provider (by its GUID) from its catalog, and with a protocol
// provider the protocol chains built over its entries (they would point at
// nothing and break the programs that use them). Done only when the catalog
// no longer lists it afterwards. The backup keeps each removed provider as
// the routines listed it. A provider of the 32-bit catalog that the 64-bit
// one holds too is refused: a 64-bit program can install into the 32-bit
// catalog only together with the 64-bit one, so it could not be put back.
WriteResult RemoveWinsockProvider(std::string_view providerId, bool nameSpace, bool wow32);
// Installs removed providers again (a removal's backup): layered and base
// protocol entries first, then the chains over them, given the catalog ids
// the installation gave those. Providers the catalog holds already are left
// as they are. Done only when the catalog lists each afterwards.
WriteResult InstallWinsockProviders(const std::vector<WinsockProviderSetup>& providers);

// Shell shortcuts (.lnk, a full path to an existing file). Sets the
// arguments the shortcut passes to its target and saves it in place; the
// target, icon and everything else stay as they are.
WriteResult WriteShortcutArguments(std::string_view lnkPath, std::string_view arguments);

}  // namespace wl
