#include "app/help_viewer.h"

#include <windows.h>

#include "app/help_topics.h"
#include "sysroutines/system_paths.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl::app {

namespace {

// The system's help viewer: in the Windows folder, else in the system folder.
std::string HelpViewerPath() {
  const std::string inWindows = WindowsProgramPath(kHelpViewer);
  if (win32::FileExists(inWindows)) return inWindows;
  const std::string inSystem = SystemProgramPath(kHelpViewer);
  return win32::FileExists(inSystem) ? inSystem : inWindows;
}

// The help viewer reads its command line in the ANSI code page: a path with
// characters outside it is given by its short form, when the volume has one.
std::string PathForAnsiProgram(const std::string& path) {
  const std::wstring wide = win32::Widen(path);
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, &lost);
  if (n > 0 && !lost) return path;
  const std::string shortPath = win32::ShortPath(path);
  return shortPath.empty() ? path : shortPath;
}

}  // namespace

std::string OpenHelpTopic(const std::string& appPath, const std::string& topic, const StartProgramFn& start) {
  const std::string file = appPath + kHelpFileName;
  if (!win32::FileExists(file))
    return "The help file \"" + file + "\" is missing.\r\n\r\nInstall the program again to restore the file.";
  const std::string viewer = HelpViewerPath();
  std::string error;
  if (!start(viewer, HelpViewerArgument(PathForAnsiProgram(file), topic), &error))
    return "The help viewer \"" + viewer + "\" could not be started:\r\n" + error;
  return {};
}

}  // namespace wl::app
