// The capture engine through a recording socket library: raw receive-all
// sockets exist neither under Wine nor without administrative rights.
#include "network/cap_ip.h"

#include <gtest/gtest.h>

#include "network/fake_socket_library.h"
#include "network/packet_test_support.h"
#include "win32/system_error.h"

namespace wl {
namespace {

using test::Deliver;
using test::MakeFakeEngine;
using test::Net;

struct Cap {
  std::string ip, proto, sourceIP, destIP, sourcePort, destPort;
  int headerSize = 0, dataSize = 0;
  std::string data;
};

class CapIpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetNet();
    engine_ = MakeFakeEngine();
    ASSERT_NE(engine_->NotifyWindow(), nullptr);
    engine_->OnCap = [this](const std::string& ip, const std::string& proto, const std::string& s,
                            const std::string& d, const std::string& sp, const std::string& dp, const uint8_t* header,
                            int hs, const uint8_t* data, int ds) {
      EXPECT_EQ(data, header + hs);
      caps_.push_back({ip, proto, s, d, sp, dp, hs, ds, std::string(reinterpret_cast<const char*>(data), ds)});
    };
    engine_->OnError = [this](const std::string& e) { errors_.push_back(e); };
  }
  std::unique_ptr<Tcap_ip> engine_;
  std::vector<Cap> caps_;
  std::vector<std::string> errors_;
};

TEST_F(CapIpTest, TwoAddressesOpenTwoSocketsReportingOn1224And1225) {
  engine_->Start();
  EXPECT_EQ(engine_->Addresses(), (std::vector<std::string>{"10.0.0.5", "192.168.1.7"}));
  EXPECT_EQ(Net().calls, (std::vector<std::string>{
                             "socket 2 3 0", "bind 100 10.0.0.5:0 size=16", "ioctl 100 98000001 in=1 out=44",
                             "select 100 1224 33", "socket 2 3 0", "bind 101 192.168.1.7:1 size=16",
                             "ioctl 101 98000001 in=1 out=44", "select 101 1225 33"}));
  EXPECT_EQ(engine_->CapturingSockets(), 2u);
  EXPECT_TRUE(errors_.empty());

  const auto tcp = test::MakePacket({.protocol = 6, .source = {1, 2, 3, 4}, .dest = {192, 168, 1, 7},
                                     .sourcePort = 443, .destPort = 50000, .payload = "hello"});
  Deliver(*engine_, 1, tcp);
  ASSERT_EQ(caps_.size(), 1u);
  EXPECT_EQ(caps_[0].ip, "192.168.1.7");
  EXPECT_EQ(caps_[0].proto, "TCP");
  EXPECT_EQ(caps_[0].sourceIP, "1.2.3.4");
  EXPECT_EQ(caps_[0].sourcePort, "443");
  EXPECT_EQ(caps_[0].destPort, "50000");
  EXPECT_EQ(caps_[0].headerSize, 40);
  EXPECT_EQ(caps_[0].data, "hello");

  // An ICMP echo request; protocol 47; a packet cut inside its TCP header.
  Deliver(*engine_, 0, test::MakePacket({.protocol = 1, .icmpType = 8, .icmpCode = 0, .payload = "abcd"}));
  Deliver(*engine_, 0, test::MakePacket({.protocol = 47, .payload = "gre"}));
  auto cut = test::MakePacket({.protocol = 6, .payload = "lost"});
  cut.resize(22);
  Deliver(*engine_, 0, cut);
  ASSERT_EQ(caps_.size(), 4u);
  EXPECT_EQ(caps_[1].ip, "10.0.0.5");
  EXPECT_EQ(caps_[1].sourcePort, "8");
  EXPECT_EQ(caps_[1].destPort, "0");
  EXPECT_EQ(caps_[1].headerSize, 28);
  EXPECT_EQ(caps_[2].proto, "");
  EXPECT_EQ(caps_[2].sourcePort, "0");
  EXPECT_EQ(caps_[2].headerSize, 20);
  EXPECT_EQ(caps_[3].headerSize, 22);
  EXPECT_EQ(caps_[3].dataSize, 0);
  EXPECT_EQ(caps_[3].sourcePort, "0");

  // A message past the sockets gets default processing; a notification with
  // nothing to receive reports the receive error; a closed peer delivers nothing.
  SendMessageW(engine_->NotifyWindow(), Tcap_ip::kFirstMessage + 2, 0, FD_READ);
  EXPECT_EQ(caps_.size(), 4u);
  SendMessageW(engine_->NotifyWindow(), Tcap_ip::kFirstMessage, 100, FD_READ);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], std::to_string(WSAEWOULDBLOCK) + win32::SystemErrorText(WSAEWOULDBLOCK));
  Deliver(*engine_, 0, {});
  EXPECT_EQ(caps_.size(), 4u);
}

TEST_F(CapIpTest, PauseAndStopBeforeStartDoNothingPauseDropsPackets) {
  engine_->Pause();
  engine_->Stop();
  EXPECT_FALSE(engine_->Paused());
  EXPECT_EQ(Net().loads, 0);
  EXPECT_TRUE(Net().calls.empty());

  engine_->Start();
  engine_->Pause();
  EXPECT_TRUE(engine_->Paused());
  const auto p = test::MakePacket({.protocol = 17, .payload = "x"});
  Deliver(*engine_, 0, p);
  EXPECT_TRUE(caps_.empty());
  EXPECT_TRUE(Net().inbox[100].empty());  // read and dropped
  engine_->Pause();
  Deliver(*engine_, 0, p);
  EXPECT_EQ(caps_.size(), 1u);
}

