#include "win32/file_path.h"

#include <gtest/gtest.h>

#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::win32 {
namespace {

TEST(FilePath, ApiPathPrefixesOnlyLongFullPaths) {
  EXPECT_EQ(ApiPath("C:\\short\\a.exe"), L"C:\\short\\a.exe");
  EXPECT_EQ(ApiPath("relative\\a.exe"), L"relative\\a.exe");
  EXPECT_EQ(ApiPath(""), L"");
  const std::string tail = std::string(300, 'x');
  EXPECT_EQ(ApiPath("C:\\" + tail), L"\\\\?\\C:\\" + Widen(tail));
  // Slashes and dots are cleaned up first: the prefix would take them literally.
  EXPECT_EQ(ApiPath("C:/dir/./" + tail), L"\\\\?\\C:\\dir\\" + Widen(tail));
  EXPECT_EQ(ApiPath("\\\\server\\share\\" + tail), L"\\\\?\\UNC\\server\\share\\" + Widen(tail));
  EXPECT_EQ(ApiPath("\\\\?\\C:\\" + tail), L"\\\\?\\C:\\" + Widen(tail));
  EXPECT_EQ(ApiPath(tail), Widen(tail));  // relative: left to the caller
}

TEST(FilePath, ExistenceAndShortFormsAtAnyLength) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  ASSERT_GT(n, 0u);
  std::string dir = Narrow(std::wstring_view(temp, n)) + "wl-file-path-\xC3\xA4-" + std::to_string(GetCurrentProcessId());
  std::vector<std::string> made;
  for (int i = 0; i < 7; ++i) {
    ASSERT_TRUE(CreateDirectoryW(ApiPath(dir).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) << dir;
    made.push_back(dir);
    dir += "\\Teil-\xE6\x97\xA5-" + std::string(40, 'p');
  }
  const std::string folder = made.back();
  const std::string file = folder + "\\f\xC3\xBCr.txt";
  ASSERT_GT(file.size(), static_cast<std::size_t>(MAX_PATH));
  {
    UniqueHfile h(CreateFileW(ApiPath(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(h);
  }
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_FALSE(FileExists(folder));
  EXPECT_FALSE(FileExists(folder + "\\missing.txt"));
  EXPECT_FALSE(FileExists(""));
  const std::string shortForm = ShortPath(file);
  ASSERT_FALSE(shortForm.empty());
  EXPECT_LT(shortForm.size(), file.size());
  EXPECT_TRUE(FileExists(shortForm));
  EXPECT_EQ(ShortPath(folder + "\\missing.txt"), "");

  DeleteFileW(ApiPath(file).c_str());
  for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryW(ApiPath(*it).c_str());
  EXPECT_FALSE(DirectoryExists(made.front()));
}

TEST(FilePath, TheStoredSpellingOfAPathAndItsRoot) {
  EXPECT_EQ(PathRootEnd("C:\\a\\b"), 2u);
  EXPECT_EQ(PathRootEnd("\\\\?\\C:\\a"), 6u);
  EXPECT_EQ(PathRootEnd("\\\\server\\share\\a"), 14u);
  EXPECT_EQ(PathRootEnd("\\\\?\\UNC\\server\\share\\a"), 20u);
  EXPECT_EQ(PathRootEnd("relative"), std::string::npos);

  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  ASSERT_GT(n, 0u);
  const std::string dir = Narrow(std::wstring_view(temp, n)) + "wl-Stored-\xC3\xA4-" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(ApiPath(dir).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const std::string file = dir + "\\Mixed Case.Txt";
  { UniqueHfile h(CreateFileW(ApiPath(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)); }
  std::string upper = file;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  // Each part as stored; what does not exist stays as given.
  EXPECT_EQ(StoredPath(upper).substr(2), file.substr(2));
  EXPECT_EQ(StoredPath(upper + "\\NOT THERE\\X"), StoredPath(upper) + "\\NOT THERE\\X");
  const std::string shortForm = ShortPath(file);
  if (!shortForm.empty()) {
    EXPECT_EQ(StoredPath(shortForm).substr(2), file.substr(2));
  }
  DeleteFileW(ApiPath(file).c_str());
  RemoveDirectoryW(ApiPath(dir).c_str());
}

TEST(SystemError, TextsForCodes) {
  EXPECT_FALSE(SystemErrorText(ERROR_ACCESS_DENIED).empty());
  EXPECT_NE(SystemErrorText(ERROR_ACCESS_DENIED).back(), '\n');
  EXPECT_EQ(SystemErrorText(0x3FFFFFF0), "Error 1073741808.");
}

}  // namespace
}  // namespace wl::win32
