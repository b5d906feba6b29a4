// Scheduled tasks and hook sources against the real system: tasks registered
// through the task service in a folder of this process's own, hook values
// planted in both registry views.
#include <windows.h>
#include <taskschd.h>

#include <gtest/gtest.h>

#include "judge/testing/system_judge.h"

#include <filesystem>
#include <fstream>

#include "autorun/autorun_actions.h"
#include "autorun/autorun_scan.h"
#include "autorun/testing/autorun_fixture.h"
#include "sysroutines/scheduled_tasks.h"
#include "sysroutines/system_info.h"
#include "sysroutines/system_write.h"
#include "sysroutines/task_service.h"
#include "sysroutines/test_files.h"
#include "sysroutines/text_routines.h"
#include "tests/support/test_support.h"
#include "win32/file_path.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using test::FindRow;
using test::ScopedValues;
using test::UniqueName;

const HKEY CU = HKEY_CURRENT_USER;
const HKEY LM = HKEY_LOCAL_MACHINE;

std::string TaskXml(const std::string& triggers, const std::string& settings, const std::string& actions) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <Triggers>" + triggers + "</Triggers>\n"
         "  <Settings>" + settings + "</Settings>\n"
         "  <Actions Context=\"Author\">" + actions + "</Actions>\n"
         "</Task>\n";
}

std::string Exec(const std::string& command, const std::string& arguments = {}) {
  return "<Exec><Command>" + command + "</Command>" +
         (arguments.empty() ? "" : "<Arguments>" + arguments + "</Arguments>") + "</Exec>";
}

// Tasks registered through the task service under a folder of their own,
// deleted with it at the end.
class ScopedTaskFolder {
 public:
  ScopedTaskFolder() : name_(UniqueName("tasks")) {
    std::string error;
    if (!ConnectTaskService(service_, error)) throw std::runtime_error(error);
  }
  ~ScopedTaskFolder() {
    for (auto it = registered_.rbegin(); it != registered_.rend(); ++it) DeleteScheduledTask(*it);
    HRESULT hr = S_OK;
    if (auto root = GetTaskFolder(service_.get(), "\\", hr)) {
      // Deepest first; a folder path is given from the root without its backslash.
      for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) root->DeleteFolder(Bstr(it->substr(1)).get(), 0);
    }
  }
  const std::string& Path() const { return name_; }
  std::string Full(const std::string& relative) const { return "\\" + name_ + "\\" + relative; }

  // Registers relative ("Name" or "Sub\\Name") with its definition.
  void Register(const std::string& relative, const std::string& xml) {
    const std::string full = Full(relative);
    VARIANT empty;
    VariantInit(&empty);
    HRESULT hr = S_OK;
    auto folder = GetTaskFolder(service_.get(), TaskFolderOf(full), hr);
    if (!folder) {
      // The folder of its own, and a sub-folder in it, made when first needed.
      std::string path;
      for (const auto& part : SplitText(TaskFolderOf(full).substr(1), "\\")) {
        auto parent = GetTaskFolder(service_.get(), path.empty() ? "\\" : path, hr);
        path += "\\" + part;
        if (GetTaskFolder(service_.get(), path, hr)) continue;
        win32::ComPtr<ITaskFolder> created;
        if (!parent || FAILED(parent->CreateFolder(Bstr(part).get(), empty, created.put())))
          throw std::runtime_error("cannot create the task folder " + path);
        folders_.push_back(path);
      }
      folder = GetTaskFolder(service_.get(), TaskFolderOf(full), hr);
      if (!folder) throw std::runtime_error("cannot open the task folder " + TaskFolderOf(full));
    }
    win32::ComPtr<IRegisteredTask> task;
    hr = folder->RegisterTask(Bstr(TaskNameOf(full)).get(), Bstr(xml).get(), TASK_CREATE_OR_UPDATE, empty, empty,
                              TASK_LOGON_INTERACTIVE_TOKEN, empty, task.put());
    if (FAILED(hr)) throw std::runtime_error("cannot register " + full);
    registered_.push_back(full);
  }

 private:
  win32::ComScope com_;
  win32::ComPtr<ITaskService> service_;
  std::string name_;
  std::vector<std::string> registered_;
  std::vector<std::string> folders_;
};

