// WMI instances as the system's store reads them, arrays included, and an
// instance's text (what a backup keeps) with every kind of property.
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

TEST(WmiStore, AnInstancesTextKeepsArraysAndRefusesDamagedOnes) {
  WmiInstance consumer{"NTEventLogEventConsumer",
                       "NTEventLogEventConsumer.Name=\"WlLog\"",
                       {{"Name", 8, "WlLog"},
                        {"InsertionStringTemplates", 8 | kWmiArrayFlag, "", false, {"%TargetInstance.Name%", "", "\xC3\xA4"}},
                        {"EventID", 19, "10"},
                        {"Empty", 8 | kWmiArrayFlag, "", false, {}},
                        {"Gone", 8 | kWmiArrayFlag, "", true}}};
  const auto back = WmiInstanceFromText(WmiInstanceText(consumer));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, consumer);
  EXPECT_TRUE(WmiPropertiesNotKept(consumer, *back).empty());
  WmiInstance lost = consumer;
  lost.properties[1].values.pop_back();
  lost.properties.erase(lost.properties.begin() + 2);
  EXPECT_EQ(WmiPropertiesNotKept(consumer, lost), (std::vector<std::string>{"InsertionStringTemplates", "EventID"}));
  EXPECT_FALSE(WmiInstanceFromText(R"({"class":"X","path":"X.Name=\"a\"","properties":[{"name":"A","values":"x"}]})"));
  EXPECT_FALSE(WmiInstanceFromText(R"({"class":"X","path":"X.Name=\"a\"","properties":[{"name":"A","values":[1]}]})"));
}

}  // namespace
}  // namespace wl
