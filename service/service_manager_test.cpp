#include "service/service_manager.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "service/test_service_fixture.h"

namespace wl {
namespace {

bool Listed(const std::string& displayName) {
  std::vector<std::string> names;
  EXPECT_TRUE(ServiceGetList("", SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS, SERVICE_STATE_ALL, names));
  return std::find(names.begin(), names.end(), displayName) != names.end();
}

TEST(ServiceManager, ListsLooksUpStartsAndStopsARealService) {
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  EXPECT_TRUE(Listed(svc.displayName()));
  EXPECT_EQ(ServiceGetKeyName("", svc.displayName()), svc.keyName());
  std::vector<ServiceListEntry> entries;
  EXPECT_TRUE(ServiceEnumerate("", SERVICE_WIN32_OWN_PROCESS, SERVICE_STATE_ALL, entries));
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [&](const ServiceListEntry& e) {
                            return e.keyName == svc.keyName() && e.displayName == svc.displayName();
                          }),
            1);
  EXPECT_EQ(ServiceGetStatus("", svc.keyName()), kServiceStopped);
  EXPECT_TRUE(ServiceStopped("", svc.keyName()));

  EXPECT_TRUE(ServiceStart("", svc.keyName()));
  EXPECT_EQ(ServiceGetStatus("", svc.keyName()), kServiceRunning);
  EXPECT_FALSE(ServiceStopped("", svc.keyName()));
  EXPECT_TRUE(ServiceStart("", svc.keyName()));  // already running

  EXPECT_TRUE(ServiceStop("", svc.keyName()));
  EXPECT_EQ(ServiceGetStatus("", svc.keyName()), kServiceStopped);
  EXPECT_TRUE(ServiceStop("", svc.keyName()));  // already stopped: still counts as stopped
}

TEST(ServiceManager, UnknownServicesAndNames) {
  EXPECT_EQ(ServiceGetKeyName("", "No Such Service Display Name 7f3a"), "");
  EXPECT_EQ(ServiceGetStatus("", "NoSuchService7f3a"), 0u);
  EXPECT_FALSE(ServiceStopped("", "NoSuchService7f3a"));
  EXPECT_FALSE(ServiceStart("", "NoSuchService7f3a"));
  EXPECT_FALSE(ServiceStop("", "NoSuchService7f3a"));
  // Drivers are not in the list of Win32 services.
  std::vector<std::string> drivers, services;
  ServiceGetList("", SERVICE_DRIVER, SERVICE_STATE_ALL, drivers);
  ServiceGetList("", SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS, SERVICE_STATE_ALL, services);
  for (const auto& d : drivers) EXPECT_EQ(std::count(services.begin(), services.end(), d), 0) << d;
}

TEST(ServiceManager, AStartThatNeverFinishesIsGivenUp) {
  test::TestService svc("--hang-start");
  ASSERT_TRUE(svc.ok());
  EXPECT_FALSE(ServiceStart("", svc.keyName(), 1500));
  EXPECT_EQ(ServiceGetStatus("", svc.keyName()), kServiceStartPending);
  EXPECT_FALSE(ServiceStopped("", svc.keyName()));  // a pending service is not "Stopp"
}

TEST(ServiceManager, AServiceThatRefusesToStopIsReportedNotStopped) {
  test::TestService svc("--refuse-stop");
  ASSERT_TRUE(svc.ok());
  ASSERT_TRUE(ServiceStart("", svc.keyName()));
  EXPECT_FALSE(ServiceStop("", svc.keyName()));
  EXPECT_EQ(ServiceGetStatus("", svc.keyName()), kServiceRunning);
}

}  // namespace
}  // namespace wl
