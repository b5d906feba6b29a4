#include "sysroutines/transfer_jobs.h"

#include <windows.h>
#include <bits.h>
#include <bits1_5.h>

#include <nlohmann/json.hpp>

#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using json = nlohmann::json;

TransferJobStore*& InstalledJobStore() {
  static TransferJobStore* store = nullptr;
  return store;
}

// A string the service allocated, freed when read.
std::string TakenText(LPWSTR text) {
  if (!text) return {};
  std::string out = win32::Narrow(text);
  CoTaskMemFree(text);
  return out;
}

std::string JobGuidText(const GUID& id) {
  wchar_t text[64] = {};
  StringFromGUID2(id, text, 64);
  return win32::Narrow(text);
}

uint32_t JobError(HRESULT hr) {
  if (static_cast<uint32_t>(hr) == static_cast<uint32_t>(BG_E_NOT_FOUND)) return ERROR_FILE_NOT_FOUND;
  if (hr == E_ACCESSDENIED) return ERROR_ACCESS_DENIED;
  return static_cast<uint32_t>(hr);
}

// At most this many files of one job are kept: a job of millions must not
// stop the scan.
constexpr std::size_t kMaxFiles = 1000;

TransferJob JobOf(IBackgroundCopyJob* job) {
  TransferJob out;
  GUID id{};
  if (SUCCEEDED(job->GetId(&id))) out.id = JobGuidText(id);
  LPWSTR text = nullptr;
  if (SUCCEEDED(job->GetDisplayName(&text))) out.displayName = TakenText(text);
  text = nullptr;
  if (SUCCEEDED(job->GetDescription(&text))) out.description = TakenText(text);
  text = nullptr;
  if (SUCCEEDED(job->GetOwner(&text))) out.owner = TakenText(text);
  BG_JOB_TYPE type{};
  if (SUCCEEDED(job->GetType(&type))) out.type = static_cast<int>(type);
  BG_JOB_PRIORITY priority{};
  if (SUCCEEDED(job->GetPriority(&priority))) out.priority = static_cast<int>(priority);
  BG_JOB_STATE state{};
  if (SUCCEEDED(job->GetState(&state))) out.state = static_cast<int>(state);
  ULONG flags = 0;
  if (SUCCEEDED(job->GetNotifyFlags(&flags))) out.notifyFlags = flags;
  win32::ComPtr<IBackgroundCopyJob2> job2;
  if (SUCCEEDED(job->QueryInterface(IID_IBackgroundCopyJob2, job2.put_void())) && job2) {
    LPWSTR program = nullptr, parameters = nullptr;
    if (SUCCEEDED(job2->GetNotifyCmdLine(&program, &parameters))) {
      out.notifyProgram = TakenText(program);
      out.notifyParameters = TakenText(parameters);
    }
  }
  win32::ComPtr<IEnumBackgroundCopyFiles> files;
  if (SUCCEEDED(job->EnumFiles(files.put())) && files) {
    while (out.files.size() < kMaxFiles) {
      win32::ComPtr<IBackgroundCopyFile> file;
      ULONG got = 0;
      if (files->Next(1, file.put(), &got) != S_OK || got == 0 || !file) break;
      TransferFile entry;
      text = nullptr;
      if (SUCCEEDED(file->GetRemoteName(&text))) entry.remote = TakenText(text);
      text = nullptr;
      if (SUCCEEDED(file->GetLocalName(&text))) entry.local = TakenText(text);
      out.files.push_back(std::move(entry));
    }
  }
  return out;
}

class SystemJobStore : public TransferJobStore {
 public:
  std::optional<std::vector<TransferJob>> Jobs(std::string& error) override {
    win32::ComScope com;
    win32::ComPtr<IBackgroundCopyManager> manager;
    if (const HRESULT hr = Connect(manager); FAILED(hr)) {
      error = "The background transfer service cannot be reached: " + win32::SystemErrorText(static_cast<uint32_t>(hr));
      return std::nullopt;
    }
    win32::ComPtr<IEnumBackgroundCopyJobs> jobs;
    // Every user's jobs need administrative rights; without them, the user's own.
    HRESULT hr = manager->EnumJobs(BG_JOB_ENUM_ALL_USERS, jobs.put());
    if (FAILED(hr)) hr = manager->EnumJobs(0, jobs.put());
    if (FAILED(hr) || !jobs) {
      error = "The background transfer service lists no jobs: " + win32::SystemErrorText(static_cast<uint32_t>(hr));
      return std::nullopt;
    }
    std::vector<TransferJob> out;
    constexpr std::size_t kMaxJobs = 10000;
    while (out.size() < kMaxJobs) {
      win32::ComPtr<IBackgroundCopyJob> job;
      ULONG got = 0;
      if (jobs->Next(1, job.put(), &got) != S_OK || got == 0 || !job) break;
      out.push_back(JobOf(job.get()));
    }
    return out;
  }

