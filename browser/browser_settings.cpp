#include "browser/browser_settings.h"

#include "win32/registry.h"

namespace wl {
namespace {

std::string ReadText(HKEY root, const std::string& path, const char* name) {
  return win32::ReadValueTextAt(root, path, name).value_or("");
}

}  // namespace

const std::string& BrowserSettingsPlaces::PathOf(IeSettingsKey key) const {
  switch (key) {
    case IeSettingsKey::UserMain: return userMain;
    case IeSettingsKey::UserSearch: return userSearch;
    case IeSettingsKey::MachineMain: return machineMain;
    case IeSettingsKey::MachineSearch: break;
  }
  return machineSearch;
}

SettingsTexts LoadBrowserSettings(const BrowserSettingsPlaces& places) {
  SettingsTexts fields;
  for (const SettingsValue& v : SettingsLoadPlaces())
    fields[SettingsFieldIndex(v.field)] = ReadText(places.RootOf(v.key), places.PathOf(v.key), v.valueName);
  const auto search = IeSettingsKey::UserSearch;
  fields[SettingsFieldIndex(SettingsField::Edit2)] =
      LoadedSearchPage(ReadText(places.RootOf(search), places.PathOf(search), "Search Page"),
                       ReadText(places.RootOf(search), places.PathOf(search), "CustomizeSearch"));
  return fields;
}

SettingsSaveResult SaveBrowserSettings(const SettingsTexts& fields, const BrowserSettingsPlaces& places) {
  for (const SettingsValue& v : SettingsSaveOrder()) {
    WriteResult r = WriteRegString(places.RootOf(v.key), places.PathOf(v.key), v.valueName,
                                   fields[SettingsFieldIndex(v.field)]);
    if (!r) return {std::move(r), v.valueName};
  }
  return {};
}

PageText BrowserSettingsPageText(const ReferenceTables&) {
  const SettingsTexts fields = LoadBrowserSettings();
  PageText text;
  text.header = {"Setting", "Value"};
  for (const SettingsFieldInfo& f : SettingsFields()) text.rows.push_back({f.label, fields[SettingsFieldIndex(f.field)]});
  return text;
}

}  // namespace wl
