// The Windows version as a code and a name, from what the system says about
// itself. Pure: the system's answer is passed in, so every row of the table
// can be tried on one machine.
#pragma once

#include <cstdint>
#include <string>

namespace wl {

struct WindowsVersionFacts {
  bool ntPlatform = true;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  std::string serviceText;  // the service pack text as the system gives it
  bool server = false;      // a server edition (product type other than workstation)
};

// 1 NT 3; 3 NT 4; 10 NT 5.x (x not 1 or 2); 11 NT 5.1; 12 NT 5.2;
// other platforms: 4.0 → 2 (service text not "A", "B" or "C"), 4 ("A"),
// 5 ("B"), 6 ("C"); 4.10 → 7, or 8 for build 2222 (low 16 bits); 4.90 → 9;
// anything else (NT 6 and later included) → 0.
int WindowsVersionCode(const WindowsVersionFacts& facts);

// "Windows NT", "Windows 2000", "Windows XP", "Windows 2003 Server",
// "Windows 95", "Windows 98", "Windows Me", or empty (codes 0, 4, 6 and any
// code not in the table).
std::string WindowsVersionName(int code);

// The name of the version the facts describe: the table's names above, and
// for NT 6 and later "Windows Vista", "Windows 7", "Windows 8",
// "Windows 8.1", "Windows 10", "Windows 11" and the server editions
// ("Windows Server 2008" … "Windows Server 2025"). A later version that has
// no name yet reads "Windows <major>.<minor> (build <build>)". Give it the
// real version (what the kernel reports, not the compatibility shim's).
std::string WindowsVersionNameOf(const WindowsVersionFacts& facts);

}  // namespace wl
