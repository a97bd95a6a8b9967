// The Linux backend over a scripted system-call layer: Init and the connector search with
// its probe, the configured connector, the nodes it opens and the I2C address it takes,
// and the four transfers with the kernel's errors as the calls return them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/gfx/linux/GfxLibLinux.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"
#include "core/platform/Trace.h"
#include "tests/gfx/FakeLinux.h"

namespace zorvan::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Calls = std::vector<std::string>;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const Bytes kAck = {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76};

// Copies `message` to the front of a read of `count` bytes, the rest 0xFF (the bus
// released), as the chip's DDC/CI port answers a read longer than its message.
int64_t Answer(const Bytes& message, uint8_t* buffer, size_t count) {
    std::memset(buffer, 0xFF, count);
    std::memcpy(buffer, message.data(), std::min(count, message.size()));
    return static_cast<int64_t>(count);
}

class LinuxBackend : public ::testing::Test {
protected:
    void SetUp() override {
        sys.AddDp("card0-DP-1", "0000:00:02.0", "i915", 0, 5);
        sys.AddDp("card0-DP-2", "0000:00:02.0", "i915", 1, 6);
        // The chip sits behind card0-DP-2; card0-DP-1's bus does not acknowledge 0x37.
        sys.read = [this](const std::string& node, uint8_t* buffer, size_t count) -> int64_t {
            if (node == "/dev/i2c-5") {
                return -linuxsys::kEREMOTEIO;
            }
            if (!replies.empty()) {
                const Bytes reply = replies.front();
                replies.pop_front();
                return Answer(reply, buffer, count);
            }
            return Answer(kAck, buffer, count);
        };
    }

    int32_t InitAndConnect(std::wstring* transcript = nullptr) {
        std::wstring text;
        if (gfx.Init(text) != GFX_OK) {
            return -1;
        }
        uint32_t deviceId = 0;
        const int32_t r = gfx.Connect(deviceId, 0x6E, text);
        if (transcript != nullptr) {
            *transcript = text;
        }
        return r;
    }

    platform::VirtualClock clock;
    platform::ScopedClock clockGuard{clock};
    FakeLinux sys;
    ScopedLinux sysGuard{sys};
    GfxLibLinux gfx;
    std::deque<Bytes> replies;  // what reads of the chip's bus give, then acknowledgements
};

struct InitCase {
    const char* name;
    void (*setup)(FakeLinux&);
    int32_t result;
    std::wstring text;
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }

const InitCase kInitCases[] = {
    {"NoDrm", [](FakeLinux&) {}, GFX_LINUX_NO_AUX_DEVICE,
     L"Graphics adapter initialization - Linux: no DisplayPort AUX device!\r\n"},
    {"OnlyNvidia",
     [](FakeLinux& s) { s.AddDpWithoutAux("card0-DP-1", "0000:01:00.0", "nvidia"); },
     GFX_LINUX_NO_AUX_DEVICE,
     L"Graphics adapter initialization - Linux: no DisplayPort AUX device (nvidia-drm "
     L"registers none)!\r\n"},
    {"AnAuxNode",
     [](FakeLinux& s) { s.AddDp("card0-DP-1", "0000:00:02.0", "i915", 0, 5, "disconnected"); },
     GFX_OK, L"Graphics adapter initialization - Linux: done!\r\n"},
};

class LinuxInit : public ::testing::TestWithParam<InitCase> {};

TEST_P(LinuxInit, ReportsWhetherAnyConnectorHasAnAuxDevice) {
    FakeLinux sys;
    ScopedLinux guard(sys);
    GetParam().setup(sys);
    GfxLibLinux gfx;
    std::wstring text;
    EXPECT_EQ(gfx.Init(text), GetParam().result);
    EXPECT_EQ(text, GetParam().text);
    EXPECT_TRUE(sys.calls.empty()) << "Init opens no node";
}

