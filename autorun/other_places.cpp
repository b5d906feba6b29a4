#include "autorun/other_places.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "core/ascii.h"
#include "service/service_manager.h"
#include "sysroutines/text_routines.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;

std::string Trimmed(std::string_view text) { return TrimUpToChar(text, ' '); }

std::string StringOf(const RegKey& key, const std::string& name) {
  const auto value = key.Read(name);
  if (!value) return {};
  return win32::RegValueString(*value).value_or(std::string());
}

std::optional<DWORD> DwordOf(const RegKey& key, const std::string& name) {
  const auto value = key.Read(name);
  if (!value || value->type != REG_DWORD || value->data.size() != 4) return std::nullopt;
  DWORD out = 0;
  memcpy(&out, value->data.data(), 4);
  return out;
}

// Keys below the task cache's tree at most this deep, and this many in all:
// a damaged or hostile tree must not stop the scan.
constexpr int kMaxTreeDepth = 24;
constexpr std::size_t kMaxTreeKeys = 200000;

}  // namespace

void ReadTaskCacheOrphans(const SourceKeyOpener& openKey, std::string_view systemRoot, std::vector<AutorunRow>& rows) {
  struct Pending {
    std::string path;  // below the tree: "\Folder\Name"
    int depth;
  };
  std::vector<Pending> stack{{"", 0}};
  std::size_t visited = 0;
  const std::string store = systemRoot.empty() ? std::string() : std::string(systemRoot) + "\\System32\\Tasks";
  while (!stack.empty() && visited++ < kMaxTreeKeys) {
    Pending at = std::move(stack.back());
    stack.pop_back();
    auto key = openKey(HKEY_LOCAL_MACHINE, std::string(kTaskCacheTree) + at.path);
    if (!key) continue;
    const auto idValue = at.path.empty() ? std::nullopt : key->Read("Id");
    if (idValue) {
      // A task's name: its definition is a file of the same path and a key
      // under "Tasks" named by its Id.
      const std::string id = Trimmed(win32::RegValueText(*idValue));
      const bool file = !store.empty() && win32::FileExists(store + at.path);
      const bool known = !id.empty() && id.find('\\') == std::string::npos &&
                         openKey(HKEY_LOCAL_MACHINE, std::string(kTaskCacheTasks) + "\\" + id).has_value();
      if (!file || !known) {
        AutorunRow row;
        row.source = kTaskCacheSource;
        row.category = "Scheduled Tasks";
        row.itemName = at.path;
        row.valueName = "Id";
        row.value = id.empty() ? "(no Id)" : id;
        row.registryKey = "HKEY_LOCAL_MACHINE\\" + std::string(kTaskCacheTree) + at.path + "\\";
        row.removeKey = row.registryKey;
        row.noProgram = true;
        row.alwaysFlag = true;
        row.details = "A task's name without its definition:";
        if (!file) row.details += " no file " + (store.empty() ? at.path : store + at.path) + ";";
        if (!known) row.details += " no key " + std::string(kTaskCacheTasks) + "\\" + id + ";";
        row.details.back() = '.';
        rows.push_back(std::move(row));
      }
    }
    if (at.depth >= kMaxTreeDepth) continue;
    auto names = key->SubKeyNames();
    for (auto it = names.rbegin(); it != names.rend(); ++it) stack.push_back({at.path + "\\" + *it, at.depth + 1});
  }
}

std::optional<std::vector<std::string>> ListServiceNamesOfThisSystem() {
  std::vector<ServiceListEntry> entries;
  if (!ServiceEnumerate("", SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL, entries)) return std::nullopt;
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (auto& entry : entries) names.push_back(std::move(entry.keyName));
  return names;
}

