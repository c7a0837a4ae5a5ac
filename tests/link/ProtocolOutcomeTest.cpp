// The link tells what happened and shows nothing: the outcome carries the failure, the
// programmer's code and the notices a window would show, in order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/Frames.h"
#include "link/Crc16.h"
#include "link/Protocol.h"
#include "support/FakeBridge.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

class NoWaitPacer final : public Pacer {
public:
  void spin(std::uint64_t) override {}
};

class ProtocolOutcome : public ::testing::Test {
protected:
  ProtocolOutcome() : protocol(fake, pacer) { fake.BridgeOpen(0, handle); }
  test::FakeBridge fake;
  NoWaitPacer pacer;
  Protocol protocol;
  BridgeHandle handle = kNoHandle;
};

TEST_F(ProtocolOutcome, AFetchedErrorCarriesItsCodeAndTheResetThatFollowed) {
  fake.idleStatus = 0;  // not busy, result bit clear: an error waits
  fake.errorCode = 0x33;
  const Outcome connect = protocol.ConnectTarget(handle, {'2', 0x30, kDefaultIdCode});
  EXPECT_EQ(connect.failure, Outcome::Failure::ProgrammerError);
  EXPECT_EQ(connect.code, 0x33);
  EXPECT_TRUE(connect.resetOk);
  EXPECT_THAT(connect.notices, ElementsAre(Notice{Notice::Kind::Error, "Target is not powered!"}));
  EXPECT_THAT(fake.written, ElementsAre(Bytes{'L'}, Bytes{0x02}, Bytes{'C'}, Bytes{'2'}, Bytes{0x30}));
}

TEST_F(ProtocolOutcome, AResetThatFailsAfterTheErrorAddsItsOwnNotice) {
  fake.idleStatus = 0;
  fake.errorCode = -1;  // the code never arrives
  // The error-request line works, then the reset line does not.
  fake.onFlow = [](test::FakeBridge& f) { f.failFlow = true; };
  const Outcome fetched = protocol.FetchProgrammerError(handle);
  EXPECT_EQ(fetched.failure, Outcome::Failure::UnreadableError);
  EXPECT_FALSE(fetched.resetOk);
  EXPECT_THAT(fetched.notices, ElementsAre(Notice{Notice::Kind::Error, "Unknown error!"},
                                           Notice{Notice::Kind::Error, "Can not reset the programmer!"}));
}

TEST_F(ProtocolOutcome, SilentFailuresHaveNoNotice) {
  const Outcome read = [&] {
    ProgrammerInfo block{};
    return protocol.ReadProgrammerInfo(handle, block);  // no answer at all
  }();
  EXPECT_EQ(read.failure, Outcome::Failure::Link);
  EXPECT_TRUE(read.notices.empty());
  EXPECT_EQ(fake.closes, 1);
}

TEST(Frames, EachFrameCarriesTheCrcOfWhatFollowsLowByteFirst) {
  std::array<std::uint8_t, kPageBytes> page{};
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i);
  const PageFrame frame = MakePageFrame(0x1234, page.data());
  EXPECT_EQ(frame[2], 0x34);
  EXPECT_EQ(frame[3], 0x12);
  EXPECT_EQ(frame[4], 0x00);
  EXPECT_EQ(frame[259], 0xFF);
  const std::uint16_t crc = Crc16(frame.data() + 2, 258);
  EXPECT_EQ(frame[0], crc & 0xFF);
  EXPECT_EQ(frame[1], crc >> 8);

  std::array<std::uint8_t, kReadAnswerSize> answer{};
  const std::uint16_t dataCrc = Crc16(page.data(), page.size());
  answer[0] = static_cast<std::uint8_t>(dataCrc & 0xFF);
  answer[1] = static_cast<std::uint8_t>(dataCrc >> 8);
  std::copy(page.begin(), page.end(), answer.begin() + 2);
  EXPECT_TRUE(ReadAnswerIntact(answer.data()));
  answer[100] ^= 1;
  EXPECT_FALSE(ReadAnswerIntact(answer.data()));
}

}  // namespace
}  // namespace fd
