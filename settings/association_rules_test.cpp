#include "settings/association_rules.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

const AssociationTables kTables = BuildAssociationTables("C:\\windows");

TEST(AssociationRules, TablesHoldTheTwentyKeysAndTheHelpViewerCommand) {
  for (const auto& key : kTables.AssociationKeys) {
    ASSERT_GE(key.size(), 20u);
    EXPECT_EQ(key[0], '\\');
  }
  EXPECT_EQ(kTables.AssociationKeys[1], "\\exefile\\shell\\open\\command");
  EXPECT_EQ(kTables.AssociationKeys[18], "\\Windows Media Video\\Shell\\Open\\Command");
  EXPECT_EQ(kTables.ExpectedCommands[10], "\"C:\\windows\\HH.EXE\" %1");
  EXPECT_EQ(kTables.ExpectedCommands[1], "\"%1\" %*");
  EXPECT_EQ(kTables.ExpectedCommands[6], "\"%1\" /S");
}

TEST(AssociationRules, CaptionsFallBackToTheBareClassName) {
  EXPECT_EQ(AssociationClassKey(kTables.AssociationKeys[0]), "\\regedit\\");
  EXPECT_EQ(AssociationBareName(kTables.AssociationKeys[0]), "regedit");
  EXPECT_EQ(AssociationBareName(kTables.AssociationKeys[2]), "comfile");
  EXPECT_EQ(AssociationBareName(kTables.AssociationKeys[18]), "Windows Media Video");
  EXPECT_EQ(AssociationBareName(kTables.AssociationKeys[10]), "chm.file");
}

TEST(AssociationRules, LaunchersMustMatchExactly) {
  EXPECT_EQ(JudgeAssociation(kTables, 1, "\"%1\" %*"), AssociationVerdict::AllRight);
  EXPECT_EQ(JudgeAssociation(kTables, 1, "\"%1\"  %*"), AssociationVerdict::Distrustful);  // two blanks
  EXPECT_EQ(JudgeAssociation(kTables, 1, "\"%1\" %* "), AssociationVerdict::Distrustful);  // no trimming
  EXPECT_EQ(JudgeAssociation(kTables, 1, "evil.exe \"%1\" %*"), AssociationVerdict::Distrustful);
  EXPECT_EQ(JudgeAssociation(kTables, 2, ""), AssociationVerdict::Distrustful);  // a missing class
  EXPECT_EQ(JudgeAssociation(kTables, 6, "\"%1\" /s"), AssociationVerdict::AllRight);
  EXPECT_EQ(JudgeAssociation(kTables, 6, "\"%1\" %*"), AssociationVerdict::Distrustful);
  for (std::size_t i : {1, 2, 3, 4, 5, 6, 10}) EXPECT_TRUE(AssociationReportsHijack(i)) << i;
  for (std::size_t i : {0, 7, 8, 9, 11, 19}) EXPECT_FALSE(AssociationReportsHijack(i)) << i;
}

TEST(AssociationRules, AcceptedFormsAreComparedUnexpandedInUpperCase) {
  EXPECT_EQ(JudgeAssociation(kTables, 0, "regedit.exe \"%1\""), AssociationVerdict::AllRight);
  EXPECT_EQ(JudgeAssociation(kTables, 0, "regedit.exe %1"), AssociationVerdict::AllRight);
  EXPECT_EQ(JudgeAssociation(kTables, 0, "C:\\windows\\regedit.exe %1"), AssociationVerdict::Distrustful);
  EXPECT_EQ(JudgeAssociation(kTables, 7, "%SystemRoot%\\system32\\NOTEPAD.EXE %1"), AssociationVerdict::AllRight);
  EXPECT_EQ(JudgeAssociation(kTables, 8, "notepad.exe %1"), AssociationVerdict::AllRight);
  EXPECT_EQ(JudgeAssociation(kTables, 7, "C:\\WINDOWS\\system32\\notepad.exe %1"), AssociationVerdict::Distrustful);
  EXPECT_EQ(JudgeAssociation(kTables, 9, "%SystemRoot%\\System32\\winhlp32.exe %1"), AssociationVerdict::AllRight);
  EXPECT_EQ(JudgeAssociation(kTables, 9, "%SystemRoot%\\winhlp32.exe %1"), AssociationVerdict::Distrustful);
  // The help viewer's command holds the Windows directory; case does not count.
  EXPECT_EQ(JudgeAssociation(kTables, 10, "\"c:\\WINDOWS\\hh.exe\" %1"), AssociationVerdict::AllRight);
  EXPECT_EQ(JudgeAssociation(kTables, 10, "\"D:\\windows\\hh.exe\" %1"), AssociationVerdict::Distrustful);
  // Entries 11 to 19 are never judged, whatever they hold.
  for (std::size_t i = 11; i < kAssociationCount; ++i) {
    EXPECT_EQ(JudgeAssociation(kTables, i, ""), AssociationVerdict::OwnVerdict);
    EXPECT_EQ(JudgeAssociation(kTables, i, "evil.exe %1"), AssociationVerdict::OwnVerdict);
  }
  EXPECT_STREQ(AssociationVerdictText(AssociationVerdict::Distrustful), "Distrustful setting.Be careful !");
  EXPECT_EQ(AssociationVerdictImage(AssociationVerdict::AllRight), 5);
  EXPECT_EQ(AssociationVerdictImage(AssociationVerdict::Distrustful), 4);
  EXPECT_EQ(AssociationVerdictImage(AssociationVerdict::OwnVerdict), 7);
}

TEST(AssociationRules, EveryRestoredCommandIsJudgedAllRight) {
  for (std::size_t i = 0; i < kAssociationCount; ++i) {
    if (!HasDefaultCommand(i)) {
      EXPECT_GE(i, kExpectedCommandCount);
      EXPECT_THROW(DefaultCommandFor(kTables, i), std::out_of_range);
      continue;
    }
    const RestoreCommand r = DefaultCommandFor(kTables, i);
    EXPECT_EQ(JudgeAssociation(kTables, i, r.command), AssociationVerdict::AllRight) << i;
    EXPECT_EQ(r.expandable, i >= 7 && i <= 9) << i;
  }
  EXPECT_EQ(DefaultCommandFor(kTables, 7).command, "%SYSTEMROOT%\\SYSTEM32\\NOTEPAD.EXE %1");
  EXPECT_EQ(CustomOpenCommand("C:\\Program Files\\Viewer\\v.exe"), "\"C:\\Program Files\\Viewer\\v.exe\" \"%1\"");
}

}  // namespace
}  // namespace wl
