#include "documents/baseline_file.h"

#include <windows.h>

#include <algorithm>

#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/system_error.h"

namespace wl {

bool ReadBaselineFile(const std::string& path, Baseline& out, std::string& error) {
  out = {};
  const auto failed = [&](const std::string& why) {
    error = "Cannot read the baseline " + path + ": " + why;
    return false;
  };
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return failed(win32::SystemErrorText(GetLastError()));
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return failed(win32::SystemErrorText(GetLastError()));
  if (static_cast<unsigned long long>(size.QuadPart) > kMaxBaselineBytes)
    return failed("it is larger than a scan document can be (" + std::to_string(kMaxBaselineBytes >> 20) + " MB)");
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr))
      return failed(win32::SystemErrorText(GetLastError()));
    if (got == 0) break;  // it became shorter meanwhile
    done += got;
  }
  bytes.resize(done);
  std::string why;
  if (!ReadBaseline(bytes, out, why)) return failed(why);
  return true;
}

}  // namespace wl
