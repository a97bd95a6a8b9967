#include "tests/sim/isp/IspLink.h"

#include "sim/chip/Crc.h"
#include "sim/demo/DemoDriver.h"

namespace zorvan::sim::testing {

void IspFixture::StartDriver() {
    EnterIsp();
    Download(MakeDemoDriverPayload());
    Run();
    Wait(100);
}

Bytes IspFixture::AwaitStatus(uint32_t length, uint32_t maxPolls) {
    for (uint32_t i = 0; i < maxPolls; ++i) {
        std::optional<Bytes> status = AuxRead(kStatus, 1);
        if (status && (*status)[0] != 0) {
            return AuxRead(kStatus, length).value_or(Bytes{});
        }
        Wait(1);
    }
    return {};
}

bool IspFixture::AwaitFree(uint32_t flagAddress) {
    for (int i = 0; i < 100; ++i) {
        std::optional<Bytes> flag = AuxRead(flagAddress, 1);
        if (flag && (*flag)[0] == 0) {
            return true;
        }
    }
    return false;
}

Bytes IspFixture::ProgramBlock(uint32_t offset, const Bytes& data, uint8_t code,
                               std::optional<uint16_t> crc) {
    Request({0x03, code, static_cast<uint8_t>(0x03 ^ code)});
    if (!AwaitFree(kFirstFlag)) {
        ADD_FAILURE() << "first half never free for the header";
        return {};
    }
    const uint32_t address = 0x400000 + offset;
    const uint32_t n = static_cast<uint32_t>(data.size());
    const Bytes header = {0x00,
                          static_cast<uint8_t>(address >> 16),
                          static_cast<uint8_t>(address >> 8),
                          static_cast<uint8_t>(address),
                          static_cast<uint8_t>(n >> 24),
                          static_cast<uint8_t>(n >> 16),
                          static_cast<uint8_t>(n >> 8),
                          static_cast<uint8_t>(n)};
    EXPECT_TRUE(AuxWrite(kCommand, header));
    EXPECT_TRUE(AuxWrite(kFirstFlag, {0x08}));

    const uint16_t sum = crc.value_or(Crc16Chip(data.data(), data.size()));
    Bytes stream = data;
    stream.insert(stream.end(),
                  {0x00, 0x00, static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)});
    const size_t half = stream.size() / 2;
    if (!AwaitFree(kSecondFlag)) {
        ADD_FAILURE() << "second half never free";
        return {};
    }
    EXPECT_TRUE(
        AuxWrite(kSecondHalf, Bytes(stream.begin(), stream.begin() + static_cast<long>(half))));
    EXPECT_TRUE(AuxWrite(kSecondFlag, {static_cast<uint8_t>(half)}));
    if (!AwaitFree(kFirstFlag)) {
        ADD_FAILURE() << "first half never free for the data";
        return {};
    }
    EXPECT_TRUE(AuxWrite(kCommand, Bytes(stream.begin() + static_cast<long>(half), stream.end())));
    EXPECT_TRUE(AuxWrite(kFirstFlag, {static_cast<uint8_t>(stream.size() - half)}));
    Wait(10);
    return AwaitStatus();
}

}  // namespace zorvan::sim::testing
