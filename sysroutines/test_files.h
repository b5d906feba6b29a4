// Test helpers for the system routines: real files in folders with non-ASCII
// and overlong names, removed again at the end of the test.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace wl::test {

// A scratch folder whose path holds non-ASCII letters and can be made longer
// than MAX_PATH. Everything below it is removed on destruction, whatever the
// length of the paths.
class LongScratch {
 public:
  // tag starts the folder's name; by default it holds non-ASCII letters.
  explicit LongScratch(const std::string& tag = "wl-\xC3\xA4\xE6\x97\xA5");
  ~LongScratch();
  LongScratch(const LongScratch&) = delete;
  LongScratch& operator=(const LongScratch&) = delete;

  const std::string& Path() const { return root_; }
  // A folder below the scratch folder whose full path is at least minLength
  // bytes long (created).
  std::string DeepFolder(std::size_t minLength);
  // A sub-folder (created).
  std::string Folder(const std::string& name);

 private:
  std::string root_;
};

// Creates or overwrites a file at any path length.
void WriteFileAt(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
// Copies a file (any path length).
void CopyFileTo(const std::string& from, const std::string& to);
// A built test program of bin/ ("wl_marker" -> "...\bin\wl_marker.exe").
std::string TestProgram(const std::string& name);

// Saves a shell shortcut (.lnk) to target with arguments.
void SaveShortcut(const std::string& lnkPath, const std::string& target, const std::string& arguments);

// Deletes a file when the scope ends (for files in real system folders).
class ScopedFile {
 public:
  explicit ScopedFile(std::string path) : path_(std::move(path)) {}
  ~ScopedFile();
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace wl::test
