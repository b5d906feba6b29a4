// The scheduled tasks of this system, read through the task service and,
// where the service lists none, from the task store (the XML definition files
// under the system folder's "Tasks" folder). Definitions are read with the
// platform's XML reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/task_definition.h"

namespace wl {

struct TaskListing {
  std::vector<ScheduledTask> tasks;  // in folder order, sub-folders after a folder's own tasks
  std::size_t fromService = 0;       // how many the task service listed
  std::size_t fromStore = 0;         // how many came from the definition files only
  std::string error;                 // why the task service could not be asked, when it could not
};

// Every task in every folder, hidden ones too. storeFolder: the task store to
// read where the service lists nothing ("" = this system's).
TaskListing ListScheduledTasks(const std::string& storeFolder = {});

// The system folder's "Tasks" folder.
std::string TaskStoreFolder();

// The nodes of an XML document (UTF-8, UTF-16 with a byte-order mark, or as
// its declaration says), read with the platform's XML reader; nullopt when the
// reader cannot be loaded. A document that turns out malformed gives the nodes
// read up to the fault.
std::optional<std::vector<TaskXmlNode>> ReadXmlNodes(std::string_view bytes);

// A task definition from the bytes of its XML; nullopt when it is none.
std::optional<ScheduledTask> ParseTaskXml(std::string_view bytes, std::string path);

}  // namespace wl