INSTANTIATE_TEST_SUITE_P(Cases, LinuxInit, ::testing::ValuesIn(kInitCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(LinuxBackend, SearchTakesTheFirstConnectorWhoseChipAnswersTheProbe) {
    std::wstring text;
    ASSERT_EQ(InitAndConnect(&text), GFX_OK);
    EXPECT_EQ(text,
              L"Linux DisplayPort connectors: 2\r\n"
              L"  card0-DP-1 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux0, /dev/i2c-5), connected: "
              L"no answer (1003)\r\n"
              L"  card0-DP-2 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux1, /dev/i2c-6), connected: "
              L"the chip answers\r\n");
    EXPECT_EQ(gfx.Description(), L"card0-DP-2 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux1, /dev/i2c-6)");
    ASSERT_NE(gfx.Current(), nullptr);
    EXPECT_EQ(gfx.Current()->name, "card0-DP-2");
    // The nodes of the connector that did not answer are closed again.
    EXPECT_EQ(sys.OpenDevices(), 2u);
    const auto second = std::find(sys.calls.begin(), sys.calls.end(), "open /dev/drm_dp_aux1");
    ASSERT_NE(second, sys.calls.end());
    EXPECT_EQ(Calls(second, sys.calls.end()),
              (Calls{"open /dev/drm_dp_aux1", "open /dev/i2c-6", "ioctl 0x703 0x37", "write 8",
                     "read 131"}));
}

TEST_F(LinuxBackend, ConfiguredConnectorIsTheOnlyOneTriedByNameOrAuxNode) {
    for (const std::wstring key : {L"card0-DP-2", L"/dev/drm_dp_aux1"}) {
        sys.calls.clear();
        gfx.settings.connector = key;
        ASSERT_EQ(InitAndConnect(), GFX_OK) << ToUtf8(key);
        // A repeated Init first closes what the last Connect opened.
        const auto open = std::find_if(sys.calls.begin(), sys.calls.end(), [](const std::string& c) {
            return c.rfind("open ", 0) == 0;
        });
        ASSERT_NE(open, sys.calls.end());
        EXPECT_EQ(*open, "open /dev/drm_dp_aux1");
        EXPECT_EQ(gfx.Current()->name, "card0-DP-2");
    }
    gfx.settings.connector = L"card0-DP-1";
    std::wstring text;
    EXPECT_EQ(InitAndConnect(&text), GFX_BUSY);
    EXPECT_THAT(text, HasSubstr(L"card0-DP-1 (GPU"));
    EXPECT_THAT(text, ::testing::Not(HasSubstr(L"card0-DP-2")));
    EXPECT_EQ(gfx.Current(), nullptr);
    EXPECT_EQ(sys.OpenDevices(), 0u);
}

TEST_F(LinuxBackend, UnknownConfiguredConnectorIsNamed) {
    gfx.settings.connector = L"card7-DP-1";
    std::wstring text;
    EXPECT_EQ(InitAndConnect(&text), GFX_LINUX_NO_CONNECTOR);
    EXPECT_EQ(text, L"Linux DisplayPort connectors: 2\r\n"
                    L"  LinuxConnector=card7-DP-1: no such DisplayPort connector\r\n");
    EXPECT_TRUE(sys.calls.empty());
}

TEST_F(LinuxBackend, RefusedNodeIsNamedWithWhatToDoAndNothingStaysOpen) {
    gfx.settings.connector = L"card0-DP-2";
    sys.openErrors["/dev/i2c-6"] = -linuxsys::kEACCES;
    sys.stats["/dev/i2c-6"].mode = 0600;
    sys.stats["/dev/i2c-6"].gid = 0;
    std::wstring text;
    EXPECT_EQ(InitAndConnect(&text), GFX_LINUX_EACCES);
    EXPECT_THAT(text, HasSubstr(L"/dev/i2c-6), connected: /dev/i2c-6 is root-only (mode 0600): "
                                L"install the udev rule 60-zorvan-dp-aux.rules"));
    EXPECT_EQ(sys.OpenDevices(), 0u);
}

TEST_F(LinuxBackend, AddressOwnedByAKernelDriverIsToldAndForcedOnlyWhenAsked) {
    gfx.settings.connector = L"card0-DP-2";
    sys.links["/sys/class/drm/card0-DP-2/i2c-6/6-0037/driver"] = "../../../../../bus/i2c/drivers/ddcci";
    sys.ioctl = [](const std::string&, unsigned long request, unsigned long) {
        return request == linuxsys::kI2cSlave ? -linuxsys::kEBUSY : 0;
    };
    std::wstring text;
    EXPECT_EQ(InitAndConnect(&text), GFX_LINUX_EBUSY);
    EXPECT_THAT(text, HasSubstr(L"connected: 0x37 on /dev/i2c-6 is owned by the kernel driver "
                                L"ddcci: unload it, or set LinuxForceDdc=1 in [Firmware Update] "
                                L"to use it anyway\r\n"));
    EXPECT_EQ(sys.OpenDevices(), 0u);

    gfx.settings.forceDdc = true;
    sys.calls.clear();
    EXPECT_EQ(InitAndConnect(&text), GFX_OK);
    EXPECT_THAT(sys.calls, ::testing::Contains("ioctl 0x706 0x37"));
}

TEST_F(LinuxBackend, TransfersBeforeConnectTouchNothing) {
    uint8_t buffer[16] = {};
    int32_t length = 0;
    EXPECT_EQ(gfx.AuxRead(0, 0x10000, buffer, 5), GFX_NO_DEVICE);
    EXPECT_EQ(gfx.AuxWrite(0, 0x20000, buffer, 5), GFX_NO_DEVICE);
    EXPECT_EQ(gfx.I2cWrite(0, 0x6E, buffer, 8), GFX_NO_DEVICE);
    EXPECT_EQ(gfx.I2cRead(0, 0x6E, buffer, 16, &length), GFX_NO_DEVICE);
    EXPECT_TRUE(sys.calls.empty());
}

class LinuxTransfers : public LinuxBackend {
protected:
    void SetUp() override {
        LinuxBackend::SetUp();
        gfx.settings.connector = L"card0-DP-2";
        ASSERT_EQ(InitAndConnect(), GFX_OK);
        sys.calls.clear();
    }
};

TEST_F(LinuxTransfers, ReopeningTheOpenConnectorClosesAndOpensItsNodesAgain) {
    std::string why;
    ASSERT_NE(gfx.Current(), nullptr);
    EXPECT_EQ(gfx.OpenConnector(*gfx.Current(), 0x6E, why), GFX_OK) << why;
    ASSERT_NE(gfx.Current(), nullptr);
    EXPECT_EQ(gfx.Current()->name, "card0-DP-2");
    EXPECT_EQ(sys.calls, (Calls{"close /dev/drm_dp_aux1", "close /dev/i2c-6", "open /dev/drm_dp_aux1",
                                "open /dev/i2c-6", "ioctl 0x703 0x37"}));
    EXPECT_EQ(sys.OpenDevices(), 2u);
}

TEST_F(LinuxTransfers, AuxWriteGoesInPiecesOf16AtTheirOwnAddresses) {
    Bytes data(40);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i);
    }
    Bytes seen;
    sys.pwrite = [&seen](const std::string&, const uint8_t* d, size_t n, int64_t) {
        seen.insert(seen.end(), d, d + n);
        return static_cast<int64_t>(n);
    };
    ASSERT_EQ(gfx.AuxWrite(0, 0x20000, data.data(), 40), GFX_OK);
    EXPECT_EQ(sys.calls, (Calls{"pwrite 0x20000 16", "pwrite 0x20010 16", "pwrite 0x20020 8"}));
    EXPECT_EQ(seen, data);
}

