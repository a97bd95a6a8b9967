// The fault layer on its own: which requests it defers, and that its decisions depend on
// the seed and the traffic only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/faults/FaultInjector.h"

namespace zorvan::sim {
namespace {

class CountingSink final : public AuxSink {
  public:
    AuxReply Transact(const AuxRequest&) override {
        ++reached;
        return AuxAck();
    }
    int reached = 0;
};

// One letter per event: D deferred, . passed for requests; N withheld, C corrupted, - clean
// for replies.
std::string Pattern(const FaultRates& rates, uint64_t seed) {
    CountingSink sink;
    FaultInjector faults(sink, rates, seed);
    std::string out;
    for (int i = 0; i < 40; ++i) {
        AuxRequest r;
        r.command = i % 2 == 0 ? AuxCommand::NativeRead : AuxCommand::I2cRead;
        r.length = 1;
        out += faults.Transact(r).status == AuxStatus::Defer ? 'D' : '.';
        size_t index = 0;
        uint8_t mask = 0;
        out += faults.WithholdReply() ? 'N' : faults.CorruptReply(8, index, mask) ? 'C' : '-';
        if (out.back() == 'C' && (index >= 8 || mask == 0)) {
            out += '!';
        }
    }
    return out;
}

TEST(FaultInjector, SameSeedSameFaults) {
    const FaultRates rates{0.3, 0.3, 0.2, 0.2};
    const std::string first = Pattern(rates, 5);
    EXPECT_EQ(Pattern(rates, 5), first);
    EXPECT_NE(Pattern(rates, 6), first);
    EXPECT_NE(first.find('D'), std::string::npos);
    EXPECT_NE(first.find('N'), std::string::npos);
    EXPECT_NE(first.find('C'), std::string::npos);
    EXPECT_EQ(first.find('!'), std::string::npos) << "a corruption outside the reply";
}

TEST(FaultInjector, RatesZeroAndOneAreNeverAndAlways) {
    const std::string none = Pattern({0, 0, 0, 0}, 9);
    EXPECT_EQ(none.find_first_not_of(".-"), std::string::npos);
    const std::string all = Pattern({1, 1, 1, 0}, 9);
    EXPECT_EQ(all.find_first_not_of("DN"), std::string::npos);
}

TEST(FaultInjector, OnlyTheRequestsOfItsKindAreDeferred) {
    CountingSink sink;
    FaultInjector faults(sink, {1, 0, 0, 0}, 1);
    AuxRequest native;
    native.command = AuxCommand::NativeWrite;
    native.data = {1};
    AuxRequest i2c;
    i2c.command = AuxCommand::I2cWrite;
    i2c.data = {1};
    EXPECT_EQ(faults.Transact(native).status, AuxStatus::Defer);
    EXPECT_EQ(faults.Transact(i2c).status, AuxStatus::Ack);
    EXPECT_EQ(sink.reached, 1);
    EXPECT_EQ(faults.Counts().auxDeferred, 1u);
    EXPECT_EQ(faults.Counts().i2cDeferred, 0u);
}

}  // namespace
}  // namespace zorvan::sim