TEST_F(CapIpTest, SecondStartAfterStopDoesNotLoadTheLibraryAgain) {
  engine_->Start();
  engine_->Stop();
  EXPECT_EQ(Net().calls[8], "close 100");
  EXPECT_EQ(Net().calls[9], "close 101");
  EXPECT_EQ(engine_->CapturingSockets(), 0u);
  // A notification that was on its way when the socket closed reads nothing.
  SendMessageW(engine_->NotifyWindow(), Tcap_ip::kFirstMessage, 100, FD_READ);
  EXPECT_TRUE(errors_.empty());

  Net().addresses = {"10.9.9.9"};
  engine_->Start();
  EXPECT_EQ(Net().loads, 1);
  EXPECT_EQ(Net().startups, 1);
  EXPECT_EQ(engine_->Addresses(), std::vector<std::string>{"10.9.9.9"});
  EXPECT_EQ(Net().calls.back(), "select 102 1224 33");
  engine_.reset();
  EXPECT_EQ(Net().calls.back(), "close 102");  // closed once, on destruction
  EXPECT_EQ(Net().cleanups, 1);
  EXPECT_EQ(Net().unloads, 1);
}

TEST_F(CapIpTest, LibraryErrorsRaiseTheirTexts) {
  auto expectThrow = [&](const char* text) {
    auto engine = MakeFakeEngine();
    try {
      engine->Start();
      ADD_FAILURE() << "no exception for " << text;
    } catch (const ESocketException& e) {
      EXPECT_STREQ(e.what(), text);
    }
    EXPECT_FALSE(engine->Initialised());
  };
  Net().loadFails = true;
  expectThrow("Unable to register ws2_32.dll");
  Net().loadFails = false;
  Net().missing = {"WSAIoctl"};
  expectThrow("\xE5\x8A\xA0\xE8\xBD\xBD" "dll\xE5\x87\xBD\xE6\x95\xB0\xE9\x94\x99\xE8\xAF\xAF!");
  Net().missing = {};
  Net().startupResult = WSAVERNOTSUPPORTED;
  expectThrow("\xE5\x88\x9D\xE5\xA7\x8B\xE5\x8C\x96SOCKET2\xE5\x87\xBD\xE6\x95\xB0\xE5\xA4\xB1\xE8\xB4\xA5!");
  Net().startupResult = 0;
  // Only "recv" may be missing: the start succeeds, reading reports it.
  Net().missing = {"recv"};
  engine_->Start();
  EXPECT_TRUE(engine_->Initialised());
  SendMessageW(engine_->NotifyWindow(), Tcap_ip::kFirstMessage, 100, FD_READ);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].substr(0, 3), "127");
}

TEST_F(CapIpTest, SocketErrorsAreReportedAsCodeAndSystemText) {
  Net().addresses = {};
  engine_->Start();
  EXPECT_EQ(errors_, std::vector<std::string>{"\xE6\xB2\xA1\xE6\x9C\x89\xE6\x89\xBE\xE5\x88\xB0\xE5\x8F\xAF\xE7\xBB"
                                              "\x91\xE5\xAE\x9A\xE7\x9A\x84IP!"});
  EXPECT_TRUE(Net().calls.empty());
  EXPECT_EQ(engine_->CapturingSockets(), 0u);

  // A refused bind is reported; the control request and the selection are still made.
  errors_.clear();
  Net().addresses = {"10.0.0.5"};
  Net().failures = {{"bind", WSAEACCES}};
  engine_->Start();
  EXPECT_EQ(errors_, std::vector<std::string>{std::to_string(WSAEACCES) + win32::SystemErrorText(WSAEACCES)});
  EXPECT_EQ(Net().calls.size(), 4u);
  EXPECT_EQ(engine_->CapturingSockets(), 0u);

  // Receive-all refused (as under Wine, or without rights).
  errors_.clear();
  Net().failures = {{"ioctl", WSAEOPNOTSUPP}};
  engine_->Start();
  EXPECT_EQ(errors_, std::vector<std::string>{std::to_string(WSAEOPNOTSUPP) + win32::SystemErrorText(WSAEOPNOTSUPP)});

  // A socket that cannot be created is reported, and nothing is bound to it.
  errors_.clear();
  Net().calls.clear();
  Net().failures = {{"socket", WSAEPROTONOSUPPORT}};
  engine_->Start();
  EXPECT_EQ(errors_,
            std::vector<std::string>{std::to_string(WSAEPROTONOSUPPORT) + win32::SystemErrorText(WSAEPROTONOSUPPORT)});
  EXPECT_EQ(Net().calls, (std::vector<std::string>{"close 101", "socket 2 3 0"}));

  // Without an error handler the failures are silent.
  engine_->OnError = nullptr;
  EXPECT_TRUE(engine_->CheckSocketResult(SOCKET_ERROR));
  EXPECT_FALSE(engine_->CheckSocketResult(0));
}

}  // namespace
}  // namespace wl

namespace wl {
namespace {

// The real socket library: raw receive-all sockets need administrative
// rights on Windows and are refused under Wine. Either the engine captures,
// or it says why; it never stays silent.
TEST(CapIpSystem, StartOnTheSystemLibraryCapturesOrSaysWhy) {
  Tcap_ip engine;
  std::vector<std::string> errors;
  engine.OnError = [&](const std::string& e) { errors.push_back(e); };
  engine.Start();
  EXPECT_TRUE(engine.Initialised());
  if (engine.CapturingSockets() == 0) {
    ASSERT_FALSE(errors.empty());
    std::printf("capture refused: %s\n", errors.front().c_str());
  }
  engine.Stop();
  EXPECT_EQ(engine.CapturingSockets(), 0u);
}

}  // namespace
}  // namespace wl