TEST_F(LinuxTransfers, AuxReadFillsTheBufferPieceByPiece) {
    sys.pread = [](const std::string&, uint8_t* b, size_t n, int64_t offset) {
        for (size_t i = 0; i < n; ++i) {
            b[i] = static_cast<uint8_t>(offset + static_cast<int64_t>(i));
        }
        return static_cast<int64_t>(n);
    };
    uint8_t buffer[20] = {};
    ASSERT_EQ(gfx.AuxRead(0, 0x10000, buffer, 20), GFX_OK);
    EXPECT_EQ(sys.calls, (Calls{"pread 0x10000 16", "pread 0x10010 4"}));
    EXPECT_EQ(buffer[0], 0x00);
    EXPECT_EQ(buffer[19], 0x13);
}

struct AuxFailure {
    const char* name;
    int64_t secondCall;  // what the second piece's call returns
    int32_t code;
};

void PrintTo(const AuxFailure& c, std::ostream* os) { *os << c.name; }

const AuxFailure kAuxFailures[] = {
    {"NackOrDefersExhausted", -linuxsys::kEIO, GFX_LINUX_EIO},
    {"ShortReply", -linuxsys::kEPROTO, GFX_LINUX_EPROTO},
    {"NoReply", -linuxsys::kETIMEDOUT, GFX_LINUX_ETIMEDOUT},
    {"PoweredDown", -linuxsys::kEBUSY, GFX_LINUX_EBUSY},
    {"Unplugged", -linuxsys::kENODEV, GFX_LINUX_ENODEV},
    {"ShortCount", 8, GFX_LINUX_SHORT_TRANSFER},
    {"NothingMoved", 0, GFX_LINUX_SHORT_TRANSFER},
};