void ReadServicesAndDrivers(const SourceKeyOpener& openKey, std::string_view systemRoot,
                            const ServiceNameLister& listServices, std::vector<AutorunRow>& rows) {
  auto services = openKey(HKEY_LOCAL_MACHINE, kServicesPath);
  if (!services) return;
  std::optional<std::unordered_set<std::string>> listed;
  if (listServices)
    if (auto names = listServices()) {
      listed.emplace();
      for (const std::string& name : *names) listed->insert(AsciiUpper(name));
    }
  for (const std::string& name : services->SubKeyNames()) {
    auto key = openKey(HKEY_LOCAL_MACHINE, std::string(kServicesPath) + "\\" + name);
    if (!key) continue;
    const auto type = DwordOf(*key, "Type");
    // The manager loads no key without a type; adapters and file-system
    // recognizers are no programs of their own.
    if (!type || !(*type & (SERVICE_DRIVER | SERVICE_WIN32))) continue;
    // Per-user services are templates the manager makes instances of.
    if (*type & 0xC0) continue;
    const bool driver = (*type & (SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER)) != 0;
    const std::string image = StringOf(*key, "ImagePath");
    const bool known = !listed || listed->count(AsciiUpper(name));
    AutorunRow row;
    row.itemName = name;
    row.valueName = "ImagePath";
    row.registryKey = "HKEY_LOCAL_MACHINE\\" + std::string(kServicesPath) + "\\" + name + "\\";
    row.driver = driver;
    row.category = driver ? "Drivers" : "Services";
    if (driver) {
      row.value = DriverImagePath(image, name, systemRoot);
      row.judgeText = row.value;
      row.judgePath = true;
    } else {
      row.value = image;
    }
    row.iconText = row.judgeText.empty() ? row.value : row.judgeText;
    if (!known) {
      // Written past the manager: it reads the key at the next start.
      if (Trimmed(image).empty()) continue;
      row.source = kServiceKeySource;
      row.alwaysFlag = true;
      row.removeKey = row.registryKey;
      row.details = std::string(driver ? "A driver's" : "A service's") +
                    " key the service manager does not list: it is loaded at the next start of Windows.";
      rows.push_back(std::move(row));
      continue;
    }
    if (!driver) continue;  // listed services are the Services page's
    const bool inFolders = IsInDriverFolders(row.value, systemRoot);
    // A driver Windows has registered but not installed loads nothing.
    if (inFolders && !win32::FileExists(row.value)) continue;
    row.source = kDriverSource;
    row.alwaysFlag = !inFolders;
    row.onlyUntrusted = inFolders;
    row.removal = AutorunRemoval::Service;
    row.removalTarget = name;
    if (!inFolders) row.details = "The driver's file is outside Windows' driver folders.";
    if (const auto start = DwordOf(*key, "Start"))
      row.details += std::string(row.details.empty() ? "" : " ") + "Start " + std::to_string(*start) + ".";
    rows.push_back(std::move(row));
  }
}

std::vector<std::string> TerminalSettingsFiles(const std::string& localAppData) {
  std::vector<std::string> files;
  if (localAppData.empty()) return files;
  WIN32_FIND_DATAW data;
  win32::UniqueFind find(
      FindFirstFileW(win32::ApiPath(localAppData + "\\Packages\\Microsoft.WindowsTerminal*").c_str(), &data));
  if (find) {
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
      const std::string path =
          localAppData + "\\Packages\\" + win32::Narrow(data.cFileName) + "\\LocalState\\settings.json";
      if (win32::FileExists(path)) files.push_back(path);
    } while (FindNextFileW(find.get(), &data));
  }
  std::sort(files.begin(), files.end());
  const std::string unpackaged = localAppData + "\\Microsoft\\Windows Terminal\\settings.json";
  if (win32::FileExists(unpackaged)) files.push_back(unpackaged);
  return files;
}

namespace {

using json = nlohmann::json;

// A settings file larger than this is none the terminal writes.
constexpr std::uint64_t kMaxSettingsBytes = 16u << 20;

// The file's bytes; nullopt when it cannot be read or is larger than limit.
std::optional<std::string> ReadSmallFile(const std::string& path, std::uint64_t limit) {
  win32::UniqueHfile in(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!in || !GetFileSizeEx(in.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > limit) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!bytes.empty() && (!ReadFile(in.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)))
    return std::nullopt;
  bytes.resize(got);
  return bytes;
}

std::optional<json> ParseSettings(std::string_view text) {
  json parsed = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/true);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  return parsed;
}

bool StartsAtLogon(const json& settings) {
  const auto it = settings.find("startOnUserLogin");
  return it != settings.end() && it->is_boolean() && it->get<bool>();
}

std::string TextOf(const json& object, const char* name) {
  if (!object.is_object()) return {};
  const auto it = object.find(name);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The command line of the profile the terminal opens first; empty when it
// names none (a profile made by an extension: the extension's program).
std::string DefaultProfileCommand(const json& settings, std::string& profileName) {
  const std::string wanted = AsciiUpper(Trimmed(TextOf(settings, "defaultProfile")));
  const json* list = nullptr;
  if (const auto it = settings.find("profiles"); it != settings.end()) {
    if (it->is_array()) list = &*it;
    else if (it->is_object())
      if (const auto l = it->find("list"); l != it->end() && l->is_array()) list = &*l;
  }
  if (!list) return {};
  const json* chosen = nullptr;
  for (const json& profile : *list) {
    if (!profile.is_object()) continue;
    if (!chosen) chosen = &profile;  // without a default: the first
    if (!wanted.empty() && (AsciiUpper(TextOf(profile, "guid")) == wanted ||
                            AsciiUpper(TextOf(profile, "name")) == wanted)) {
      chosen = &profile;
      break;
    }
  }
  if (!chosen) return {};
  profileName = TextOf(*chosen, "name");
  return Trimmed(TextOf(*chosen, "commandline"));
}

}  // namespace

