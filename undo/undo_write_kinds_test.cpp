// Every kind of write the write routines have, made with the backup
// recorder on: each is backed up (a kind without a backup is refused, and a
// kind this test does not know fails it), and the change set it leaves puts
// the system back. Then the restore's own change set is restored in turn.
#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include "tests/support/fake_stores.h"
#include "tests/support/test_certificates.h"

#include <functional>
#include <map>

#include "core/winsock_catalog.h"

#include "service/test_service_fixture.h"
#include "sysroutines/scheduled_tasks.h"
#include "sysroutines/shortcuts.h"
#include "sysroutines/system_write.h"
#include "tests/support/test_support.h"
#include "undo/backup_store.h"
#include "undo/restore.h"
#include "undo/system_state.h"
#include "undo/testing/undo_fixture.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

using namespace test_support;

std::string Pid() { return std::to_string(GetCurrentProcessId()); }

// A path as a list shows it: upper-cased.
std::string UpperPath(std::string path) {
  for (char& c : path)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return path;
}

std::string TaskXml(const std::string& command) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\n"
         "  <Settings><Hidden>true</Hidden></Settings>\n"
         "  <Actions Context=\"Author\"><Exec><Command>" + command + "</Command><Arguments>/q</Arguments></Exec>"
         "</Actions>\n</Task>\n";
}

// A definition file in the system's task store, as the task service of
// Windows keeps it (UTF-16 with its byte-order mark).
void WriteTaskFile(const std::string& path, const std::string& xml) {
  const std::wstring wide = win32::Widen(xml);
  test::WriteBytes(path, std::string("\xFF\xFE", 2) +
                             std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
}

bool MakeShortcut(const std::string& lnk, const std::string& target, const std::string& arguments) {
  win32::ComScope com;
  win32::ComPtr<IShellLinkW> link;
  win32::ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.put_void())))
    return false;
  link->SetPath(win32::Widen(target).c_str());
  link->SetArguments(win32::Widen(arguments).c_str());
  return SUCCEEDED(file->Save(win32::ApiPath(lnk).c_str(), TRUE));
}

