#include "browser/browser_rules.h"

#include <charconv>
#include <limits>

#include "core/ascii.h"
#include "sysroutines/text_routines.h"

namespace wl {

// ---- extension list ---------------------------------------------------------

std::vector<std::string> IeExtensionColumns() { return {"Item Name", "CLSID", "File Path", "Item Type"}; }

IeExtensionRow MakeMenuExtRow(std::string_view name, std::string_view value) {
  IeExtensionRow row;
  row.kind = IeExtensionKind::MenuExt;
  row.itemName = name;
  row.clsid = kNoClassMark;
  row.filePath = value;
  row.itemType = kIeExtendPopupMenu;
  return row;
}

IeExtensionRow MakeToolbarRow(std::string_view clsid, std::string_view className, std::string_view shortServerPath,
                              bool wow32, std::string_view windowsDir) {
  IeExtensionRow row;
  row.kind = IeExtensionKind::Toolbar;
  row.itemName = className;
  row.clsid = clsid;
  row.filePath = shortServerPath;
  row.itemType = kIeToolBar;
  row.wow32 = wow32;
  if (!shortServerPath.empty()) row.icon.file = ExtractExecutablePath(shortServerPath, windowsDir);
  return row;
}

IeExtensionRow MakeToolButtonRow(std::string_view subKey, std::string_view buttonText, std::string_view hotIcon,
                                 bool wow32, std::string_view windowsDir) {
  IeExtensionRow row;
  row.kind = IeExtensionKind::ToolButton;
  row.itemName = buttonText;
  row.clsid = subKey;
  row.filePath = hotIcon;
  row.itemType = kIeToolButton;
  row.wow32 = wow32;
  row.icon = HotIconSource(hotIcon, windowsDir);
  return row;
}

std::string ToolButtonText(const std::optional<std::string>& buttonText, const std::optional<std::string>& menuText) {
  if (buttonText) return *buttonText;
  return menuText ? *menuText : std::string();
}

std::string FolderOf(std::string_view path) {
  const std::size_t slash = path.rfind('\\');
  if (slash == std::string_view::npos) return {};
  std::string folder(path.substr(0, slash));
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

int DecimalOr(std::string_view text, int fallback) {
  if (text.empty()) return fallback;
  std::string_view digits = text;
  bool negative = false;
  if (digits.front() == '+' || digits.front() == '-') {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return fallback;
  long long value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return fallback;
  if (negative) value = -value;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return fallback;
  return static_cast<int>(value);
}

IconSource IconFromSpec(const std::vector<std::string>& lines, std::string_view windowsDir) {
  IconSource icon;
  if (lines.empty()) return icon;
  if (lines.size() >= 2) {
    icon.file = lines[0];
    icon.index = DecimalOr(lines[1], 0);
    icon.byIndex = true;
  } else {
    icon.file = ExtractExecutablePath(lines[0], windowsDir);
  }
  if (icon.file.empty()) icon = {};
  return icon;
}

IconSource HotIconSource(std::string_view hotIcon, std::string_view windowsDir) {
  const std::size_t comma = hotIcon.find(',');
  const std::string file = ExtractExecutablePath(hotIcon.substr(0, comma), windowsDir);
  if (comma == std::string_view::npos) return IconFromSpec({file}, windowsDir);
  return IconFromSpec({file, std::string(TrimUpToChar(hotIcon.substr(comma + 1), ' '))}, windowsDir);
}

HijackRow IeExtensionHijackRow(const IeExtensionRow& row) {
  HijackRow h;
  h.itemName = row.itemName;
  h.description = row.itemType;
  h.index = -1;
  if (row.kind != IeExtensionKind::MenuExt) h.indexKey = row.clsid;
  h.image = kHijackImageGearYellow;
  // A class registered in both views is two entries: the 32-bit one says so.
  h.entryKey = row.kind == IeExtensionKind::MenuExt ? row.itemName : row.clsid + (row.wow32 ? " (32-bit)" : "");
  return h;
}

std::string ServerPathInView(std::string_view path, bool wow32, std::string_view systemDir,
                             std::string_view wow64Dir) {
  if (!wow32 || systemDir.empty() || wow64Dir.empty() || path.size() <= systemDir.size()) return std::string(path);
  if (!StartsWithNoCase(path, systemDir)) return std::string(path);
  if (path[systemDir.size()] != '\\') return std::string(path);
  return std::string(wow64Dir) + std::string(path.substr(systemDir.size()));
}

IeRemoval IeRemovalFor(const IeExtensionRow& row) {
  switch (row.kind) {
    case IeExtensionKind::ToolButton: return IeRemoval::DeleteExtension;
    case IeExtensionKind::Toolbar:
      return row.filePath.empty() ? IeRemoval::DeleteToolbarValue : IeRemoval::UnregisterServer;
    case IeExtensionKind::MenuExt: break;
  }
  return IeRemoval::DeleteMenuExt;
}

// ---- helper objects ---------------------------------------------------------

std::optional<std::string> StatisticsTypeText(uint32_t type) {
  switch (type) {
    case 1: return std::string(kIeActiveXControl);
    case 3: return std::string(kIeAssistantActiveX);
    case 4: return std::string(kIeExtensionProgram);
    default: return std::nullopt;
  }
}

HelperObjectRow MakeClassRow(std::string_view className, std::string_view typeText, std::string_view server,
                             std::string_view clsid, bool wow32, HelperObjectSource source) {
  HelperObjectRow row;
  row.itemName = className;
  row.itemType = typeText;
  row.filePath = server;
  row.clsid = clsid;
  row.image = kHelperObjectImage;
  row.wow32 = wow32;
  row.source = source;
  return row;
}

HelperObjectRow MakeExtensionProgramRow(std::string_view buttonText, std::string_view exec, std::string_view clsid,
                                        bool wow32) {
  HelperObjectRow row;
  row.itemName = buttonText;
  row.itemType = kIeExtensionProgram;
  row.filePath = exec;
  row.clsid = clsid;
  row.image = kExtensionProgramImage;
  row.wow32 = wow32;
  row.source = HelperObjectSource::Statistics;
  row.extensionProgram = true;
  return row;
}

bool IsClassKeyName(std::string_view name) { return !name.empty() && name.front() == '{'; }

std::vector<std::string> HelperObjectColumns() { return {"Item Name", "Item Type", "File Path", "Analysis", ""}; }

std::string HelperObjectTotalHeader(std::size_t count) { return "Item Name (Total " + std::to_string(count) + ")"; }

std::string HelperObjectInstalledHeader(std::size_t count) {
  return "Item Name (Installed " + std::to_string(count) + ")";
}

void ApplyClassVerdicts(std::vector<HelperObjectRow>& rows, const ReferenceTables& tables) {
  for (auto& row : rows) row.analysis = LookupClass(row.clsid, tables);
}

void JudgeHelperObjects(std::vector<HelperObjectRow>& rows, const Judge& judge) {
  std::vector<JudgeRequest> requests;
  for (const auto& row : rows) requests.emplace_back(row.filePath, Origin::BrowserAddOn, !row.extensionProgram);
  std::vector<Judgement> judged = judge.AssessAll(requests);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    HelperObjectRow& row = rows[i];
    row.judgement = std::move(judged[i]);
    const bool bad = row.judgement.verdict == Verdict::Suspicious || row.judgement.verdict == Verdict::Malicious;
    if (row.analysis.empty() || row.analysis == "(Unknown)" || row.analysis == kVerdictPlaceholder)
      row.analysis = VerdictText(row.judgement);
    else if (bad)
      row.analysis += "; " + VerdictText(row.judgement);
  }
}

void JudgeIeExtensions(std::vector<IeExtensionRow>& rows, const Judge& judge) {
  std::vector<JudgeRequest> requests;
  std::vector<std::size_t> judged;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].kind == IeExtensionKind::MenuExt || rows[i].filePath.empty()) continue;
    requests.emplace_back(rows[i].filePath, Origin::BrowserAddOn, true);
    judged.push_back(i);
  }
  std::vector<Judgement> judgements = judge.AssessAll(requests);
  for (std::size_t k = 0; k < judged.size(); ++k) rows[judged[k]].judgement = std::move(judgements[k]);
}

