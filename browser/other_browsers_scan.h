// The scan of the "Other Browsers" page: Chromium browsers (Edge, Chrome,
// Brave …) found by their user-data folders, Firefox by its profiles; their
// policies, externally installed extensions, profile settings and add-ons,
// and the browser shortcuts. Reads only; never opens a profile file for
// writing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/other_browsers_rules.h"
#include "core/hijack_list.h"

namespace wl {

// Where the scan looks. System() gives the machine's own places; tests give
// folders and keys of their own.
struct OtherBrowsersPlaces {
  std::string localAppData;    // holds the Chromium browsers' "User Data" folders
  std::string roamingAppData;  // holds "Mozilla\Firefox\profiles.ini"
  std::vector<std::string> firefoxProgramFolders;  // "distribution\policies.json" is looked for below each
  std::vector<std::string> shortcutFolders;        // desktops, Start menus, pinned taskbar items
  // The key below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER holding the
  // browsers' policies ("Google\Chrome" …), and the one holding their
  // external extension keys.
  std::string policiesKey = "SOFTWARE\\Policies";
  std::string softwareKey = "SOFTWARE";

  static OtherBrowsersPlaces System();
};

std::vector<BrowserRow> ScanOtherBrowsers(const OtherBrowsersPlaces& places);
std::vector<BrowserRow> ScanOtherBrowsers();

// The flagged rows of a scan of the machine, for the hijack scan.
std::vector<HijackRow> OtherBrowsersHijackScan();

// A whole file of at most limit bytes; nullopt with a reason in error when
// it is missing, larger or unreadable. Other programs may keep it open.
std::optional<std::string> ReadWholeFile(std::string_view path, std::size_t limit, std::string& error);

// A process runs whose program file is named programName ("chrome.exe"),
// compared without regard to case.
bool IsProgramRunning(std::string_view programName);
// The program file name of a browser the page lists ("chrome.exe" for
// "Google Chrome"); empty when unknown.
std::string BrowserProgramName(std::string_view browser);

}  // namespace wl
