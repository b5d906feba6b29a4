#include "browser/browser_settings.h"

#include "win32/registry.h"

namespace wl {
namespace {

using win32::RegView;

std::string ReadText(HKEY root, const std::string& path, const char* name, RegView view = RegView::Default) {
  return win32::ReadValueTextAt(root, path, name, view).value_or("");
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

bool IsMachineField(SettingsField field) {
  for (const SettingsValue& v : SettingsLoadPlaces())
    if (v.field == field) return IsMachineKey(v.key);
  return false;
}

SettingsTexts LoadBrowserSettings(const BrowserSettingsPlaces& places, RegView machineView) {
  SettingsTexts fields;
  for (const SettingsValue& v : SettingsLoadPlaces())
    fields[SettingsFieldIndex(v.field)] = ReadText(places.RootOf(v.key), places.PathOf(v.key), v.valueName,
                                                   IsMachineKey(v.key) ? machineView : RegView::Default);
  const auto search = IeSettingsKey::UserSearch;
  fields[SettingsFieldIndex(SettingsField::SearchPage)] =
      LoadedSearchPage(ReadText(places.RootOf(search), places.PathOf(search), "Search Page"),
                       ReadText(places.RootOf(search), places.PathOf(search), "CustomizeSearch"));
  return fields;
}

SettingsSaveResult SaveBrowserSettings(const SettingsTexts& fields, const BrowserSettingsPlaces& places) {
  for (const SettingsValue& v : SettingsSaveOrder()) {
    const HKEY root = places.RootOf(v.key);
    const std::string& path = places.PathOf(v.key);
    const std::string& text = fields[SettingsFieldIndex(v.field)];
    WriteResult r = WriteRegString(root, path, v.valueName, text);
    if (r && IsMachineKey(v.key) && win32::ReadValueAt(root, path, v.valueName, RegView::Force32))
      r = WriteRegString(root, path, v.valueName, text, REG_SZ, RegView::Force32);
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
