#include "settings/shell_extension_rules.h"

#include <algorithm>

namespace wl {

const std::array<ShellExtensionSource, 7>& ShellExtensionSources() {
  using C = ShellExtensionSource::Condition;
  static const std::array<ShellExtensionSource, 7> sources = {{
      {"\\*\\shell\\", "All File(Shell)", true, "Command", C::Always, {}, 16},
      {"\\*\\shellex\\ContextMenuHandlers", "All File(ContextMenu)", false, "", C::Always,
       {"Offline Files", "Open With", "Open With EncryptionMenu"}, 3},
      {"\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\Shell", "Recycle Bin(ContextMenu)", false, "command",
       C::Always, {}, 14},
      {"\\Directory\\shell", "Directory(Shell)", true, "command", C::ItemNotEmpty, {"Offline Files", "Sharing"}, 15},
      {"\\Directory\\shellex\\ContextMenuHandlers", "Directory(ContextMenu)", false, "", C::ValueNotEmpty,
       {"Offline Files", "Sharing"}, 15},
      {"\\Folder\\shellex\\ContextMenuHandlers", "Folder(ContextMenu)", false, "", C::ValueNotEmpty, {}, 12},
      {"\\Drive\\shellex\\ContextMenuHandlers", "Drive(ContextMenu)", false, "", C::ValueNotEmpty,
       {"Offline Files", "Sharing"}, 13},
  }};
  return sources;
}

std::string ShellExtensionEntryKey(const ShellExtensionSource& source, std::string_view name) {
  std::string key = source.key;
  if (key.empty() || key.back() != '\\') key += '\\';
  return key + std::string(name);
}

std::string ShellExtensionValueKey(const ShellExtensionSource& source, std::string_view name) {
  std::string key = ShellExtensionEntryKey(source, name);
  if (*source.valueSubKey) key += std::string("\\") + source.valueSubKey;
  return key;
}

std::optional<ShellExtensionRow> MakeShellExtensionRow(const ShellExtensionSource& source, std::string_view name,
                                                       std::string_view displayText, std::string_view value) {
  using C = ShellExtensionSource::Condition;
  const std::string item(source.itemFromDefault ? displayText : name);
  if (source.condition == C::ItemNotEmpty && item.empty()) return std::nullopt;
  if (source.condition == C::ValueNotEmpty && value.empty()) return std::nullopt;
  ShellExtensionRow row;
  row.type = source.type;
  row.isDefault = std::find(source.defaultNames.begin(), source.defaultNames.end(), item) != source.defaultNames.end();
  row.itemName = row.isDefault ? item + kDefaultSettingMark : item;
  row.value = value;
  row.key = ShellExtensionEntryKey(source, name);
  row.image = source.image;
  return row;
}

}  // namespace wl
