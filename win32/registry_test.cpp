#include "win32/registry.h"
#include "win32/registry_write.h"

#include <gtest/gtest.h>

#include "win32/unicode.h"

namespace wl::win32 {
namespace {

// Per process: ctest runs the cases of this fixture in parallel processes.
const std::string kTestRoot = "Software\\WardenlakeTest\\Registry" + std::to_string(GetCurrentProcessId());

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegWriteKey::DeleteTree(HKEY_CURRENT_USER, kTestRoot); }
  void TearDown() override { RegWriteKey::DeleteTree(HKEY_CURRENT_USER, kTestRoot); }
};

TEST_F(RegistryTest, CreateWriteReadIterateDelete) {
  EXPECT_FALSE(RegKey::Open(HKEY_CURRENT_USER, kTestRoot));
  auto key = RegWriteKey::Create(HKEY_CURRENT_USER, kTestRoot + "\\Sub\\Deep");
  ASSERT_TRUE(key);
  auto root = RegWriteKey::Open(HKEY_CURRENT_USER, kTestRoot, KEY_READ | KEY_WRITE);
  ASSERT_TRUE(root);
  const std::string uml = "K\xC3\xA4se \xE6\x97\xA5\xE6\x9C\xAC";  // non-ASCII name and data
  EXPECT_EQ(root->WriteString(uml, "C:\\Pr\xC3\xB6gram\\x.exe"), ERROR_SUCCESS);
  EXPECT_EQ(root->WriteString("exp", "%SystemRoot%\\a.exe", REG_EXPAND_SZ), ERROR_SUCCESS);
  EXPECT_EQ(root->WriteDword("dw", 4294967295u), ERROR_SUCCESS);
  EXPECT_EQ(root->WriteString("", "default"), ERROR_SUCCESS);
  EXPECT_EQ(root->ReadString(uml), "C:\\Pr\xC3\xB6gram\\x.exe");
  EXPECT_EQ(root->ReadString("exp"), "%SystemRoot%\\a.exe");  // kept unexpanded
  EXPECT_EQ(root->ReadDword("dw"), 4294967295u);
  EXPECT_EQ(root->ReadString(""), "default");
  EXPECT_FALSE(root->ReadString("dw"));  // a DWORD is not a string
  EXPECT_FALSE(root->ReadString("missing"));

  auto values = root->Values();
  EXPECT_EQ(values.size(), 4u);
  bool sawUml = false;
  for (const auto& v : values) sawUml |= v.name == uml;
  EXPECT_TRUE(sawUml);
  EXPECT_EQ(root->SubKeyNames(), std::vector<std::string>{"Sub"});
  // The lists say whether they are whole; a read says why it found nothing.
  LONG rc = ERROR_GEN_FAILURE;
  EXPECT_EQ(root->Values(&rc).size(), 4u);
  EXPECT_EQ(rc, ERROR_SUCCESS);
  rc = ERROR_GEN_FAILURE;
  EXPECT_EQ(root->SubKeyNames(&rc).size(), 1u);
  EXPECT_EQ(rc, ERROR_SUCCESS);
  EXPECT_FALSE(root->Read("missing", &rc));
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(RegKey().Values(&rc).empty());
  EXPECT_NE(rc, ERROR_SUCCESS);

  EXPECT_EQ(root->DeleteValue(uml), ERROR_SUCCESS);
  EXPECT_FALSE(root->HasValue(uml));
  EXPECT_EQ(RegWriteKey::DeleteTree(HKEY_CURRENT_USER, kTestRoot + "\\Sub"), ERROR_SUCCESS);
  EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, kTestRoot + "\\Sub\\Deep"));
  EXPECT_NE(RegWriteKey::DeleteTree(HKEY_CURRENT_USER, ""), ERROR_SUCCESS);  // never a whole root
}

TEST_F(RegistryTest, AReadingKeyRefusesEveryRightToWrite) {
  ASSERT_TRUE(RegWriteKey::Create(HKEY_CURRENT_USER, kTestRoot));
  for (REGSAM access : {REGSAM(KEY_WRITE), REGSAM(KEY_SET_VALUE), REGSAM(KEY_CREATE_SUB_KEY), REGSAM(KEY_ALL_ACCESS),
                        REGSAM(KEY_READ | DELETE), REGSAM(KEY_READ | WRITE_DAC), REGSAM(KEY_READ | WRITE_OWNER),
                        REGSAM(MAXIMUM_ALLOWED), REGSAM(GENERIC_WRITE), REGSAM(GENERIC_ALL)}) {
    LONG error = ERROR_SUCCESS;
    EXPECT_FALSE(RegKey::Open(HKEY_CURRENT_USER, kTestRoot, access, RegView::Default, &error)) << access;
    EXPECT_EQ(error, ERROR_ACCESS_DENIED) << access;
  }
  EXPECT_TRUE(RegKey::Open(HKEY_CURRENT_USER, kTestRoot, KEY_QUERY_VALUE));
  EXPECT_TRUE(RegKey::Open(HKEY_CURRENT_USER, kTestRoot, KEY_READ, RegView::Force64));
}

