// What every kind of change (one file each in this folder: a header with its
// data, a source with its steps; listed in kind_list.h) is: a plain type
// holding the kind's own data, with
//
//   kName                      its name in the manifest ("registry-value" …)
//   ToJson / FromJson          its fields of a manifest item (FromJson throws
//                              manifest::BadManifest on a damaged one)
//   Records(WriteKind)         the writes whose backup it is
//   Capture(CaptureContext&)   reads what the write is about to change and
//                              makes the item (its one-line description too)
//   Check(CheckContext&)       whether the system holds what the change left,
//                              what the backup holds, or something else
//   Restore(RestoreContext&)   puts it back through the write routines
//
// and, where the kind has them:
//
//   PutBack(SystemModel&)      what the system holds once it is put back (a
//                              restore's plan lays it over the system)
//   Impact(ImpactCounter&, op) the places a restore of it overwrites or
//                              deletes (values, keys, files, tasks, services)
//   AddRegFileKeys(keys)       its part of the change set's registry file
//   SkipsRecording(request)    a write it need not record at all
//   Retakes(request, op, item) whether a retried write takes up a failed
//                              record of it
//
// A new kind: its file here, its line in kind_list.h, its source in
// undo/CMakeLists.txt. The portable part (data, JSON, registry file) is
// built on every platform; the rest (after #ifdef _WIN32 in its source)
// where the system is there to read and write.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "undo/kept_state.h"

namespace wl {
enum class WriteKind;
struct WriteRequest;
struct WriteResult;
}  // namespace wl

namespace wl::undo {

using Json = nlohmann::json;

struct RegFileKey;
struct ItemCheck;
struct CaptureContext;
struct CheckContext;
struct RestoreContext;
class SystemModel;
class ImpactCounter;

// Whether a failed record is the one a retried write takes up.
enum class Retake {
  NotThis,   // another change: look further back
  TakeUp,    // the same change, the backup still good: the record serves again
  CopyAgain  // the same change, but what it backs up changed: a record of its own
};

}  // namespace wl::undo

// The members every kind declares (see above); a kind whose changes are
// read back in the system model declares PutBack and Impact too.
#define WL_CHANGE_KIND(Kind)                       \
  void ToJson(Json& j) const;                      \
  static Kind FromJson(const Json& j);             \
  static bool Records(WriteKind kind);             \
  static WriteResult Capture(CaptureContext& c);   \
  ItemCheck Check(const CheckContext& c) const;    \
  WriteResult Restore(RestoreContext& c) const;    \
  bool operator==(const Kind&) const = default
