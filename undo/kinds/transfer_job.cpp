#include "undo/kinds/transfer_job.h"

#include "undo/manifest_json.h"

namespace wl::undo {

void TransferJobChange::ToJson(Json& j) const { manifest::StoreEntryToJson(kept, j); }

TransferJobChange TransferJobChange::FromJson(const Json& j) { return {manifest::StoreEntryFrom(j)}; }

}  // namespace wl::undo

#ifdef _WIN32
#include "undo/capture.h"
#include "undo/restore_steps.h"

namespace wl::undo {

bool TransferJobChange::Records(WriteKind kind) { return kind == WriteKind::CancelTransferJob; }

WriteResult TransferJobChange::Capture(CaptureContext& c) {
  // What the job was is kept for the user to read; it cannot be made again
  // as it was (see CancelTransferJob), so the item is partial and a restore
  // refuses it before changing anything.
  const WriteRequest& r = c.request;
  StoreEntry kept;
  kept.entry = r.target;
  TransferJob job;
  const uint32_t e = TransferJobs().Get(r.target, job);
  if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND) return NotRead(e, "the job");
  kept.existed = e == ERROR_SUCCESS;
  if (kept.existed) kept.text = TransferJobText(job);
  c.changesNothing = !kept.existed;
  c.Record("CancelTransferJob",
           "Cancel the transfer job " +
               (job.displayName.empty() ? r.target : "\"" + job.displayName + "\" (" + r.target + ")") +
               (job.notifyProgram.empty() ? std::string() : ", which runs " + job.notifyProgram) +
               " (a cancelled transfer job cannot be restored)",
           TransferJobChange{std::move(kept)}, true);
  return {};
}

ItemCheck TransferJobChange::Check(const CheckContext&) const {
  TransferJob now;
  if (TransferJobs().Get(kept.entry, now) == ERROR_SUCCESS) return State(ItemState::InPlace);
  // The service gives a job made anew another identifier and owner, and the
  // files it had transferred went with it: nothing is made.
  return State(ItemState::Unrestorable,
               "a cancelled transfer job cannot be made again as it was; the backup describes it: " + kept.text);
}

WriteResult TransferJobChange::Restore(RestoreContext&) const { return NothingToPutBack(); }

}  // namespace wl::undo
#endif
