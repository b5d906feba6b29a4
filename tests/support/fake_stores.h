// Stand-ins for WMI's event subscriptions and the background transfer
// service, which the test system does not have: plain instances and jobs in
// memory, installed for a scope in place of the system's.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "core/ascii.h"
#include "sysroutines/transfer_jobs.h"
#include "sysroutines/wmi_subscriptions.h"

namespace wl::test {

class FakeWmiStore : public WmiSubscriptionStore {
 public:
  FakeWmiStore() : scope_(*this) {}

  void Add(WmiInstance instance) { instances_[AsciiUpper(WmiRelativePath(instance.path))] = std::move(instance); }
  bool Has(const std::string& path) const { return instances_.count(AsciiUpper(WmiRelativePath(path))) != 0; }
  const std::map<std::string, WmiInstance>& All() const { return instances_; }
  bool unreadable = false;  // every answer: the namespace cannot be opened
  bool dropsArrays = false;  // makes instances without their array properties (as a WMI that refuses them)

  std::optional<std::vector<WmiInstance>> Instances(std::string_view, std::string_view className,
                                                    std::string& error) override {
    if (unreadable) {
      error = "the namespace cannot be opened";
      return std::nullopt;
    }
    std::vector<WmiInstance> out;
    for (const auto& [path, instance] : instances_)
      if (AsciiUpper(instance.className) == AsciiUpper(className)) out.push_back(instance);
    return out;
  }
  uint32_t Get(std::string_view, std::string_view path, WmiInstance& out) override {
    if (unreadable) return ERROR_ACCESS_DENIED;
    const auto it = instances_.find(AsciiUpper(WmiRelativePath(path)));
    if (it == instances_.end()) return ERROR_FILE_NOT_FOUND;
    out = it->second;
    return ERROR_SUCCESS;
  }
  uint32_t Delete(std::string_view, std::string_view path) override {
    if (unreadable) return ERROR_ACCESS_DENIED;
    return instances_.erase(AsciiUpper(WmiRelativePath(path))) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }
  uint32_t Create(std::string_view, const WmiInstance& instance) override {
    if (unreadable) return ERROR_ACCESS_DENIED;
    if (Has(instance.path)) return ERROR_ALREADY_EXISTS;
    WmiInstance made = instance;
    if (dropsArrays) std::erase_if(made.properties, [](const WmiProperty& p) { return p.IsArray(); });
    Add(std::move(made));
    return ERROR_SUCCESS;
  }

 private:
  std::map<std::string, WmiInstance> instances_;
  ScopedWmiStore scope_;
};

class FakeTransferJobStore : public TransferJobStore {
 public:
  FakeTransferJobStore() : scope_(*this) {}
  std::vector<TransferJob> jobs;
  bool unreadable = false;

  std::optional<std::vector<TransferJob>> Jobs(std::string& error) override {
    if (unreadable) {
      error = "the service cannot be reached";
      return std::nullopt;
    }
    return jobs;
  }
  uint32_t Get(std::string_view id, TransferJob& out) override {
    for (const TransferJob& job : jobs)
      if (AsciiUpper(job.id) == AsciiUpper(id)) {
        out = job;
        return ERROR_SUCCESS;
      }
    return ERROR_FILE_NOT_FOUND;
  }
  uint32_t Cancel(std::string_view id) override {
    for (auto it = jobs.begin(); it != jobs.end(); ++it)
      if (AsciiUpper(it->id) == AsciiUpper(id)) {
        jobs.erase(it);
        return ERROR_SUCCESS;
      }
    return ERROR_FILE_NOT_FOUND;
  }

 private:
  ScopedTransferJobStore scope_;
};

// A subscription as WMI keeps it: a filter, a consumer and the binding
// between them.
inline WmiInstance Filter(const std::string& name, const std::string& query) {
  return {"__EventFilter", "__EventFilter.Name=\"" + name + "\"",
          {{"Name", 8, name}, {"Query", 8, query}, {"QueryLanguage", 8, "WQL"}, {"EventNamespace", 8, "root\\cimv2"}}};
}
inline WmiInstance CommandConsumer(const std::string& name, const std::string& command) {
  return {"CommandLineEventConsumer", "CommandLineEventConsumer.Name=\"" + name + "\"",
          {{"Name", 8, name}, {"CommandLineTemplate", 8, command}, {"RunInteractively", 11, "false"},
           {"KillTimeout", 19, "0"}, {"WorkingDirectory", 8, "", true}}};
}
inline WmiInstance ScriptConsumer(const std::string& name, const std::string& script) {
  return {"ActiveScriptEventConsumer", "ActiveScriptEventConsumer.Name=\"" + name + "\"",
          {{"Name", 8, name}, {"ScriptingEngine", 8, "VBScript"}, {"ScriptText", 8, script}}};
}
inline WmiInstance Binding(const WmiInstance& filter, const WmiInstance& consumer) {
  auto escaped = [](const std::string& path) {
    std::string out;
    for (char c : path) out += c == '"' ? std::string("\\\"") : std::string(1, c);
    return out;
  };
  return {"__FilterToConsumerBinding",
          "__FilterToConsumerBinding.Consumer=\"" + escaped(consumer.path) + "\",Filter=\"" + escaped(filter.path) + "\"",
          {{"Consumer", 102, "\\\\HOST\\root\\subscription:" + consumer.path}, {"Filter", 102, filter.path}}};
}

}  // namespace wl::test
