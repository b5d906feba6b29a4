#include "app/rights_notice.h"

namespace wl::app {

std::string RightsNoticeFor(int pageIndex) {
  const char* what = nullptr;
  switch (pageIndex) {
    case 0: what = "Removing autorun entries of all users and adding programs to them"; break;
    case 1: what = "Ending processes of other users and of the system"; break;
    case 2: what = "Starting, stopping, changing and removing services"; break;
    case 4: what = "Repairing the file associations of the machine"; break;
    case 6: what = "Removing browser extensions of the machine"; break;
    case 7: what = "Disabling, enabling and removing helper objects and ActiveX controls"; break;
    case 9: what = "Capturing network packets"; break;
    case 10: what = "Immunizing the machine"; break;
    case 12: what = "Running most uninstallers and removing installation entries"; break;
    case 14: what = "Removing shell extensions"; break;
    case 15: what = "Changing the browser settings of all users"; break;
    default: return {};
  }
  return std::string("Wardenlake runs without administrative rights. ") + what +
         " needs them: choose \"" + kRunAsAdministrator + "\".";
}

}  // namespace wl::app
