#include "network/cap_ip.h"

#include <cstring>

#include "network/packet_decoder.h"
#include "win32/system_error.h"

namespace wl {

namespace {

constexpr wchar_t kClassName[] = L"TCap_ip";
constexpr std::size_t kBufferSize = 65536;

class Ws2Library : public SocketLibrary {
 public:
  ~Ws2Library() override { Unload(); }
  bool Load() override {
    if (!module_) module_ = LoadLibraryExW(L"ws2_32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module_ != nullptr;
  }
  FARPROC Find(const char* name) override { return module_ ? GetProcAddress(module_, name) : nullptr; }
  void Unload() override {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }

 private:
  HMODULE module_ = nullptr;
};

template <class F>
bool Bind(SocketLibrary& lib, const char* name, F& slot) {
  slot = reinterpret_cast<F>(reinterpret_cast<void*>(lib.Find(name)));
  return slot != nullptr;
}

}  // namespace

std::unique_ptr<SocketLibrary> SystemSocketLibrary() { return std::make_unique<Ws2Library>(); }

Tcap_ip::Tcap_ip(std::unique_ptr<SocketLibrary> library) : library_(std::move(library)) {
  WNDCLASSW cls{};
  if (!GetClassInfoW(GetModuleHandleW(nullptr), kClassName, &cls)) {
    cls = {};
    cls.lpfnWndProc = WindowProc;
    cls.cbWndExtra = sizeof(LONG_PTR);  // the component
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = kClassName;
    if (!RegisterClassW(&cls)) return;
  }
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (window_) SetWindowLongPtrW(window_, 0, reinterpret_cast<LONG_PTR>(this));
}

Tcap_ip::~Tcap_ip() {
  if (window_) {
    SetWindowLongPtrW(window_, 0, 0);
    DestroyWindow(window_);
  }
  CloseSockets();
  if (initialised_) {
    api_.WSACleanup();
    library_->Unload();
  }
}

void Tcap_ip::LoadSocketLibrary() {
  if (initialised_) return;
  if (!library_ || !library_->Load()) throw ESocketException(kUnableToRegister);
  SocketApi api;
  bool ok = true;
  ok &= Bind(*library_, "WSAStartup", api.WSAStartup);
  ok &= Bind(*library_, "socket", api.socket);
  ok &= Bind(*library_, "inet_addr", api.inet_addr);
  ok &= Bind(*library_, "htons", api.htons);
  ok &= Bind(*library_, "connect", api.connect);
  ok &= Bind(*library_, "closesocket", api.closesocket);
  ok &= Bind(*library_, "send", api.send);
  ok &= Bind(*library_, "WSAIoctl", api.WSAIoctl);
  Bind(*library_, "recv", api.recv);  // checked where it is used
  ok &= Bind(*library_, "WSACleanup", api.WSACleanup);
  ok &= Bind(*library_, "WSAAsyncSelect", api.WSAAsyncSelect);
  ok &= Bind(*library_, "bind", api.bind);
  ok &= Bind(*library_, "gethostname", api.gethostname);
  ok &= Bind(*library_, "gethostbyname", api.gethostbyname);
  if (!ok) {
    library_->Unload();
    throw ESocketException(kEntryPointError);
  }
  WSADATA data{};
  if (api.WSAStartup(0x0201, &data) != 0) {
    library_->Unload();
    throw ESocketException(kStartupError);
  }
  api_ = api;
  initialised_ = true;
}

void Tcap_ip::Start() {
  if (!initialised_) LoadSocketLibrary();
  CloseSockets();  // a second Start replaces the sockets of the first
  FindLocalAddresses();
  OpenRawSockets();
}

void Tcap_ip::Pause() {
  if (initialised_ && !sockets_.empty()) paused_ = !paused_;
}

void Tcap_ip::Stop() { CloseSockets(); }

void Tcap_ip::CloseSockets() {
  for (auto& s : sockets_) {
    if (s.handle != INVALID_SOCKET && api_.closesocket) api_.closesocket(s.handle);
    s.handle = INVALID_SOCKET;
    s.ready = false;
  }
}

std::size_t Tcap_ip::CapturingSockets() const {
  std::size_t n = 0;
  for (const auto& s : sockets_) n += s.ready && s.handle != INVALID_SOCKET;
  return n;
}

void Tcap_ip::FindLocalAddresses() {
  char name[64] = {};
  hostent* host = nullptr;
  if (api_.gethostname(name, sizeof name) == 0) {
    name[sizeof name - 1] = 0;
    host = api_.gethostbyname(name);
  }
  addresses_.clear();
  if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list) {
    if (OnError) OnError(kNoAddressError);
    return;
  }
  for (std::size_t i = 0; host->h_addr_list[i] && addresses_.size() < kMaxAddresses; ++i)
    addresses_.push_back(DottedText(reinterpret_cast<const uint8_t*>(host->h_addr_list[i])));
  if (addresses_.empty() && OnError) OnError(kNoAddressError);
}

void Tcap_ip::OpenRawSockets() {
  sockets_.assign(addresses_.size(), Socket{});
  for (std::size_t i = 0; i < addresses_.size(); ++i) {
    Socket& s = sockets_[i];
    s.handle = api_.socket(AF_INET, SOCK_RAW, 0);
    if (s.handle == INVALID_SOCKET) {
      // Nothing to bind: report why and go on with the next address.
      CheckSocketResult(SOCKET_ERROR);
      continue;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = api_.htons(static_cast<u_short>(i));
    local.sin_addr.s_addr = api_.inet_addr(addresses_[i].c_str());
    bool ok = !CheckSocketResult(api_.bind(s.handle, reinterpret_cast<const sockaddr*>(&local), sizeof local));
    DWORD on = 1, returned = 0;
    char out[44] = {};
    ok &= !CheckSocketResult(api_.WSAIoctl(s.handle, kReceiveAll, &on, sizeof on, out, sizeof out, &returned, nullptr,
                                           nullptr));
    ok &= !CheckSocketResult(
        api_.WSAAsyncSelect(s.handle, window_, kFirstMessage + static_cast<UINT>(i), FD_READ | FD_CLOSE));
    s.ready = ok;
  }
}

bool Tcap_ip::CheckSocketResult(int value) {
  if (value != SOCKET_ERROR) return false;
  const DWORD code = GetLastError();
  if (OnError) OnError(std::to_string(code) + win32::SystemErrorText(code));
  return true;
}

void Tcap_ip::ReadPacket(std::size_t i) {
  if (i >= sockets_.size() || sockets_[i].handle == INVALID_SOCKET) return;  // closed since the notification
  buffer_.assign(kBufferSize, 0);
  if (!api_.recv) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    CheckSocketResult(SOCKET_ERROR);
    return;
  }
  const int n = api_.recv(sockets_[i].handle, reinterpret_cast<char*>(buffer_.data()), static_cast<int>(kBufferSize), 0);
  if (CheckSocketResult(n)) return;
  if (n <= 0 || paused_) return;  // a closed connection delivers nothing
  DecodePacket(addresses_[i], buffer_.data(), static_cast<std::size_t>(n));
}

void Tcap_ip::DecodePacket(const std::string& ip, const uint8_t* buffer, std::size_t n) {
  if (!OnCap) return;
  const DecodedPacket d = wl::DecodePacket(buffer, n);
  OnCap(ip, d.proto, d.sourceIP, d.destIP, std::to_string(d.sourcePort), std::to_string(d.destPort), buffer,
        static_cast<int>(d.headerSize), buffer + d.headerSize, static_cast<int>(d.dataSize));
}

LRESULT CALLBACK Tcap_ip::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Tcap_ip*>(GetWindowLongPtrW(hwnd, 0));
  if (self && msg >= kFirstMessage && msg < kFirstMessage + self->addresses_.size()) {
    try {
      self->ReadPacket(msg - kFirstMessage);
    } catch (...) {
      // A handler's failure ends this packet only; it never crosses the system's code.
    }
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace wl
