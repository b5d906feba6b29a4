// Immunization status and Apply on the real registry of the test system.
#include "immunize/immunity.h"

#include <gtest/gtest.h>

#include "sysroutines/system_write.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

// Entries with per-process names, removed from every view afterwards.
class ImmunityTest : public ::testing::Test {
 protected:
  std::string Id(const std::string& tag) {
    std::string id = "{WLTEST-" + std::to_string(GetCurrentProcessId()) + "-" + tag + "}";
    ids_.push_back(id);
    return id;
  }
  std::string Domain(const std::string& tag) {
    std::string d = tag + "-" + std::to_string(GetCurrentProcessId()) + ".wltest.example";
    domains_.push_back(d);
    return d;
  }
  void TearDown() override {
    for (const auto& id : ids_)
      for (RegView v : {RegView::Force64, RegView::Force32})
        RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, ImmunityKeyPath(ImmunityKind::Spyware, id), v);
    for (const auto& d : domains_) RegWriteKey::DeleteTree(HKEY_CURRENT_USER, ImmunityKeyPath(ImmunityKind::Sites, d));
  }
  static void PutFlags(const std::string& id, RegView view, uint32_t value) {
    auto key = RegWriteKey::Create(HKEY_LOCAL_MACHINE, ImmunityKeyPath(ImmunityKind::Spyware, id), KEY_ALL_ACCESS, view);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->WriteDword(kCompatibilityFlags, value), ERROR_SUCCESS);
  }
  static void PutFlagsBoth(const std::string& id, uint32_t value) {
    PutFlags(id, RegView::Force64, value);
    PutFlags(id, RegView::Force32, value);
  }
  static std::optional<win32::RegValue> Raw(ImmunityKind kind, const std::string& id, RegView view) {
    auto key = RegKey::Open(ImmunityRoot(kind), ImmunityKeyPath(kind, id), KEY_READ, view);
    if (!key) return std::nullopt;
    return key->Read(ImmunityValueName(kind));
  }
  static std::string Snapshot(ImmunityKind kind, const std::vector<ImmunityEntry>& entries) {
    std::string out;
    for (const auto& e : entries)
      for (RegView v : ImmunityViews(kind)) {
        const auto raw = Raw(kind, e.id, v);
        out += e.id + ":" + (raw ? std::to_string(raw->type) + "/" + win32::RegValueText(*raw) : "-") + ";";
      }
    return out;
  }

  std::vector<std::string> ids_, domains_;
};

TEST_F(ImmunityTest, KillBitStatusNeedsTheBitInBothViews) {
  const std::string plain = Id("1024"), more = Id("1025"), zero = Id("0"), missing = Id("missing"),
                    text = Id("sz"), only32 = Id("only32"), only64 = Id("only64");
  PutFlagsBoth(plain, 1024);
  PutFlagsBoth(more, 1025);
  PutFlagsBoth(zero, 0);
  for (RegView v : {RegView::Force64, RegView::Force32}) {
    auto key = RegWriteKey::Create(HKEY_LOCAL_MACHINE, ImmunityKeyPath(ImmunityKind::Spyware, text), KEY_ALL_ACCESS, v);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->WriteString(kCompatibilityFlags, "1024"), ERROR_SUCCESS);
  }
  PutFlags(only32, RegView::Force32, 1024);
  PutFlags(only64, RegView::Force64, 1024);

  const std::vector<ImmunityEntry> entries = {{plain, "a"},   {more, "b"},   {zero, "c"},  {missing, "d"},
                                              {text, "e"},    {only32, "f"}, {only64, "g"}};
  const auto status = LoadImmunity(ImmunityKind::Spyware, entries);
  EXPECT_EQ(status, (std::vector<bool>{true, true, false, false, false, false, false}));
  // Loading leaves a missing key missing, in both views.
  for (RegView v : {RegView::Force64, RegView::Force32})
    EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, ImmunityKeyPath(ImmunityKind::Spyware, missing), v));
}

TEST_F(ImmunityTest, ApplyChangesOnlyTheChangedEntryAndOnlyItsKillBit) {
  const std::string a = Id("a"), b = Id("b"), c = Id("c"), d = Id("d"), e = Id("e");
  PutFlagsBoth(a, 1025);
  PutFlagsBoth(b, 0x10000);
  PutFlagsBoth(c, 1024);
  PutFlags(d, RegView::Force64, 1024);  // half immunized: the 32-bit browser would still load it
  const std::vector<ImmunityEntry> entries = {{a, ""}, {b, ""}, {c, ""}, {d, ""}, {e, ""}};
  const auto stored = LoadImmunity(ImmunityKind::Spyware, entries);
  ASSERT_EQ(stored, (std::vector<bool>{true, false, true, false, false}));

  // Only a changes: every other value stays byte for byte.
  auto wanted = stored;
  wanted[0] = false;
  const std::string others = Snapshot(ImmunityKind::Spyware, {entries.begin() + 1, entries.end()});
  auto result = ApplyImmunity(ImmunityKind::Spyware, entries, stored, wanted);
  EXPECT_TRUE(result.ok()) << ImmunityFailureText(result);
  EXPECT_EQ(result.changed, 1u);
  for (RegView v : {RegView::Force64, RegView::Force32}) EXPECT_EQ(ReadStoredFlag(ImmunityKind::Spyware, a, v).value, 1u);
  EXPECT_EQ(Snapshot(ImmunityKind::Spyware, {entries.begin() + 1, entries.end()}), others);

  // Immunizing keeps the other flags and completes a half-done entry.
  const auto now = LoadImmunity(ImmunityKind::Spyware, entries);
  result = ApplyImmunity(ImmunityKind::Spyware, entries, now, {false, true, true, true, true});
  EXPECT_TRUE(result.ok()) << ImmunityFailureText(result);
  EXPECT_EQ(result.changed, 3u);
  for (RegView v : {RegView::Force64, RegView::Force32}) {
    EXPECT_EQ(ReadStoredFlag(ImmunityKind::Spyware, b, v).value, 0x10400u);
    EXPECT_EQ(ReadStoredFlag(ImmunityKind::Spyware, d, v).value, 1024u);
    EXPECT_EQ(ReadStoredFlag(ImmunityKind::Spyware, e, v).value, 1024u);
  }
  EXPECT_EQ(LoadImmunity(ImmunityKind::Spyware, entries), (std::vector<bool>{false, true, true, true, true}));
}