std::vector<HijackRow> HelperObjectHijackRows(const std::vector<HelperObjectRow>& rows) {
  std::vector<HijackRow> out;
  out.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    HijackRow h;
    h.itemName = rows[i].itemName;
    h.description = kBrowserHelpObject;
    h.index = static_cast<int>(i);
    h.image = kHijackImageBrowserFolder;
    h.entryKey = rows[i].clsid + (rows[i].wow32 ? " (32-bit)" : "");
    out.push_back(std::move(h));
  }
  return out;
}

bool IsComponentDisabled(bool settingsKeyExists, const std::optional<uint32_t>& flags,
                         const std::optional<std::string>& version) {
  return settingsKeyExists && flags && *flags == 1 && version && *version == "*";
}

std::string ComponentStateCaption(bool disabled) { return disabled ? "State: Disabled" : "State: Enabled"; }
std::string ComponentActionCaption(bool disabled) { return disabled ? "Enable It" : "Disable It"; }

// ---- browser settings -------------------------------------------------------

const std::array<SettingsFieldInfo, kSettingsFieldCount>& SettingsFields() {
  static const std::array<SettingsFieldInfo, kSettingsFieldCount> fields = {{
      {SettingsField::IeVersion, "IE Version:", ""},
      {SettingsField::CaptionText, "IE Caption Text:", "Clear"},
      {SettingsField::HomePage, "HomePage:", "Blank Page"},
      {SettingsField::DefaultPage, "Default Page:", "Default"},
      {SettingsField::SearchPage, "Search Page:", "Default"},
      {SettingsField::DefaultSearchPage, "Default SearchPage:", "Default"},
      {SettingsField::SearchBar, "Search Bar:", "Clear"},
      {SettingsField::LocalPage, "Local Page:", "Default"},
      {SettingsField::DownloadPath, "Download Path:", "Customize..."},
  }};
  return fields;
}

