#include "browser/helper_objects.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegView;

std::string StringValue(const RegKey& key, const std::string& name) {
  const auto value = key.ReadString(name);
  return value ? *value : std::string();
}

// A class row for each view where the class has a name.
void AddClassRows(const HelperObjectPlaces& places, const std::string& clsid, const std::string& typeText,
                  HelperObjectSource source, std::vector<HelperObjectRow>& rows) {
  for (RegView view : places.machineViews) {
    const std::string classKey = places.classesKey + "\\" + clsid;
    const std::string name = win32::ReadValueTextAt(places.machineRoot, classKey, "", view).value_or("");
    if (name.empty()) continue;
    const std::string server =
        win32::ReadValueTextAt(places.machineRoot, classKey + "\\InprocServer32", "", view).value_or("");
    rows.push_back(MakeClassRow(name, typeText, server, clsid, view == RegView::Force32, source));
  }
}

void AddExtensionProgramRows(const HelperObjectPlaces& places, const std::string& clsid,
                             std::vector<HelperObjectRow>& rows) {
  for (RegView view : places.machineViews) {
    const auto key = RegKey::Open(places.machineRoot, places.extensionsKey + "\\" + clsid, KEY_READ, view);
    if (!key) continue;
    const std::string buttonText = StringValue(*key, "ButtonText");
    if (buttonText.empty()) continue;
    rows.push_back(MakeExtensionProgramRow(buttonText, StringValue(*key, "Exec"), clsid, view == RegView::Force32));
  }
}

void AddFallbackRows(const HelperObjectPlaces& places, const std::string& listKey, const std::string& typeText,
                     HelperObjectSource source, std::vector<HelperObjectRow>& rows) {
  for (RegView view : places.machineViews) {
    std::vector<std::string> names;
    if (const auto key = RegKey::Open(places.machineRoot, listKey, KEY_READ, view)) names = key->SubKeyNames();
    for (const std::string& name : names) {
      if (!IsClassKeyName(name)) continue;
      const std::string classKey = places.classesKey + "\\" + name;
      const std::string className = win32::ReadValueTextAt(places.machineRoot, classKey, "", view).value_or("");
      if (className.empty()) continue;
      const std::string server =
          win32::ReadValueTextAt(places.machineRoot, classKey + "\\InprocServer32", "", view).value_or("");
      rows.push_back(MakeClassRow(className, typeText, server, name, view == RegView::Force32, source));
    }
  }
}

// A class identifier that can name a key of its own (never a path).
bool UsableClassId(const std::string& clsid) {
  return !clsid.empty() && clsid.find('\\') == std::string::npos && clsid != "." && clsid != "..";
}

WriteResult Refused(const std::string& message) {
  WriteResult r;
  r.error = ERROR_INVALID_PARAMETER;
  r.message = message;
  return r;
}

// The key that makes the browser load the row's component.
std::string LoadingKey(const HelperObjectRow& row, const HelperObjectPlaces& places) {
  return (row.extensionProgram ? places.extensionsKey : places.helperObjectsKey) + "\\" + row.clsid;
}

}  // namespace

HelperObjectScanResult ScanHelperObjects(const ReferenceTables& tables) { return ScanHelperObjects(tables, {}); }

