#include "undo/kinds/ini_entry.h"

#include "undo/manifest_json.h"

namespace wl::undo {

void IniEntryChange::ToJson(Json& j) const {
  using namespace manifest;
  j["path"] = TextJson(path);
  j["section"] = TextJson(section);
  j["entry"] = TextJson(entry);
  j["existed"] = existed;
  if (existed) j["text"] = TextJson(text);
  if (textAfter) j["textAfter"] = TextJson(*textAfter);
}

IniEntryChange IniEntryChange::FromJson(const Json& j) {
  using namespace manifest;
  IniEntryChange c;
  c.path = Text(j, "path");
  c.section = Text(j, "section");
  c.entry = Text(j, "entry");
  c.existed = Flag(j, "existed");
  if (c.existed) c.text = Text(j, "text");
  c.textAfter = TextAfter(j);
  return c;
}

}  // namespace wl::undo

#ifdef _WIN32
#include "undo/capture.h"
#include "undo/restore_steps.h"

namespace wl::undo {

bool IniEntryChange::Records(WriteKind kind) {
  return kind == WriteKind::WriteIniValue || kind == WriteKind::DeleteIniValue;
}

WriteResult IniEntryChange::Capture(CaptureContext& c) {
  const WriteRequest& r = c.request;
  const bool write = r.kind == WriteKind::WriteIniValue;
  IniEntryChange change;
  change.path = r.target;
  change.section = r.section;
  change.entry = r.entry;
  const auto before = ReadIniState(r.target, r.section, r.entry);
  change.existed = before.has_value();
  if (before) change.text = *before;
  if (write) change.textAfter = r.text.value_or(std::string());
  c.Record(write ? "WriteIniValue" : "DeleteIniValue",
           (write ? "Write the entry " : "Delete the entry ") + Quoted(r.name) + " of " + r.target, std::move(change));
  return {};
}

ItemCheck IniEntryChange::Check(const CheckContext& c) const {
  const auto now = c.system.Ini(path, section, entry);
  if (now.has_value() == existed && (!now || *now == text)) return State(ItemState::InPlace);
  if (now.has_value() == textAfter.has_value() && (!now || *now == *textAfter)) return State(ItemState::Restorable);
  return State(ItemState::Changed, now ? "the entry holds other text now" : "the entry was deleted since");
}

void IniEntryChange::PutBack(SystemModel& system) const {
  system.PutIni(path, section, entry, existed ? std::optional(text) : std::nullopt);
}

void IniEntryChange::Impact(ImpactCounter& impact, const std::string&) const { impact.AddIni(path, section, entry); }

WriteResult IniEntryChange::Restore(RestoreContext&) const {
  if (existed) return WriteIniValue(path, section, entry, text);
  return DeleteIniValue(path, section, entry);
}

}  // namespace wl::undo
#endif
