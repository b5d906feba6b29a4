// The kinds of change a backup records, one file each. A new kind is its
// own file in this folder and one line here (and its include).
#pragma once

#include <cstddef>
#include <utility>
#include <variant>

#include "undo/kinds/certificate.h"
#include "undo/kinds/external.h"
#include "undo/kinds/file.h"
#include "undo/kinds/folder.h"
#include "undo/kinds/ini_entry.h"
#include "undo/kinds/registry_key.h"
#include "undo/kinds/registry_tree.h"
#include "undo/kinds/registry_value.h"
#include "undo/kinds/service.h"
#include "undo/kinds/task.h"
#include "undo/kinds/transfer_job.h"
#include "undo/kinds/winsock.h"
#include "undo/kinds/wmi_instance.h"

namespace wl::undo {

using Change = std::variant<
    RegistryValueChange,
    RegistryTreeChange,
    RegistryKeyChange,
    IniEntryChange,
    FileChange,
    FolderChange,
    ServiceChange,
    TaskChange,
    CertificateChange,
    WinsockChange,
    WmiInstanceChange,
    TransferJobChange,
    ExternalStep>;

// Calls visit.template operator()<Kind>() for the kinds in the list's order
// until one answers true; whether one did.
template <class Visit, std::size_t I = 0>
bool AnyKind(Visit&& visit) {
  if constexpr (I == std::variant_size_v<Change>) {
    return false;
  } else {
    if (visit.template operator()<std::variant_alternative_t<I, Change>>()) return true;
    return AnyKind<Visit, I + 1>(std::forward<Visit>(visit));
  }
}

}  // namespace wl::undo
