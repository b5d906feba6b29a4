#include "sysroutines/test_files.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <stdexcept>

#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"
#include "tests/support/test_support.h"

namespace wl::test {
namespace {

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  win32::UniqueFind find(FindFirstFileW((dir + L"\\*").c_str(), &data));
  if (find) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = dir + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find.get(), &data));
  }
  find.reset();
  RemoveDirectoryW(dir.c_str());
}

void MakeDir(const std::string& path) {
  if (!CreateDirectoryW(win32::ApiPath(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    throw std::runtime_error("cannot create " + path);
}

}  // namespace

LongScratch::LongScratch(const std::string& tag) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) throw std::runtime_error("no temp folder");
  static int counter = 0;
  root_ = win32::Narrow(std::wstring_view(temp, n)) + tag + "-" +
          std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" +
          std::to_string(counter++);
  MakeDir(root_);
}

LongScratch::~LongScratch() {
  std::wstring w = win32::Widen(root_);
  if (w.compare(0, 4, L"\\\\?\\") != 0) w = L"\\\\?\\" + w;
  RemoveTree(w);
}

std::string LongScratch::DeepFolder(std::size_t minLength) {
  std::string path = root_;
  const std::string part = "Ordner-\xC3\xBC" + std::string(40, 'n');
  while (path.size() < minLength) {
    path += "\\" + part;
    MakeDir(path);
  }
  return path;
}

std::string LongScratch::Folder(const std::string& name) {
  const std::string path = root_ + "\\" + name;
  MakeDir(path);
  return path;
}

void WriteFileAt(const std::string& path, const std::string& bytes) {
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw std::runtime_error("cannot create " + path);
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size())
    throw std::runtime_error("cannot write " + path);
}

bool PathExists(const std::string& path) { return win32::FileAttributes(path) != INVALID_FILE_ATTRIBUTES; }

void CopyFileTo(const std::string& from, const std::string& to) {
  if (!CopyFileW(win32::ApiPath(from).c_str(), win32::ApiPath(to).c_str(), FALSE))
    throw std::runtime_error("cannot copy " + from + " to " + to);
}

std::string TestProgram(const std::string& name) { return BinaryDir() + "\\" + name + ".exe"; }

void SaveShortcut(const std::string& lnkPath, const std::string& target, const std::string& arguments) {
  win32::ComScope com;
  win32::ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
    throw std::runtime_error("no shell link object");
  link->SetPath(win32::Widen(target).c_str());
  if (!arguments.empty()) link->SetArguments(win32::Widen(arguments).c_str());
  win32::ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void())) ||
      FAILED(file->Save(win32::ApiPath(lnkPath).c_str(), TRUE)))
    throw std::runtime_error("cannot save " + lnkPath);
}

ScopedFile::~ScopedFile() {
  const std::wstring w = win32::ApiPath(path_);
  SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(w.c_str());
}

}  // namespace wl::test
