#include "network/port_table.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {

namespace {

// The network libraries, from the system folder only, loaded once.
struct NetLibraries {
  using TableFn = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, int, ULONG);
  TableFn getExtendedTcpTable = nullptr;
  TableFn getExtendedUdpTable = nullptr;
  using Tcp6Fn = ULONG(WINAPI*)(PMIB_TCP6TABLE, PULONG, BOOL);
  Tcp6Fn getTcp6Table = nullptr;
  decltype(&::getservbyport) getservbyport = nullptr;
  decltype(&::getnameinfo) getnameinfo = nullptr;
  bool started = false;
};

const NetLibraries& Net() {
  static NetLibraries libs;
  static std::once_flag once;
  std::call_once(once, [] {
    if (HMODULE iphlp = LoadLibraryExW(L"iphlpapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
      libs.getExtendedTcpTable =
          reinterpret_cast<NetLibraries::TableFn>(reinterpret_cast<void*>(GetProcAddress(iphlp, "GetExtendedTcpTable")));
      libs.getExtendedUdpTable =
          reinterpret_cast<NetLibraries::TableFn>(reinterpret_cast<void*>(GetProcAddress(iphlp, "GetExtendedUdpTable")));
      libs.getTcp6Table =
          reinterpret_cast<NetLibraries::Tcp6Fn>(reinterpret_cast<void*>(GetProcAddress(iphlp, "GetTcp6Table")));
    }
    if (HMODULE ws2 = LoadLibraryExW(L"ws2_32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
      auto startup = reinterpret_cast<decltype(&::WSAStartup)>(reinterpret_cast<void*>(GetProcAddress(ws2, "WSAStartup")));
      WSADATA data{};
      libs.started = startup && startup(MAKEWORD(2, 2), &data) == 0;
      libs.getservbyport =
          reinterpret_cast<decltype(&::getservbyport)>(reinterpret_cast<void*>(GetProcAddress(ws2, "getservbyport")));
      libs.getnameinfo =
          reinterpret_cast<decltype(&::getnameinfo)>(reinterpret_cast<void*>(GetProcAddress(ws2, "getnameinfo")));
    }
    // The libraries stay loaded for the rest of the run.
  });
  return libs;
}

// One table call with the buffer grown until it fits.
bool ReadTable(NetLibraries::TableFn fn, ULONG family, int tableClass, std::vector<uint8_t>& buf, DWORD* error) {
  if (!fn) {
    *error = ERROR_PROC_NOT_FOUND;
    return false;
  }
  DWORD size = static_cast<DWORD>(buf.size());
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (buf.size() < size) buf.resize(size);
    size = static_cast<DWORD>(buf.size());
    const DWORD rc = fn(buf.empty() ? nullptr : buf.data(), &size, TRUE, family, tableClass, 0);
    if (rc == NO_ERROR) return true;
    if (rc != ERROR_INSUFFICIENT_BUFFER) {
      *error = rc;
      return false;
    }
    size += size / 4 + 1024;  // the table may grow between the calls
  }
  *error = ERROR_INSUFFICIENT_BUFFER;
  return false;
}

// Byte order by hand: the socket library's own helpers would tie the program
// to a load-time import of it.
uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>(v << 8 | v >> 8); }
uint16_t PortOf(DWORD networkOrder) { return Swap16(static_cast<uint16_t>(networkOrder & 0xFFFF)); }

IpAddress V4Of(DWORD networkOrder) {
  IpAddress a;
  std::memcpy(a.bytes.data(), &networkOrder, 4);
  return a;
}

IpAddress V6Of(const UCHAR* bytes) {
  IpAddress a;
  a.v6 = true;
  std::memcpy(a.bytes.data(), bytes, 16);
  return a;
}

}  // namespace

