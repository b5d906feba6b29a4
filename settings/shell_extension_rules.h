// The seven places where the shell's context-menu verbs and handlers are
// registered, and the rules that turn one registered entry into a row.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

inline constexpr const char* kDefaultSettingMark = " (Default setting,do not remove!)";

struct ShellExtensionSource {
  enum class Condition { Always, ItemNotEmpty, ValueNotEmpty };
  const char* key;          // under HKEY_CLASSES_ROOT, beginning with a backslash
  const char* type;         // the row's "Type" text
  bool itemFromDefault;     // true: "Item Name" is the entry key's default value (a verb's display
                            // text); false: the entry's sub-key name
  const char* valueSubKey;  // sub-key of the entry whose default value is "Value" ("" = the entry itself)
  Condition condition;
  std::vector<std::string> defaultNames;  // names that get the mark (exact, case-sensitive)
  int image;                              // in the shared image list
};

const std::array<ShellExtensionSource, 7>& ShellExtensionSources();

struct ShellExtensionRow {
  std::string type;
  std::string itemName;  // with the mark where it applies
  std::string value;
  std::string key;  // the entry's key under HKEY_CLASSES_ROOT, beginning with a backslash
  int image = 0;
  bool isDefault = false;  // carries the mark: must not be removed
};

// The entry's key: the source key, a backslash, the sub-key name.
std::string ShellExtensionEntryKey(const ShellExtensionSource& source, std::string_view name);
// The key whose default value is the entry's "Value".
std::string ShellExtensionValueKey(const ShellExtensionSource& source, std::string_view name);

// The row for sub-key name, given the texts read for its "Item Name" (the
// display text for verbs; ignored for handlers) and "Value"; nullopt when the
// source's condition rules it out.
std::optional<ShellExtensionRow> MakeShellExtensionRow(const ShellExtensionSource& source, std::string_view name,
                                                       std::string_view displayText, std::string_view value);

}  // namespace wl
