#include "service/service_rules.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace wl {
namespace {

TEST(ServiceRules, StartTypeNames) {
  EXPECT_EQ(StartTypeName(0), "Boot_Start");
  EXPECT_EQ(StartTypeName(1), "System_Start");
  EXPECT_EQ(StartTypeName(2), "Auto_Start");
  EXPECT_EQ(StartTypeName(3), "Manual_Start");
  EXPECT_EQ(StartTypeName(4), "Disabled");
  EXPECT_EQ(StartTypeName(5), "Unknown");
  EXPECT_EQ(StartTypeName(0xFFFFFFFFu), "Unknown");
  EXPECT_EQ(StartTypeName(std::nullopt), "Unknown");
  EXPECT_EQ(ServiceStateText(true), "Stopp");
  EXPECT_EQ(ServiceStateText(false), "Running");
}

TEST(ServiceRules, PathIsUpperCasedWithTheFirstSystemRootReplaced) {
  EXPECT_EQ(ServicePathText("%SystemRoot%\\System32\\svchost.exe -k netsvcs", "C:\\windows"),
            "C:\\windows\\SYSTEM32\\SVCHOST.EXE -K NETSVCS");
  // Only the first occurrence; the directory is inserted as given, not upper-cased.
  EXPECT_EQ(ServicePathText("%systemroot%\\a.exe %SYSTEMROOT%\\b", "C:\\Win"), "C:\\Win\\A.EXE %SYSTEMROOT%\\B");
  EXPECT_EQ(ServicePathText("", "C:\\windows"), "");
  // Non-ASCII letters are left alone rather than mangled.
  EXPECT_EQ(ServicePathText("c:\\pr\xC3\xB6g\\x.exe", "C:\\W"), "C:\\PR\xC3\xB6G\\X.EXE");
}

// A simulated service: each query returns the next scripted status (the last
// one repeats); the clock advances only by what the wait sleeps.
struct FakeService {
  std::deque<std::optional<ServiceProgress>> script;
  uint64_t now = 0;
  std::vector<uint32_t> sleeps;
  int queries = 0;

  ServiceWaitHooks Hooks() {
    return {[this]() -> std::optional<ServiceProgress> {
              ++queries;
              auto s = script.front();
              if (script.size() > 1) script.pop_front();
              return s;
            },
            [this](uint32_t ms) {
              sleeps.push_back(ms);
              now += ms;
            },
            [this] { return now; }};
  }
};

TEST(ServiceWait, ReachesTheTargetSleepingTheWaitHint) {
  FakeService svc;
  svc.script = {ServiceProgress{kServiceStartPending, 1, 250}, ServiceProgress{kServiceRunning, 0, 0}};
  EXPECT_EQ(WaitForServiceState({kServiceStartPending, 0, 500}, kServiceRunning, svc.Hooks()), kServiceRunning);
  EXPECT_EQ(svc.sleeps, (std::vector<uint32_t>{500, 250}));
  // Already there: no sleep, no query.
  FakeService done;
  done.script = {ServiceProgress{kServiceRunning, 0, 0}};
  EXPECT_EQ(WaitForServiceState({kServiceRunning, 0, 0}, kServiceRunning, done.Hooks()), kServiceRunning);
  EXPECT_EQ(done.queries, 0);
}

TEST(ServiceWait, AZeroWaitHintStillPauses) {
  FakeService svc;
  svc.script = {ServiceProgress{kServiceStopPending, 0, 0}, ServiceProgress{kServiceStopped, 0, 0}};
  EXPECT_EQ(WaitForServiceState({kServiceStopPending, 0, 0}, kServiceStopped, svc.Hooks()), kServiceStopped);
  ASSERT_FALSE(svc.sleeps.empty());
  for (uint32_t ms : svc.sleeps) EXPECT_GE(ms, kServiceMinSleepMs);
}

TEST(ServiceWait, AServiceThatStaysPendingIsGivenUpAtTheBound) {
  // Pending forever with a growing checkpoint: without a bound this never ends.
  FakeService svc;
  uint32_t cp = 0;
  svc.script = {ServiceProgress{kServiceStartPending, 0, 0}};
  auto hooks = svc.Hooks();
  hooks.query = [&]() -> std::optional<ServiceProgress> { return ServiceProgress{kServiceStartPending, ++cp, 7000}; };
  EXPECT_EQ(WaitForServiceState({kServiceStartPending, 0, 7000}, kServiceRunning, hooks), kServiceStartPending);
  EXPECT_EQ(svc.now, kServiceWaitBoundMs);  // the last pause is cut to the bound, not a whole hint past it
}

TEST(ServiceWait, StopsEarlyWhenWaitingCannotHelp) {
  // The query fails.
  FakeService failing;
  failing.script = {std::nullopt};
  EXPECT_EQ(WaitForServiceState({kServiceStartPending, 3, 100}, kServiceRunning, failing.Hooks()),
            kServiceStartPending);
  EXPECT_EQ(failing.queries, 1);
  // The checkpoint goes backwards.
  FakeService backwards;
  backwards.script = {ServiceProgress{kServiceStartPending, 2, 100}};
  EXPECT_EQ(WaitForServiceState({kServiceStartPending, 5, 100}, kServiceRunning, backwards.Hooks()),
            kServiceStartPending);
  EXPECT_EQ(backwards.queries, 1);
  // The service gave up starting and is stopped again: no 30 s of waiting.
  FakeService died;
  died.script = {ServiceProgress{kServiceStopped, 0, 0}};
  EXPECT_EQ(WaitForServiceState({kServiceStartPending, 0, 100}, kServiceRunning, died.Hooks()), kServiceStopped);
  EXPECT_EQ(died.queries, 1);
  EXPECT_LT(died.now, 1000u);
}

}  // namespace
}  // namespace wl
