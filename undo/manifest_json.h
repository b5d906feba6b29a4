// The JSON form of what a backup keeps, shared by the manifest and the kinds
// of change: texts (a text that is not strict UTF-8 as {"bytes": "<hex>"}),
// numbers, flags and the kept pieces of the system. A reader throws
// BadManifest with what is wrong; the manifest's reader turns it into its
// error. Portable.
#pragma once

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "undo/kept_state.h"

namespace wl::undo::manifest {

using nlohmann::json;

struct BadManifest : std::runtime_error {
  using std::runtime_error::runtime_error;
};

json TextJson(const std::string& s);
std::string TextFrom(const json& j, const char* field);
const json& Field(const json& j, const char* field);
std::string Text(const json& j, const char* field);
// A text that may be missing (then empty).
std::string OptionalText(const json& j, const char* field);
// A text that is there only when something was written (none: deleted).
std::optional<std::string> TextAfter(const json& j, const char* field = "textAfter");
// A flag that may be missing (then false).
bool Flag(const json& j, const char* field);
std::vector<uint8_t> Bytes(const json& j, const char* field);
const json& Array(const json& j, const char* field);

template <class T>
T Number(const json& j, const char* field) {
  const json& v = Field(j, field);
  if (!v.is_number_unsigned() && !(v.is_number_integer() && v.get<int64_t>() >= 0))
    throw BadManifest(std::string("the field ") + field + " is not a number");
  const uint64_t n = v.get<uint64_t>();
  if (n > static_cast<uint64_t>(std::numeric_limits<T>::max()))
    throw BadManifest(std::string("the field ") + field + " is out of range");
  return static_cast<T>(n);
}

json ValueJson(const RegValueCopy& v);
RegValueCopy ValueFrom(const json& j);
json TreeJson(const RegTreeCopy& t);
RegTreeCopy TreeFrom(const json& j);
json ServiceJson(const ServiceConfigCopy& s);
ServiceConfigCopy ServiceFrom(const json& j);
json FileJson(const FileCopy& f);
// mayBeEmpty: an item that keeps no copy (a file put in place, a task
// without a definition file) names none. A name that leads out of the
// change set's folder is refused.
FileCopy FileFrom(const json& j, bool mayBeEmpty);
json WinsockJson(const WinsockProviderCopy& w);
WinsockProviderCopy WinsockFrom(const json& j);

// "root", "key" and "view" of an item (the view checked).
void PlaceToJson(const RegPlace& place, json& j);
RegPlace PlaceFrom(const json& j);
// "path", "entry", "existed", "text" (when it existed) and "textAfter".
void StoreEntryToJson(const StoreEntry& e, json& j);
StoreEntry StoreEntryFrom(const json& j);

}  // namespace wl::undo::manifest
