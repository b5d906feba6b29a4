#include "undo/kinds/task.h"

#include "undo/manifest_json.h"

namespace wl::undo {

void TaskChange::ToJson(Json& j) const {
  using namespace manifest;
  j["path"] = TextJson(path);
  j["existed"] = existed;
  j["enabled"] = enabled;
  j["definition"] = TextJson(definition);
  j["file"] = FileJson(file);
}

TaskChange TaskChange::FromJson(const Json& j) {
  using namespace manifest;
  TaskChange c;
  c.path = Text(j, "path");
  c.existed = Flag(j, "existed");
  c.enabled = Flag(j, "enabled");
  c.definition = Text(j, "definition");
  c.file = FileFrom(Field(j, "file"), true);
  return c;
}

}  // namespace wl::undo

#ifdef _WIN32
#include "sysroutines/store_folder.h"
#include "undo/capture.h"
#include "undo/restore_steps.h"
#include "win32/file_path.h"

namespace wl::undo {
namespace {

bool ChangesEnabled(const std::string& operation) {
  return operation == "DisableTask" || operation == "EnableTask";
}

// The definition of a task as it stands: the store's file where there is
// one (it keeps what the service may not give back), else the service's.
std::optional<ScheduledTask> TaskAsItStands(const std::string& path) {
  const std::string file = TaskStoreFile(path);
  if (!file.empty() && win32::FileExists(file))
    if (const auto bytes = ReadWholeFile(file))
      if (auto task = ParseTaskXml(*bytes, path)) return task;
  return TaskOf(ScheduledTaskXml(path), path);
}

}  // namespace

bool TaskChange::Records(WriteKind kind) {
  return kind == WriteKind::DeleteTask || kind == WriteKind::DisableTask || kind == WriteKind::EnableTask ||
         kind == WriteKind::RegisterTask;
}

WriteResult TaskChange::Capture(CaptureContext& c) {
  const WriteRequest& r = c.request;
  TaskChange change;
  change.path = r.target;
  const auto state = ReadTaskState(r.target);
  if (state) {
    change.definition = state->definition;
    change.enabled = state->enabled;
  }
  // The definition file too, as the store keeps it: where the service
  // gives back less than it was given (Wine's), a restore puts it back.
  const std::string file = TaskStoreFile(r.target);
  const bool stored = !file.empty() && win32::FileExists(file);
  change.existed = state.has_value() || stored;
  const bool keepsFile = r.kind == WriteKind::DeleteTask || r.kind == WriteKind::RegisterTask;
  if (stored && keepsFile && CheckNoLinksBelow(TaskStoreFolder(), file) == 0)
    if (WriteResult copied = c.keepCopy(file, change.file); !copied) return copied;
  c.changesNothing = r.kind != WriteKind::RegisterTask && !change.existed;
  const char* verb = r.kind == WriteKind::DeleteTask    ? "Delete the scheduled task "
                     : r.kind == WriteKind::DisableTask ? "Disable the scheduled task "
                     : r.kind == WriteKind::EnableTask  ? "Enable the scheduled task "
                                                        : "Register the scheduled task ";
  c.Record(std::string(WriteKindName(r.kind)), verb + r.target, std::move(change));
  return {};
}

ItemCheck TaskChange::Check(const CheckContext& c) const {
  const auto now = c.system.Task(path);
  if (ChangesEnabled(c.operation)) {
    if (!now) return State(ItemState::Changed, "the task was deleted since");
    return now->enabled == enabled ? State(ItemState::InPlace) : State(ItemState::Restorable);
  }
  if (!existed) return now ? State(ItemState::Restorable) : State(ItemState::InPlace);
  if (definition.empty() && file.copyName.empty())
    return State(ItemState::Unrestorable, "its definition could not be read for the backup");
  if (!now) return State(ItemState::Restorable);
  if (SameTask(TaskOf(now->definition, path), TaskOf(definition, path))) return State(ItemState::InPlace);
  return c.operation == "RegisterTask" ? State(ItemState::Restorable)
                                       : State(ItemState::Changed, "a task of that name is there again");
}

void TaskChange::PutBack(SystemModel& system) const {
  system.PutTask(path, existed ? std::optional(TaskStateCopy{definition, enabled}) : std::nullopt);
}

void TaskChange::Impact(ImpactCounter& impact, const std::string& operation) const {
  // Enabling or disabling it again replaces nothing.
  if (!ChangesEnabled(operation)) impact.AddTask(path);
}

WriteResult TaskChange::Restore(RestoreContext& c) const {
  if (c.operation == "DisableTask") return EnableScheduledTask(path);
  if (c.operation == "EnableTask") return DisableScheduledTask(path);
  if (!existed) return GoneAlready(DeleteScheduledTask(path));
  // A task the change deleted (or replaced): registered again through the
  // task service from its definition; where the service does not keep what
  // it is given (programs and triggers lost), the store's definition file is
  // put back in its place.
  std::optional<ScheduledTask> wanted;
  if (!file.copyName.empty()) {
    std::optional<std::string> bytes;
    if (WriteResult r = ReadCopy(c.set, file, path, bytes); !r) return r;
    if (bytes) wanted = ParseTaskXml(*bytes, path);
  }
  if (!wanted) wanted = TaskOf(definition, path);
  WriteResult registered = WriteResult::Failure(
      ERROR_INVALID_DATA, "Could not register the scheduled task " + path + ": its definition was not kept.");
  if (!definition.empty()) registered = RegisterScheduledTask(path, definition);
  if (registered && (!wanted || SameTask(TaskAsItStands(path), wanted))) return {};
  if (file.copyName.empty()) return registered;
  // The definition file, as the store kept it.
  if (ReadTaskState(path))
    if (WriteResult r = DeleteScheduledTask(path); !r && !r.NotFound()) return r;
  const std::string stored = TaskStoreFile(path);
  if (stored.empty()) return WriteResult::Failure(ERROR_PATH_NOT_FOUND, "The task store's folder is unknown.");
  if (win32::FileExists(stored))
    if (WriteResult r = DeleteFileNow(stored); !r) return r;
  if (WriteResult r = PlaceCopy(c.set, file, stored); !r) return r;
  if (!SameTask(TaskAsItStands(path), wanted))
    return WriteResult::Failure(ERROR_GEN_FAILURE, "The definition file of " + path +
                                                       " is back in the task store, but the task is not as it was.");
  c.note = "restored from the task store's definition file";
  return {};
}

}  // namespace wl::undo
#endif