HelperObjectScanResult ScanHelperObjects(const ReferenceTables& tables, const HelperObjectPlaces& places) {
  HelperObjectScanResult result;
  std::vector<std::string> ids;
  if (const auto stats = RegKey::Open(places.userRoot, places.statsKey, KEY_READ)) ids = stats->SubKeyNames();
  for (const std::string& id : ids) {
    // One damaged entry (any program can write one) is passed over; the
    // others are still listed.
    std::optional<uint32_t> type;
    if (const auto entry = RegKey::Open(places.userRoot, places.statsKey + "\\" + id + "\\iexplore", KEY_READ))
      type = entry->ReadDword("Type");
    if (!type) {
      result.skipped.push_back(id);
      continue;
    }
    const auto typeText = StatisticsTypeText(*type);
    if (!typeText) continue;
    if (*type == 4)
      AddExtensionProgramRows(places, id, result.rows);
    else
      AddClassRows(places, id, *typeText, HelperObjectSource::Statistics, result.rows);
  }
  if (result.rows.empty()) {
    AddFallbackRows(places, places.distributionUnitsKey, kIeActiveXControl, HelperObjectSource::DownloadedControl,
                    result.rows);
    AddFallbackRows(places, places.helperObjectsKey, kIeAssistantActiveX, HelperObjectSource::HelperObjectKey,
                    result.rows);
  }
  ApplyClassVerdicts(result.rows, tables);
  result.hijack = HelperObjectHijackRows(result.rows);
  return result;
}

bool ReadComponentDisabled(const std::string& clsid, const HelperObjectPlaces& places) {
  if (!UsableClassId(clsid)) return false;
  const auto key = RegKey::Open(places.userRoot, places.settingsKey + "\\" + clsid, KEY_READ);
  if (!key) return false;
  return IsComponentDisabled(true, key->ReadDword("Flags"), key->ReadString("Version"));
}

WriteResult SetComponentDisabled(const std::string& clsid, bool disabled, const HelperObjectPlaces& places) {
  if (!UsableClassId(clsid)) return Refused("The class identifier \"" + clsid + "\" cannot name a settings key.");
  const std::string path = places.settingsKey + "\\" + clsid;
  if (!disabled) {
    if (!RegKey::Exists(places.userRoot, path)) return {};
    return DeleteRegTree(places.userRoot, path);
  }
  if (WriteResult r = WriteRegDword(places.userRoot, path, "Flags", 1); !r) return r;
  return WriteRegString(places.userRoot, path, "Version", "*");
}

bool CanRemoveHelperObject(const HelperObjectRow& row, const HelperObjectPlaces& places) {
  if (!UsableClassId(row.clsid)) return false;
  for (RegView view : places.machineViews)
    if (RegKey::Exists(places.machineRoot, LoadingKey(row, places), view)) return true;
  return false;
}

WriteResult RemoveHelperObject(const HelperObjectRow& row, const HelperObjectPlaces& places) {
  if (!UsableClassId(row.clsid)) return Refused("The class identifier \"" + row.clsid + "\" names no entry.");
  const std::string path = LoadingKey(row, places);
  bool found = false;
  for (RegView view : places.machineViews) {
    if (!RegKey::Exists(places.machineRoot, path, view)) continue;
    found = true;
    WriteResult r = DeleteRegTree(places.machineRoot, path, view);
    if (!r && !r.NotFound()) return r;
  }
  if (!found) {
    WriteResult r;
    r.error = ERROR_FILE_NOT_FOUND;
    r.message = std::string("There is no entry ") + win32::RootName(places.machineRoot) + "\\" + path +
                " that makes the browser load " + row.itemName + ".";
    return r;
  }
  return {};
}

PageText HelperObjectsPageText(const Judge& judge) {
  HelperObjectScanResult scan = ScanHelperObjects(judge.Tables());
  JudgeHelperObjects(scan.rows, judge);
  return HelperObjectsPageTextOf(scan);
}

PageText HelperObjectsPageTextOf(const HelperObjectScanResult& scan) {
  PageText text;
  text.header = HelperObjectColumns();
  text.header[0] = HelperObjectTotalHeader(scan.rows.size());
  text.header[1] = HelperObjectInstalledHeader(scan.rows.size());
  text.header.back() = "CLSID";
  text.header.push_back("Signer");
  text.keys = {"name", "type", "path", "analysis", "clsid", "signer"};
  for (const auto& row : scan.rows) {
    text.rows.push_back({row.itemName, row.itemType, row.filePath, row.analysis, row.clsid, row.judgement.signer});
    text.judgements.push_back(RowJudgementOf(row.judgement));
  }
  text.hijack = scan.hijack;
  return text;
}

}  // namespace wl
