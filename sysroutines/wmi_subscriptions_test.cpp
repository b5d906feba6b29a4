// WMI instances as the system's store reads them, arrays included, and an
// instance's text (what a backup keeps) when it is damaged.
#include "sysroutines/wmi_subscriptions.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

// The system's WMI has array properties in its own classes (the test
// system has no subscription classes): they are read, element by element.
TEST(WmiStore, ArrayPropertiesOfTheSystemsInstancesAreRead) {
  std::string error;
  bool anyArray = false;
  for (const char* cls : {"Win32_OperatingSystem", "Win32_BIOS", "Win32_NetworkAdapterConfiguration"}) {
    const auto instances = WmiStore().Instances("root\\cimv2", cls, error);
    ASSERT_TRUE(instances) << error;
    for (const WmiInstance& instance : *instances)
      for (const WmiProperty& p : instance.properties)
        if (p.IsArray() && !p.null && !p.values.empty()) {
          anyArray = true;
          for (const std::string& element : p.values) EXPECT_FALSE(element.empty()) << cls << "." << p.name;
        }
  }
  EXPECT_TRUE(anyArray);
}

// A backup's text of an instance is outside bytes: elements that are no
// texts are refused, not half read.
TEST(WmiStore, AnInstancesTextWithDamagedArraysIsRefused) {
  EXPECT_FALSE(WmiInstanceFromText(R"({"class":"X","path":"X.Name=\"a\"","properties":[{"name":"A","values":"x"}]})"));
  EXPECT_FALSE(WmiInstanceFromText(R"({"class":"X","path":"X.Name=\"a\"","properties":[{"name":"A","values":[1]}]})"));
}

}  // namespace
}  // namespace wl
