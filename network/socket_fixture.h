// Real sockets for the port-table tests: a TCP listener on 127.0.0.1, a
// connection to it, and a UDP socket, each on a port the system chooses.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

namespace wl::test {

class SocketFixture {
 public:
  SocketFixture() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener_, 4);
    listenPort = PortOf(listener_);
    client_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    a.sin_port = htons(listenPort);
    connect(client_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    clientPort = PortOf(client_);
    accepted_ = accept(listener_, nullptr, nullptr);
    udp_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    a.sin_port = 0;
    bind(udp_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    udpPort = PortOf(udp_);
  }
  ~SocketFixture() {
    for (SOCKET s : {accepted_, client_, listener_, udp_})
      if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
  }
  SocketFixture(const SocketFixture&) = delete;
  SocketFixture& operator=(const SocketFixture&) = delete;

  uint16_t listenPort = 0, clientPort = 0, udpPort = 0;

 private:
  static uint16_t PortOf(SOCKET s) {
    sockaddr_in a{};
    int size = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    return ntohs(a.sin_port);
  }
  SOCKET listener_ = INVALID_SOCKET, client_ = INVALID_SOCKET, accepted_ = INVALID_SOCKET, udp_ = INVALID_SOCKET;
};

}  // namespace wl::test
