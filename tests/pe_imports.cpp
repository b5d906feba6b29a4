#include "tests/pe_imports.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

namespace wl::test {

namespace {

template <typename T>
bool ReadAt(const std::string& bytes, std::size_t offset, T* out) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  std::memcpy(out, bytes.data() + offset, sizeof(T));
  return true;
}

struct Image {
  const std::string& bytes;
  std::vector<IMAGE_SECTION_HEADER> sections;
  ULONGLONG imageBase = 0;

  // File offset of a relative virtual address; npos when no section holds it.
  std::size_t Offset(DWORD rva) const {
    for (const auto& s : sections) {
      const DWORD size = std::max(s.Misc.VirtualSize, s.SizeOfRawData);
      if (rva >= s.VirtualAddress && rva - s.VirtualAddress < size)
        return static_cast<std::size_t>(s.PointerToRawData) + (rva - s.VirtualAddress);
    }
    return std::string::npos;
  }
  std::string Name(DWORD rva) const {
    const std::size_t at = Offset(rva);
    if (at >= bytes.size()) return {};
    const std::size_t end = bytes.find('\0', at);
    std::string name = bytes.substr(at, end == std::string::npos ? std::string::npos : end - at);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
  }
};

}  // namespace

std::optional<PeImports> ReadPeImports(const std::string& bytes) {
  IMAGE_DOS_HEADER dos{};
  if (!ReadAt(bytes, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return std::nullopt;
  IMAGE_NT_HEADERS64 nt{};
  const auto ntAt = static_cast<std::size_t>(dos.e_lfanew);
  if (!ReadAt(bytes, ntAt, &nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
      nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
    return std::nullopt;
  Image image{bytes, {}, nt.OptionalHeader.ImageBase};
  std::size_t sectionAt = ntAt + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
  for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER s{};
    if (!ReadAt(bytes, sectionAt + i * sizeof s, &s)) return std::nullopt;
    image.sections.push_back(s);
  }
  PeImports result;
  const auto& dirs = nt.OptionalHeader.DataDirectory;
  if (dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress) {
    std::size_t at = image.Offset(dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (IMAGE_IMPORT_DESCRIPTOR d{}; ReadAt(bytes, at, &d) && d.Name; at += sizeof d)
      result.imported.push_back(image.Name(d.Name));
  }
  // "name.dll" texts, in 8-bit and in UTF-16 form.
  std::set<std::string> named;
  auto isNameChar = [](unsigned c) { return std::isalnum(c) || c == '_' || c == '-'; };
  for (const auto& sec : image.sections) {
    const std::string secName(reinterpret_cast<const char*>(sec.Name), strnlen(reinterpret_cast<const char*>(sec.Name), 8));
    if (secName.starts_with(".debug") || sec.PointerToRawData >= bytes.size()) continue;
    const std::size_t begin = sec.PointerToRawData;
    const std::size_t end = std::min<std::size_t>(bytes.size(), begin + sec.SizeOfRawData);
    for (int width : {1, 2}) {
      std::string name;
      for (std::size_t i = begin; i + width <= end; i += width) {
        const unsigned c = static_cast<unsigned char>(bytes[i]);
        const bool wideOk = width == 1 || bytes[i + 1] == '\0';
        if (wideOk && (isNameChar(c) || c == '.')) {
          name += static_cast<char>(std::tolower(c));
          continue;
        }
        if (c == 0 && wideOk && name.size() > 4 && name.ends_with(".dll") && isNameChar(static_cast<unsigned char>(name[0])) &&
            name.find('.') == name.size() - 4)
          named.insert(name);
        name.clear();
      }
    }
  }
  result.named.assign(named.begin(), named.end());
  return result;
}

}  // namespace wl::test