EndpointTables ReadEndpointTables() {
  EndpointTables out;
  const NetLibraries& net = Net();
  // The buffer keeps the size of the largest table read so far: one call
  // per table on later reads.
  static std::mutex bufferLock;
  static std::vector<uint8_t> buf(1024 * 1024);
  std::lock_guard lock(bufferLock);
  DWORD error = 0;
  auto fail = [&](const char* table) {
    if (out.error.empty()) out.error = std::string(table) + ": " + win32::SystemErrorText(error);
  };
  if (ReadTable(net.getExtendedTcpTable, AF_INET, TCP_TABLE_OWNER_PID_ALL, buf, &error)) {
    out.ok = true;
    const auto* t = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buf.data());
    for (DWORD i = 0; i < t->dwNumEntries; ++i) {
      const auto& r = t->table[i];
      out.endpoints.push_back({.tcp = true, .local = V4Of(r.dwLocalAddr), .remote = V4Of(r.dwRemoteAddr),
                               .localPort = PortOf(r.dwLocalPort), .remotePort = PortOf(r.dwRemotePort),
                               .state = r.dwState, .pid = r.dwOwningPid});
    }
  } else {
    fail("The TCP table");
    return out;
  }
  // A system that names no owner in the IPv4 table (Wine says 0 for every
  // socket) reads the IPv6 table without owners: asking for them there costs
  // a walk over every process's handles and gives nothing.
  const bool owners = std::any_of(out.endpoints.begin(), out.endpoints.end(), [](auto& e) { return e.pid != 0; });
  if (!owners && net.getTcp6Table) {
    const auto tcp6 = [&net](std::vector<uint8_t>& b, DWORD* e) {
      ULONG size = static_cast<ULONG>(b.size());
      for (int attempt = 0; attempt < 8; ++attempt) {
        const ULONG rc = net.getTcp6Table(reinterpret_cast<PMIB_TCP6TABLE>(b.data()), &size, TRUE);
        if (rc == NO_ERROR) return true;
        if (rc != ERROR_INSUFFICIENT_BUFFER) {
          *e = rc;
          return false;
        }
        b.resize(size + size / 4 + 1024);
        size = static_cast<ULONG>(b.size());
      }
      *e = ERROR_INSUFFICIENT_BUFFER;
      return false;
    };
    if (tcp6(buf, &error)) {
      const auto* t = reinterpret_cast<const MIB_TCP6TABLE*>(buf.data());
      for (DWORD i = 0; i < t->dwNumEntries; ++i) {
        const auto& r = t->table[i];
        out.endpoints.push_back({.tcp = true, .local = V6Of(r.LocalAddr.u.Byte), .remote = V6Of(r.RemoteAddr.u.Byte),
                                 .localPort = PortOf(r.dwLocalPort), .remotePort = PortOf(r.dwRemotePort),
                                 .state = static_cast<uint32_t>(r.State), .pid = 0});
      }
    } else {
      fail("The IPv6 TCP table");
    }
  } else if (ReadTable(net.getExtendedTcpTable, AF_INET6, TCP_TABLE_OWNER_PID_ALL, buf, &error)) {
    const auto* t = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buf.data());
    for (DWORD i = 0; i < t->dwNumEntries; ++i) {
      const auto& r = t->table[i];
      out.endpoints.push_back({.tcp = true, .local = V6Of(r.ucLocalAddr), .remote = V6Of(r.ucRemoteAddr),
                               .localPort = PortOf(r.dwLocalPort), .remotePort = PortOf(r.dwRemotePort),
                               .state = r.dwState, .pid = r.dwOwningPid});
    }
  } else {
    fail("The IPv6 TCP table");
  }
  if (ReadTable(net.getExtendedUdpTable, AF_INET, UDP_TABLE_OWNER_PID, buf, &error)) {
    const auto* t = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(buf.data());
    for (DWORD i = 0; i < t->dwNumEntries; ++i) {
      const auto& r = t->table[i];
      out.endpoints.push_back(
          {.tcp = false, .local = V4Of(r.dwLocalAddr), .localPort = PortOf(r.dwLocalPort), .pid = r.dwOwningPid});
    }
  } else {
    fail("The UDP table");
  }
  if (ReadTable(net.getExtendedUdpTable, AF_INET6, UDP_TABLE_OWNER_PID, buf, &error)) {
    const auto* t = reinterpret_cast<const MIB_UDP6TABLE_OWNER_PID*>(buf.data());
    for (DWORD i = 0; i < t->dwNumEntries; ++i) {
      const auto& r = t->table[i];
      out.endpoints.push_back(
          {.tcp = false, .local = V6Of(r.ucLocalAddr), .localPort = PortOf(r.dwLocalPort), .pid = r.dwOwningPid});
    }
  } else {
    fail("The IPv6 UDP table");
  }
  SortEndpoints(out.endpoints);
  return out;
}