std::size_t SettingsFieldIndex(SettingsField field) { return static_cast<std::size_t>(field); }

bool IsMachineKey(IeSettingsKey key) {
  return key == IeSettingsKey::MachineMain || key == IeSettingsKey::MachineSearch;
}

const char* IeSettingsKeyPath(IeSettingsKey key) {
  switch (key) {
    case IeSettingsKey::UserMain:
    case IeSettingsKey::MachineMain: return "Software\\Microsoft\\Internet Explorer\\Main";
    case IeSettingsKey::UserSearch:
    case IeSettingsKey::MachineSearch: break;
  }
  return "Software\\Microsoft\\Internet Explorer\\Search";
}

const std::vector<SettingsValue>& SettingsSaveOrder() {
  using K = IeSettingsKey;
  using F = SettingsField;
  static const std::vector<SettingsValue> order = {
      {K::UserMain, "Start Page", F::HomePage},
      {K::UserMain, "Window Title", F::CaptionText},
      {K::UserMain, "Save Directory", F::DownloadPath},
      {K::UserMain, "Local Page", F::LocalPage},
      {K::UserMain, "Search Page", F::SearchPage},
      {K::UserMain, "Save Directory", F::DownloadPath},
      {K::UserMain, "Search Bar", F::SearchBar},
      {K::UserSearch, "Search Page", F::SearchPage},
      {K::UserSearch, "CustomizeSearch", F::SearchPage},
      {K::UserSearch, "SearchAssistant", F::SearchPage},
      {K::MachineMain, "Wizard_Version", F::IeVersion},
      {K::MachineMain, "Default_Page_URL", F::DefaultPage},
      {K::MachineMain, "Default_Search_URL", F::DefaultSearchPage},
      {K::MachineMain, "Local Page", F::LocalPage},
      {K::MachineMain, "Search Page", F::SearchPage},
      {K::MachineMain, "Start Page", F::HomePage},
      {K::MachineSearch, "OCustomizeSearch", F::SearchPage},
      {K::MachineSearch, "CustomizeSearch", F::SearchPage},
      {K::MachineSearch, "OSearchAssistant", F::SearchPage},
      {K::MachineSearch, "SearchAssistant", F::SearchPage},
  };
  return order;
}

const std::vector<SettingsValue>& SettingsLoadPlaces() {
  using K = IeSettingsKey;
  using F = SettingsField;
  static const std::vector<SettingsValue> places = {
      {K::UserMain, "Start Page", F::HomePage},
      {K::UserMain, "Local Page", F::LocalPage},
      {K::UserMain, "Save Directory", F::DownloadPath},
      {K::UserMain, "Search Bar", F::SearchBar},
      {K::UserMain, "Window Title", F::CaptionText},
      {K::MachineMain, "Default_Page_URL", F::DefaultPage},
      {K::MachineMain, "Default_Search_URL", F::DefaultSearchPage},
      {K::MachineMain, "Wizard_Version", F::IeVersion},
  };
  return places;
}

std::string LoadedSearchPage(std::string_view searchPage, std::string_view customizeSearch) {
  return std::string(searchPage.empty() ? customizeSearch : searchPage);
}

std::optional<std::string> FieldButtonText(SettingsField field) {
  switch (field) {
    case SettingsField::CaptionText:
    case SettingsField::SearchBar: return std::string();
    case SettingsField::HomePage:
    case SettingsField::LocalPage: return std::string(kBlankPage);
    case SettingsField::DefaultPage: return std::string(kDefaultStartPage);
    case SettingsField::SearchPage: return std::string(kDefaultSearchAssistant);
    case SettingsField::DefaultSearchPage: return std::string(kDefaultSearchRedirector);
    case SettingsField::IeVersion:
    case SettingsField::DownloadPath: break;
  }
  return std::nullopt;
}

std::string FailedToSetDataMessage(std::string_view valueName) {
  return "Failed to set data for '" + std::string(valueName) + "'";
}

}  // namespace wl
