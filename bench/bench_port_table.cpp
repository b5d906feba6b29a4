// Timing program for the active-port table, run under Wine by
// scripts/bench.sh (not by the tests). It opens 5,000 loopback TCP
// connections (10,000 endpoints and a listener) and measures, in one run:
//   the page's whole read (all four tables, sorting, service names,
//   descriptions, process names; no DNS) against the bare IPv4
//   GetExtendedTcpTable call. The first read fills the service-name cache;
//   both it and the later reads are reported, and each table call on its own.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "network/port_rows.h"
#include "network/port_table.h"
#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "sysroutines/system_paths.h"
#include "win32/unicode.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kConnections = 5000;
constexpr int kRounds = 3;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One table call of the given family and class with a buffer that fits.
double TimeTable(bool tcp, ULONG family, int tableClass) {
  static std::vector<uint8_t> buf(4 * 1024 * 1024);
  DWORD size = static_cast<DWORD>(buf.size());
  const auto t0 = Clock::now();
  if (tcp)
    GetExtendedTcpTable(buf.data(), &size, TRUE, family, static_cast<TCP_TABLE_CLASS>(tableClass), 0);
  else
    GetExtendedUdpTable(buf.data(), &size, TRUE, family, static_cast<UDP_TABLE_CLASS>(tableClass), 0);
  return Ms(Clock::now() - t0);
}

}  // namespace

int wmain() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  std::vector<SOCKET> sockets;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listener, SOMAXCONN);
  int size = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size);
  for (int i = 0; i < kConnections; ++i) {
    SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (c == INVALID_SOCKET || connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) break;
    SOCKET s = accept(listener, nullptr, nullptr);
    sockets.push_back(c);
    if (s != INVALID_SOCKET) sockets.push_back(s);
  }
  std::printf("endpoints opened: %zu (+1 listener)\n", sockets.size());

  wl::ReferenceTables tables;
  wl::MainDbValues mainDb;
  try {
    wl::TZLBArchive archive;
    archive.Open(wl::OwnProgramFolder() + "Ref.dbd");
    wl::LoadReferenceTables(archive, tables, mainDb);
  } catch (const std::exception& e) {
    std::printf("Ref.dbd not loaded (%s): descriptions are (Unknown)\n", e.what());
  }

  auto fullRead = [&] {
    const wl::EndpointTables read = wl::ReadEndpointTables();
    const auto rows = wl::BuildPortRows(read.endpoints, tables, wl::SystemPortTextSources());
    return rows.size();
  };
  // The first read: empty service-name cache.
  auto t0 = Clock::now();
  const std::size_t firstRows = fullRead();
  const double first = Ms(Clock::now() - t0);

  std::vector<double> bare, full;
  long bareRows = 0;
  std::size_t fullRows = 0;
  for (int r = 0; r < kRounds; ++r) {
    t0 = Clock::now();
    bareRows = wl::BareTcpTableRows();
    bare.push_back(Ms(Clock::now() - t0));
    t0 = Clock::now();
    fullRows = fullRead();
    full.push_back(Ms(Clock::now() - t0));
  }
  std::printf("bare GetExtendedTcpTable (IPv4): %ld rows, median %.1f ms\n", bareRows, Median(bare));
  std::printf("port page read: %zu rows, first read %.1f ms (%zu rows), median %.1f ms\n", fullRows, first, firstRows,
              Median(full));
  std::printf("ratio (median read / bare call): %.2f\n", Median(full) / Median(bare));
  // Where the time goes: each table the read asks for, with and without owners.
  std::printf("tables: tcp4 pid %.1f ms, tcp4 basic %.1f ms, tcp6 pid %.1f ms, udp4 pid %.1f ms, udp6 pid %.1f ms, "
              "udp4 basic %.1f ms\n",
              TimeTable(true, AF_INET, TCP_TABLE_OWNER_PID_ALL), TimeTable(true, AF_INET, TCP_TABLE_BASIC_ALL),
              TimeTable(true, AF_INET6, TCP_TABLE_OWNER_PID_ALL), TimeTable(false, AF_INET, UDP_TABLE_OWNER_PID),
              TimeTable(false, AF_INET6, UDP_TABLE_OWNER_PID), TimeTable(false, AF_INET, UDP_TABLE_BASIC));
  for (SOCKET s : sockets) closesocket(s);
  closesocket(listener);
  WSACleanup();
  return 0;
}
