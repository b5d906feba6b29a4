// WMI's permanent event subscriptions: the filters (an event query), the
// consumers (what runs when the query matches: a command line, a script)
// and the bindings that tie a filter to a consumer, as plain rows. The
// system's store goes through WMI's COM interfaces; tests install one of
// their own (WMI of the test system has no such classes).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/scoped_override.h"

namespace wl {

inline constexpr const char* kSubscriptionNamespace = "root\\subscription";

// The CIM type flag of an array property (CIM_FLAG_ARRAY).
inline constexpr int32_t kWmiArrayFlag = 0x2000;

// One property of an instance: its name, CIM type (CIM_STRING, CIM_UINT32 …,
// with kWmiArrayFlag for an array) and value as text; an array's elements
// each as text, in order.
struct WmiProperty {
  std::string name;
  int32_t cimType = 8;  // CIM_STRING
  std::string value;
  bool null = false;
  std::vector<std::string> values{};  // an array's elements
  bool IsArray() const { return (cimType & kWmiArrayFlag) != 0; }
  bool operator==(const WmiProperty&) const = default;
};

// Whether WMI sets the property itself when an instance is made (the
// creator's SID): a restore does not write it, and it differs afterwards.
bool WmiSetsItself(std::string_view propertyName);


struct WmiInstance {
  std::string className;  // "__EventFilter", "CommandLineEventConsumer" …
  std::string path;       // its relative path: CommandLineEventConsumer.Name="x"
  std::vector<WmiProperty> properties;  // its own, no system properties
  // A property's value; empty when it has none (or it is null).
  std::string Text(std::string_view name) const;
  bool operator==(const WmiInstance&) const = default;
};

// The properties of wanted that made does not hold as wanted holds them
// (missing, other values, other elements), WMI's own aside; empty when all
// came through.
std::vector<std::string> WmiPropertiesNotKept(const WmiInstance& wanted, const WmiInstance& made);

// The instance as text (JSON) and back; nullopt when the text is no instance.
std::string WmiInstanceText(const WmiInstance& instance);
std::optional<WmiInstance> WmiInstanceFromText(std::string_view text);

// The relative path a binding's reference names ("\\HOST\root\subscription:
// X.Name="a"" -> X.Name="a"), for comparing.
std::string WmiRelativePath(std::string_view reference);
// Whether two relative paths name the same instance (case and the host
// part aside).
bool SameWmiPath(std::string_view a, std::string_view b);

class WmiSubscriptionStore {
 public:
  virtual ~WmiSubscriptionStore() = default;
  // The instances of a class and its subclasses in a namespace; nullopt
  // when the namespace cannot be read (error says why).
  virtual std::optional<std::vector<WmiInstance>> Instances(std::string_view wmiNamespace, std::string_view className,
                                                            std::string& error) = 0;
  // One instance by its relative path: ERROR_SUCCESS with it filled,
  // ERROR_FILE_NOT_FOUND when there is none, else why it could not be read.
  virtual uint32_t Get(std::string_view wmiNamespace, std::string_view path, WmiInstance& out) = 0;
  // Deletes it (ERROR_FILE_NOT_FOUND when it is not there).
  virtual uint32_t Delete(std::string_view wmiNamespace, std::string_view path) = 0;
  // Creates it from its class and properties; one of that path must not be there.
  virtual uint32_t Create(std::string_view wmiNamespace, const WmiInstance& instance) = 0;
};

// The store in use: the system's, or the one a test installed.
WmiSubscriptionStore& WmiStore();

class ScopedWmiStore : ScopedOverride<WmiSubscriptionStore*> {
 public:
  explicit ScopedWmiStore(WmiSubscriptionStore& store);
};

}  // namespace wl
