#include "sysroutines/windows_version.h"

#include "sysroutines/text_routines.h"

namespace wl {

int WindowsVersionCode(const WindowsVersionFacts& f) {
  if (f.ntPlatform) {
    if (f.major == 3) return 1;
    if (f.major == 4) return 3;
    if (f.major == 5) return f.minor == 1 ? 11 : f.minor == 2 ? 12 : 10;
    return 0;
  }
  if (f.major != 4) return 0;
  if (f.minor == 0) {
    const std::string service = TrimUpToChar(f.serviceText, ' ');
    if (service == "C") return 6;
    if (service == "B") return 5;
    if (service == "A") return 4;
    return 2;
  }
  if (f.minor == 10) return (f.build & 0xFFFF) == 2222 ? 8 : 7;
  if (f.minor == 90) return 9;
  return 0;
}

std::string WindowsVersionName(int code) {
  switch (code) {
    case 1:
    case 3: return "Windows NT";
    case 10: return "Windows 2000";
    case 11: return "Windows XP";
    case 12: return "Windows 2003 Server";
    case 2:
    case 5: return "Windows 95";
    case 7:
    case 8: return "Windows 98";
    case 9: return "Windows Me";
    default: return {};
  }
}

std::string WindowsVersionNameOf(const WindowsVersionFacts& f) {
  const int code = WindowsVersionCode(f);
  if (code != 0 || !f.ntPlatform || f.major < 6) return WindowsVersionName(code);
  if (f.major == 6) {
    switch (f.minor) {
      case 0: return f.server ? "Windows Server 2008" : "Windows Vista";
      case 1: return f.server ? "Windows Server 2008 R2" : "Windows 7";
      case 2: return f.server ? "Windows Server 2012" : "Windows 8";
      case 3: return f.server ? "Windows Server 2012 R2" : "Windows 8.1";
      default: break;
    }
  } else if (f.major == 10 && f.minor == 0) {
    if (!f.server) return f.build >= 22000 ? "Windows 11" : "Windows 10";
    if (f.build >= 26100) return "Windows Server 2025";
    if (f.build >= 20348) return "Windows Server 2022";
    if (f.build >= 17763) return "Windows Server 2019";
    return "Windows Server 2016";
  }
  return "Windows " + std::to_string(f.major) + "." + std::to_string(f.minor) + " (build " +
         std::to_string(f.build) + ")";
}

}  // namespace wl
