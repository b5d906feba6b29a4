// A file's version information (the strings of its VERSIONINFO resource and
// its fixed block), and the file verdict built on its company name.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace wl {

struct FileVersionInfo {
  std::string companyName;
  std::string fileDescription;
  std::string fileVersion;
  std::string internalName;
  std::string legalCopyright;
  std::string legalTrademarks;
  std::string originalFileName;
  std::string productName;
  std::string productVersion;
  std::string comments;
  std::optional<VS_FIXEDFILEINFO> fixedInfo;  // the 52-byte root block, when present
  std::string extraValue;                     // the value the caller named
};

// Reads the version information of the file at path (a path, not a command
// line; any length, any letters). The strings come from the block of the
// first language and code page the file lists that holds any of them; a file
// that lists none is tried with the usual English and neutral blocks. False,
// with every field empty, when the file has no version information.
bool ReadFileVersionInfo(std::string_view path, std::string_view extraName, FileVersionInfo& info);

// The fields GetFileVersionText numbers.
enum VersionField : int {
  kComments = 0,
  kCompanyName = 1,
  kFileDescription = 2,
  kFileVersion = 3,
  kInternalName = 4,
  kLegalCopyright = 5,
  kLegalTrademarks = 6,
  kOriginalFileName = 7,
  kProductName = 8,
  kProductVersion = 9,
  kWowVersion = 10,  // the string value "WOW Version"
};

// One field of the file's version information; empty when the file has none,
// or for a field number outside 0 to 10.
std::string GetFileVersionText(std::string_view path, int field);

inline constexpr const char* kWindowsSystemFile = "Windows System File";
inline constexpr const char* kDistrustfulFile = "Distrustful File";

// "Windows System File" when the CompanyName of the program the text names
// (ResolveProgramPath) is exactly "Microsoft Corporation", else "Distrustful
// File" (no version information, another company, a different spelling or a
// trailing blank).
std::string AnalyzeFile(std::string_view pathOrCommand);

}  // namespace wl
