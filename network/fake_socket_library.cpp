#include "network/fake_socket_library.h"

#include <ws2tcpip.h>

#include <cstring>

namespace wl::test {

namespace {

FakeNet* g_net = nullptr;

bool Fails(const char* what) {
  auto it = Net().failures.find(what);
  if (it == Net().failures.end()) return false;
  SetLastError(it->second);
  return true;
}

int WSAAPI FakeStartup(WORD, LPWSADATA) {
  ++Net().startups;
  return Net().startupResult;
}
SOCKET WSAAPI FakeSocket(int af, int type, int protocol) {
  Net().calls.push_back("socket " + std::to_string(af) + " " + std::to_string(type) + " " + std::to_string(protocol));
  if (Fails("socket")) return INVALID_SOCKET;
  Net().opened.push_back(Net().next);
  return Net().next++;
}
unsigned long WSAAPI FakeInetAddr(const char* text) { return ::inet_addr(text); }
u_short WSAAPI FakeHtons(u_short v) { return ::htons(v); }
int WSAAPI FakeConnect(SOCKET, const sockaddr*, int) { return SOCKET_ERROR; }
int WSAAPI FakeClose(SOCKET s) {
  Net().calls.push_back("close " + std::to_string(s));
  return 0;
}
int WSAAPI FakeSend(SOCKET, const char*, int, int) { return SOCKET_ERROR; }
int WSAAPI FakeIoctl(SOCKET s, DWORD code, LPVOID in, DWORD inSize, LPVOID, DWORD outSize, LPDWORD, LPWSAOVERLAPPED,
                     LPWSAOVERLAPPED_COMPLETION_ROUTINE) {
  DWORD value = 0;
  if (in && inSize == 4) std::memcpy(&value, in, 4);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(code));
  Net().calls.push_back("ioctl " + std::to_string(s) + " " + hex + " in=" + std::to_string(value) +
                        " out=" + std::to_string(outSize));
  return Fails("ioctl") ? SOCKET_ERROR : 0;
}
int WSAAPI FakeRecv(SOCKET s, char* buf, int len, int) {
  auto& queue = Net().inbox[s];
  if (queue.empty()) {
    SetLastError(WSAEWOULDBLOCK);
    return SOCKET_ERROR;
  }
  const auto packet = queue.front();
  queue.pop_front();
  const int n = std::min(len, static_cast<int>(packet.size()));
  std::memcpy(buf, packet.data(), static_cast<std::size_t>(n));
  return n;
}
int WSAAPI FakeCleanup() {
  ++Net().cleanups;
  return 0;
}
int WSAAPI FakeAsyncSelect(SOCKET s, HWND, u_int msg, long events) {
  Net().calls.push_back("select " + std::to_string(s) + " " + std::to_string(msg) + " " + std::to_string(events));
  return Fails("select") ? SOCKET_ERROR : 0;
}
int WSAAPI FakeBind(SOCKET s, const sockaddr* addr, int size) {
  const auto* in = reinterpret_cast<const sockaddr_in*>(addr);
  char text[32] = {};
  inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
  Net().calls.push_back("bind " + std::to_string(s) + " " + text + ":" + std::to_string(ntohs(in->sin_port)) +
                        " size=" + std::to_string(size));
  return Fails("bind") ? SOCKET_ERROR : 0;
}
int WSAAPI FakeHostName(char* name, int size) {
  std::strncpy(name, "wltesthost", static_cast<std::size_t>(size));
  return 0;
}
hostent* WSAAPI FakeHostByName(const char*) {
  static hostent host;
  static std::vector<in_addr> addrs;
  static std::vector<char*> list;
  if (Net().addresses.empty()) return nullptr;
  addrs.clear();
  for (const auto& a : Net().addresses) {
    in_addr v{};
    v.s_addr = ::inet_addr(a.c_str());
    addrs.push_back(v);
  }
  list.clear();
  for (auto& a : addrs) list.push_back(reinterpret_cast<char*>(&a));
  list.push_back(nullptr);
  host.h_addrtype = AF_INET;
  host.h_length = 4;
  host.h_addr_list = list.data();
  return &host;
}

}  // namespace

FakeNet& Net() {
  if (!g_net) g_net = new FakeNet();
  return *g_net;
}

void ResetNet() {
  delete g_net;
  g_net = new FakeNet();
}

bool FakeSocketLibrary::Load() {
  ++Net().loads;
  return !Net().loadFails;
}

FARPROC FakeSocketLibrary::Find(const char* name) {
  if (Net().missing.count(name)) return nullptr;
  static const std::map<std::string, void*> entries = {
      {"WSAStartup", reinterpret_cast<void*>(&FakeStartup)},
      {"socket", reinterpret_cast<void*>(&FakeSocket)},
      {"inet_addr", reinterpret_cast<void*>(&FakeInetAddr)},
      {"htons", reinterpret_cast<void*>(&FakeHtons)},
      {"connect", reinterpret_cast<void*>(&FakeConnect)},
      {"closesocket", reinterpret_cast<void*>(&FakeClose)},
      {"send", reinterpret_cast<void*>(&FakeSend)},
      {"WSAIoctl", reinterpret_cast<void*>(&FakeIoctl)},
      {"recv", reinterpret_cast<void*>(&FakeRecv)},
      {"WSACleanup", reinterpret_cast<void*>(&FakeCleanup)},
      {"WSAAsyncSelect", reinterpret_cast<void*>(&FakeAsyncSelect)},
      {"bind", reinterpret_cast<void*>(&FakeBind)},
      {"gethostname", reinterpret_cast<void*>(&FakeHostName)},
      {"gethostbyname", reinterpret_cast<void*>(&FakeHostByName)},
  };
  auto it = entries.find(name);
  return it == entries.end() ? nullptr : reinterpret_cast<FARPROC>(it->second);
}

void FakeSocketLibrary::Unload() { ++Net().unloads; }

void Deliver(Tcap_ip& engine, std::size_t i, const std::vector<uint8_t>& packet) {
  // Socket i is the i-th of the sockets opened by the last Start.
  const std::size_t count = engine.Addresses().size();
  const SOCKET s = Net().opened[Net().opened.size() - count + i];
  Net().inbox[s].push_back(packet);
  SendMessageW(engine.NotifyWindow(), Tcap_ip::kFirstMessage + static_cast<UINT>(i), s, FD_READ);
}

}  // namespace wl::test