  uint32_t Get(std::string_view id, TransferJob& out) override {
    win32::ComScope com;
    win32::ComPtr<IBackgroundCopyJob> job;
    if (const HRESULT hr = Find(id, job); FAILED(hr)) return JobError(hr);
    out = JobOf(job.get());
    return ERROR_SUCCESS;
  }

  uint32_t Cancel(std::string_view id) override {
    win32::ComScope com;
    win32::ComPtr<IBackgroundCopyJob> job;
    HRESULT hr = Find(id, job);
    if (SUCCEEDED(hr)) hr = job->Cancel();
    return FAILED(hr) ? JobError(hr) : ERROR_SUCCESS;
  }

 private:
  static HRESULT Connect(win32::ComPtr<IBackgroundCopyManager>& manager) {
    const HRESULT hr = CoCreateInstance(CLSID_BackgroundCopyManager, nullptr, CLSCTX_LOCAL_SERVER,
                                        IID_IBackgroundCopyManager, manager.put_void());
    return SUCCEEDED(hr) && !manager ? E_FAIL : hr;
  }
  static HRESULT Find(std::string_view id, win32::ComPtr<IBackgroundCopyJob>& job) {
    GUID guid{};
    const std::wstring text = win32::Widen(id);
    if (FAILED(IIDFromString(text.c_str(), &guid))) return static_cast<HRESULT>(BG_E_NOT_FOUND);
    win32::ComPtr<IBackgroundCopyManager> manager;
    HRESULT hr = Connect(manager);
    if (SUCCEEDED(hr)) hr = manager->GetJob(guid, job.put());
    return SUCCEEDED(hr) && !job ? static_cast<HRESULT>(BG_E_NOT_FOUND) : hr;
  }
};

}  // namespace

std::string TransferJobText(const TransferJob& job) {
  json j;
  j["id"] = job.id;
  j["displayName"] = job.displayName;
  j["description"] = job.description;
  j["owner"] = job.owner;
  j["notifyProgram"] = job.notifyProgram;
  j["notifyParameters"] = job.notifyParameters;
  j["notifyFlags"] = job.notifyFlags;
  j["type"] = job.type;
  j["priority"] = job.priority;
  j["state"] = job.state;
  j["files"] = json::array();
  for (const TransferFile& f : job.files) j["files"].push_back({{"remote", f.remote}, {"local", f.local}});
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<TransferJob> TransferJobFromText(std::string_view text) {
  const json j = json::parse(text.begin(), text.end(), nullptr, false);
  if (j.is_discarded() || !j.is_object() || !j.contains("id") || !j["id"].is_string()) return std::nullopt;
  auto str = [&j](const char* name) {
    const auto it = j.find(name);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  auto num = [&j](const char* name) {
    const auto it = j.find(name);
    return it != j.end() && it->is_number_integer() ? it->get<int64_t>() : 0;
  };
  TransferJob job;
  job.id = str("id");
  job.displayName = str("displayName");
  job.description = str("description");
  job.owner = str("owner");
  job.notifyProgram = str("notifyProgram");
  job.notifyParameters = str("notifyParameters");
  job.notifyFlags = static_cast<uint32_t>(num("notifyFlags"));
  job.type = static_cast<int>(num("type"));
  job.priority = static_cast<int>(num("priority"));
  job.state = static_cast<int>(num("state"));
  if (const auto files = j.find("files"); files != j.end() && files->is_array())
    for (const json& f : *files) {
      if (!f.is_object()) continue;
      TransferFile file;
      if (f.contains("remote") && f["remote"].is_string()) file.remote = f["remote"].get<std::string>();
      if (f.contains("local") && f["local"].is_string()) file.local = f["local"].get<std::string>();
      job.files.push_back(std::move(file));
    }
  return job;
}

TransferJobStore& TransferJobs() {
  static SystemJobStore system;
  return InstalledJobStore() ? *InstalledJobStore() : system;
}

ScopedTransferJobStore::ScopedTransferJobStore(TransferJobStore& store) : ScopedOverride(InstalledJobStore(), &store) {}

}  // namespace wl
