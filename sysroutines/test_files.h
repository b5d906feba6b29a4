// Test helpers for the system routines: real files in folders with non-ASCII
// and overlong names, removed again at the end of the test.
#pragma once

#include <windows.h>

#include <string>

namespace wl::test {

// A scratch folder whose path holds non-ASCII letters and can be made longer
// than MAX_PATH. Everything below it is removed on destruction, whatever the
// length of the paths.
class LongScratch {
 public:
  LongScratch();
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

}  // namespace wl::test
