// The "Net Sniffer" page in a window, its engine on a recording socket
// library that delivers packets through the notify messages.
#include "network/sniffer_page.h"

#include <gtest/gtest.h>

#include "network/fake_socket_library.h"
#include "network/packet_listing.h"
#include "network/packet_test_support.h"
#include "network/pcap_file.h"
#include "ui/page_test_host.h"

namespace wl {
namespace {

using ui::test::PageHost;
using ui::test::PumpUntil;
using test::Deliver;
using test::MakePacket;
using test::Net;

class TestSnifferPage : public SnifferPage {
 public:
  explicit TestSnifferPage(ui::PageContext& context) : SnifferPage(context, (test::ResetNet(), test::MakeFakeEngine())) {}
};

class SnifferPageTest : public ::testing::Test {
 protected:
  TestSnifferPage& Page() { return *host_.page; }
  bool Button(int id) { return host_.ButtonEnabled(id); }
  bool Menu(int id) { return host_.MenuEnabled(id); }
  void Select(int gridRow) {
    Page().Grid().Select(static_cast<std::size_t>(gridRow - 1));
    Page().GridClick();
  }
  PageHost<TestSnifferPage> host_;
};

TEST_F(SnifferPageTest, StartFromThePopupSetsBothToolbarAndMenu) {
  using P = SnifferPage;
  EXPECT_TRUE(Button(P::kStartCaptureButton));
  EXPECT_FALSE(Button(P::kStopCaptureButton));
  EXPECT_FALSE(Menu(P::kStopCaptureMenuItem));
  EXPECT_TRUE(Page().InvokeAction(P::kStartCaptureMenuItem));
  EXPECT_FALSE(Button(P::kStartCaptureButton));
  EXPECT_TRUE(Button(P::kStopCaptureButton));
  EXPECT_FALSE(Menu(P::kStartCaptureMenuItem));
  EXPECT_TRUE(Menu(P::kStopCaptureMenuItem));
  EXPECT_TRUE(Page().InvokeAction(P::kStopCaptureButton));
  EXPECT_TRUE(Button(P::kStartCaptureButton));
  EXPECT_TRUE(Menu(P::kStartCaptureMenuItem));
  EXPECT_FALSE(Menu(P::kStopCaptureMenuItem));

  Page().PauseResumeClick();  // after Stop the sockets array still has its entries
  EXPECT_EQ(Page().PauseCaption(), "Resume");
  Page().PauseResumeClick();
  EXPECT_EQ(Page().PauseCaption(), "Pause");
}

TEST_F(SnifferPageTest, CaptureErrorsAreShownAndTheControlsStayTruthful) {
  using P = SnifferPage;
  // Raw sockets refused (no rights; or Wine): the status bar says why.
  Net().failures = {{"socket", WSAEACCES}};
  Page().StartCaptureClick();
  EXPECT_NE(host_.ui.status.find(std::to_string(WSAEACCES)), std::string::npos) << host_.ui.status;
  EXPECT_TRUE(Button(P::kStartCaptureButton));
  EXPECT_FALSE(Button(P::kStopCaptureButton));
  // No address.
  Net().failures = {};
  Net().addresses = {};
  Page().StartCaptureClick();
  EXPECT_EQ(host_.ui.status, "Capture: \xE6\xB2\xA1\xE6\x9C\x89\xE6\x89\xBE\xE5\x88\xB0\xE5\x8F\xAF\xE7\xBB\x91\xE5\xAE\x9A\xE7\x9A\x84IP!");
  EXPECT_TRUE(Button(P::kStartCaptureButton));
  EXPECT_TRUE(host_.ui.messages.empty());
}

TEST(SnifferPageLibrary, AFailedStartShowsTheMessageAndKeepsStartEnabled) {
  PageHost<TestSnifferPage> host;
  Net().loadFails = true;
  host.page->StartCaptureClick();
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(host.ui.messages[0].text, "Unable to register ws2_32.dll");
  EXPECT_TRUE(host.ButtonEnabled(SnifferPage::kStartCaptureButton));
  EXPECT_FALSE(host.ButtonEnabled(SnifferPage::kStopCaptureButton));
  EXPECT_NE(host.ui.status.find("Unable to register"), std::string::npos);
}

TEST_F(SnifferPageTest, PacketsFillTheGridWrapAfter200AndTheViewCatchesUp) {
  Page().StartCaptureClick();
  auto& grid = Page().Grid();
  EXPECT_EQ(grid.ItemCount(), 1u);  // the empty row
  for (int i = 1; i <= 5; ++i)
    Deliver(Page().Engine(), 1, MakePacket({.protocol = 17, .sourcePort = static_cast<uint16_t>(i), .payload = "p"}));
  // Not repainted per packet: the timer brings the grid up to date.
  EXPECT_EQ(grid.ItemCount(), 1u);
  EXPECT_TRUE(PumpUntil([&] { return grid.ItemCount() == 6u; }, std::chrono::seconds(3)));
  EXPECT_EQ(Page().CellText(5, 2), "5");
  EXPECT_EQ(Page().CellText(6, 0), "");
  for (int i = 6; i <= 200; ++i)
    Deliver(Page().Engine(), 0, MakePacket({.protocol = 6, .sourcePort = static_cast<uint16_t>(i)}));
  Page().SyncGrid();
  EXPECT_EQ(grid.ItemCount(), 1u);  // cut back to an empty row 1
  Deliver(Page().Engine(), 0, MakePacket({.protocol = 1, .icmpType = 3, .icmpCode = 1}));
  Page().SyncGrid();
  ASSERT_EQ(grid.ItemCount(), 2u);
  EXPECT_EQ(grid.ShownText(0, 0), "ICMP");
  EXPECT_EQ(grid.ShownText(0, 2), "3");
  EXPECT_EQ(grid.ShownText(0, 4), "1");
}

TEST_F(SnifferPageTest, TheDumpOfTheSelectedPacket) {
  Page().StartCaptureClick();
  Deliver(Page().Engine(), 0, MakePacket({.protocol = 17, .payload = "ABCDEFGHIJ"}));
  std::string odd = "ab";
  odd += '\0';
  odd += "c\x0A\x14";
  Deliver(Page().Engine(), 0, MakePacket({.protocol = 6, .payload = odd}));
  Page().SyncGrid();
  Select(1);
  EXPECT_EQ(Page().DumpText(), "41 42 43 44 45 46 47 48   |  ABCDEFGH\r\n49 4A                     |  IJ\r\n");
  EXPECT_EQ(Page().LineText(), "ABCDEFGHIJ");
  EXPECT_EQ(Page().CellText(1, 5), "10");
  Select(2);
  EXPECT_EQ(Page().CellText(2, 6), "ab");  // up to the zero byte
  EXPECT_EQ(Page().CellText(2, 5), "6");
  EXPECT_EQ(Page().DumpText(), "61 62 00 63 0A 14         |  ab.c.\x14\r\n");
  EXPECT_EQ(Page().LineText(), "ab.c.\x14");
  // The empty last row shows empty views.
  Select(3);
  EXPECT_EQ(Page().DumpText(), "");
  EXPECT_EQ(Page().LineText(), "");
  Page().ClearClick();
  EXPECT_EQ(Page().Grid().ItemCount(), 1u);
}

// The grid and the console listing read payload text alike: valid GBK, bytes
// that form no character, a lead byte at the end.
TEST_F(SnifferPageTest, TheGridAndTheListingShowTheSamePayloadText) {
  wl::test::ScratchDir dir("wlsniffcp");
  const std::string file = dir.File("codepage.pcap");
  const std::vector<std::string> payloads = {"\xB9\xE3\xB8\xE6 update", "\x81", "\xFF\xFE\x80\x80", "ok\xB9",
                                             "plain"};
  Page().StartCaptureClick();
  for (const std::string& payload : payloads) Deliver(Page().Engine(), 0, MakePacket({.protocol = 17, .payload = payload}));
  Page().SyncGrid();
  Page().chooseFile = [&](bool) -> std::optional<std::string> { return file; };
  Page().SaveCaptureClick();
  PageText text;
  std::string error;
  ASSERT_TRUE(PacketsPageText(file, text, error)) << error;
  ASSERT_EQ(text.rows.size(), payloads.size());
  EXPECT_EQ(Page().CellText(1, 6), "\xE5\xB9\xBF\xE5\x91\x8A update");
  for (std::size_t i = 0; i < payloads.size(); ++i) {
    const std::string shown = Page().CellText(static_cast<int>(i + 1), 6);
    EXPECT_FALSE(shown.empty()) << i;
    EXPECT_EQ(text.rows[i][6], shown) << i;
  }
}

TEST_F(SnifferPageTest, SaveAndOpenACapture) {
  wl::test::ScratchDir dir("wlsniff");
  const std::string file = dir.File("saved.pcap");
  Page().StartCaptureClick();
  const auto a = MakePacket({.protocol = 6, .source = {10, 0, 0, 9}, .sourcePort = 1234, .payload = "first"});
  const auto b = MakePacket({.protocol = 17, .dest = {8, 8, 8, 8}, .destPort = 53, .payload = "second"});
  Page().now = [] { return std::pair<int64_t, uint32_t>{1700000000, 123456000}; };
  Deliver(Page().Engine(), 0, a);
  Deliver(Page().Engine(), 1, b);
  Page().chooseFile = [&](bool save) -> std::optional<std::string> {
    EXPECT_TRUE(save);
    return file;
  };
  Page().SaveCaptureClick();
  EXPECT_TRUE(host_.ui.messages.empty());
  const std::string bytes = wl::test::ReadBytes(file);
  std::vector<std::vector<uint8_t>> read;
  const auto result = ReadCapture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  [&](const CapturePacket& p) {
                                    read.emplace_back(p.data, p.data + p.size);
                                    EXPECT_EQ(p.seconds, 1700000000);
                                    EXPECT_EQ(p.nanoseconds, 123456000u);
                                  });
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(read, (std::vector<std::vector<uint8_t>>{a, b}));

