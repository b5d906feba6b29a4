// The write routine of shell shortcuts.
#include "sysroutines/system_write.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "sysroutines/held_path.h"
#include "sysroutines/write_gate.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {

WriteResult WriteShortcutArguments(std::string_view lnkPath, std::string_view arguments) {
  WriteRequest request{WriteKind::WriteShortcut, std::string(lnkPath), "Arguments"};
  request.text = std::string(arguments);
  if (auto refused = gate::CheckFilePath(request, lnkPath)) return *refused;
  // Checked, and its folder held while the shell reads and saves it (the
  // shell opens it for itself alone: the file is not held besides).
  HeldPath way = gate::HoldWayTo(lnkPath);
  const win32::UniqueHfile held = gate::OpenHeldFile(way, FILE_READ_ATTRIBUTES, true);
  if (!held) return gate::Failure(request, way.Error(), way.Reason());
  if (auto refused = gate::Intercepted(request)) return *refused;
  win32::ComScope com;
  win32::ComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  win32::ComPtr<IPersistFile> file;
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, file.put_void());
  const std::wstring path = win32::ApiPath(way.FinalPath());
  if (SUCCEEDED(hr)) hr = file->Load(path.c_str(), STGM_READWRITE);
  if (FAILED(hr)) return gate::Failure(request, static_cast<uint32_t>(hr), "it is not a shortcut that can be read.");
  hr = link->SetArguments(win32::Widen(arguments).c_str());
  if (SUCCEEDED(hr)) hr = file->Save(path.c_str(), TRUE);
  if (FAILED(hr)) {
    const uint32_t code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : ERROR_WRITE_FAULT;
    return gate::Failure(request, code);
  }
  return gate::Done();
}

}  // namespace wl
