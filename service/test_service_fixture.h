// A real service for the tests: the test service program copied into a
// scratch folder, installed with the service control manager, and removed
// (stopped, deleted, its key gone, its folder removed) when the fixture ends.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/test_support.h"

namespace wl::test {

class TestService {
 public:
  // args go after the program path in the service's command line; program
  // names the built program (in bin/) that is copied and registered; without
  // withDisplayName the service is created with none (as malware may do).
  explicit TestService(const std::string& args = "", const std::string& program = "wl_test_service",
                       bool withDisplayName = true);
  ~TestService();
  TestService(const TestService&) = delete;
  TestService& operator=(const TestService&) = delete;

  bool ok() const { return ok_; }
  const std::string& keyName() const { return keyName_; }
  const std::string& displayName() const { return displayName_; }  // empty when it has none
  const std::string& program() const { return program_; }
  std::string registryKey() const;  // under HKEY_LOCAL_MACHINE
  DWORD ProcessId() const;

 private:
  ScratchDir dir_{"wlsvc"};
  std::string keyName_, displayName_, program_;
  bool ok_ = false;
};

// Polls until the service's key is gone (the manager removes it once the
// service process has ended); false when it stays.
bool WaitForServiceKeyGone(const std::string& keyName);

}  // namespace wl::test
