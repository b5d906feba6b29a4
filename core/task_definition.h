// A scheduled task as its XML definition describes it: its state, the
// triggers that start it and its actions. The definition is read by the
// platform's XML reader into a flat list of nodes (TaskXmlNode); building the
// task from those nodes is portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

// One node of a task's XML definition, in document order: an element's start
// (with its local name), its text, or its end. Namespaces are dropped.
struct TaskXmlNode {
  enum class Kind : uint8_t { Start, Text, End };
  Kind kind = Kind::Start;
  std::string text;  // the local name of a Start, the content of a Text
};

struct TaskAction {
  enum class Kind { Exec, ComHandler, SendEmail, ShowMessage };
  Kind kind = Kind::Exec;
  std::string command;     // Exec: the program
  std::string arguments;   // Exec: its arguments
  std::string classId;     // ComHandler: the class identifier
  std::string data;        // ComHandler: the data handed to it
  std::string to;          // SendEmail
  std::string subject;     // SendEmail
  std::string title;       // ShowMessage
  std::string body;        // ShowMessage
};

struct ScheduledTask {
  std::string path;     // "\Folder\Name"
  bool enabled = true;  // the task as a whole (Settings/Enabled)
  bool hidden = false;  // Settings/Hidden
  std::vector<std::string> triggers;  // "At log on", "At start-up (disabled)" …
  std::vector<TaskAction> actions;
  // The account the task runs as (its first principal's UserId: a SID or a
  // name); empty when it names none (a group's, or the registering user's).
  std::string userId;
};

// The task described by the nodes of its definition; nullopt when the nodes
// are no task definition (the root element is not "Task"). Unknown elements
// are passed over; a definition cut short keeps what was read up to there.
std::optional<ScheduledTask> TaskFromXmlNodes(const std::vector<TaskXmlNode>& nodes, std::string path);

// The trigger text of a trigger element ("LogonTrigger" → "At log on");
// empty for an element that is no trigger.
std::string TriggerText(std::string_view element);

// "\Folder\Sub" of "\Folder\Sub\Name"; "\" for a task in the root folder.
std::string TaskFolderOf(std::string_view taskPath);
// "Name" of "\Folder\Sub\Name".
std::string TaskNameOf(std::string_view taskPath);

}  // namespace wl
