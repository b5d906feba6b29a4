#include "immunize/immunity_rules.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

StoredFlag Number(uint32_t v) { return {StoredFlag::State::Number, v, 4}; }
StoredFlag Missing() { return {}; }
StoredFlag Text() { return {StoredFlag::State::NotNumber, 0, 1}; }
StoredFlag Unreadable() { return {StoredFlag::State::Unreadable, 0, 0}; }

TEST(ImmunityRules, KillBitDecidesTheStatusAndChangesKeepTheOtherFlags) {
  EXPECT_TRUE(KillBitSet(Number(1024)));
  EXPECT_TRUE(KillBitSet(Number(1025)));  // the kill bit plus another flag: the browser honours it
  EXPECT_TRUE(KillBitSet(Number(0xFFFFFFFF)));
  EXPECT_FALSE(KillBitSet(Number(0)));
  EXPECT_FALSE(KillBitSet(Number(1)));
  EXPECT_FALSE(KillBitSet(Missing()));
  EXPECT_FALSE(KillBitSet({StoredFlag::State::NotNumber, 1024, 1}));
  EXPECT_FALSE(KillBitSet(Unreadable()));

  using Op = FlagChange::Op;
  EXPECT_EQ(KillBitChange(Number(1025), true).op, Op::Keep);
  auto cleared = KillBitChange(Number(1025), false);
  EXPECT_EQ(cleared.op, Op::Write);
  EXPECT_EQ(cleared.value, 1u);
  auto set = KillBitChange(Number(0x10001), true);
  EXPECT_EQ(set.op, Op::Write);
  EXPECT_EQ(set.value, 0x10401u);
  EXPECT_EQ(KillBitChange(Missing(), true).op, Op::Write);
  EXPECT_EQ(KillBitChange(Missing(), true).value, 0x400u);
  EXPECT_EQ(KillBitChange(Missing(), false).op, Op::Keep);
  EXPECT_EQ(KillBitChange(Number(0), false).op, Op::Keep);
  // A value that is not a number is never overwritten.
  EXPECT_EQ(KillBitChange(Text(), true).op, Op::Refuse);
  EXPECT_EQ(KillBitChange(Text(), false).op, Op::Keep);
  EXPECT_EQ(KillBitChange(Unreadable(), true).op, Op::Refuse);
}

TEST(ImmunityRules, SiteZoneIsTakenOnlyFromTheRestrictedZone) {
  using Op = FlagChange::Op;
  EXPECT_TRUE(InRestrictedZone(Number(4)));
  EXPECT_FALSE(InRestrictedZone(Number(2)));
  EXPECT_FALSE(InRestrictedZone(Number(0x404)));
  EXPECT_FALSE(InRestrictedZone(Missing()));
  EXPECT_FALSE(InRestrictedZone(Text()));

  EXPECT_EQ(ZoneChange(Number(4), false).op, Op::Delete);
  EXPECT_EQ(ZoneChange(Number(2), false).op, Op::Keep);  // trusted sites stay trusted
  EXPECT_EQ(ZoneChange(Missing(), false).op, Op::Keep);
  EXPECT_EQ(ZoneChange(Number(4), true).op, Op::Keep);
  EXPECT_EQ(ZoneChange(Number(2), true).op, Op::Write);
  EXPECT_EQ(ZoneChange(Number(2), true).value, 4u);
  EXPECT_EQ(ZoneChange(Missing(), true).value, 4u);
  EXPECT_EQ(ZoneChange(Text(), true).op, Op::Refuse);
  EXPECT_EQ(ZoneChange(Text(), false).op, Op::Keep);
}

TEST(ImmunityRules, PlanHoldsOnlyWhatTheUserChanged) {
  const std::vector<bool> stored = {true, false, true, false, true};
  const std::vector<bool> wanted = {true, true, false, false, false};
  const ImmunityPlan plan = PlanImmunity(stored, wanted);
  EXPECT_EQ(plan.changed, (std::vector<std::size_t>{1, 2, 4}));
  EXPECT_EQ(plan.clearing, 2u);
  EXPECT_TRUE(PlanImmunity(stored, stored).changed.empty());
}

TEST(ImmunityRules, EntriesAreTheFirstTwoHundredLines) {
  std::string text;
  for (int i = 0; i < 250; ++i) text += "{ID-" + std::to_string(i) + "}=x=Name " + std::to_string(i) + "\n";
  const auto entries = ImmunityEntries(StringTable::FromText(text));
  ASSERT_EQ(entries.size(), 200u);
  EXPECT_EQ(entries[0].id, "{ID-0}");
  EXPECT_EQ(entries[0].name, "Name 0");  // after the last "="
  EXPECT_EQ(entries[199].id, "{ID-199}");

  const auto few = ImmunityEntries(StringTable::FromText("a.example=Phishing\nb.example=Malware\n"));
  ASSERT_EQ(few.size(), 2u);
  EXPECT_EQ(few[1].id, "b.example");
  EXPECT_EQ(SpywareItemHeader(few.size()), "Item Name(Total 2)");
  EXPECT_TRUE(ImmunityEntries(StringTable()).empty());
}

TEST(ImmunityRules, Texts) {
  EXPECT_EQ(ImmunityItemText(true, "X"), "Immunized                      X");
  EXPECT_EQ(ImmunityItemText(false, "X"), "Unimmunized                  X");
  EXPECT_EQ(ImmunityItemText(true, "").size(), 31u);
  EXPECT_EQ(ImmunityItemText(false, "").size(), 29u);
  EXPECT_EQ(ImmunityStatusHeader(0), "Status(0 Immunized)");
  EXPECT_EQ(SiteItemHeader(56712), "Website Address(Total 56712)");
}

}  // namespace
}  // namespace wl