long BareTcpTableRows() {
  const NetLibraries& net = Net();
  std::vector<uint8_t> buf(1024 * 1024);
  DWORD error = 0;
  if (!ReadTable(net.getExtendedTcpTable, AF_INET, TCP_TABLE_OWNER_PID_ALL, buf, &error)) return -1;
  return static_cast<long>(reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buf.data())->dwNumEntries);
}

std::string ServiceName(uint16_t port, const char* protocol) {
  const NetLibraries& net = Net();
  if (!net.started || !net.getservbyport) return {};
  // The services database is read once per port and protocol in a run.
  static std::mutex lock;
  static std::unordered_map<uint32_t, std::string> cache;
  const uint32_t key = uint32_t{port} << 1 | (protocol[0] == 'u' ? 1u : 0u);
  std::lock_guard guard(lock);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  const servent* s = net.getservbyport(static_cast<int>(Swap16(port)), protocol);
  return cache[key] = s && s->s_name ? std::string(s->s_name) : std::string();
}

std::string LookupHostName(const IpAddress& address) {
  const NetLibraries& net = Net();
  if (!net.started || !net.getnameinfo) return {};
  sockaddr_storage storage{};
  int size = 0;
  if (address.v6) {
    auto* sa = reinterpret_cast<sockaddr_in6*>(&storage);
    sa->sin6_family = AF_INET6;
    std::memcpy(&sa->sin6_addr, address.bytes.data(), 16);
    size = sizeof(sockaddr_in6);
  } else {
    auto* sa = reinterpret_cast<sockaddr_in*>(&storage);
    sa->sin_family = AF_INET;
    std::memcpy(&sa->sin_addr, address.bytes.data(), 4);
    size = sizeof(sockaddr_in);
  }
  char host[NI_MAXHOST] = {};
  if (net.getnameinfo(reinterpret_cast<sockaddr*>(&storage), size, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0)
    return {};
  return host;
}

std::unordered_map<uint32_t, std::string> ProcessNames() {
  std::unordered_map<uint32_t, std::string> names;
  win32::UniqueSnapshot snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return names;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry))
    names[entry.th32ProcessID] = win32::Narrow(entry.szExeFile);
  return names;
}

PortTextSources SystemPortTextSources(std::function<std::optional<std::string>(const IpAddress&)> hostName) {
  auto names = std::make_shared<std::unordered_map<uint32_t, std::string>>(ProcessNames());
  PortTextSources sources;
  sources.serviceName = [](uint16_t port, const char* protocol) { return ServiceName(port, protocol); };
  sources.hostName = std::move(hostName);
  sources.processName = [names](uint32_t pid) {
    auto it = names->find(pid);
    return it == names->end() ? std::string() : it->second;
  };
  return sources;
}

PageText PortsPageText(const ReferenceTables& tables) {
  const EndpointTables read = ReadEndpointTables();
  PageText text;
  text.header = PortColumns();
  for (const auto& row : BuildPortRows(read.endpoints, tables, SystemPortTextSources()))
    text.rows.push_back(PortCells(row));
  return text;
}

}  // namespace wl
