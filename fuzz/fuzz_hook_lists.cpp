// Autorun list values as any program may have written them (Userinit's comma
// list, AppInit_DLLs' blanks and commas, a package list's elements): split,
// compared with Windows' defaults and one element taken out, never a crash;
// taking an element out leaves the others and removes exactly one.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "autorun/hook_sources.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::size_t Count(const std::vector<std::string>& elements, const std::string& upper) {
  std::size_t n = 0;
  for (const auto& e : elements) {
    std::string u = e;
    for (char& c : u)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    n += u == upper;
  }
  return n;
}

}  // namespace

// The first byte picks the kind of list, the rest is the value's text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  constexpr wl::ValueSplit kSplits[] = {wl::ValueSplit::Commas, wl::ValueSplit::CommasBlanks,
                                        wl::ValueSplit::Semicolons};
  const wl::ValueSplit split = kSplits[data[0] % 3];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::vector<std::string> elements = wl::SplitHookList(split, text);
  for (const wl::HookSource& source : wl::HookSources())
    if (!source.defaults.empty())
      for (const auto& element : elements) wl::IsHookDefault(source, element, "C:\\Windows");
  for (const auto& element : elements) {
    Check(!element.empty());
    const auto rest = wl::ListWithout(split, text, element);
    Check(rest.has_value());
    const std::vector<std::string> left = wl::SplitHookList(split, *rest);
    Check(left.size() + 1 == elements.size());
    std::string upper = element;
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    Check(Count(left, upper) + 1 == Count(elements, upper));
    wl::ModulePath(element, "C:\\Windows");
  }
  return 0;
}
