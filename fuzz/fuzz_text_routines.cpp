// The text routines on arbitrary bytes: they must never crash, never cut a
// UTF-8 character, and keep the promises their headers make.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/utf16_text.h"
#include "sysroutines/text_routines.h"
#include "sysroutines/windows_version.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool ValidUtf8(std::string_view s) { return wl::Utf8FromUtf16(wl::Utf16FromUtf8(s)) == s; }

bool IsStripped(unsigned char c) { return c <= 32 || c == '"'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const char c = static_cast<char>(data[0]);
  const std::size_t n = data[1] % 8;
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  const bool valid = ValidUtf8(text);

  // The program path: nothing strippable at its ends, no lower-case ASCII
  // letter (the Windows directory given is upper-case), valid text stays valid.
  const std::string path = wl::ExtractExecutablePath(text, "C:\\WINDOWS");
  Check(path.empty() || (!IsStripped(path.front()) && !IsStripped(path.back())));
  for (char ch : path) Check(!(ch >= 'a' && ch <= 'z'));
  if (valid) Check(ValidUtf8(path));
  (void)wl::ExtractExecutablePath(text, "");
  (void)wl::IsFullPath(text);

  const std::string trimmed = wl::TrimUpToChar(text, c);
  Check(text.find(trimmed) != std::string::npos);
  if (valid) Check(ValidUtf8(trimmed));

  // Split parts joined again give the text back.
  const std::string separator = std::string(1, c) + (n % 2 ? "" : "\n");
  const auto parts = wl::SplitText(text, separator);
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) joined += (i ? separator : "") + parts[i];
  Check(joined == text);

  const std::string before = wl::TextBeforeChar(text, c);
  const std::string after = wl::TextAfterLastChar(text, c);
  Check(after.find(c) == std::string::npos);
  if (text.find(c) == std::string::npos) Check(before.empty() && after == text);
  else Check(text.compare(0, before.size() + 1, before + c) == 0);

  const std::string first = wl::TextBeforeChar(text, wl::CharCount{n});
  const std::string last = wl::TextAfterLastChar(text, wl::CharCount{n});
  Check(first.size() <= n && text.compare(0, first.size(), first) == 0);
  Check(last.size() <= n && text.size() >= last.size() && text.compare(text.size() - last.size(), last.size(), last) == 0);
  if (valid) Check(ValidUtf8(first) && ValidUtf8(last));

  const std::size_t pos = wl::FindCharFromEnd(text, c, n);
  if (pos != 0) {
    Check(pos <= text.size() && text[pos - 1] == c);
    std::size_t count = 0;
    for (std::size_t i = pos - 1; i < text.size(); ++i) count += text[i] == c;
    Check(count == n);
  }

  // Any 16-bit sequence survives UTF-8 and back.
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  Check(wl::Utf16FromUtf8(wl::Utf8FromUtf16(units)) == units);

  wl::WindowsVersionFacts facts{(data[0] & 1) != 0, data[0] % 12u, data[1], static_cast<uint32_t>(size), text};
  const int code = wl::WindowsVersionCode(facts);
  Check(code >= 0 && code <= 12);
  (void)wl::WindowsVersionName(code);
  return 0;
}
