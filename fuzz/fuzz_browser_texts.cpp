// Texts of the browser's registry entries ("HotIcon" values, server paths,
// button texts) are outside bytes: turn arbitrary ones into rows and icons.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "browser/browser_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const wl::IconSource icon = wl::HotIconSource(text, "C:\\WINDOWS");
  if (icon.file.empty() && (icon.index != 0 || icon.byIndex)) std::abort();
  const wl::IeExtensionRow button = wl::MakeToolButtonRow(text, text, text, true, "C:\\WINDOWS");
  if (button.filePath != text || button.icon != icon) std::abort();
  const std::string folder = wl::FolderOf(text);
  if (folder.size() > text.size() + 1) std::abort();
  const std::string mapped = wl::ServerPathInView(text, true, "C:\\Windows\\system32", "C:\\Windows\\SysWOW64");
  if (mapped != text && !mapped.starts_with("C:\\Windows\\SysWOW64\\")) std::abort();
  (void)wl::DecimalOr(text, 0);
  (void)wl::IeExtensionHijackRow(wl::MakeToolbarRow(text, text, text, false, ""));
  return 0;
}
