#include "autorun/hook_sources.h"

#include <array>

#include "core/ascii.h"
#include "sysroutines/text_routines.h"

namespace wl {
namespace {

constexpr RegRoot CU = RegRoot::CurrentUser;
constexpr RegRoot LM = RegRoot::LocalMachine;
constexpr RegViews kBoth = RegViews::Both;
constexpr RegViews kNative = RegViews::Native;
constexpr HookRemoval kDelete = HookRemoval::DeleteValue;
constexpr HookRemoval kRestore = HookRemoval::RestoreDefault;

constexpr const char* kWinlogon = "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\";
constexpr const char* kPolicyRun = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run\\";
constexpr const char* kCommandProcessor = "\\Software\\Microsoft\\Command Processor\\";

constexpr std::array kHooks = {
    HookSource{23, LM, kWinlogon, kBoth, HookRule::NotDefault, "Shell", kRestore, HookDefault::Shell},
    HookSource{24, LM, kWinlogon, kBoth, HookRule::NotDefault, "Userinit", kRestore, HookDefault::Userinit},
    HookSource{25, CU, kWinlogon, kNative, HookRule::NotDefault, "Shell", kRestore, HookDefault::Shell},
    HookSource{26, CU, kWinlogon, kNative, HookRule::NotDefault, "Userinit", kRestore, HookDefault::Userinit},
    HookSource{27, LM, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\", kBoth, HookRule::NamedValue,
               "AppInit_DLLs", kRestore, HookDefault::Empty, "LoadAppInit_DLLs"},
    HookSource{28, LM, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\", kBoth,
               HookRule::SubKeyValue, "Debugger", kDelete},
    HookSource{29, LM, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit\\", kBoth,
               HookRule::SubKeyValue, "MonitorProcess", kDelete},
    HookSource{30, LM, kPolicyRun, kBoth, HookRule::StringValues, {}, kDelete},
    HookSource{31, CU, kPolicyRun, kNative, HookRule::StringValues, {}, kDelete},
    HookSource{32, LM, kCommandProcessor, kBoth, HookRule::NamedValue, "AutoRun", kDelete},
    HookSource{33, CU, kCommandProcessor, kNative, HookRule::NamedValue, "AutoRun", kDelete},
    HookSource{34, LM, "\\Software\\Microsoft\\Active Setup\\Installed Components\\", kBoth,
               HookRule::SubKeyNonSystem, "StubPath", kDelete},
    HookSource{35, LM, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
                       "Microsoft\\Windows\\CurrentVersion\\Run\\",
               kBoth, HookRule::StringValues, {}, kDelete},
    HookSource{36, LM, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
                       "Microsoft\\Windows\\CurrentVersion\\RunOnce\\",
               kBoth, HookRule::StringValues, {}, kDelete},
};

std::string Trimmed(std::string_view text) { return TrimUpToChar(text, ' '); }

std::string QuotedWhenBlank(const std::string& command) {
  if (command.find(' ') == std::string::npos || command.starts_with('"')) return command;
  return "\"" + command + "\"";
}

}  // namespace

std::span<const HookSource> HookSources() {
  return kHooks;
}

std::vector<std::string> HookKeyPaths(const HookSource& source) {
  std::vector<std::string> paths{std::string(source.keyPath)};
  constexpr std::string_view kSoftware = "\\Software\\";
  if (source.views == RegViews::Both && source.root == RegRoot::LocalMachine &&
      source.keyPath.starts_with(kSoftware))
    paths.push_back(std::string(kSoftware) + "Wow6432Node\\" + std::string(source.keyPath.substr(kSoftware.size())));
  return paths;
}

std::string HookKeyText(RegRoot root, std::string_view keyPath) {
  return std::string(root == RegRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE") +
         std::string(keyPath);
}

std::string HookDefaultValue(HookDefault byDefault, std::string_view windowsDir) {
  switch (byDefault) {
    case HookDefault::Shell: return "explorer.exe";
    case HookDefault::Userinit: return std::string(windowsDir) + "\\system32\\userinit.exe,";
    case HookDefault::Empty:
    case HookDefault::None: return {};
  }
  return {};
}

bool IsHookDefault(HookDefault byDefault, std::string_view data, std::string_view windowsDir) {
  std::string text = AsciiUpper(Trimmed(data));
  switch (byDefault) {
    case HookDefault::None: return false;
    case HookDefault::Empty: return text.empty();
    case HookDefault::Shell: return text == "EXPLORER.EXE" || text == AsciiUpper(windowsDir) + "\\EXPLORER.EXE";
    case HookDefault::Userinit:
      while (!text.empty() && (text.back() == ',' || text.back() == ' ')) text.pop_back();
      return text == "USERINIT.EXE" || text == AsciiUpper(windowsDir) + "\\SYSTEM32\\USERINIT.EXE";
  }
  return false;
}

bool IsSystemProgram(std::string_view command, std::string_view windowsDir) {
  if (windowsDir.empty()) return false;
  const std::string program = AsciiUpper(ExtractExecutablePath(command, windowsDir));
  const std::string folder = AsciiUpper(windowsDir) + "\\";
  return program.size() > folder.size() && program.starts_with(folder);
}

void MergeHookRows(std::vector<AutorunRow>& rows, std::size_t firstHook) {
  std::vector<AutorunRow> kept;
  for (std::size_t i = firstHook; i < rows.size(); ++i) {
    AutorunRow& hook = rows[i];
    AutorunRow* same = nullptr;
    for (std::size_t j = 0; j < firstHook && !same; ++j)
      if (EqualsNoCase(rows[j].registryKey, hook.registryKey) &&
          EqualsNoCase(RowValueName(rows[j]), RowValueName(hook)))
        same = &rows[j];
    if (!same) {
      kept.push_back(std::move(hook));
      continue;
    }
    if (hook.defaultValue) same->defaultValue = hook.defaultValue;
    same->alwaysFlag = same->alwaysFlag || hook.alwaysFlag;
    if (same->details.empty()) same->details = hook.details;
  }
  rows.resize(firstHook);
  for (auto& row : kept) rows.push_back(std::move(row));
}

std::string TaskKeyText(std::string_view folder) {
  std::string text = kTaskSchedulerText;
  if (folder.empty() || folder.front() != '\\') text += '\\';
  text += folder;
  return text;
}

std::string TaskDetails(const ScheduledTask& task) {
  std::string text = task.enabled ? "Task enabled" : "Task disabled";
  if (task.hidden) text += ", hidden";
  text += ". Triggers: ";
  if (task.triggers.empty()) text += "none (started on demand only)";
  for (std::size_t i = 0; i < task.triggers.size(); ++i) text += (i ? ", " : "") + task.triggers[i];
  text += ".";
  return text;
}

std::vector<AutorunRow> TaskRows(const ScheduledTask& task, const ComServerLookup& comServer) {
  std::vector<AutorunRow> rows;
  const std::string keyText = TaskKeyText(TaskFolderOf(task.path));
  const std::string details = TaskDetails(task);
  for (std::size_t i = 0; i < task.actions.size(); ++i) {
    const TaskAction& action = task.actions[i];
    AutorunRow row;
    row.itemName = task.path;
    row.registryKey = keyText;
    row.source = kScheduledTaskSource;
    row.taskPath = task.path;
    row.details = details;
    if (task.actions.size() > 1)
      row.details += " Action " + std::to_string(i + 1) + " of " + std::to_string(task.actions.size()) + ".";
    switch (action.kind) {
      case TaskAction::Kind::Exec: {
        const std::string command = Trimmed(action.command);
        const std::string arguments = Trimmed(action.arguments);
        row.value = QuotedWhenBlank(command) + (arguments.empty() ? "" : " " + arguments);
        row.iconText = command;
        break;
      }
      case TaskAction::Kind::ComHandler: {
        const std::string classId = Trimmed(action.classId);
        const std::string server = comServer ? comServer(classId) : std::string();
        row.value = server.empty() ? classId : server;
        row.iconText = server;
        row.details += " COM handler " + classId + (action.data.empty() ? "" : " with data " + action.data) + ".";
        break;
      }
      case TaskAction::Kind::SendEmail:
        row.value = "E-mail to " + Trimmed(action.to) + ": " + Trimmed(action.subject);
        break;
      case TaskAction::Kind::ShowMessage:
        row.value = "Message: " + Trimmed(action.title) + (action.body.empty() ? "" : ": " + Trimmed(action.body));
        break;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace wl