TEST_F(RegistryTest, UnexpectedTypesAndSizesNeverFail) {
  auto key = RegWriteKey::Create(HKEY_CURRENT_USER, kTestRoot);
  ASSERT_TRUE(key);
  // A string stored without its terminating zero, and one with an odd size.
  const std::wstring w = L"abc";
  RegSetValueExW(key->get(), L"noterm", 0, REG_SZ, reinterpret_cast<const BYTE*>(w.data()), 6);
  RegSetValueExW(key->get(), L"odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(w.data()), 5);
  EXPECT_EQ(key->ReadString("noterm"), "abc");
  EXPECT_EQ(key->ReadString("odd"), "ab");
  // Binary where a string was expected; the list text shows hex bytes.
  key->WriteRaw("bin", REG_BINARY, {0x01, 0xAB, 0x00});
  EXPECT_FALSE(key->ReadString("bin"));
  EXPECT_EQ(RegValueText(*key->Read("bin")), "01 AB 00");
  // QWORD in decimal; a short DWORD shows its bytes.
  key->WriteRaw("qw", REG_QWORD, {0, 0, 0, 0, 1, 0, 0, 0});
  EXPECT_EQ(RegValueText(*key->Read("qw")), "4294967296");
  key->WriteRaw("shortdw", REG_DWORD, {7, 0});
  EXPECT_FALSE(key->ReadDword("shortdw"));
  // Multi-string parts joined by blanks.
  const wchar_t multi[] = L"one\0two\0";
  RegSetValueExW(key->get(), L"multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi);
  EXPECT_EQ(key->ReadString("multi"), "one two");
  // A 1 MiB value reads back whole.
  const std::string big(1 << 20, 'x');
  EXPECT_EQ(key->WriteString("big", big), ERROR_SUCCESS);
  EXPECT_EQ(key->ReadString("big")->size(), big.size());
  bool sawBig = false;
  for (const auto& v : key->Values())
    if (v.name == "big") sawBig = RegValueString(v)->size() == big.size();
  EXPECT_TRUE(sawBig);
}

TEST_F(RegistryTest, ThirtyTwoAndSixtyFourBitViewsOfTheRunKeyDiffer) {
  auto k64 = RegWriteKey::Create(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            KEY_READ | KEY_WRITE, RegView::Force64);
  auto k32 = RegWriteKey::Create(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            KEY_READ | KEY_WRITE, RegView::Force32);
  ASSERT_TRUE(k64 && k32);
  ASSERT_EQ(k32->WriteString("WardenlakeViewTest", "x32.exe"), ERROR_SUCCESS);
  EXPECT_FALSE(k64->HasValue("WardenlakeViewTest"));
  EXPECT_EQ(k32->DeleteValue("WardenlakeViewTest"), ERROR_SUCCESS);
}

// Reads by path: strings of every string type as stored, anything else only
// through the raw read; the 32- and 64-bit views each give their own value.
TEST_F(RegistryTest, ValuesReadByPath) {
  auto key = RegWriteKey::Create(HKEY_CURRENT_USER, kTestRoot + "\\Class");
  ASSERT_TRUE(key);
  ASSERT_EQ(key->WriteString("", "Named class"), ERROR_SUCCESS);
  ASSERT_EQ(key->WriteString("exp", "%SystemRoot%\\b.dll", REG_EXPAND_SZ), ERROR_SUCCESS);
  ASSERT_EQ(key->WriteDword("dw", 7), ERROR_SUCCESS);
  EXPECT_EQ(ReadValueTextAt(HKEY_CURRENT_USER, kTestRoot + "\\Class", ""), "Named class");
  EXPECT_EQ(ReadValueTextAt(HKEY_CURRENT_USER, "\\" + kTestRoot + "\\Class\\", ""), "Named class");
  EXPECT_EQ(ReadValueTextAt(HKEY_CURRENT_USER, kTestRoot + "\\Class", "exp"), "%SystemRoot%\\b.dll");
  EXPECT_FALSE(ReadValueTextAt(HKEY_CURRENT_USER, kTestRoot + "\\Class", "dw"));
  EXPECT_FALSE(ReadValueTextAt(HKEY_CURRENT_USER, kTestRoot + "\\Class", "missing"));
  EXPECT_FALSE(ReadValueTextAt(HKEY_CURRENT_USER, kTestRoot + "\\Missing", ""));
  const auto raw = ReadValueAt(HKEY_CURRENT_USER, kTestRoot + "\\Class", "dw");
  ASSERT_TRUE(raw);
  EXPECT_EQ(RegValueText(*raw), "7");

  const std::string viewKey = "Software\\WardenlakeTest\\ViewRead" + std::to_string(GetCurrentProcessId());
  auto k64 = RegWriteKey::Create(HKEY_LOCAL_MACHINE, viewKey, KEY_READ | KEY_WRITE, RegView::Force64);
  auto k32 = RegWriteKey::Create(HKEY_LOCAL_MACHINE, viewKey, KEY_READ | KEY_WRITE, RegView::Force32);
  ASSERT_TRUE(k64 && k32);
  ASSERT_EQ(k64->WriteString("", "sixty-four"), ERROR_SUCCESS);
  ASSERT_EQ(k32->WriteString("", "thirty-two"), ERROR_SUCCESS);
  EXPECT_EQ(ReadValueTextAt(HKEY_LOCAL_MACHINE, viewKey, "", RegView::Force64), "sixty-four");
  EXPECT_EQ(ReadValueTextAt(HKEY_LOCAL_MACHINE, viewKey, "", RegView::Force32), "thirty-two");
  RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, viewKey, RegView::Force64);
  RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, viewKey, RegView::Force32);
}

TEST(Unicode, RoundTrips) {
  const std::string s = "\xC3\xA4\xE6\x97\xA5\xF0\x9F\x98\x80 plain";
  EXPECT_EQ(Narrow(Widen(s)), s);
  EXPECT_EQ(Widen(""), L"");
  EXPECT_EQ(Narrow(Widen("\xFF")), "\xEF\xBF\xBD");  // invalid byte becomes U+FFFD
}

}  // namespace
}  // namespace wl::win32