const AutorunRow* TaskRow(const std::vector<AutorunRow>& rows, const std::string& path, std::size_t nth = 0) {
  for (const auto& row : rows)
    if (row.taskPath == path && nth-- == 0) return &row;
  return nullptr;
}

TEST(ScheduledTaskSource, TasksOfTheServiceAreListedWithTheirStateThenDisabledAndDeleted) {
  ScopedTaskFolder tasks;
  tasks.Register("Logon", TaskXml("<LogonTrigger><Enabled>true</Enabled></LogonTrigger>", "",
                                  Exec("C:\\wltest\\logon.exe", "/a")));
  tasks.Register("Hidden", TaskXml("<BootTrigger/>", "<Hidden>true</Hidden>", Exec("C:\\wltest\\hidden.exe")));
  tasks.Register("Sub\\Inner", TaskXml("<IdleTrigger/>", "", Exec("C:\\Program Files\\wltest\\inner.exe")));
  tasks.Register("Off", TaskXml("<LogonTrigger/>", "<Enabled>false</Enabled>", Exec("C:\\wltest\\off.exe")));

  const auto scan = ScanAutorun(test::SystemJudge(), test::ScratchPlaces().Places());
  const auto& rows = scan.rows;
  // A service that keeps what it was given (Windows) gives back programs and
  // triggers; Wine 8's keeps the state, the hidden flag and the folders but
  // writes the definition back without triggers and with empty actions.
  const bool keepsActions = ScheduledTaskXml(tasks.Full("Logon")).find("logon.exe") != std::string::npos;

  const AutorunRow* logon = TaskRow(rows, tasks.Full("Logon"));
  ASSERT_NE(logon, nullptr);
  EXPECT_EQ(logon->itemName, tasks.Full("Logon"));
  EXPECT_EQ(logon->registryKey, "Task Scheduler\\" + tasks.Path());
  EXPECT_EQ(EntryKindOf(logon->registryKey), AutorunEntryKind::ScheduledTask);
  EXPECT_TRUE(logon->details.starts_with("Task enabled. Triggers: ")) << logon->details;
  EXPECT_EQ(logon->analysis, "(Unknown)");
  // An unknown program started by a task goes into the hijack report.
  const int logonIndex = static_cast<int>(logon - rows.data());
  EXPECT_TRUE(std::any_of(scan.hijack.begin(), scan.hijack.end(), [&](const HijackRow& h) {
    return h.index == logonIndex && h.itemName == logon->itemName && h.description == kStartupItem;
  }));
  const AutorunRow* hidden = TaskRow(rows, tasks.Full("Hidden"));
  ASSERT_NE(hidden, nullptr);
  EXPECT_TRUE(hidden->details.starts_with("Task enabled, hidden.")) << hidden->details;
  const AutorunRow* inner = TaskRow(rows, tasks.Full("Sub\\Inner"));
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->registryKey, "Task Scheduler\\" + tasks.Path() + "\\Sub");
  const AutorunRow* off = TaskRow(rows, tasks.Full("Off"));
  ASSERT_NE(off, nullptr);
  EXPECT_TRUE(off->details.starts_with("Task disabled.")) << off->details;
  if (keepsActions) {
    EXPECT_EQ(logon->value, "C:\\wltest\\logon.exe /a");
    EXPECT_EQ(logon->details, "Task enabled. Triggers: At log on.");
    EXPECT_EQ(inner->value, "\"C:\\Program Files\\wltest\\inner.exe\"");
  }
  // Tasks come after sources 1 to 21.
  for (const auto& row : rows) {
    if (row.source <= kCommonStartupSource) {
      EXPECT_LT(&row, logon);
    }
  }

  // Disable: done only when the service reports the task disabled. A service
  // that accepts the change and keeps the task enabled (Wine 8's) is a failure.
  const WriteResult disabled = DisableAutorunTask(*logon);
  const auto again = ScanAutorun(test::SystemJudge(), test::ScratchPlaces().Places());
  const AutorunRow* after = TaskRow(again.rows, tasks.Full("Logon"));
  ASSERT_NE(after, nullptr);
  if (disabled.ok()) {
    EXPECT_TRUE(after->details.starts_with("Task disabled.")) << after->details;
  } else {
    EXPECT_NE(disabled.message.find("Could not disable the scheduled task " + tasks.Full("Logon") +
                                    ": the task service accepted the change but the task is still enabled."),
              std::string::npos)
        << disabled.message;
    EXPECT_TRUE(after->details.starts_with("Task enabled.")) << after->details;
  }

  // Removal deletes the task through the service; its definition can be kept.
  std::string xml;
  const WriteResult deleted = DeleteScheduledTask(tasks.Full("Logon"), &xml);
  ASSERT_TRUE(deleted.ok()) << deleted.message;
  EXPECT_NE(xml.find("<Task"), std::string::npos) << xml;
  const RemovalOutcome removed = RemoveAutorunItem(*hidden, {.deleteEntry = true}, test::ScratchPlaces().Places());
  EXPECT_TRUE(removed.entryRemoved) << removed.entryError;
  EXPECT_EQ(ScheduledTaskXml(tasks.Full("Hidden")), "");
  const auto last = ScanAutorun(test::SystemJudge(), test::ScratchPlaces().Places());
  EXPECT_EQ(TaskRow(last.rows, tasks.Full("Hidden")), nullptr);
  EXPECT_EQ(TaskRow(last.rows, tasks.Full("Logon")), nullptr);
  EXPECT_NE(TaskRow(last.rows, tasks.Full("Off")), nullptr);
  // A task that is gone already counts as removed; a refused deletion does not.
  EXPECT_TRUE(RemoveAutorunItem(*hidden, {.deleteEntry = true}, test::ScratchPlaces().Places()).entryRemoved);
  ScopedWriteInterceptor refuse([](const WriteRequest& r) {
    return r.kind == WriteKind::DeleteTask ? static_cast<uint32_t>(ERROR_ACCESS_DENIED) : 0u;
  });
  const RemovalOutcome refused = RemoveAutorunItem(*off, {.deleteEntry = true}, test::ScratchPlaces().Places());
  EXPECT_FALSE(refused.entryRemoved);
  EXPECT_NE(refused.entryError.find("Could not delete the scheduled task"), std::string::npos);
  EXPECT_NE(ScheduledTaskXml(tasks.Full("Off")), "");
}