void ReadTerminalSettings(const std::string& settingsPath, std::vector<AutorunRow>& rows) {
  const auto bytes = ReadSmallFile(settingsPath, kMaxSettingsBytes);
  if (!bytes) return;
  const auto settings = ParseSettings(*bytes);
  if (!settings || !StartsAtLogon(*settings)) return;
  AutorunRow row;
  row.source = kTerminalSource;
  row.category = "Logon";
  row.itemName = "startOnUserLogin";
  row.registryKey = settingsPath;
  row.filePath = settingsPath;
  row.removal = AutorunRemoval::TerminalLogon;
  std::string profile;
  const std::string command = DefaultProfileCommand(*settings, profile);
  row.details = "Windows Terminal starts at logon" +
                (profile.empty() ? std::string(".") : " with the profile \"" + profile + "\".");
  if (command.empty()) {
    row.value = "Windows Terminal";
    row.noProgram = true;
  } else {
    row.value = command;
    row.iconText = command;
  }
  rows.push_back(std::move(row));
}

std::optional<std::string> TerminalSettingsWithoutLogon(std::string_view text) {
  const auto before = ParseSettings(text);
  if (!before || !StartsAtLogon(*before)) return std::nullopt;
  // Each place the name is written followed by "true" is tried: the one
  // that leaves the settings as they were but for this one is it (the name
  // may stand in a comment or in a profile too).
  constexpr std::string_view kName = "\"startOnUserLogin\"";
  for (std::size_t at = text.find(kName); at != std::string_view::npos; at = text.find(kName, at + 1)) {
    std::size_t i = at + kName.size();
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    if (i >= text.size() || text[i] != ':') continue;
    ++i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    if (text.substr(i, 4) != "true") continue;
    std::string changed = std::string(text.substr(0, i)) + "false" + std::string(text.substr(i + 4));
    auto after = ParseSettings(changed);
    if (!after) continue;
    json expected = *before;
    expected["startOnUserLogin"] = false;
    if (*after == expected) return changed;
  }
  return std::nullopt;
}

namespace {

constexpr std::size_t kMaxScriptShown = 200;

std::string OneLine(std::string text, std::size_t limit) {
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  if (text.size() > limit) text = text.substr(0, limit) + "...";
  return text;
}

}  // namespace

void ReadWmiSubscriptions(std::vector<AutorunRow>& rows) {
  WmiSubscriptionStore& store = WmiStore();
  std::string error;
  const auto bindings = store.Instances(kSubscriptionNamespace, "__FilterToConsumerBinding", error);
  const auto filters = store.Instances(kSubscriptionNamespace, "__EventFilter", error);
  for (const char* cls : {"CommandLineEventConsumer", "ActiveScriptEventConsumer"}) {
    const auto consumers = store.Instances(kSubscriptionNamespace, cls, error);
    if (!consumers) continue;
    for (const WmiInstance& consumer : *consumers) {
      AutorunRow row;
      row.source = kWmiSource;
      row.category = "WMI";
      row.itemName = consumer.Text("Name").empty() ? consumer.path : consumer.Text("Name");
      row.registryKey = "WMI\\" + std::string(kSubscriptionNamespace) + "\\" + consumer.className;
      row.removal = AutorunRemoval::WmiSubscription;
      row.removalTarget = consumer.path;
      if (consumer.className == "ActiveScriptEventConsumer") {
        // A script runs inside WMI's own host: always worth a look.
        row.alwaysFlag = true;
        const std::string file = Trimmed(consumer.Text("ScriptFileName"));
        const std::string engine = Trimmed(consumer.Text("ScriptingEngine"));
        if (!file.empty()) {
          row.value = file;
          row.judgeText = file;
          row.judgePath = true;
        } else {
          row.value = "Script" + (engine.empty() ? std::string() : " (" + engine + ")") + ": " +
                      OneLine(consumer.Text("ScriptText"), kMaxScriptShown);
          row.noProgram = true;
        }
      } else {
        const std::string command = Trimmed(consumer.Text("CommandLineTemplate"));
        const std::string executable = Trimmed(consumer.Text("ExecutablePath"));
        if (!command.empty()) {
          row.value = command;
        } else if (!executable.empty()) {
          row.value = executable;
          row.judgeText = executable;
          row.judgePath = true;
        } else {
          row.value = "(no command)";
          row.noProgram = true;
          row.alwaysFlag = true;
        }
      }
      row.iconText = row.judgeText.empty() ? row.value : row.judgeText;
      // The events that start it: the filters its bindings name.
      std::size_t bound = 0;
      if (bindings)
        for (const WmiInstance& binding : *bindings) {
          if (!SameWmiPath(binding.Text("Consumer"), consumer.path)) continue;
          ++bound;
          const std::string filterPath = WmiRelativePath(binding.Text("Filter"));
          std::string query;
          if (filters)
            for (const WmiInstance& filter : *filters)
              if (SameWmiPath(filter.path, filterPath)) query = filter.Text("Query");
          row.details += std::string(row.details.empty() ? "" : " ") + "Started by " + filterPath +
                         (query.empty() ? std::string(".") : ": " + OneLine(query, kMaxScriptShown) + ".");
        }
      if (!bound) row.details = "No binding ties it to an event filter.";
      rows.push_back(std::move(row));
    }
  }
}

