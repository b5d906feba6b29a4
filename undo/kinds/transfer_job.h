// A background transfer job cancelled: its identifier and the job as it was.
// It cannot be made again as it was (the service gives a job made anew
// another identifier and owner): the item is partial, a restore refuses it.
#pragma once

#include "undo/kinds/kind.h"

namespace wl::undo {

struct TransferJobChange {
  static constexpr std::string_view kName = "transfer-job";
  StoreEntry kept;

  WL_CHANGE_KIND(TransferJobChange);
};

}  // namespace wl::undo