TEST_F(ImmunityTest, AValueThatIsNotANumberIsNeverOverwritten) {
  const std::string text = Id("sz");
  auto key = RegWriteKey::Create(HKEY_LOCAL_MACHINE, ImmunityKeyPath(ImmunityKind::Spyware, text), KEY_ALL_ACCESS,
                            RegView::Force32);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->WriteString(kCompatibilityFlags, "custom"), ERROR_SUCCESS);
  const std::vector<ImmunityEntry> entries = {{text, ""}};
  const auto result = ApplyImmunity(ImmunityKind::Spyware, entries, {false}, {true});
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_NE(result.failures[0].reason.find("not a number (REG_SZ)"), std::string::npos) << result.failures[0].reason;
  EXPECT_EQ(key->ReadString(kCompatibilityFlags), "custom");
  EXPECT_EQ(ImmunityFailureText(result).substr(0, 16), "1 change failed.");
}

TEST_F(ImmunityTest, SitesLeaveOtherZonesAlone) {
  const std::string restricted = Domain("four"), trusted = Domain("two"), fresh = Domain("fresh");
  for (auto [domain, zone] : {std::pair{restricted, 4u}, std::pair{trusted, 2u}}) {
    auto key = RegWriteKey::Create(HKEY_CURRENT_USER, ImmunityKeyPath(ImmunityKind::Sites, domain));
    ASSERT_TRUE(key);
    ASSERT_EQ(key->WriteDword("*", zone), ERROR_SUCCESS);
    ASSERT_EQ(key->WriteDword("http", 2), ERROR_SUCCESS);
  }
  const std::vector<ImmunityEntry> entries = {{restricted, ""}, {trusted, ""}, {fresh, ""}};
  const auto stored = LoadImmunity(ImmunityKind::Sites, entries);
  EXPECT_EQ(stored, (std::vector<bool>{true, false, false}));
  EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, ImmunityKeyPath(ImmunityKind::Sites, fresh)));

  // "Unselect All" then Apply: only the restricted-zone value goes.
  auto result = ApplyImmunity(ImmunityKind::Sites, entries, stored, {false, false, false});
  EXPECT_TRUE(result.ok());
  EXPECT_FALSE(Raw(ImmunityKind::Sites, restricted, RegView::Default));
  EXPECT_EQ(ReadStoredFlag(ImmunityKind::Sites, trusted, RegView::Default).value, 2u);
  auto restrictedKey = RegKey::Open(HKEY_CURRENT_USER, ImmunityKeyPath(ImmunityKind::Sites, restricted));
  ASSERT_TRUE(restrictedKey);
  EXPECT_EQ(restrictedKey->ReadDword("http"), 2u);

  result = ApplyImmunity(ImmunityKind::Sites, entries, {false, false, false}, {false, false, true});
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(ReadStoredFlag(ImmunityKind::Sites, fresh, RegView::Default).value, 4u);
  EXPECT_TRUE(ReadImmunized(ImmunityKind::Sites, fresh));
}

TEST_F(ImmunityTest, RefusedWritesAreReportedAsFailures) {
  const std::string a = Id("denied"), site = Domain("denied");
  const std::vector<ImmunityEntry> spyware = {{a, ""}};
  const std::vector<ImmunityEntry> sites = {{site, ""}};
  {
    ScopedWriteInterceptor deny([](const WriteRequest&) { return static_cast<uint32_t>(ERROR_ACCESS_DENIED); });
    const auto result = ApplyImmunity(ImmunityKind::Spyware, spyware, {false}, {true});
    EXPECT_EQ(result.changed, 0u);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].id, a);
    const auto siteResult = ApplyImmunity(ImmunityKind::Sites, sites, {false}, {true});
    EXPECT_EQ(siteResult.failures.size(), 1u);
    // Loading gives a status for every entry without writing.
    EXPECT_EQ(LoadImmunity(ImmunityKind::Sites, sites), std::vector<bool>{false});
  }
  EXPECT_FALSE(ReadImmunized(ImmunityKind::Spyware, a));
  EXPECT_FALSE(Raw(ImmunityKind::Spyware, a, RegView::Force64));
  EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, ImmunityKeyPath(ImmunityKind::Sites, site)));
}

}  // namespace
}  // namespace wl
