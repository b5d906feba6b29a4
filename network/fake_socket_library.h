// A socket library for the capture engine's tests: records the calls made
// through its entry points, answers with the test's addresses and errors,
// and hands out the packets the test queues for a socket.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "network/cap_ip.h"

namespace wl::test {

struct FakeNet {
  int loads = 0, unloads = 0, startups = 0, cleanups = 0;
  bool loadFails = false;
  int startupResult = 0;
  std::set<std::string> missing;                                 // entry points not found
  std::vector<std::string> addresses{"10.0.0.5", "192.168.1.7"};  // empty: the host name does not resolve
  std::map<std::string, DWORD> failures;                         // "socket", "bind", "ioctl", "select" → error code
  std::vector<std::string> calls;
  std::map<SOCKET, std::deque<std::vector<uint8_t>>> inbox;
  std::vector<SOCKET> opened;
  SOCKET next = 100;
};

// The one fake of the running test (tests run one per process).
FakeNet& Net();
void ResetNet();

class FakeSocketLibrary : public SocketLibrary {
 public:
  bool Load() override;
  FARPROC Find(const char* name) override;
  void Unload() override;
};

inline std::unique_ptr<Tcap_ip> MakeFakeEngine() { return std::make_unique<Tcap_ip>(std::make_unique<FakeSocketLibrary>()); }

// Queues a packet for socket index i and sends its read notification.
void Deliver(Tcap_ip& engine, std::size_t i, const std::vector<uint8_t>& packet);

}  // namespace wl::test