// A protocol entry's description: GUID, catalog id, chain.
std::vector<uint8_t> ProtocolEntry(const std::string& guid, uint32_t id, int32_t chainLen,
                                   const std::vector<uint32_t>& chain) {
  std::vector<uint8_t> b(kProtocolInfoSize, 0);
  auto put = [&b](std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  const auto g = GuidFromText(guid);
  std::copy(g->begin(), g->end(), b.begin() + 20);
  put(36, id);
  put(40, static_cast<uint32_t>(chainLen));
  for (std::size_t i = 0; i < chain.size(); ++i) put(44 + 4 * i, chain[i]);
  return b;
}

// A Winsock catalog of the test's own behind the setup routines' seam (the
// system's routines are stubs under Wine): installing gives new catalog ids,
// as the system does.
class FakeWinsockCatalog {
 public:
  WinsockSetupRoutines Routines() {
    WinsockSetupRoutines r;
    r.list = [this](bool nameSpace, bool wow32, uint32_t&) {
      std::vector<WinsockProviderSetup> out;
      for (const auto& p : providers)
        if (p.nameSpace == nameSpace && p.wow32 == wow32) out.push_back(p);
      return std::optional(out);
    };
    r.remove = [this](const WinsockProviderSetup& p) -> uint32_t {
      const auto n = std::erase_if(providers, [&](const auto& q) { return q.providerId == p.providerId; });
      return n ? 0u : static_cast<uint32_t>(WSAEINVAL);
    };
    r.install = [this](WinsockProviderSetup p) -> uint32_t {
      for (auto& bytes : p.protocols)
        for (int i = 0; i < 4; ++i) bytes[36 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(nextId >> (8 * i));
      ++nextId;
      providers.push_back(std::move(p));
      return 0;
    };
    return r;
  }
  const WinsockProviderSetup* Find(const std::string& id) const {
    for (const auto& p : providers)
      if (p.providerId == id) return &p;
    return nullptr;
  }
  std::vector<WinsockProviderSetup> providers;
  uint32_t nextId = 2000;
};

constexpr char kBaseGuid[] = "{E70F1AA0-AB8B-11CF-8CA3-00805F48A192}";
constexpr char kLayeredGuid[] = "{3F2A0001-0000-0000-0000-0000000000A1}";
constexpr char kChainGuid[] = "{3F2A0001-0000-0000-0000-0000000000A2}";
constexpr char kNameSpaceGuid[] = "{3F2A0001-0000-0000-0000-0000000000B1}";

// One kind's case: makes its write (inside an open change set, recorder on)
// and says what it expects; then checks the system is back after a restore.
struct KindCase {
  std::function<WriteResult()> write;
  std::function<void()> checkBack;  // after the restore
};

class WriteKinds : public ::testing::Test {
 protected:
  void TearDown() override {
    win32::RegWriteKey::DeleteTree(HKEY_CURRENT_USER, key_);
    DeleteFileW(win32::ApiPath(taskFile_).c_str());
    RemoveDirectoryW(win32::ApiPath(TaskStoreFolder() + "\\" + taskFolder_).c_str());
    DeleteScheduledTask(registered_);
    for (const std::string& sha1 : {test::kTestRoot1Sha1, test::kTestRoot2Sha1}) DeleteCertificate("CurrentUser\\ROOT", sha1);
  }

  std::map<WriteKind, KindCase> Cases();

  Store store_;
  FakeWinsockCatalog winsock_;
  ScopedWinsockSetup winsockSeam_{winsock_.Routines()};
  test::ScratchDir dir_{"wlkinds"};
  const std::string key_ = "Software\\WardenlakeTest\\kinds-" + Pid();
  const std::string taskFolder_ = "WlKinds" + Pid();
  const std::string taskPath_ = "\\" + taskFolder_ + "\\Updater";
  const std::string taskFile_ = TaskStoreFolder() + taskPath_;
  const std::string registered_ = "\\" + taskFolder_ + "\\Registered";
  test::TestService service_;
  // WMI's subscriptions and the transfer service: the test system has
  // neither, so their stand-ins take the writes.
  test::FakeWmiStore wmi_;
  test::FakeTransferJobStore jobs_;
};

std::map<WriteKind, KindCase> WriteKinds::Cases() {
  const HKEY cu = HKEY_CURRENT_USER;
  std::map<WriteKind, KindCase> cases;
  const auto value = [this, cu](const std::string& name) {
    const auto key = win32::RegKey::Open(cu, key_);
    return key ? key->ReadString(name) : std::nullopt;
  };
  win32::RegWriteKey::Create(cu, key_)->WriteString("old", "before");
  win32::RegWriteKey::Create(cu, key_ + "\\Tree\\Deep")->WriteString("v", "deep");
  cases[WriteKind::DeleteRegValue] = {[=, this] { return DeleteRegValue(cu, key_, "old"); },
                                      [=, this] { EXPECT_EQ(value("old"), "before"); }};
  cases[WriteKind::WriteRegValue] = {[=, this] { return WriteRegString(cu, key_, "new", "x"); },
                                     [=, this] { EXPECT_FALSE(value("new")); }};
  cases[WriteKind::DeleteRegTree] = {
      [=, this] { return DeleteRegTree(cu, key_ + "\\Tree"); },
      [=, this] { EXPECT_EQ(*win32::RegKey::Open(cu, key_ + "\\Tree\\Deep")->ReadString("v"), "deep"); }};
  cases[WriteKind::CreateRegKey] = {[=, this] { return CreateRegKey(cu, key_ + "\\Made\\Below"); },
                                    [=, this] { EXPECT_FALSE(win32::RegKey::Exists(cu, key_ + "\\Made")); }};

  const std::string ini = dir_.File("kinds.ini");
  test::WriteBytes(ini, "[boot]\r\nshell=evil.exe\r\n");
  cases[WriteKind::WriteIniValue] = {[=, this] { return WriteIniValue(ini, "boot", "shell", "Explorer.exe"); },
                                     [=, this] { EXPECT_EQ(ReadIniState(ini, "boot", "shell"), "evil.exe"); }};
  cases[WriteKind::DeleteIniValue] = {[=, this] { return DeleteIniValue(ini, "boot", "shell"); },
                                      [=, this] { EXPECT_EQ(ReadIniState(ini, "boot", "shell"), "evil.exe"); }};

  const std::string deleted = dir_.File("Deleted.exe"), recycled = dir_.File("Recycled.dll");
  test::WriteBytes(deleted, "MZ deleted");
  test::WriteBytes(recycled, "MZ recycled");
  // Named as a list shows them (upper-cased): they come back under their own names.
  cases[WriteKind::DeleteFile] = {[=, this] { return DeleteFileNow(UpperPath(deleted)); }, [=, this] {
                                    EXPECT_EQ(test::ReadBytes(deleted), "MZ deleted");
                                    EXPECT_EQ(win32::StoredPath(UpperPath(deleted)), deleted);
                                  }};
  cases[WriteKind::RecycleFile] = {[=, this] { return RecycleFile(recycled); },
                                   [=, this] { EXPECT_EQ(test::ReadBytes(recycled), "MZ recycled"); }};
  const std::string placed = dir_.File("new folder\\placed.txt"), prepared = dir_.File("prepared.tmp");
  test::WriteBytes(prepared, "placed bytes");
  // The folder made on the way is recorded too, and goes with the file.
  cases[WriteKind::PlaceFile] = {[=, this] { return PlaceFile(prepared, placed, {}); }, [=, this] {
                                   EXPECT_FALSE(win32::FileExists(placed));
                                   EXPECT_FALSE(win32::DirectoryExists(dir_.File("new folder")));
                                 }};
  const std::string made = dir_.File("made folder"), emptied = dir_.File("empty folder");
  CreateDirectoryW(win32::ApiPath(emptied).c_str(), nullptr);
  cases[WriteKind::CreateFolder] = {[=] { return MakeFolder(made); },
                                    [=] { EXPECT_FALSE(win32::DirectoryExists(made)); }};
  cases[WriteKind::DeleteFolder] = {[=] { return RemoveEmptyFolder(emptied); },
                                    [=] { EXPECT_TRUE(win32::DirectoryExists(emptied)); }};

  const std::string lnk = dir_.File("Browser.lnk");
  MakeShortcut(lnk, "C:\\Program Files\\Browser\\browser.exe", "--profile-directory=Default http://evil.example/");
  const std::string lnkBefore = test::ReadBytes(lnk);
  cases[WriteKind::WriteShortcut] = {[=, this] { return WriteShortcutArguments(lnk, "--profile-directory=Default"); },
                                     [=, this] { EXPECT_EQ(test::ReadBytes(lnk), lnkBefore); }};

  // A hosts file whose one line is commented out: it comes back byte for byte.
  const std::string hosts = dir_.File("hosts");
  test::WriteBytes(hosts, "127.0.0.1 localhost\r\n1.2.3.4 www.example.com\r\n");
  cases[WriteKind::RewriteFile] = {
      [=] { return RewriteFile(hosts, "127.0.0.1 localhost\r\n# 1.2.3.4 www.example.com\r\n"); },
      [=] { EXPECT_EQ(test::ReadBytes(hosts), "127.0.0.1 localhost\r\n1.2.3.4 www.example.com\r\n"); }};

  // Certificates in the user's root store: one deleted (its bytes come back
  // into the same store), one added (it goes again).
  const std::string userRoot = "CurrentUser\\ROOT";
  EXPECT_TRUE(AddCertificate(userRoot, test::kTestRoot1));
  cases[WriteKind::DeleteCertificate] = {[=] { return DeleteCertificate(userRoot, test::kTestRoot1Sha1); },
                                         [=] { EXPECT_EQ(CertificateInStore(userRoot, test::kTestRoot1Sha1), true); }};
  cases[WriteKind::AddCertificate] = {[=] { return AddCertificate(userRoot, test::kTestRoot2); },
                                      [=] { EXPECT_EQ(CertificateInStore(userRoot, test::kTestRoot2Sha1), false); }};

  // A layered provider with a chain over it and a base provider: the chain
  // goes with it, and both come back through the setup routines, the chain
  // naming the layered entry's new catalog id. A namespace provider
  // installed goes again.
  winsock_.providers = {{false, false, kBaseGuid, "%SystemRoot%\\system32\\mswsock.dll",
                         {ProtocolEntry(kBaseGuid, 1001, 1, {1001})}},
                        {false, false, kLayeredGuid, "C:\\Users\\me\\lsp.dll", {ProtocolEntry(kLayeredGuid, 1010, 0, {})}},
                        {false, false, kChainGuid, "C:\\Users\\me\\lsp.dll",
                         {ProtocolEntry(kChainGuid, 1011, 2, {1010, 1001})}}};
  cases[WriteKind::RemoveWinsockProvider] = {
      [this] { return RemoveWinsockProvider(kLayeredGuid, false, false); }, [this] {
        ASSERT_EQ(winsock_.providers.size(), 3u);
        const auto* layered = winsock_.Find(kLayeredGuid);
        const auto* chain = winsock_.Find(kChainGuid);
        ASSERT_TRUE(layered && chain);
        const auto l = ParseProtocolInfo(layered->protocols[0].data(), layered->protocols[0].size());
        const auto c = ParseProtocolInfo(chain->protocols[0].data(), chain->protocols[0].size());
        EXPECT_TRUE(l->Layered());
        EXPECT_EQ(c->ChainIds(), (std::vector<uint32_t>{l->catalogEntryId, 1001}));
        EXPECT_EQ(layered->dllPath, "C:\\Users\\me\\lsp.dll");
      }};
  WinsockProviderSetup space;
  space.nameSpace = true;
  space.providerId = kNameSpaceGuid;
  space.dllPath = "C:\\Users\\me\\nsp.dll";
  space.displayName = "Helper Names";
  space.nameSpaceId = 12;
  cases[WriteKind::InstallWinsockProvider] = {[=] { return InstallWinsockProviders({space}); },
                                              [this] { EXPECT_FALSE(winsock_.Find(kNameSpaceGuid)); }};
  // A WMI filter deleted (it comes back with its properties), a consumer
  // created (it goes again); a transfer job cancelled (described only).
  const WmiInstance filter = test::Filter("WlKinds", "SELECT * FROM __InstanceModificationEvent WITHIN 60");
  wmi_.Add(filter);
  cases[WriteKind::DeleteWmiInstance] = {[=] { return DeleteWmiInstance(kSubscriptionNamespace, filter.path); },
                                         [=, this] {
                                           WmiInstance back;
                                           ASSERT_EQ(wmi_.Get(kSubscriptionNamespace, filter.path, back), 0u);
                                           EXPECT_EQ(back, filter);
                                         }};
  const WmiInstance consumer = test::CommandConsumer("WlKinds", "C:\\Nowhere\\wmi.exe /q");
  cases[WriteKind::CreateWmiInstance] = {[=] { return CreateWmiInstance(kSubscriptionNamespace, consumer); },
                                         [=, this] { EXPECT_FALSE(wmi_.Has(consumer.path)); }};
  TransferJob job;
  job.id = "{5EC1D6A0-0000-4000-8000-00000000CAFE}";
  job.displayName = "WlKinds";
  job.notifyProgram = "C:\\Nowhere\\notify.exe";
  job.files = {{"http://example.invalid/a.bin", "C:\\Nowhere\\a.bin"}};
  jobs_.jobs = {job};
  cases[WriteKind::CancelTransferJob] = {[=] { return CancelTransferJob(job.id); },
                                         [this] { EXPECT_TRUE(jobs_.jobs.empty()); }};

  ServiceSpec spec;
  spec.name = "WlKindsSvc" + Pid();
  spec.binaryPath = "\"C:\\Nowhere\\kinds.exe\"";
  cases[WriteKind::CreateService] = {[=, this] { return CreateServiceEntry(spec); },
                                     [=, this] { EXPECT_FALSE(ReadServiceConfig(spec.name)); }};
  const std::string svc = service_.keyName();
  const auto svcBefore = ReadServiceConfig(svc);
  const RegTreeCopy svcKey = Dump(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\" + svc);
  cases[WriteKind::DeleteService] = {[=, this] { return DeleteServiceEntry(svc); }, [=, this] {
                                       EXPECT_EQ(ReadServiceConfig(svc), svcBefore);
                                       EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\" + svc),
                                                 svcKey);
                                     }};

  // A server regsvr32 cannot load: recorded, then the write fails (and the
  // record says so).
  const std::string server = dir_.File("not-a-server.dll");
  test::WriteBytes(server, "not a library");
  cases[WriteKind::UnregisterServer] = {[=, this] { return UnregisterServer(server); }, [] {}};
  OutsideChanges known;
  known.keys.push_back("HKEY_CURRENT_USER\\" + key_);
  cases[WriteKind::RunUninstaller] = {[=, this] { return BeforeUninstaller("C:\\App\\uninst.exe /S", win32::RegView::Default, known); },
                                      [] {}};

  CreateDirectoryW(win32::ApiPath(TaskStoreFolder() + "\\" + taskFolder_).c_str(), nullptr);
  const std::string xml = TaskXml("C:\\Nowhere\\wlkinds-task.exe");
  WriteTaskFile(taskFile_, xml);
  const auto taskBefore = ParseTaskXml(test::ReadBytes(taskFile_), taskPath_);
  cases[WriteKind::DeleteTask] = {[=, this] { return DeleteScheduledTask(taskPath_); }, [=, this] {
                                    ASSERT_TRUE(win32::FileExists(taskFile_));
                                    const auto back = ParseTaskXml(test::ReadBytes(taskFile_), taskPath_);
                                    ASSERT_TRUE(back && taskBefore);
                                    ASSERT_EQ(back->actions.size(), 1u);
                                    EXPECT_EQ(back->actions[0].command, "C:\\Nowhere\\wlkinds-task.exe");
                                    EXPECT_EQ(back->actions[0].arguments, "/q");
                                    EXPECT_EQ(back->triggers, taskBefore->triggers);
                                    EXPECT_TRUE(back->hidden);
                                  }};
  // Wine's task service keeps a task's state as it read it (a disable or
  // enable it accepts changes nothing): each is back as it was.
  const auto enabled = ScheduledTaskEnabled(taskPath_);
  EXPECT_TRUE(enabled.has_value());
  cases[WriteKind::DisableTask] = {[=, this] { return DisableScheduledTask(taskPath_); },
                                   [=, this] { EXPECT_EQ(ScheduledTaskEnabled(taskPath_), enabled); }};
  cases[WriteKind::EnableTask] = {[=, this] { return EnableScheduledTask(taskPath_); },
                                  [=, this] { EXPECT_EQ(ScheduledTaskEnabled(taskPath_), enabled); }};
  cases[WriteKind::RegisterTask] = {[=, this] { return RegisterScheduledTask(registered_, xml); },
                                    [=, this] { EXPECT_EQ(ScheduledTaskXml(registered_), ""); }};
  return cases;
}

// Each write is recorded by exactly one kind of change: none would leave it
// without a backup (it is refused), two would leave it to the list's order.
TEST(WriteKindsRecorded, EachWriteByExactlyOneKindOfChange) {
  for (int k = 0; k < static_cast<int>(WriteKind::Count); ++k) {
    const WriteKind kind = static_cast<WriteKind>(k);
    int recorders = 0;
    AnyKind([&]<class Kind>() {
      recorders += Kind::Records(kind) ? 1 : 0;
      return false;
    });
    EXPECT_EQ(recorders, 1) << WriteKindName(kind);
  }
}

StoredChangeSet SetOf(const std::string& id) {
  std::string error;
  auto set = FindChangeSet(id, &error);
  EXPECT_TRUE(set) << error;
  return set ? *set : StoredChangeSet{};
}

TEST_F(WriteKinds, EveryKindIsBackedUpPutBackAndTheRestoreIsUndoneInTurn) {
  ASSERT_TRUE(service_.ok());
  auto cases = Cases();
  for (int k = 0; k < static_cast<int>(WriteKind::Count); ++k) {
    const WriteKind kind = static_cast<WriteKind>(k);
    const std::string name(WriteKindName(kind));
    SCOPED_TRACE(name);
    const auto it = cases.find(kind);
    if (it == cases.end()) {
      ADD_FAILURE() << "The write kind " << name << " has no case here: give it a backup in undo/ and a case.";
      continue;
    }
    std::string id;
    WriteResult written;
    {
      ChangeSet set("Test", name);
      written = it->second.write();
      id = set.Id();
    }
    EXPECT_EQ(written.message.find("backup could not be written"), std::string::npos) << written.message;
    ASSERT_FALSE(id.empty()) << "nothing was recorded: " << written.message;
    const StoredChangeSet set = SetOf(id);
    ASSERT_FALSE(set.manifest.items.empty());
    const BackupItem& item = set.manifest.items.back();
    // A write that failed after it was recorded is marked so.
    EXPECT_EQ(item.failed, !written.ok()) << written.message;
    if (kind == WriteKind::CancelTransferJob) {
      // Described, but refused by a restore before anything is made.
      ASSERT_TRUE(item.Is<TransferJobChange>());
      EXPECT_TRUE(item.partial);
      const std::string& kept = item.As<TransferJobChange>()->kept.text;
      EXPECT_NE(kept.find("notify.exe"), std::string::npos) << kept;
      const RestoreReport refused = RestoreChangeSet(set, false);
      EXPECT_FALSE(refused.AllRestored());
      EXPECT_NE(refused.Text().find("cannot be made again"), std::string::npos) << refused.Text();
      it->second.checkBack();
      continue;
    }
    const bool outside = kind == WriteKind::UnregisterServer || kind == WriteKind::RunUninstaller;
    if (outside) {
      EXPECT_TRUE(item.Is<ExternalStep>());
      continue;
    }
    const RestoreReport restored = RestoreChangeSet(set, false);
    EXPECT_TRUE(restored.AllRestored()) << restored.Text();
    it->second.checkBack();
    if (restored.backupId.empty()) continue;  // the restore changed nothing
    // The restore's own change set gives the change back; the first set
    // then puts the system back once more.
    const RestoreReport undone = RestoreChangeSet(SetOf(restored.backupId), false);
    EXPECT_TRUE(undone.AllRestored()) << undone.Text();
    const RestoreReport again = RestoreChangeSet(SetOf(id), false);
    EXPECT_TRUE(again.AllRestored()) << again.Text();
    it->second.checkBack();
  }
}

}  // namespace
}  // namespace wl::undo
