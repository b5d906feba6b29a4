#include "sysroutines/version_info.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "sysroutines/system_info.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// The raw version resource of a file; empty when it has none.
std::vector<uint8_t> ReadVersionResource(std::string_view path) {
  std::wstring wpath = win32::ApiPath(path);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(wpath.c_str(), &ignored);
  if (size == 0 && wpath.size() >= MAX_PATH) {
    // Should the long form be refused, the 8.3 form names the same file.
    const std::string shortPath = win32::ShortPath(path);
    if (!shortPath.empty()) {
      wpath = win32::ApiPath(shortPath);
      size = GetFileVersionInfoSizeW(wpath.c_str(), &ignored);
    }
  }
  if (size == 0) return {};
  std::vector<uint8_t> data(size);
  if (!GetFileVersionInfoW(wpath.c_str(), 0, size, data.data())) return {};
  return data;
}

// A value of the resource, kept inside the buffer whatever length the
// resource claims.
bool QueryValue(const std::vector<uint8_t>& data, const std::wstring& name, const void** value, UINT* length) {
  void* p = nullptr;
  UINT n = 0;
  if (!VerQueryValueW(data.data(), name.c_str(), &p, &n) || !p) return false;
  const auto* begin = data.data();
  const auto* at = static_cast<const uint8_t*>(p);
  if (at < begin || at >= begin + data.size()) return false;
  *value = p;
  *length = n;
  return true;
}

std::optional<std::string> QueryString(const std::vector<uint8_t>& data, const std::wstring& name) {
  const void* p = nullptr;
  UINT chars = 0;
  if (!QueryValue(data, name, &p, &chars)) return std::nullopt;
  const auto* text = static_cast<const wchar_t*>(p);
  const std::size_t room = (data.data() + data.size() - static_cast<const uint8_t*>(p)) / sizeof(wchar_t);
  const std::size_t limit = chars < room ? chars : room;
  return win32::Narrow(std::wstring_view(text, wcsnlen(text, limit)));
}

std::wstring BlockPrefix(uint16_t language, uint16_t codePage) {
  wchar_t buf[32];
  swprintf(buf, 32, L"\\StringFileInfo\\%04X%04X\\", language, codePage);
  return buf;
}

const wchar_t* const kFieldNames[] = {L"CompanyName",      L"FileDescription", L"FileVersion", L"InternalName",
                                      L"LegalCopyright",   L"LegalTrademarks", L"OriginalFileName",
                                      L"ProductName",      L"ProductVersion",  L"Comments"};

std::string* FieldSlots(FileVersionInfo& info, std::size_t i) {
  std::string* slots[] = {&info.companyName,      &info.fileDescription, &info.fileVersion, &info.internalName,
                          &info.legalCopyright,   &info.legalTrademarks, &info.originalFileName,
                          &info.productName,      &info.productVersion,  &info.comments};
  return slots[i];
}

}  // namespace

bool ReadFileVersionInfo(std::string_view path, std::string_view extraName, FileVersionInfo& info) {
  info = FileVersionInfo{};
  if (path.empty()) return false;
  const std::vector<uint8_t> data = ReadVersionResource(path);
  if (data.empty()) return false;

  // The blocks to try: every language and code page the file lists, first
  // first, then the usual ones for a file that lists none.
  std::vector<std::wstring> prefixes;
  const void* p = nullptr;
  UINT bytes = 0;
  if (QueryValue(data, L"\\VarFileInfo\\Translation", &p, &bytes)) {
    const std::size_t room = data.data() + data.size() - static_cast<const uint8_t*>(p);
    const std::size_t pairs = (bytes < room ? bytes : room) / 4;
    for (std::size_t i = 0; i < pairs; ++i) {
      uint16_t pair[2];
      std::memcpy(pair, static_cast<const uint8_t*>(p) + i * 4, 4);
      prefixes.push_back(BlockPrefix(pair[0], pair[1]));
    }
  }
  for (auto [language, codePage] : {std::pair<uint16_t, uint16_t>{0x0409, 0x04B0}, {0x0409, 0x04E4},
                                    {0x0000, 0x04B0}, {0x0409, 0x0000}, {0x0000, 0x0000}})
    prefixes.push_back(BlockPrefix(language, codePage));

  for (const auto& prefix : prefixes) {
    bool any = false;
    for (std::size_t i = 0; i < std::size(kFieldNames); ++i) {
      if (auto s = QueryString(data, prefix + kFieldNames[i])) {
        *FieldSlots(info, i) = std::move(*s);
        any = true;
      }
    }
    if (!extraName.empty()) {
      if (auto s = QueryString(data, prefix + win32::Widen(extraName))) {
        info.extraValue = std::move(*s);
        any = true;
      }
    }
    if (any) break;
  }

  if (QueryValue(data, L"\\", &p, &bytes) && bytes >= sizeof(VS_FIXEDFILEINFO) &&
      static_cast<const uint8_t*>(p) + sizeof(VS_FIXEDFILEINFO) <= data.data() + data.size()) {
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, p, sizeof fixed);
    if (fixed.dwSignature == 0xFEEF04BD) info.fixedInfo = fixed;
  }
  return true;
}

std::string GetFileVersionText(std::string_view path, int field) {
  FileVersionInfo info;
  if (!ReadFileVersionInfo(path, "WOW Version", info)) return {};
  switch (field) {
    case kComments: return info.comments;
    case kCompanyName: return info.companyName;
    case kFileDescription: return info.fileDescription;
    case kFileVersion: return info.fileVersion;
    case kInternalName: return info.internalName;
    case kLegalCopyright: return info.legalCopyright;
    case kLegalTrademarks: return info.legalTrademarks;
    case kOriginalFileName: return info.originalFileName;
    case kProductName: return info.productName;
    case kProductVersion: return info.productVersion;
    case kWowVersion: return info.extraValue;
    default: return {};
  }
}

std::string AnalyzeFile(std::string_view pathOrCommand) {
  const std::string path = ResolveProgramPath(pathOrCommand);
  return GetFileVersionText(path, kCompanyName) == "Microsoft Corporation" ? kWindowsSystemFile : kDistrustfulFile;
}

}  // namespace wl
