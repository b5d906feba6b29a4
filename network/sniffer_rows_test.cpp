#include "network/sniffer_rows.h"

#include <gtest/gtest.h>

#include "network/packet_test_support.h"

namespace wl {
namespace {

using test::MakePacket;

TEST(PayloadDump, TenBytesGiveAFullAndAPaddedLine) {
  const std::string text = "ABCDEFGHIJ";
  const PayloadDump dump = DumpPayload(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  ASSERT_EQ(dump.hexLines.size(), 2u);
  EXPECT_EQ(dump.hexLines[0], "41 42 43 44 45 46 47 48   |  ABCDEFGH");
  EXPECT_EQ(dump.hexLines[1], "49 4A " + std::string(18, ' ') + "  |  IJ");
  EXPECT_EQ(dump.text, "ABCDEFGHIJ");
}

TEST(PayloadDump, BytesBelowTwentyShowAsDots) {
  const uint8_t bytes[] = {0x0A, 0x14, 0x13, 0x00, 0xC4, 0xE3};
  const PayloadDump dump = DumpPayload(bytes, sizeof bytes);
  ASSERT_EQ(dump.hexLines.size(), 1u);
  EXPECT_EQ(dump.hexLines[0], "0A 14 13 00 C4 E3         |  .\x14..\xC4\xE3");
  EXPECT_EQ(dump.text, ".\x14..\xC4\xE3");
  EXPECT_TRUE(DumpPayload(bytes, 0).hexLines.empty());
}

TEST(SnifferRows, ListsAPacketInTheLastRowAndKeepsAnEmptyRow) {
  SnifferRows rows;
  EXPECT_EQ(rows.RowCount(), 2);
  std::string payload = "abc";
  payload += '\0';
  payload += "def";
  const auto p = MakePacket({.protocol = 17, .source = {1, 2, 3, 4}, .dest = {5, 6, 7, 8}, .sourcePort = 53,
                             .destPort = 1234, .payload = payload});
  rows.AddPacket(p.data(), p.size(), 1700000000, 5000);
  ASSERT_EQ(rows.RowCount(), 3);
  const SnifferRow& r = rows.Row(1);
  EXPECT_EQ(r.cells, (std::array<std::string, 7>{"UDP", "1.2.3.4", "53", "5.6.7.8", "1234", "7", "abc"}));
  EXPECT_EQ(r.payload.size(), 7u);  // the dump shows every byte
  EXPECT_EQ(r.packet, p);
  EXPECT_EQ(r.seconds, 1700000000);
  EXPECT_TRUE(rows.IsEmptyRow(2));
  EXPECT_TRUE(rows.Row(2).payload.empty());
}

TEST(SnifferRows, The200thPacketFillsRow200ThenTheGridStartsAgainAtRow1) {
  SnifferRows rows;
  for (int i = 1; i <= 200; ++i) {
    const auto p = MakePacket({.protocol = 6, .sourcePort = static_cast<uint16_t>(i)});
    rows.AddPacket(p.data(), p.size());
    if (i == 199) {
      EXPECT_EQ(rows.RowCount(), 201);
      EXPECT_EQ(rows.Row(199).cells[2], "199");
    }
  }
  // Cut back to the header and an empty row 1.
  EXPECT_EQ(rows.RowCount(), 2);
  EXPECT_TRUE(rows.IsEmptyRow(1));
  EXPECT_EQ(rows.Row(1).cells[0], "");
  const auto next = MakePacket({.protocol = 6, .sourcePort = 201, .payload = "n"});
  rows.AddPacket(next.data(), next.size());
  EXPECT_EQ(rows.RowCount(), 3);
  EXPECT_EQ(rows.Row(1).cells[2], "201");
  EXPECT_EQ(rows.Row(1).payload, std::vector<uint8_t>{'n'});
  EXPECT_EQ(rows.Listed(), 201u);

  rows.Clear();
  EXPECT_EQ(rows.RowCount(), 2);
  EXPECT_EQ(rows.PacketCount(), 0);
}

}  // namespace
}  // namespace wl
