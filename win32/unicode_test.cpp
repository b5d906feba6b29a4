#include "win32/unicode.h"

#include <gtest/gtest.h>

#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl::win32 {
namespace {

TEST(Unicode, EveryNameTheSystemGivesComesBackUnchanged) {
  const std::wstring names[] = {L"plain", L"K\u00E4se \u65E5\u672C", L"\U0001F600", std::wstring(1, wchar_t(0xD800)),
                                std::wstring(L"a") + wchar_t(0xDFFF) + L"b"};
  for (const auto& name : names) EXPECT_EQ(Widen(Narrow(name)), name);
  EXPECT_EQ(Narrow(L"K\u00E4se"), "K\xC3\xA4se");
  EXPECT_EQ(Widen("\xFF"), L"\uFFFD");
  EXPECT_EQ(Widen(""), L"");
  EXPECT_EQ(Narrow(L""), "");
}

// Code page text: valid GBK decodes, and bytes the system finds nothing in
// still come back as text, one character a byte, never as nothing.
TEST(Unicode, CodePageTextNeverComesBackEmpty) {
  EXPECT_EQ(FromCodePage("\xB9\xE3\xB8\xE6 ok", 936), L"\u5E7F\u544A ok");
  EXPECT_EQ(FromCodePage("", 936), L"");
  for (const std::string bytes : {"\x81", "\xFF\xFE\x80", "A\x81", "\xB9"}) {
    const std::wstring text = FromCodePage(bytes, 936);
    EXPECT_FALSE(text.empty()) << bytes;
  }
  // A code page the system does not have: every byte kept.
  EXPECT_EQ(FromCodePage("a\xE9\x81", 59999), std::wstring(L"a\u00E9\u0081"));
}

// A value whose name holds a lone surrogate (a trick to hide an entry from
// tools that cannot name it) is listed, read and deleted by that name.
TEST(Unicode, ARegistryValueWithALoneSurrogateInItsNameCanBeDeleted) {
  const char* path = "Software\\WardenlakeTest\\Unicode";
  RegWriteKey::DeleteTree(HKEY_CURRENT_USER, path);
  auto key = RegWriteKey::Create(HKEY_CURRENT_USER, path);
  ASSERT_TRUE(key);
  const std::wstring odd = std::wstring(L"run") + wchar_t(0xDC01);
  const std::wstring data = L"C:\\x.exe";
  ASSERT_EQ(RegSetValueExW(key->get(), odd.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * 2)),
            ERROR_SUCCESS);
  const auto names = key->ValueNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(Widen(names[0]), odd);
  EXPECT_EQ(key->ReadString(names[0]), "C:\\x.exe");
  EXPECT_EQ(key->DeleteValue(names[0]), ERROR_SUCCESS);
  EXPECT_TRUE(key->ValueNames().empty());
  RegWriteKey::DeleteTree(HKEY_CURRENT_USER, path);
}

}  // namespace
}  // namespace wl::win32
