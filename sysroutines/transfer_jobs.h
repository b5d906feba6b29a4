// The background transfer service's jobs, as plain rows: a job that names a
// program to run when it ends (its notify command line) is a way to start
// software again and again. The system's jobs are read through the
// service's COM interfaces; tests install a store of their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/scoped_override.h"

namespace wl {

struct TransferFile {
  std::string remote, local;
  bool operator==(const TransferFile&) const = default;
};

struct TransferJob {
  std::string id;  // "{…}"
  std::string displayName, description;
  std::string owner;  // the owner's SID
  std::string notifyProgram, notifyParameters;
  uint32_t notifyFlags = 0;
  int type = 0;      // download, upload, upload-reply
  int priority = 0;
  int state = 0;     // queued, connecting, transferring, … cancelled
  std::vector<TransferFile> files;
  bool operator==(const TransferJob&) const = default;
};

// The job as text (JSON) and back, for a backup; nullopt when it is none.
std::string TransferJobText(const TransferJob& job);
std::optional<TransferJob> TransferJobFromText(std::string_view text);

class TransferJobStore {
 public:
  virtual ~TransferJobStore() = default;
  // Every user's jobs where that is allowed, else the user's own; nullopt
  // when the service cannot be asked (error says why).
  virtual std::optional<std::vector<TransferJob>> Jobs(std::string& error) = 0;
  // One job by its identifier: ERROR_SUCCESS with it filled,
  // ERROR_FILE_NOT_FOUND when there is none.
  virtual uint32_t Get(std::string_view id, TransferJob& out) = 0;
  // Cancels it (its temporary files go; ERROR_FILE_NOT_FOUND when it is not there).
  virtual uint32_t Cancel(std::string_view id) = 0;
};

TransferJobStore& TransferJobs();

class ScopedTransferJobStore : ScopedOverride<TransferJobStore*> {
 public:
  explicit ScopedTransferJobStore(TransferJobStore& store);
};

}  // namespace wl
