// A program's version information read from its own bytes: the VERSIONINFO
// resource found through the PE headers and resource directory, and the
// strings of its StringFileInfo block. Portable, and bounded against
// damaged or hostile files (every offset and length is checked, nesting
// and entry counts are limited).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace wl {

struct VersionStrings {
  std::string companyName;
  std::string originalFilename;
  std::string fileDescription;
  std::string productName;
};

// Reads up to size bytes at offset; fewer where the file ends.
using ReadAtFn = std::function<std::string(std::uint64_t offset, std::size_t size)>;

// The bytes of the first version resource of a PE image of fileSize bytes;
// nullopt when the file is no PE image or has none.
std::optional<std::string> FindVersionResource(const ReadAtFn& readAt, std::uint64_t fileSize);

// The strings of a version resource (a VS_VERSIONINFO block), from the table
// of the first language and code page it lists that holds any of them, else
// from the first table that does; nullopt when it holds none.
std::optional<VersionStrings> ParseVersionResource(std::string_view block);

// The name a version resource gives, as a file name: "PowerShell.EXE.MUI"
// -> "powershell.exe" (the language resources' suffix dropped, lower case).
std::string OriginalProgramName(std::string_view originalFilename);

}  // namespace wl