WriteResult RemoveWmiSubscription(std::string_view consumerPath) {
  WmiSubscriptionStore& store = WmiStore();
  std::string error;
  const auto bindings = store.Instances(kSubscriptionNamespace, "__FilterToConsumerBinding", error);
  if (!bindings) return {ERROR_READ_FAULT, error};
  std::vector<std::string> filters;
  std::vector<bool> removed(bindings->size(), false);
  for (std::size_t i = 0; i < bindings->size(); ++i) {
    const WmiInstance& binding = (*bindings)[i];
    if (!SameWmiPath(binding.Text("Consumer"), consumerPath)) continue;
    if (WriteResult r = DeleteWmiInstance(kSubscriptionNamespace, binding.path); !r && !r.NotFound()) return r;
    removed[i] = true;
    filters.push_back(WmiRelativePath(binding.Text("Filter")));
  }
  WriteResult consumer = DeleteWmiInstance(kSubscriptionNamespace, consumerPath);
  if (!consumer && !consumer.NotFound()) return consumer;
  // A filter another binding still uses stays.
  for (const std::string& filter : filters) {
    bool used = false;
    for (std::size_t i = 0; i < bindings->size() && !used; ++i)
      used = !removed[i] && SameWmiPath((*bindings)[i].Text("Filter"), filter);
    if (used || filter.empty()) continue;
    if (WriteResult r = DeleteWmiInstance(kSubscriptionNamespace, filter); !r && !r.NotFound()) return r;
  }
  return consumer;
}

std::string TransferJobCommand(std::string_view program, std::string_view parameters) {
  const std::string path = Trimmed(program);
  std::string rest = Trimmed(parameters);
  // The first word of the parameters is the program's name (argv[0]).
  if (!rest.empty()) {
    std::size_t end;
    if (rest.front() == '"') {
      end = rest.find('"', 1);
      end = end == std::string::npos ? rest.size() : end + 1;
    } else {
      end = rest.find(' ');
      if (end == std::string::npos) end = rest.size();
    }
    std::string first = rest.substr(0, end);
    if (first.size() >= 2 && first.front() == '"' && first.back() == '"') first = first.substr(1, first.size() - 2);
    const std::string firstName = AsciiUpper(TextAfterLastChar(first, '\\'));
    if (!first.empty() && (AsciiUpper(first) == AsciiUpper(path) || firstName == AsciiUpper(TextAfterLastChar(path, '\\'))))
      rest = Trimmed(std::string_view(rest).substr(end));
  }
  const std::string quoted = path.find(' ') != std::string::npos && !path.starts_with('"') ? "\"" + path + "\"" : path;
  return rest.empty() ? quoted : quoted + " " + rest;
}

void ReadTransferJobs(std::vector<AutorunRow>& rows) {
  std::string error;
  const auto jobs = TransferJobs().Jobs(error);
  if (!jobs) return;
  for (const TransferJob& job : *jobs) {
    if (Trimmed(job.notifyProgram).empty()) continue;
    AutorunRow row;
    row.source = kTransferJobSource;
    row.category = "Scheduled Tasks";
    row.itemName = job.displayName.empty() ? job.id : job.displayName;
    row.registryKey = "Background Transfer\\" + job.id;
    row.value = TransferJobCommand(job.notifyProgram, job.notifyParameters);
    row.iconText = Trimmed(job.notifyProgram);
    row.removal = AutorunRemoval::TransferJob;
    row.removalTarget = job.id;
    row.details = "A transfer job that runs the program when it ends";
    if (!job.owner.empty()) row.details += "; owner " + job.owner;
    row.details += "; " + std::to_string(job.files.size()) + (job.files.size() == 1 ? " file" : " files");
    if (!job.files.empty()) row.details += ", the first " + job.files.front().remote + " to " + job.files.front().local;
    row.details += ".";
    rows.push_back(std::move(row));
  }
}

}  // namespace wl
