#include "tests/support/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/utf8_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace wl::test {
namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string& tag) {
  static std::atomic<int> counter{0};
#ifdef _WIN32
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          PathFromUtf8(tag + "-" + std::to_string(pid) + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ScratchDir::File(const std::string& name) const { return Utf8FromPath(path_ / PathFromUtf8(name)); }

void WriteBytes(const std::string& utf8Path, const std::string& bytes) {
  std::ofstream out(PathFromUtf8(utf8Path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + utf8Path);
}

std::string ReadBytes(const std::string& utf8Path) {
  std::ifstream in(PathFromUtf8(utf8Path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + utf8Path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}


#ifdef _WIN32
// The test runner passes Unix paths; under Wine they are reachable as Z:\...
static std::string HostPath(const std::string& p) {
  if (!p.empty() && p[0] == '/') {
    std::string w = "Z:" + p;
    for (char& c : w)
      if (c == '/') c = '\\';
    return w;
  }
  return p;
}
#else
static std::string HostPath(const std::string& p) { return p; }
#endif

std::string BinaryDir() { return HostPath(WL_BINARY_DIR) + (fs::path::preferred_separator == '\\' ? "\\bin" : "/bin"); }
std::string SourceDir() { return HostPath(WL_SOURCE_DIR); }

static std::string Quote(const std::string& a) {
  if (a.find_first_of(" \t\"") == std::string::npos && !a.empty()) return a;
  std::string q = "\"";
  for (char c : a) {
    if (c == '"') q += '\\';
    q += c;
  }
  return q + "\"";
}

CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
#ifdef _WIN32
  return RunProgramAt(BinaryDir() + "\\" + program + ".exe", args);
#else
  return RunProgramAt(BinaryDir() + "/" + program, args);
#endif
}

CommandResult RunProgramAt(const std::string& exe, const std::vector<std::string>& args) {
  ScratchDir dir("wlrun");
  const std::string outFile = dir.File("out.txt");
  const std::string errFile = dir.File("err.txt");
  std::string cmd = Quote(exe);
  for (const auto& a : args) cmd += " " + Quote(a);
  cmd += " >" + Quote(outFile) + " 2>" + Quote(errFile);
  CommandResult r;
#ifdef _WIN32
  // cmd.exe strips one outer pair of quotes from the whole line.
  cmd = "\"" + cmd + "\"";
  const int n = MultiByteToWideChar(CP_UTF8, 0, cmd.c_str(), -1, nullptr, 0);
  std::wstring wcmd(std::size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, cmd.c_str(), -1, wcmd.data(), n);
  // Under Wine, with several test programs starting processes at once, a
  // start fails now and then before the program runs: the shell itself does
  // not start (-1) or says it found no such program (9009). The program has
  // not run then, so it is started again.
  std::error_code ignored;
  const bool exists = fs::exists(PathFromUtf8(exe), ignored);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt) Sleep(250);
    r.status = _wsystem(wcmd.c_str());
    if (r.status != -1 && !(r.status == 9009 && exists)) break;
  }
#else
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  try {
    r.out = ReadBytes(outFile);
    r.err = ReadBytes(errFile);
  } catch (const std::exception&) {
  }
  return r;
}

#ifdef _WIN32
SharedValuesLock::SharedValuesLock() {
  mutex_ = CreateMutexW(nullptr, FALSE, L"Local\\WLTest-shared-values");
  if (!mutex_) throw std::runtime_error("the shared values' lock could not be made");
  // A holder that ended without releasing leaves it abandoned: ours then.
  const DWORD wait = WaitForSingleObject(mutex_, INFINITE);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    CloseHandle(mutex_);
    throw std::runtime_error("the shared values' lock could not be taken");
  }
}

SharedValuesLock::~SharedValuesLock() {
  ReleaseMutex(mutex_);
  CloseHandle(mutex_);
}
#endif

}  // namespace wl::test
