// Helpers shared by the test programs: scratch folders and whole-file I/O.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace wl::test {

// A fresh folder under the system temp folder, removed with its contents.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag = "wltest");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // UTF-8 path of a file inside the folder.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::string& utf8Path, const std::string& bytes);
std::string ReadBytes(const std::string& utf8Path);

// Folder of the built programs (bin/) and of the source tree.
std::string BinaryDir();
std::string SourceDir();

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
// Runs a built program of bin/ with arguments (no shell quoting needed for
// plain arguments; arguments with blanks are quoted).
CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args);
// The same for a program given by its full path.
CommandResult RunProgramAt(const std::string& exePath, const std::vector<std::string>& args);

#ifdef _WIN32
// Held by the cases that rewrite a value every process shares (Winlogon's
// Userinit and Shell, the LSA's package lists, BootExecute): the suite runs
// several test programs at once, and two of these cases beside each other
// would each put back a list the other had changed. A named mutex of the
// session, so it holds across test programs; released when destroyed.
class SharedValuesLock {
 public:
  SharedValuesLock();
  ~SharedValuesLock();
  SharedValuesLock(const SharedValuesLock&) = delete;
  SharedValuesLock& operator=(const SharedValuesLock&) = delete;

 private:
  void* mutex_ = nullptr;
};
#endif

}  // namespace wl::test
