#include "autorun/autorun_rules.h"

#include <array>

#include "sysroutines/text_routines.h"

namespace wl {
namespace {

constexpr RegRoot CU = RegRoot::CurrentUser;
constexpr RegRoot LM = RegRoot::LocalMachine;
constexpr ValueRule kAll = ValueRule::All;
constexpr ValueRule kString = ValueRule::String;
constexpr ValueRule kDrive = ValueRule::StringDrive;

constexpr std::array kSources = {
    RegistrySource{1, CU, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\", kString},
    RegistrySource{2, CU, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run\\", kString},
    RegistrySource{3, CU, "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\", kAll},
    RegistrySource{4, CU, "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce\\", kAll},
    RegistrySource{5, CU, "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", kAll},
    RegistrySource{6, CU, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Load\\", kAll},
    RegistrySource{7, CU, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\", kDrive},
    RegistrySource{8, CU, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\Shell\\", kDrive},
    RegistrySource{9, CU, "\\Software\\Policies\\Microsoft\\Windows\\System\\Scripts\\", kDrive},
    RegistrySource{10, LM, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\", kString},
    RegistrySource{10, LM, "\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run\\", kString},
    RegistrySource{11, LM, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run\\", kDrive},
    RegistrySource{12, LM, "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\", kDrive},
    RegistrySource{12, LM, "\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\", kDrive},
    RegistrySource{13, LM, "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce\\", kDrive},
    RegistrySource{13, LM, "\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce\\", kDrive},
    RegistrySource{14, LM, "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", kDrive},
    RegistrySource{14, LM, "\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", kDrive},
    RegistrySource{15, LM, "\\Software\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad\\", kDrive},
    RegistrySource{15, LM,
                   "\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad\\",
                   kDrive},
    RegistrySource{16, LM, "\\Software\\Policies\\Microsoft\\Windows\\System\\Scripts\\", kDrive},
};

// Length of the UTF-8 sequence that starts with lead.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

}  // namespace

std::span<const RegistrySource> RegistrySources() { return kSources; }

std::string RegistryKeyText(const RegistrySource& source) {
  return std::string(source.root == RegRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE") +
         std::string(source.keyPath);
}

std::string_view RegistryOpenPath(const RegistrySource& source) {
  std::string_view path = source.keyPath;
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

bool PassesValueRule(ValueRule rule, bool plainString, std::string_view data) {
  switch (rule) {
    case ValueRule::All: return true;
    case ValueRule::String: return plainString;
    case ValueRule::StringDrive: {
      if (!plainString || data.empty()) return false;
      // The second character, which may follow a first one of several bytes.
      const std::size_t second = SequenceLength(static_cast<unsigned char>(data[0]));
      return second < data.size() && data[second] == ':';
    }
  }
  return false;
}

AutorunEntryKind EntryKindOf(std::string_view text) {
  if (text.starts_with("HKEY")) return AutorunEntryKind::RegistryValue;
  if (text == kStartupMenuText) return AutorunEntryKind::UserShortcut;
  if (text == kCommonStartupMenuText) return AutorunEntryKind::CommonShortcut;
  if (text == kWinIniText || text == kSystemIniText) return AutorunEntryKind::IniEntry;
  if (text.starts_with(kTaskSchedulerText)) return AutorunEntryKind::ScheduledTask;
  return AutorunEntryKind::Other;
}

VerdictStatus AutorunVerdictStatus(const std::string& verdict) {
  switch (VerdictCategory(verdict)) {
    case 'U': return {kStatusWarning, true};
    case 'V': return {kStatusCross, true};
    case 'G': return {kStatusCheck, false};
    case 'S':
      // Spyware shares its second character with system processes; an
      // autorun entry of spyware is what the hijack report is for.
      if (verdict.starts_with("(Spyware/Adware) ")) return {kStatusCross, true};
      return {kStatusCheck, false};
    default: return {};
  }
}

std::string AutorunReferenceKey(std::string_view value, std::string_view windowsDir) {
  std::string name = TextAfterLastChar(ExtractExecutablePath(value, windowsDir), '\\');
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return name;
}

void AnalyzeAutorunRows(std::vector<AutorunRow>& rows, const ReferenceTables& tables, std::string_view windowsDir,
                        std::vector<HijackRow>& hijack) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    AutorunRow& row = rows[i];
    // A task names its program apart from the arguments: the verdict is the
    // program's, whatever the arguments hold.
    const std::string& command = !row.taskPath.empty() && !row.iconText.empty() ? row.iconText : row.value;
    row.analysis = ClassifyProcess(AutorunReferenceKey(command, windowsDir), tables);
    VerdictStatus status = AutorunVerdictStatus(row.analysis);
    if (row.alwaysFlag && !status.flagged) status = {kStatusWarning, true};
    row.statusImage = status.image;
    if (status.flagged) {
      HijackRow flagged;
      flagged.itemName = row.itemName;
      flagged.description = kStartupItem;
      flagged.index = static_cast<int>(i);
      flagged.image = kStartupItemImage;
      flagged.entryKey = row.registryKey.empty() || row.registryKey.back() == '\\'
                             ? row.registryKey + row.itemName
                             : row.registryKey + "\\" + row.itemName;
      hijack.push_back(std::move(flagged));
    }
  }
}

TextRow AutorunListHeader() { return {"Item Name", "Value", "Registry Key", "Analysis"}; }

TextRow AutorunRowText(const AutorunRow& row) { return {row.itemName, row.value, row.registryKey, row.analysis}; }

std::string RunValueName(std::string_view programPath) { return TextAfterLastChar(programPath, '\\'); }

std::string RunValueData(std::string_view programPath) {
  if (programPath.find(' ') == std::string_view::npos) return std::string(programPath);
  return "\"" + std::string(programPath) + "\"";
}

std::string FileInformationText(std::string_view companyName, std::string_view analysis) {
  return "File CommpanyName:  " + std::string(companyName) + "\r\nDescription:  " + std::string(analysis);
}

}  // namespace wl