// The definition files of the system's task store as the Windows service
// keeps them (with triggers and programs): where the service lists no task
// (Wine 8), they are read from the store, and the service deletes them.
TEST(ScheduledTaskSource, TheStoresDefinitionsAreListedWithTriggersAndEveryActionAndDeletedThroughTheService) {
  const std::string folder = UniqueName("store");
  const std::string dir = TaskStoreFolder() + "\\" + folder;
  ASSERT_TRUE(CreateDirectoryW(win32::ApiPath(dir).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  struct Cleanup {
    std::string dir;
    ~Cleanup() {
      DeleteFileW(win32::ApiPath(dir + "\\Two").c_str());
      RemoveDirectoryW(win32::ApiPath(dir).c_str());
    }
  } cleanup{dir};
  const std::wstring wide = win32::Widen(TaskXml(
      "<LogonTrigger><Enabled>true</Enabled></LogonTrigger><EventTrigger><Enabled>false</Enabled></EventTrigger>",
      "<Hidden>true</Hidden>", Exec("C:\\wltest\\one.exe") + Exec("C:\\Program Files\\wltest\\two.exe", "-b")));
  std::ofstream(std::filesystem::path(win32::ApiPath(dir + "\\Two")), std::ios::binary)
      << std::string("\xFF\xFE", 2) << std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);

  const std::string path = "\\" + folder + "\\Two";
  const auto scan = ScanAutorun(test::SystemJudge(), test::ScratchPlaces().Places(), OpenSourceKeyInRegistry);
  const AutorunRow* one = TaskRow(scan.rows, path, 0);
  const AutorunRow* two = TaskRow(scan.rows, path, 1);
  ASSERT_NE(one, nullptr);
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(TaskRow(scan.rows, path, 2), nullptr);
  EXPECT_EQ(one->value, "C:\\wltest\\one.exe");
  EXPECT_EQ(two->value, "\"C:\\Program Files\\wltest\\two.exe\" -b");
  EXPECT_EQ(two->iconText, "C:\\Program Files\\wltest\\two.exe");
  EXPECT_EQ(one->registryKey, "Task Scheduler\\" + folder);
  EXPECT_EQ(one->details, "Task enabled, hidden. Triggers: At log on, On an event (disabled). Action 1 of 2.");

  // Removing one of its rows deletes the task: both rows go at the next scan.
  std::string xml;
  const WriteResult deleted = DeleteScheduledTask(path, &xml);
  ASSERT_TRUE(deleted.ok()) << deleted.message;
  EXPECT_FALSE(win32::FileExists(dir + "\\Two"));
  const auto after = ScanAutorun(test::SystemJudge(), test::ScratchPlaces().Places(), OpenSourceKeyInRegistry);
  EXPECT_EQ(TaskRow(after.rows, path), nullptr);
}

TEST(ScheduledTaskSource, TheTaskStoreIsReadWithTheXmlReaderAndHostileFilesListNothing) {
  test::LongScratch scratch;
  const std::string store = scratch.Folder("Tasks");
  const std::string sub = scratch.Folder("Tasks\\Vendor");
  auto write = [](const std::string& path, const std::string& bytes) {
    std::ofstream(std::filesystem::path(win32::ApiPath(path)), std::ios::binary) << bytes;
  };
  // UTF-16 with its byte-order mark, as the service writes its files.
  const std::wstring wide = win32::Widen(TaskXml("<LogonTrigger/>", "<Hidden>true</Hidden>",
                                                 Exec("C:\\store\\good.exe", "&quot;q&quot;")));
  write(store + "\\Good", std::string("\xFF\xFE", 2) +
                              std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
  write(sub + "\\Nested", "\xEF\xBB\xBF<Task><Actions><Exec><Command><![CDATA[C:\\store\\nested.exe]]></Command>"
                          "</Exec></Actions></Task>");
  // Text search would be fooled: the command is in a comment.
  write(store + "\\Commented", "<Task><!-- <Actions><Exec><Command>C:\\fake.exe</Command></Exec></Actions> --></Task>");
  write(store + "\\NotATask", "<Other><Actions><Exec><Command>C:\\no.exe</Command></Exec></Actions></Other>");
  write(store + "\\Garbage", std::string("\x00\x01\xFF<<>>\x80\x81", 9));
  write(store + "\\Entities",
        "<!DOCTYPE Task [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
        "<Task><Actions><Exec><Command>&b;</Command></Exec></Actions></Task>");
  write(store + "\\Huge", "<Task><Actions><Exec><Command>C:\\huge.exe</Command></Exec></Actions></Task>" +
                              std::string(5u << 20, ' '));

  const TaskListing listing = ListScheduledTasks(store);
  auto find = [&](const std::string& path) -> const ScheduledTask* {
    for (const auto& t : listing.tasks)
      if (t.path == path) return &t;
    return nullptr;
  };
  const ScheduledTask* good = find("\\Good");
  ASSERT_NE(good, nullptr);
  EXPECT_TRUE(good->hidden);
  ASSERT_EQ(good->actions.size(), 1u);
  EXPECT_EQ(good->actions[0].command, "C:\\store\\good.exe");
  EXPECT_EQ(good->actions[0].arguments, "\"q\"");
  const ScheduledTask* nested = find("\\Vendor\\Nested");
  ASSERT_NE(nested, nullptr);
  EXPECT_EQ(nested->actions.at(0).command, "C:\\store\\nested.exe");
  const ScheduledTask* commented = find("\\Commented");
  ASSERT_NE(commented, nullptr);
  EXPECT_TRUE(commented->actions.empty());
  EXPECT_EQ(find("\\NotATask"), nullptr);
  EXPECT_EQ(find("\\Garbage"), nullptr);
  EXPECT_EQ(find("\\Huge"), nullptr);
  // Entities are not expanded: the file lists nothing, or a task without a program.
  if (const ScheduledTask* entities = find("\\Entities")) {
    EXPECT_TRUE(entities->actions.empty() || entities->actions[0].command.empty());
  }
  EXPECT_GE(listing.fromStore, 3u);
}

// Sub-keys made for a test, deleted at the end.
class ScopedKeys {
 public:
  ~ScopedKeys() {
    for (const auto& [root, path] : keys_) win32::RegWriteKey::DeleteTree(root, path);
  }
  void Value(HKEY root, const std::string& path, const std::string& name, const std::string& data) {
    keys_.push_back({root, path});
    auto key = win32::RegWriteKey::Create(root, path);
    if (!key || key->WriteString(name, data) != ERROR_SUCCESS) throw std::runtime_error("cannot write " + path);
  }

 private:
  std::vector<std::pair<HKEY, std::string>> keys_;
};

// A fixed value of the system's put back as it was at the end.
class ScopedSystemValue {
 public:
  ScopedSystemValue(HKEY root, std::string path, std::string name) : root_(root), path_(std::move(path)),
                                                                     name_(std::move(name)) {
    if (auto key = win32::RegKey::Open(root_, path_)) before_ = key->Read(name_);
  }
  ~ScopedSystemValue() {
    auto key = win32::RegWriteKey::Create(root_, path_);
    if (!key) return;
    if (before_)
      key->WriteRaw(name_, before_->type, before_->data);
    else
      key->DeleteValue(name_);
  }
  void Set(const std::string& data) { win32::RegWriteKey::Create(root_, path_)->WriteString(name_, data); }

 private:
  HKEY root_;
  std::string path_, name_;
  std::optional<win32::RegValue> before_;
};

constexpr const char* kIfeo = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
constexpr const char* kIfeo32 = "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
constexpr const char* kSpe = "Software\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit";
constexpr const char* kSpe32 = "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit";
constexpr const char* kPolicyRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr const char* kPolicyRun32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr const char* kActiveSetup = "Software\\Microsoft\\Active Setup\\Installed Components";
constexpr const char* kActiveSetup32 = "Software\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components";
constexpr const char* kInstallRun =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\Windows\\"
    "CurrentVersion\\Run";
constexpr const char* kInstallRunOnce32 =
    "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\"
    "Windows\\CurrentVersion\\RunOnce";
constexpr const char* kCmd = "Software\\Microsoft\\Command Processor";
constexpr const char* kCmd32 = "Software\\Wow6432Node\\Microsoft\\Command Processor";
constexpr const char* kWinlogon32 = "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kWindows32 = "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

std::string Text(const char* root, const std::string& path) { return std::string(root) + "\\" + path + "\\"; }

TEST(HookSources, EveryHookIsListedInEachViewAfterTheTasksAndRemovedThroughTheWriteRoutines) {
  ScopedValues values;
  ScopedKeys keys;
  const std::string prog = UniqueName("prog") + ".exe", plain = UniqueName("plain") + ".exe";
  const std::string guid = "{" + UniqueName("setup") + "}", sysGuid = "{" + UniqueName("sys") + "}";
  const std::string pol = UniqueName("pol"), polExp = UniqueName("polexp"), inst = UniqueName("inst");
  const std::string cmdTag = UniqueName("cmd");
  // Image File Execution Options: a debugger in each view, and an entry without one.
  keys.Value(LM, std::string(kIfeo) + "\\" + prog, "Debugger", "C:\\wltest\\debugger.exe");
  // The views share this key on Windows and under Wine (the 32-bit name is a
  // link): a second value is planted only where the 32-bit key is its own.
  const bool ifeoShared = win32::RegKey::Exists(LM, std::string(kIfeo32) + "\\" + prog);
  if (!ifeoShared) keys.Value(LM, std::string(kIfeo32) + "\\" + prog, "Debugger", "C:\\wltest\\debugger32.exe");
  keys.Value(LM, std::string(kIfeo) + "\\" + plain, "GlobalFlag", "0");
  keys.Value(LM, std::string(kSpe) + "\\" + prog, "MonitorProcess", "C:\\wltest\\monitor.exe");
  keys.Value(LM, std::string(kSpe32) + "\\" + prog, "MonitorProcess", "C:\\wltest\\monitor32.exe");
  // Active Setup: every stub is judged, a program of the Windows directory too.
  keys.Value(LM, std::string(kActiveSetup) + "\\" + guid, "StubPath", "C:\\wltest\\stub.exe /install");
  keys.Value(LM, std::string(kActiveSetup) + "\\" + guid, "", "WL Test Component");
  keys.Value(LM, std::string(kActiveSetup32) + "\\" + guid, "StubPath", "C:\\wltest\\stub32.exe");
  keys.Value(LM, std::string(kActiveSetup) + "\\" + sysGuid, "StubPath",
             "%SystemRoot%\\system32\\rundll32.exe setup.dll,Install");
  // Policy Run keys: a drive path source 11 lists already (one
  // row), a REG_EXPAND_SZ it does not.
  values.String(LM, kPolicyRun, pol, "C:\\wltest\\policy.exe");
  // Windows and Wine share the policy keys between the views.
  const bool policyShared = win32::RegKey::Open(LM, kPolicyRun32) &&
                            win32::RegKey::Open(LM, kPolicyRun32)->HasValue(pol);
  if (!policyShared) values.String(LM, kPolicyRun32, pol, "C:\\wltest\\policy32.exe");
  values.String(CU, kPolicyRun, polExp, "%ProgramFiles%\\wltest\\policy.exe", REG_EXPAND_SZ);
  values.String(LM, kInstallRun, inst, "C:\\wltest\\install.exe");
  values.String(LM, kInstallRunOnce32, inst, "C:\\wltest\\install32.exe");
  // The command processor's AutoRun (harmless for any shell the tests start).
  ScopedSystemValue cmdCu(CU, kCmd, "AutoRun"), cmdLm32(LM, kCmd32, "AutoRun");
  cmdCu.Set("rem " + cmdTag);
  cmdLm32.Set("rem " + cmdTag + "32");
  // AppInit_DLLs in the 32-bit view, not loaded.
  ScopedSystemValue appInit(LM, kWindows32, "AppInit_DLLs"), loadAppInit(LM, kWindows32, "LoadAppInit_DLLs");
  appInit.Set("C:\\wltest\\appinit.dll");
  win32::RegWriteKey::Create(LM, kWindows32)->WriteDword("LoadAppInit_DLLs", 0);

  const auto scan = ScanAutorun(test::SystemJudge(), test::ScratchPlaces().Places(), OpenSourceKeyInRegistry,
                                [] { return TaskListing{}; });
  const auto& rows = scan.rows;
  auto row = [&](const std::string& name, const std::string& keyText) { return FindRow(rows, name, keyText); };

  // A shared key's value is listed once, under its 64-bit name.
  const AutorunRow* debugger = row(prog, Text("HKEY_LOCAL_MACHINE", std::string(kIfeo) + "\\" + prog));
  ASSERT_NE(debugger, nullptr);
  EXPECT_EQ(debugger->value, "C:\\wltest\\debugger.exe");
  EXPECT_EQ(debugger->valueName, "Debugger");
  EXPECT_EQ(debugger->source, 28);
  EXPECT_EQ(row(prog, Text("HKEY_LOCAL_MACHINE", std::string(kIfeo32) + "\\" + prog)) != nullptr, !ifeoShared);
  EXPECT_EQ(row(plain, {}), nullptr);
  ASSERT_NE(row(prog, Text("HKEY_LOCAL_MACHINE", std::string(kSpe) + "\\" + prog)), nullptr);
  const AutorunRow* monitor32 = row(prog, Text("HKEY_LOCAL_MACHINE", std::string(kSpe32) + "\\" + prog));
  ASSERT_NE(monitor32, nullptr);
  EXPECT_EQ(monitor32->value, "C:\\wltest\\monitor32.exe");
  const AutorunRow* stub = row("WL Test Component", Text("HKEY_LOCAL_MACHINE", std::string(kActiveSetup) + "\\" + guid));
  ASSERT_NE(stub, nullptr);
  EXPECT_EQ(stub->valueName, "StubPath");
  ASSERT_NE(row(guid, Text("HKEY_LOCAL_MACHINE", std::string(kActiveSetup32) + "\\" + guid)), nullptr);
  ASSERT_NE(row(sysGuid, Text("HKEY_LOCAL_MACHINE", std::string(kActiveSetup) + "\\" + sysGuid)), nullptr);
  EXPECT_EQ(row(sysGuid, Text("HKEY_LOCAL_MACHINE", std::string(kActiveSetup) + "\\" + sysGuid))->category, "Logon");
  int polRows = 0;
  for (const auto& r : rows) polRows += r.itemName == pol && r.registryKey == Text("HKEY_LOCAL_MACHINE", kPolicyRun);
  EXPECT_EQ(polRows, 1);
  EXPECT_EQ(row(pol, Text("HKEY_LOCAL_MACHINE", kPolicyRun32)) != nullptr, !policyShared);
  const AutorunRow* polExpRow = row(polExp, Text("HKEY_CURRENT_USER", kPolicyRun));
  ASSERT_NE(polExpRow, nullptr);
  EXPECT_EQ(polExpRow->source, 31);
  ASSERT_NE(row(inst, Text("HKEY_LOCAL_MACHINE", kInstallRun)), nullptr);
  ASSERT_NE(row(inst, Text("HKEY_LOCAL_MACHINE", kInstallRunOnce32)), nullptr);
  ASSERT_NE(row("AutoRun", Text("HKEY_CURRENT_USER", kCmd)), nullptr);
  EXPECT_EQ(row("AutoRun", Text("HKEY_CURRENT_USER", kCmd))->value, "rem " + cmdTag);
  ASSERT_NE(row("AutoRun", Text("HKEY_LOCAL_MACHINE", kCmd32)), nullptr);
  const AutorunRow* appInitRow = row("AppInit_DLLs", Text("HKEY_LOCAL_MACHINE", kWindows32));
  ASSERT_NE(appInitRow, nullptr);
  EXPECT_EQ(appInitRow->details, "LoadAppInit_DLLs = 0.");
  EXPECT_EQ(appInitRow->defaultValue, "");
  // The hooks come after every row of sources 1 to 21.
  for (const auto& r : rows) {
    if (r.source <= kCommonStartupSource) {
      EXPECT_LT(&r, debugger);
    }
  }
  // A debugger is reported whatever program it names.
  const int debuggerIndex = static_cast<int>(debugger - rows.data());
  EXPECT_TRUE(std::any_of(scan.hijack.begin(), scan.hijack.end(),
                          [&](const HijackRow& h) { return h.index == debuggerIndex; }));

  // Removal deletes the hook's value, not its program's sub-key.
  const auto places = test::ScratchPlaces().Places();
  EXPECT_TRUE(RemoveAutorunItem(*debugger, {.deleteEntry = true}, places).entryRemoved);
  auto ifeo = win32::RegKey::Open(LM, std::string(kIfeo) + "\\" + prog);
  ASSERT_TRUE(ifeo);
  EXPECT_FALSE(ifeo->HasValue("Debugger"));
  EXPECT_TRUE(RemoveAutorunItem(*stub, {.deleteEntry = true}, places).entryRemoved);
  EXPECT_FALSE(win32::RegKey::Open(LM, std::string(kActiveSetup) + "\\" + guid)->HasValue("StubPath"));
  // AppInit_DLLs gets its empty default back rather than going.
  EXPECT_TRUE(RemoveAutorunItem(*appInitRow, {.deleteEntry = true}, places).entryRemoved);
  EXPECT_EQ(win32::RegKey::Open(LM, kWindows32)->ReadString("AppInit_DLLs"), "");
  EXPECT_TRUE(RemoveAutorunItem(*row("AutoRun", Text("HKEY_CURRENT_USER", kCmd)), {.deleteEntry = true}, places)
                  .entryRemoved);
  EXPECT_FALSE(win32::RegKey::Open(CU, kCmd)->HasValue("AutoRun"));
}

TEST(HookSources, AWinlogonShellIsListedOnlyWhenItIsNotTheDefaultAndRestoreDefaultWritesIt) {
  test::SharedValuesLock lock;
  const std::string winlogon = test::kWinlogon;
  ScopedSystemValue shell(CU, winlogon, "Shell"), shell32(LM, kWinlogon32, "Shell"),
      userinit32(LM, kWinlogon32, "Userinit");
  const std::string windows = GetWindowsDir();
  shell.Set("Explorer.exe");
  shell32.Set("C:\\wltest\\shell32.exe");
  userinit32.Set(windows + "\\System32\\userinit.exe,");
  auto scan = [] {
    return ScanAutorun(test::SystemJudge(), test::ScratchPlaces().Places(), OpenSourceKeyInRegistry,
                       [] { return TaskListing{}; });
  };
  auto first = scan();
  EXPECT_EQ(FindRow(first.rows, "Shell", Text("HKEY_CURRENT_USER", winlogon)), nullptr);
  EXPECT_EQ(FindRow(first.rows, "Userinit", Text("HKEY_LOCAL_MACHINE", kWinlogon32)), nullptr);
  const AutorunRow* shell32Row = FindRow(first.rows, "Shell", Text("HKEY_LOCAL_MACHINE", kWinlogon32));
  ASSERT_NE(shell32Row, nullptr);
  EXPECT_EQ(shell32Row->defaultValue, "explorer.exe");
  ASSERT_TRUE(CanRestoreDefault(*shell32Row));
  EXPECT_TRUE(RestoreAutorunDefault(*shell32Row).ok());
  EXPECT_EQ(win32::RegKey::Open(LM, kWinlogon32)->ReadString("Shell"), "explorer.exe");

  // The user's own shell: a drive path is a source 7 row too; it is
  // listed once, flagged, and carries the default.
  shell.Set("C:\\wltest\\usershell.exe");
  auto second = scan();
  int shellRows = 0;
  for (const auto& r : second.rows) shellRows += r.itemName == "Shell" && r.registryKey == Text("HKEY_CURRENT_USER", winlogon);
  EXPECT_EQ(shellRows, 1);
  const int index = test::RowIndex(second.rows, "Shell", Text("HKEY_CURRENT_USER", winlogon));
  ASSERT_GE(index, 0);
  const AutorunRow& userShell = second.rows[static_cast<std::size_t>(index)];
  EXPECT_EQ(userShell.defaultValue, "explorer.exe");
  EXPECT_TRUE(std::any_of(second.hijack.begin(), second.hijack.end(),
                          [&](const HijackRow& h) { return h.index == index; }));
  // "Delete Entry" on it restores the default, too; a refused write says so.
  {
    ScopedWriteInterceptor refuse([](const WriteRequest&) { return static_cast<uint32_t>(ERROR_ACCESS_DENIED); });
    const RemovalOutcome refused = RemoveAutorunItem(userShell, {.deleteEntry = true}, test::ScratchPlaces().Places());
    EXPECT_FALSE(refused.entryRemoved);
    EXPECT_NE(refused.entryError.find("Could not write the value \"Shell\""), std::string::npos) << refused.entryError;
  }
  EXPECT_TRUE(RemoveAutorunItem(userShell, {.deleteEntry = true}, test::ScratchPlaces().Places()).entryRemoved);
  EXPECT_EQ(win32::RegKey::Open(CU, winlogon)->ReadString("Shell"), "explorer.exe");
}

}  // namespace
}  // namespace wl
