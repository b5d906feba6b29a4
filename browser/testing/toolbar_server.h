// The stand-in toolbar server (wl_test_toolbar.dll) copied into a scratch
// folder: its DllUnregisterServer deletes the value named in its ".todo" file
// and marks each run.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "win32/file_path.h"
#include "win32/registry.h"

namespace wl::test {

class ToolbarServer {
 public:
  explicit ToolbarServer(const ScratchDir& dir) {
    std::filesystem::create_directories(dir.Path() / "tool bar");
    path_ = dir.File("tool bar\\Bar Server.dll");
    std::filesystem::copy_file(BinaryDir() + "\\wl_test_toolbar.dll", path_);
  }
  // The value under HKEY_LOCAL_MACHINE its unregistration deletes.
  void WillDelete(const std::string& key, const std::string& value, win32::RegView view) const {
    WriteBytes(path_ + ".todo", key + "\r\n" + value + "\r\n" + (view == win32::RegView::Force32 ? "32" : "64"));
  }
  std::vector<std::string> Marks() const {
    if (!win32::FileExists(path_ + ".marker")) return {};
    std::vector<std::string> lines;
    std::string text = ReadBytes(path_ + ".marker");
    for (std::size_t at = 0; (at = text.find("\r\n")) != std::string::npos; text.erase(0, at + 2))
      lines.push_back(text.substr(0, at));
    return lines;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace wl::test
