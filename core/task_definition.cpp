#include "core/task_definition.h"

#include <array>
#include <utility>

namespace wl {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' ||
                           text.front() == '\n'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

// xs:boolean: "true" or "1", "false" or "0", with blanks around it allowed.
bool IsFalse(std::string_view text) { return Trim(text) == "false" || Trim(text) == "0"; }
bool IsTrue(std::string_view text) { return Trim(text) == "true" || Trim(text) == "1"; }

// The field of an action that a child element of the action fills.
std::string* ActionField(TaskAction& action, std::string_view element) {
  switch (action.kind) {
    case TaskAction::Kind::Exec:
      if (element == "Command") return &action.command;
      if (element == "Arguments") return &action.arguments;
      break;
    case TaskAction::Kind::ComHandler:
      if (element == "ClassId") return &action.classId;
      if (element == "Data") return &action.data;
      break;
    case TaskAction::Kind::SendEmail:
      if (element == "To") return &action.to;
      if (element == "Subject") return &action.subject;
      break;
    case TaskAction::Kind::ShowMessage:
      if (element == "Title") return &action.title;
      if (element == "Body") return &action.body;
      break;
  }
  return nullptr;
}

std::optional<TaskAction::Kind> ActionKind(std::string_view element) {
  if (element == "Exec") return TaskAction::Kind::Exec;
  if (element == "ComHandler") return TaskAction::Kind::ComHandler;
  if (element == "SendEmail") return TaskAction::Kind::SendEmail;
  if (element == "ShowMessage") return TaskAction::Kind::ShowMessage;
  return std::nullopt;
}

}  // namespace

std::string TriggerText(std::string_view element) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kTriggers = {{
      {"LogonTrigger", "At log on"},
      {"BootTrigger", "At start-up"},
      {"TimeTrigger", "At a time"},
      {"CalendarTrigger", "On a schedule"},
      {"IdleTrigger", "On idle"},
      {"EventTrigger", "On an event"},
      {"RegistrationTrigger", "At registration"},
      {"SessionStateChangeTrigger", "On a session change"},
      {"WnfStateChangeTrigger", "On a state change"},
  }};
  for (const auto& [name, text] : kTriggers)
    if (name == element) return std::string(text);
  return {};
}

std::optional<ScheduledTask> TaskFromXmlNodes(const std::vector<TaskXmlNode>& nodes, std::string path) {
  using Kind = TaskXmlNode::Kind;
  std::vector<std::string_view> open;  // the elements open at this node, outermost first
  ScheduledTask task;
  task.path = std::move(path);
  bool sawRoot = false;
  std::string* field = nullptr;  // where the current element's text goes
  bool triggerEnabledText = false, settingsEnabledText = false, hiddenText = false;
  bool principalRead = false;  // only the first principal's account counts
  for (const TaskXmlNode& node : nodes) {
    switch (node.kind) {
      case Kind::Start: {
        if (open.empty()) {
          if (sawRoot || node.text != "Task") return sawRoot ? std::optional(task) : std::nullopt;
          sawRoot = true;
        }
        const std::size_t depth = open.size();  // depth of the new element (root = 0)
        open.push_back(node.text);
        field = nullptr;
        triggerEnabledText = settingsEnabledText = hiddenText = false;
        if (depth == 2 && open[1] == "Triggers") {
          const std::string text = TriggerText(node.text);
          if (!text.empty()) task.triggers.push_back(text);
        } else if (depth == 3 && open[1] == "Triggers" && node.text == "Enabled" && !task.triggers.empty()) {
          triggerEnabledText = true;
        } else if (depth == 2 && open[1] == "Actions") {
          if (const auto kind = ActionKind(node.text)) {
            task.actions.emplace_back();
            task.actions.back().kind = *kind;
          }
        } else if (depth == 3 && open[1] == "Actions" && ActionKind(open[2]) && !task.actions.empty()) {
          field = ActionField(task.actions.back(), node.text);
        } else if (depth == 3 && open[1] == "Principals" && open[2] == "Principal" && node.text == "UserId" &&
                   !principalRead) {
          field = &task.userId;
          principalRead = true;
        } else if (depth == 2 && open[1] == "Settings") {
          settingsEnabledText = node.text == "Enabled";
          hiddenText = node.text == "Hidden";
        }
        break;
      }
      case Kind::Text:
        if (field) *field += node.text;
        if (triggerEnabledText && IsFalse(node.text) && !task.triggers.back().ends_with(" (disabled)"))
          task.triggers.back() += " (disabled)";
        if (settingsEnabledText) task.enabled = !IsFalse(node.text);
        if (hiddenText) task.hidden = IsTrue(node.text);
        break;
      case Kind::End:
        if (!open.empty()) open.pop_back();
        field = nullptr;
        triggerEnabledText = settingsEnabledText = hiddenText = false;
        break;
    }
  }
  if (!sawRoot) return std::nullopt;
  task.userId = std::string(Trim(task.userId));
  return task;
}

std::string TaskFolderOf(std::string_view taskPath) {
  const auto slash = taskPath.find_last_of('\\');
  if (slash == std::string_view::npos || slash == 0) return "\\";
  return std::string(taskPath.substr(0, slash));
}

std::string TaskNameOf(std::string_view taskPath) {
  const auto slash = taskPath.find_last_of('\\');
  return std::string(slash == std::string_view::npos ? taskPath : taskPath.substr(slash + 1));
}

}  // namespace wl