class LinuxAuxFailure : public LinuxTransfers, public ::testing::WithParamInterface<AuxFailure> {
};

TEST_P(LinuxAuxFailure, EndsTheTransferAtTheFailingPieceWithItsCode) {
    int calls = 0;
    const int64_t second = GetParam().secondCall;
    auto answer = [&calls, second](size_t n) { return ++calls == 2 ? second : static_cast<int64_t>(n); };
    sys.pwrite = [&answer](const std::string&, const uint8_t*, size_t n, int64_t) { return answer(n); };
    sys.pread = [&answer](const std::string&, uint8_t*, size_t n, int64_t) { return answer(n); };
    uint8_t buffer[48] = {};
    EXPECT_EQ(gfx.AuxWrite(0, 0x20000, buffer, 48), GetParam().code);
    EXPECT_EQ(sys.calls, (Calls{"pwrite 0x20000 16", "pwrite 0x20010 16"}));
    calls = 0;
    sys.calls.clear();
    EXPECT_EQ(gfx.AuxRead(0, 0x10000, buffer, 48), GetParam().code);
    EXPECT_EQ(sys.calls, (Calls{"pread 0x10000 16", "pread 0x10010 16"}));
}

INSTANTIATE_TEST_SUITE_P(Errors, LinuxAuxFailure, ::testing::ValuesIn(kAuxFailures),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(LinuxTransfers, I2cReadTakesTheWholeReplyInOneReadOfTheCapacity) {
    uint8_t reply[131] = {};
    int32_t length = 0;
    ASSERT_EQ(gfx.I2cRead(0, 0x6E, reply, 131, &length), GFX_OK);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(Bytes(reply, reply + 8), kAck);
    EXPECT_EQ(sys.calls, (Calls{"read 131"}));
}

struct ReplyCase {
    const char* name;
    Bytes reply;  // empty: the read fails with `readError`
    int64_t readError;
    int32_t capacity;
    int32_t code;
    int32_t length;  // when the code is 0
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

const ReplyCase kReplies[] = {
    {"NullMessage", {0x6E, 0x80, 0xBE}, 0, 131, GFX_OK, 3},
    {"LongestReply", Bytes{0x6E, 0xFF}, 0, 131, GFX_OK, 130},
    {"ReplyLongerThanTheCapacity", kAck, 0, 7, GFX_BAD_ARGUMENT, 0},
    {"FromAnotherAddress", {0x6F, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76}, 0, 131, GFX_BAD_REPLY, 0},
    {"NotAReplyLength", {0x6E, 0x7D}, 0, 131, GFX_BAD_REPLY, 0},
    {"NackedOrDeferred", {}, -linuxsys::kEREMOTEIO, 131, GFX_BUSY, 0},
    {"NoReply", {}, -linuxsys::kETIMEDOUT, 131, GFX_LINUX_ETIMEDOUT, 0},
};

class LinuxReply : public LinuxTransfers, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(LinuxReply, HeaderCapacityAndLengthChecksApplyToTheBytesRead) {
    const ReplyCase& c = GetParam();
    sys.read = [&c](const std::string&, uint8_t* buffer, size_t count) {
        return c.reply.empty() ? c.readError : Answer(c.reply, buffer, count);
    };
    uint8_t reply[131] = {};
    int32_t length = 0;
    EXPECT_EQ(gfx.I2cRead(0, 0x6E, reply, c.capacity, &length), c.code);
    EXPECT_EQ(sys.calls, (Calls{"read " + std::to_string(c.capacity)}));
    if (c.code == GFX_OK) {
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(Bytes(reply, reply + 2), Bytes(c.reply.begin(), c.reply.begin() + 2));
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, LinuxReply, ::testing::ValuesIn(kReplies),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(LinuxTransfers, ReadThatReturnsTooFewBytesFails) {
    sys.read = [](const std::string&, uint8_t* buffer, size_t) {
        buffer[0] = 0x6E;
        return int64_t{1};
    };
    uint8_t reply[131] = {};
    int32_t length = 0;
    EXPECT_EQ(gfx.I2cRead(0, 0x6E, reply, 131, &length), GFX_LINUX_SHORT_TRANSFER);
}

TEST_F(LinuxTransfers, I2cWriteIsOneWriteAndTakesAnotherAddressWhenAskedFor) {
    const uint8_t packet[8] = {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0A, 0x71};
    ASSERT_EQ(gfx.I2cWrite(0, 0x6E, packet, 8), GFX_OK);
    ASSERT_EQ(gfx.I2cWrite(0, 0x60, packet, 8), GFX_OK);
    ASSERT_EQ(gfx.I2cWrite(0, 0x6E, packet, 8), GFX_OK);
    EXPECT_EQ(sys.calls, (Calls{"write 8", "ioctl 0x703 0x30", "write 8", "ioctl 0x703 0x37",
                                "write 8"}));

    sys.write = [](const std::string&, const uint8_t*, size_t) { return int64_t{-linuxsys::kEREMOTEIO}; };
    EXPECT_EQ(gfx.I2cWrite(0, 0x6E, packet, 8), GFX_LINUX_EREMOTEIO);
    sys.write = [](const std::string&, const uint8_t*, size_t n) { return static_cast<int64_t>(n) - 1; };
    EXPECT_EQ(gfx.I2cWrite(0, 0x6E, packet, 8), GFX_LINUX_SHORT_TRANSFER);
    sys.ioctl = [](const std::string&, unsigned long, unsigned long) { return -linuxsys::kEBUSY; };
    EXPECT_EQ(gfx.I2cWrite(0, 0x60, packet, 8), GFX_LINUX_EBUSY);
}

TEST_F(LinuxTransfers, TraceShowsEachCallWithItsCountOrErrorBeforeTheOperation) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("zorvan-linux-trace-" + std::to_string(::getpid()) + ".log");
    std::filesystem::remove(path);
    ::setenv("ZORVAN_TRACE", path.c_str(), 1);
    trace::Reopen();
    sys.pread = [](const std::string&, uint8_t*, size_t, int64_t) { return int64_t{-linuxsys::kEIO}; };
    uint8_t data[20] = {};
    int32_t length = 0;
    gfx.AuxWrite(0, 0x20000, data, 20);
    gfx.AuxRead(0, 0x10000, data, 5);
    gfx.I2cWrite(0, 0x6E, kAck.data(), 8);
    gfx.I2cRead(0, 0x6E, data, 9, &length);
    ::unsetenv("ZORVAN_TRACE");
    trace::Reopen();
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::filesystem::remove(path);
    EXPECT_THAT(lines, ElementsAre("  linux aux-write addr=0x20000 len=16 -> 16",
                                   "  linux aux-write addr=0x20010 len=4 -> 4",
                                   ::testing::StartsWith("AuxWrite addr=0x20000 len=20 data=00 "),
                                   "  linux aux-read addr=0x10000 len=5 -> -EIO",
                                   "AuxRead addr=0x10000 len=5 -> 5005",
                                   "  linux i2c-write addr=0x6E len=8 -> 8",
                                   "I2cWrite addr=0x6E len=8 data=6E 85 C2 00 00 03 0C 76 -> 0",
                                   "  linux i2c-read addr=0x6E len=9 -> 9",
                                   "I2cRead addr=0x6E cap=9 -> 0 len=8 data=6E 85 C2 00 00 03 0C 76"));
}

}  // namespace
}  // namespace zorvan::test
