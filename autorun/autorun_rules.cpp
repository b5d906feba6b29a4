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

int AutorunStatusImage(Verdict verdict) {
  switch (verdict) {
    case Verdict::Trusted: return kStatusCheck;
    case Verdict::Malicious: return kStatusCross;
    case Verdict::Unknown:
    case Verdict::Suspicious: return kStatusWarning;
  }
  return kStatusWarning;
}

bool RowStartsProgram(const AutorunRow& row) {
  // A task action that is no program (an e-mail, a message, a COM handler
  // whose class names no program) leaves the row's program empty.
  if (row.noProgram) return false;
  return row.taskPath.empty() || !row.iconText.empty();
}

void AnalyzeAutorunRows(std::vector<AutorunRow>& rows, const Judge& judge, std::vector<HijackRow>& hijack) {
  std::vector<JudgeRequest> requests;
  std::vector<std::size_t> judged;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!RowStartsProgram(rows[i])) continue;
    const AutorunRow& row = rows[i];
    const Origin origin = row.driver ? Origin::Driver : row.taskPath.empty() ? Origin::Autostart : Origin::Task;
    requests.emplace_back(row.judgeText.empty() ? row.value : row.judgeText, origin, row.judgePath);
    requests.back().owner = row.owner;
    judged.push_back(i);
  }
  std::vector<Judgement> judgements = judge.AssessAll(requests);
  for (std::size_t k = 0; k < judged.size(); ++k) rows[judged[k]].judgement = std::move(judgements[k]);

  // Rows listed only when the judge does not trust their program go when it
  // does; the others stay, flagged. Without the catalogs Windows' own files
  // are signed in (an emulation layer), an unsigned file there cannot be told
  // from Windows' own: only what the judge flags stays then.
  const bool catalogs = judge.Facts().SystemCatalogsPresent();
  std::erase_if(rows, [catalogs](const AutorunRow& row) {
    if (!row.onlyUntrusted || !RowStartsProgram(row)) return false;
    return row.judgement.verdict == Verdict::Trusted || (!catalogs && !row.judgement.flagged);
  });
  for (AutorunRow& row : rows)
    if (row.onlyUntrusted) row.alwaysFlag = true;

  for (std::size_t i = 0; i < rows.size(); ++i) {
    AutorunRow& row = rows[i];
    if (row.category.empty()) row.category = std::string(AutorunCategoryOf(row.source));
    bool flagged;
    if (RowStartsProgram(row)) {
      row.analysis = VerdictText(row.judgement);
      row.statusImage = AutorunStatusImage(row.judgement.verdict);
      flagged = row.judgement.flagged;
    } else {
      row.analysis = "(Unknown)";
      row.statusImage = kStatusWarning;
      flagged = !row.noProgram;
    }
    if (row.alwaysFlag && !flagged) {
      flagged = true;
      row.statusImage = kStatusWarning;
    }
    if (flagged) {
      HijackRow entry;
      entry.itemName = row.itemName;
      entry.description = kStartupItem;
      entry.index = static_cast<int>(i);
      entry.image = kStartupItemImage;
      entry.entryKey = row.registryKey.empty() || row.registryKey.back() == '\\'
                           ? row.registryKey + row.itemName
                           : row.registryKey + "\\" + row.itemName;
      // The elements of one list value are entries of their own.
      if (!row.element.empty()) entry.entryKey += "|" + row.element;
      hijack.push_back(std::move(entry));
    }
  }
}

std::string_view AutorunCategoryOf(int source) {
  switch (source) {
    case 7:
    case 8: return "Winlogon";
    case 15: return "Explorer";
    case 22: return "Scheduled Tasks";
    default: return "Logon";
  }
}

std::span<const std::string_view> AutorunCategories() {
  static constexpr std::string_view kCategories[] = {
      "Logon",   "Explorer", "Scheduled Tasks", "Winlogon", "AppInit",   "Image Hijacks", "Environment",
      "LSA",     "Print",    "Network",         "Services", "Debuggers", "Boot",          "Remote Desktop",
      "COM",     "Office",   "Drivers",         "WMI"};
  return kCategories;
}

TextRow AutorunListHeader() { return {"Item Name", "Value", "Registry Key", "Analysis", "Signer", "Category"}; }

TextRow AutorunRowText(const AutorunRow& row) {
  return {row.itemName, row.value, row.registryKey, row.analysis, row.judgement.signer, row.category};
}

std::string RunValueName(std::string_view programPath) { return TextAfterLastChar(programPath, '\\'); }

std::string RunValueData(std::string_view programPath) {
  if (programPath.find(' ') == std::string_view::npos) return std::string(programPath);
  return "\"" + std::string(programPath) + "\"";
}

std::string FileInformationText(std::string_view companyName, std::string_view analysis) {
  return "File CommpanyName:  " + std::string(companyName) + "\r\nDescription:  " + std::string(analysis);
}

}  // namespace wl
