#include "core/task_definition.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

using Kind = TaskXmlNode::Kind;

// Nodes of a small document written as "<A>", "text", "</>".
std::vector<TaskXmlNode> Nodes(std::initializer_list<std::string> parts) {
  std::vector<TaskXmlNode> nodes;
  for (const auto& part : parts) {
    if (part == "</>")
      nodes.push_back({Kind::End, {}});
    else if (part.size() > 2 && part.front() == '<' && part.back() == '>')
      nodes.push_back({Kind::Start, part.substr(1, part.size() - 2)});
    else
      nodes.push_back({Kind::Text, part});
  }
  return nodes;
}

TEST(TaskFromXmlNodes, ReadsStateTriggersAndEveryKindOfAction) {
  const auto task = TaskFromXmlNodes(
      Nodes({"<Task>",
             "<Triggers>", "<LogonTrigger>", "</>", "<BootTrigger>", "<Enabled>", " false ", "</>", "</>",
             "<CalendarTrigger>", "<Enabled>", "true", "</>", "</>", "<Unknown>", "</>", "</>",
             "<Settings>", "<Enabled>", "false", "</>", "<Hidden>", "1", "</>", "</>",
             "<Actions>",
             "<Exec>", "<Command>", "C:\\a\\", "prog.exe", "</>", "<Arguments>", "/x", "</>", "</>",
             "<ComHandler>", "<ClassId>", "{1}", "</>", "<Data>", "d", "</>", "</>",
             "<SendEmail>", "<To>", "a@b", "</>", "<Subject>", "hi", "</>", "</>",
             "<ShowMessage>", "<Title>", "t", "</>", "<Body>", "b", "</>", "</>",
             "</>",
             "<Principals>", "<Principal>", "<UserId>", " S-1-5-21-1-2-3-1001 ", "</>", "</>",
             "<Principal>", "<UserId>", "S-1-5-18", "</>", "</>", "</>",
             "</>"}),
      "\\F\\T");
  ASSERT_TRUE(task);
  EXPECT_EQ(task->path, "\\F\\T");
  EXPECT_FALSE(task->enabled);
  EXPECT_TRUE(task->hidden);
  EXPECT_EQ(task->triggers, (std::vector<std::string>{"At log on", "At start-up (disabled)", "On a schedule"}));
  ASSERT_EQ(task->actions.size(), 4u);
  EXPECT_EQ(task->actions[0].command, "C:\\a\\prog.exe");  // text in pieces is joined
  EXPECT_EQ(task->actions[0].arguments, "/x");
  EXPECT_EQ(task->actions[1].classId, "{1}");
  EXPECT_EQ(task->actions[1].data, "d");
  EXPECT_EQ(task->actions[2].to, "a@b");
  EXPECT_EQ(task->actions[3].title, "t");
  EXPECT_EQ(task->userId, "S-1-5-21-1-2-3-1001");  // the first principal's
}

TEST(TaskFromXmlNodes, OnlyTheRightPlacesCountAndBrokenInputLosesNothingElse) {
  // A Command outside Actions, an Enabled inside an action, an Exec below a
  // trigger: none of them is read as what it names elsewhere.
  const auto task = TaskFromXmlNodes(
      Nodes({"<Task>", "<Command>", "C:\\no.exe", "</>", "<UserId>", "S-1-5-18", "</>",
             "<Triggers>", "<LogonTrigger>", "<Exec>", "</>", "</>", "</>",
             "<Actions>", "<Exec>", "<Enabled>", "false", "</>", "<Command>", "C:\\yes.exe"}),
      "\\T");  // cut short: no end nodes
  ASSERT_TRUE(task);
  EXPECT_TRUE(task->enabled);
  ASSERT_EQ(task->actions.size(), 1u);
  EXPECT_EQ(task->actions[0].command, "C:\\yes.exe");
  EXPECT_EQ(task->userId, "");  // an account outside the principals is none

  EXPECT_FALSE(TaskFromXmlNodes(Nodes({"<Other>", "<Actions>", "</>", "</>"}), "\\T"));
  EXPECT_FALSE(TaskFromXmlNodes({}, "\\T"));
  // More end nodes than starts, and a second root: what came before stays.
  const auto odd = TaskFromXmlNodes(Nodes({"</>", "</>", "<Task>", "<Settings>", "<Hidden>", "true", "</>", "</>",
                                           "</>", "</>", "<Task>", "<Settings>", "<Hidden>", "false"}),
                                    "\\T");
  ASSERT_TRUE(odd);
  EXPECT_TRUE(odd->hidden);
}

TEST(TaskPaths, FolderAndName) {
  EXPECT_EQ(TaskFolderOf("\\T"), "\\");
  EXPECT_EQ(TaskFolderOf("\\A\\B\\T"), "\\A\\B");
  EXPECT_EQ(TaskNameOf("\\A\\B\\T"), "T");
  EXPECT_EQ(TaskNameOf("T"), "T");
  EXPECT_EQ(TriggerText("IdleTrigger"), "On idle");
  EXPECT_EQ(TriggerText("Enabled"), "");
}

}  // namespace
}  // namespace wl
