#include "win32/file_path.h"

#include <algorithm>

#include "win32/unicode.h"

namespace wl::win32 {
namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";

std::wstring FullPathName(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  for (int attempt = 0; n != 0 && attempt < 3; ++attempt) {
    std::wstring out(n, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
    if (got == 0) break;
    if (got < n) {
      out.resize(got);
      return out;
    }
    n = got + 1;
  }
  return path;
}

}  // namespace

std::wstring ApiPath(std::string_view utf8Path) {
  std::wstring w = Widen(utf8Path);
  if (w.size() < MAX_PATH || w.starts_with(kLongPrefix)) return w;
  const bool drive = w.size() >= 3 && w[1] == L':' && (w[2] == L'\\' || w[2] == L'/');
  const bool unc = w.size() >= 3 && (w[0] == L'\\' || w[0] == L'/') && (w[1] == L'\\' || w[1] == L'/');
  if (!drive && !unc) return w;
  w = FullPathName(w);  // the prefix turns off the system's own clean-up of "/", "." and ".."
  if (w.starts_with(kLongPrefix)) return w;
  if (unc) return std::wstring(kLongUncPrefix) + w.substr(2);
  return std::wstring(kLongPrefix) + w;
}

std::wstring WithoutLongPrefix(std::wstring path) {
  if (path.starts_with(kLongUncPrefix)) return L"\\\\" + path.substr(kLongUncPrefix.size());
  if (path.starts_with(kLongPrefix)) return path.substr(kLongPrefix.size());
  return path;
}

DWORD FileAttributes(std::string_view utf8Path) {
  if (utf8Path.empty()) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(ApiPath(utf8Path).c_str());
}

bool FileExists(std::string_view utf8Path) {
  const DWORD a = FileAttributes(utf8Path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::string_view utf8Path) {
  const DWORD a = FileAttributes(utf8Path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ShortPath(std::string_view utf8Path) {
  if (utf8Path.empty()) return {};
  const std::wstring in = ApiPath(utf8Path);
  DWORD n = GetShortPathNameW(in.c_str(), nullptr, 0);
  for (int attempt = 0; n != 0 && attempt < 3; ++attempt) {
    std::wstring out(n, L'\0');
    const DWORD got = GetShortPathNameW(in.c_str(), out.data(), n);
    if (got == 0) break;
    if (got < n) {
      out.resize(got);
      std::wstring_view v = out;
      if (v.starts_with(kLongUncPrefix)) return Narrow(L"\\\\" + std::wstring(v.substr(kLongUncPrefix.size())));
      if (v.starts_with(kLongPrefix)) v.remove_prefix(kLongPrefix.size());
      return Narrow(v);
    }
    n = got + 1;
  }
  return {};
}

std::size_t PathRootEnd(std::string_view path) {
  std::size_t end = path.starts_with("\\\\?\\") ? 4 : 0;
  if (path.compare(end, 4, "UNC\\") == 0 || path.compare(end, 2, "\\\\") == 0) {
    for (int skip = 0; skip < 3 && end != std::string_view::npos; ++skip) end = path.find('\\', end + 1);
  } else {
    end = path.find('\\', end);
  }
  return end;
}

std::string StoredPath(std::string_view utf8Path) {
  const std::string path(utf8Path);
  const std::size_t start = PathRootEnd(path);
  if (start == std::string::npos) return path;
  std::string out = path.substr(0, start);
  bool found = true;
  for (std::size_t pos = start; pos < path.size();) {
    const std::size_t next = std::min(path.find('\\', pos + 1), path.size());
    const std::string part = path.substr(pos + 1, next - pos - 1);
    std::string stored = part;
    if (found && !part.empty() && part.find_first_of("*?") == std::string::npos && part != "." && part != "..") {
      WIN32_FIND_DATAW data{};
      const HANDLE find = FindFirstFileW(ApiPath(out + "\\" + part).c_str(), &data);
      if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
        stored = Narrow(data.cFileName);
      } else {
        found = false;  // the rest does not exist
      }
    }
    out += "\\" + stored;
    pos = next;
  }
  return out;
}

}  // namespace wl::win32