  // Opened in another page: the same rows.
  PageHost<TestSnifferPage> other;
  other.page->chooseFile = [&](bool save) -> std::optional<std::string> {
    EXPECT_FALSE(save);
    return file;
  };
  other.page->OpenCaptureClick();
  ASSERT_EQ(other.page->Grid().ItemCount(), 3u);
  for (int r = 1; r <= 2; ++r)
    for (int c = 0; c < 7; ++c) EXPECT_EQ(other.page->CellText(r, c), Page().CellText(r, c)) << r << "," << c;
  EXPECT_EQ(other.page->CellText(1, 1), "10.0.0.9");

  // A damaged file: the packets before the damage, and a warning.
  wl::test::WriteBytes(file, bytes.substr(0, bytes.size() - 3));
  other.page->ClearClick();
  other.page->OpenCaptureClick();
  EXPECT_EQ(other.page->Grid().ItemCount(), 2u);
  ASSERT_EQ(other.ui.messages.size(), 1u);
  EXPECT_NE(other.ui.messages[0].text.find("ends inside a packet record"), std::string::npos);
  // Not a capture file.
  wl::test::WriteBytes(file, "plain text");
  other.page->OpenCaptureClick();
  ASSERT_EQ(other.ui.messages.size(), 2u);
  EXPECT_NE(other.ui.messages[1].text.find("not a capture file"), std::string::npos);
}

}  // namespace
}  // namespace wl
