// Tcap_ip: captures the IPv4 packets of every local address with raw sockets
// in receive-all mode. Socket notifications arrive as window messages on a
// hidden window of its own, so OnCap and OnError run on the thread that
// created the component. The socket library is loaded at run time; its entry
// points are the seam through which tests drive the engine.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace wl {

// Failures while loading and starting the socket library.
class ESocketException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The library's texts.
inline constexpr const char* kUnableToRegister = "Unable to register ws2_32.dll";
inline constexpr const char* kEntryPointError = "加载dll函数错误!";
inline constexpr const char* kStartupError = "初始化SOCKET2函数失败!";
inline constexpr const char* kNoAddressError = "没有找到可绑定的IP!";

// The socket library: loaded once, entry points looked up by name.
class SocketLibrary {
 public:
  virtual ~SocketLibrary() = default;
  virtual bool Load() = 0;
  virtual FARPROC Find(const char* name) = 0;
  virtual void Unload() = 0;
};
// ws2_32.dll from the system folder (never from the program's folder).
std::unique_ptr<SocketLibrary> SystemSocketLibrary();

struct SocketApi {
  int(WSAAPI* WSAStartup)(WORD, LPWSADATA) = nullptr;
  SOCKET(WSAAPI* socket)(int, int, int) = nullptr;
  unsigned long(WSAAPI* inet_addr)(const char*) = nullptr;
  u_short(WSAAPI* htons)(u_short) = nullptr;
  int(WSAAPI* connect)(SOCKET, const sockaddr*, int) = nullptr;
  int(WSAAPI* closesocket)(SOCKET) = nullptr;
  int(WSAAPI* send)(SOCKET, const char*, int, int) = nullptr;
  int(WSAAPI* WSAIoctl)(SOCKET, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPWSAOVERLAPPED,
                        LPWSAOVERLAPPED_COMPLETION_ROUTINE) = nullptr;
  int(WSAAPI* recv)(SOCKET, char*, int, int) = nullptr;
  int(WSAAPI* WSACleanup)() = nullptr;
  int(WSAAPI* WSAAsyncSelect)(SOCKET, HWND, u_int, long) = nullptr;
  // The plain socket calls, from the same library.
  int(WSAAPI* bind)(SOCKET, const sockaddr*, int) = nullptr;
  int(WSAAPI* gethostname)(char*, int) = nullptr;
  hostent*(WSAAPI* gethostbyname)(const char*) = nullptr;
};

class Tcap_ip {
 public:
  using TOnCap = std::function<void(const std::string& ip, const std::string& proto, const std::string& sourceIP,
                                    const std::string& destIP, const std::string& SourcePort,
                                    const std::string& DestPort, const uint8_t* header, int header_size,
                                    const uint8_t* data, int data_size)>;
  using TOnError = std::function<void(const std::string& Error)>;

  static constexpr UINT kFirstMessage = WM_USER + 200;  // socket i reports on kFirstMessage + i
  static constexpr std::size_t kMaxAddresses = 20;
  static constexpr DWORD kReceiveAll = 0x98000001;  // SIO_RCVALL

  explicit Tcap_ip(std::unique_ptr<SocketLibrary> library = SystemSocketLibrary());
  ~Tcap_ip();
  Tcap_ip(const Tcap_ip&) = delete;
  Tcap_ip& operator=(const Tcap_ip&) = delete;

  // Loads the library the first time (ESocketException on failure), finds
  // the local addresses and opens one raw socket on each.
  void Start();
  // Flips between delivering and dropping packets while sockets exist.
  void Pause();
  // Closes the sockets.
  void Stop();

  bool Paused() const { return paused_; }
  bool Initialised() const { return initialised_; }
  HWND NotifyWindow() const { return window_; }
  const std::vector<std::string>& Addresses() const { return addresses_; }
  // Sockets whose every set-up step succeeded and that are not closed.
  std::size_t CapturingSockets() const;

  // Reports a socket call's result of -1 through OnError; true for -1.
  bool CheckSocketResult(int value);

  TOnCap OnCap;
  TOnError OnError;

 private:
  struct Socket {
    SOCKET handle = INVALID_SOCKET;
    bool ready = false;
  };
  void LoadSocketLibrary();
  void FindLocalAddresses();
  void OpenRawSockets();
  void CloseSockets();
  void ReadPacket(std::size_t i);
  void DecodePacket(const std::string& ip, const uint8_t* buffer, std::size_t n);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  std::unique_ptr<SocketLibrary> library_;
  HWND window_ = nullptr;
  std::vector<Socket> sockets_;
  std::vector<std::string> addresses_;
  SocketApi api_;
  bool paused_ = false;
  bool initialised_ = false;
  std::vector<uint8_t> buffer_;
};

}  // namespace wl
