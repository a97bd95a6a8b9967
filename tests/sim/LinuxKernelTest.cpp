// The virtual Linux kernel from the system-call side: the sysfs tree of the default Linux
// PC as the backend's scan reads it, the access of the nodes, the DRM AUX node's pieces,
// retries, short counts and errors, and the I2C-over-AUX bus's messages as the sink sees
// them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "core/gfx/linux/Connectors.h"
#include "core/platform/Clock.h"
#include "sim/link/AuxChannel.h"
#include "sim/pc/linux/VirtualKernel.h"

namespace zorvan::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using linuxsys::OpenMode;

// A sink that logs every request and answers from a script (then with an acknowledgement
// carrying the bytes asked for, 0x00 onward from the low address byte).
class ScriptedSink final : public AuxSink {
public:
    std::deque<AuxStatus> script;
    std::deque<uint32_t> shortBy;  // a read acknowledgement gives this many bytes fewer
    std::vector<std::string> log;
    uint64_t wireUs = 0;                // what the channel charged for the transactions
    uint32_t failAddress = 0xFFFFFFFF;  // native requests here are refused, always

    AuxReply Transact(const AuxRequest& r) override {
        static const char* const kKinds[] = {"nw", "nr", "iw", "ir"};
        const uint32_t size = r.command == AuxCommand::NativeWrite || r.command == AuxCommand::I2cWrite
                                  ? static_cast<uint32_t>(r.data.size())
                                  : r.length;
        char entry[64];
        std::snprintf(entry, sizeof entry, "%s%s 0x%X %u", kKinds[static_cast<int>(r.command)],
                      r.mot ? "+" : "", r.address, size);
        log.push_back(entry);
        AuxReply reply = Answer(r);
        const bool write = r.command == AuxCommand::NativeWrite || r.command == AuxCommand::I2cWrite;
        wireUs += AuxWireTimeUs(reply.status != AuxStatus::Ack ? 0
                                : write ? static_cast<uint32_t>(r.data.size())
                                        : static_cast<uint32_t>(reply.data.size()));
        return reply;
    }

private:
    AuxReply Answer(const AuxRequest& r) {
        if (r.address == failAddress &&
            (r.command == AuxCommand::NativeRead || r.command == AuxCommand::NativeWrite)) {
            return AuxNack();
        }
        if (!script.empty()) {
            const AuxStatus s = script.front();
            script.pop_front();
            if (s != AuxStatus::Ack) {
                return AuxReply{s, {}};
            }
        }
        if (r.command == AuxCommand::NativeWrite || r.command == AuxCommand::I2cWrite) {
            return AuxAck();
        }
        uint32_t n = r.length;
        if (!shortBy.empty()) {
            n -= std::min(n, shortBy.front());
            shortBy.pop_front();
        }
        Bytes data(n);
        for (uint32_t i = 0; i < n; ++i) {
            data[i] = static_cast<uint8_t>(r.address + i);
        }
        return AuxAck(data);
    }
};

LinuxPcSpec OneConnector(bool udevRule = true, bool claimed = false) {
    LinuxConnectorSpec c;
    c.auxName = "AUX B/DDI B/PHY B";
    c.hasChip = true;
    c.ddcClaimed = claimed;
    LinuxPcSpec pc;
    pc.gpus.push_back(LinuxGpuSpec{"0000:00:02.0", "i915", {c}});
    pc.udevRule = udevRule;
    return pc;
}

class Kernel : public ::testing::Test {
protected:
    void SetUp() override {
        aux = kernel.Open("/dev/drm_dp_aux0", OpenMode::kReadWrite);
        i2c = kernel.Open("/dev/i2c-5", OpenMode::kReadWrite);
        ASSERT_GE(aux, 0);
        ASSERT_GE(i2c, 0);
        ASSERT_EQ(kernel.Ioctl(i2c, 0x0703, 0x37), 0);
    }

    platform::VirtualClock clock;
    platform::ScopedClock clockGuard{clock};
    ScriptedSink sink;
    VirtualKernel kernel{OneConnector(), &sink};
    int aux = -1;
    int i2c = -1;
};

TEST(LinuxKernelTree, TheBackendsScanReadsTheDefaultPc) {
    VirtualKernel kernel(DefaultLinuxPc(LinuxPcSettings{}), nullptr);
    const linuxlink::ConnectorScan scan = linuxlink::ScanConnectors(kernel, true);
    ASSERT_TRUE(scan.drmPresent);
    ASSERT_EQ(scan.connectors.size(), 4u);
    const linuxlink::DpConnector& chip = scan.connectors[0];
    EXPECT_EQ(linuxlink::Describe(chip),
              "card0-DP-1 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux0, /dev/i2c-5)");
    EXPECT_EQ(chip.status, "connected");
    EXPECT_EQ(chip.displayName, "Merak 2710H");
    EXPECT_EQ(chip.auxName, "AUX B/DDI B/PHY B");
    EXPECT_TRUE(chip.Usable()) << chip.problem;
    EXPECT_EQ(scan.connectors[1].name, "card0-DP-2");
    EXPECT_EQ(scan.connectors[1].status, "disconnected");
    EXPECT_EQ(scan.connectors[1].i2cNode, "/dev/i2c-6");
    EXPECT_EQ(scan.connectors[2].name, "card1-DP-1");
    EXPECT_EQ(scan.connectors[2].gpuAddress, "0000:01:00.0");
    EXPECT_EQ(scan.connectors[2].problem, "nvidia-drm registers no AUX device");
    EXPECT_EQ(scan.connectors[3].displayName, "");
    EXPECT_EQ(kernel.OpenFiles(), 0u);
}

TEST(LinuxKernelTree, LinksReadAndResolveAsTheKernelMakesThem) {
    VirtualKernel kernel(DefaultLinuxPc(LinuxPcSettings{}), nullptr);
    std::string target;
    ASSERT_EQ(kernel.ReadLink("/sys/class/drm/card0", target), 0);
    EXPECT_EQ(target, "../../devices/pci0000:00/0000:00:02.0/drm/card0");
    ASSERT_EQ(kernel.ReadLink("/sys/class/drm/card0/device", target), 0);
    EXPECT_EQ(target, "../../../0000:00:02.0");
    ASSERT_EQ(kernel.ReadLink("/sys/class/drm/card1/device/driver", target), 0);
    EXPECT_EQ(target, "../../../bus/pci/drivers/nvidia");
    linuxsys::FileStatus st;
    ASSERT_EQ(kernel.Stat("/sys/class/drm/card0-DP-1/drm_dp_aux0/../i2c-5/i2c-dev/i2c-5", st), 0);
    EXPECT_EQ(st.type, linuxsys::FileType::kDirectory);
    EXPECT_EQ(kernel.ReadLink("/sys/class/drm/card0-DP-1/status", target), -22);  // EINVAL
    EXPECT_EQ(kernel.Stat("/sys/class/drm/card9", st), -2);                        // ENOENT
    EXPECT_EQ(kernel.Stat("/sys/class/drm/version/x", st), -20);                   // ENOTDIR
    kernel.Files().Link("/sys/loop", "/sys/loop");
    EXPECT_EQ(kernel.Stat("/sys/loop", st), -40);  // ELOOP
}

TEST(LinuxKernelTree, APcOfAnotherVendorHasNoDrm) {
    VirtualKernel kernel(LinuxPcSpec{}, nullptr);
    std::vector<std::string> names;
    EXPECT_EQ(kernel.ReadDir("/sys/class/drm", names), -2);
    EXPECT_FALSE(linuxlink::ScanConnectors(kernel, true).drmPresent);
}

TEST(LinuxKernelAccess, NodesAreRootOnlyUnlessTheUdevRuleApplies) {
    for (const bool rule : {true, false}) {
        VirtualKernel kernel(OneConnector(rule), nullptr);
        for (const char* node : {"/dev/drm_dp_aux0", "/dev/i2c-5"}) {
            linuxsys::FileStatus st;
            ASSERT_EQ(kernel.Stat(node, st), 0);
            EXPECT_EQ(st.type, linuxsys::FileType::kCharDevice);
            EXPECT_EQ(st.mode, rule ? 0660u : 0600u) << node;
            EXPECT_EQ(st.gid, rule ? 44u : 0u) << node;
            const int fd = kernel.Open(node, OpenMode::kReadWrite);
            EXPECT_EQ(fd >= 0, rule) << node;
            EXPECT_EQ(fd, rule ? fd : -13) << node;  // EACCES
        }
    }
    VirtualKernel kernel(OneConnector(), nullptr);
    EXPECT_EQ(kernel.Open("/sys/class/drm/card0-DP-1/status", OpenMode::kReadWrite), -13);
    EXPECT_GE(kernel.Open("/sys/class/drm/card0-DP-1/status", OpenMode::kReadOnly), 0);
}

TEST_F(Kernel, AuxReadGoesInPiecesOf16EachAfterTheWakeUpRead) {
    uint8_t buffer[40] = {};
    ASSERT_EQ(kernel.Pread(aux, buffer, 40, 0x10000), 40);
    EXPECT_EQ(sink.log, (std::vector<std::string>{"nr 0x0 1", "nr 0x10000 16", "nr 0x0 1",
                                                  "nr 0x10010 16", "nr 0x0 1", "nr 0x10020 8"}));
    EXPECT_EQ(buffer[0], 0x00);
    EXPECT_EQ(buffer[17], 0x11);
    EXPECT_EQ(buffer[39], 0x27);
    sink.log.clear();
    const uint8_t data[20] = {};
    ASSERT_EQ(kernel.Pwrite(aux, data, 20, 0x20000), 20);
    EXPECT_EQ(sink.log, (std::vector<std::string>{"nw 0x20000 16", "nw 0x20010 4"}));
}

struct RetryCase {
    const char* name;
    std::vector<AuxStatus> script;  // answers to the data transaction's attempts
    std::vector<uint32_t> shortBy;
    int64_t result;
    size_t attempts;
    size_t pauses;  // the kernel's waits between attempts
};

void PrintTo(const RetryCase& c, std::ostream* os) { *os << c.name; }

const std::vector<AuxStatus> Times(size_t n, AuxStatus s) { return std::vector<AuxStatus>(n, s); }

const RetryCase kRetries[] = {
    {"DeferredThirtyOneTimes", Times(31, AuxStatus::Defer), {}, 16, 32, 31},
    {"DeferredThroughout", Times(32, AuxStatus::Defer), {}, -5, 32, 31},  // EIO
    {"RefusedThroughout", Times(32, AuxStatus::Nack), {}, -5, 32, 31},
    {"NoReplyThroughout", Times(32, AuxStatus::Timeout), {}, -110, 32, 0},  // ETIMEDOUT
    {"ShortRepliesThroughout", {}, std::vector<uint32_t>(32, 1), -71, 32, 31},  // EPROTO
    {"FirstErrorIsTheOneReported", {AuxStatus::Nack}, std::vector<uint32_t>(32, 1), -5, 32, 31},
    {"OneShortReplyThenWhole", {}, {3}, 16, 2, 1},
};

class KernelAuxRetry : public Kernel, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(KernelAuxRetry, FollowsTheHelpersRetryRule) {
    const RetryCase& c = GetParam();
    // The wake-up read goes first and gets a plain acknowledgement.
    sink.script.push_back(AuxStatus::Ack);
    sink.script.insert(sink.script.end(), c.script.begin(), c.script.end());
    sink.shortBy.push_back(0);
    sink.shortBy.insert(sink.shortBy.end(), c.shortBy.begin(), c.shortBy.end());
    uint8_t buffer[16] = {};
    sink.wireUs = 0;
    const uint64_t before = clock.NowUs();
    EXPECT_EQ(kernel.Pread(aux, buffer, 16, 0x200), c.result);
    EXPECT_EQ(sink.log.size(), 1 + c.attempts);
    EXPECT_EQ(clock.NowUs() - before - sink.wireUs, c.pauses * 500);
}

INSTANTIATE_TEST_SUITE_P(Rules, KernelAuxRetry, ::testing::ValuesIn(kRetries),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Kernel, APieceThatFailsAfterOthersGaveBytesEndsInAShortCount) {
    sink.failAddress = 0x10020;
    uint8_t buffer[48] = {};
    EXPECT_EQ(kernel.Pread(aux, buffer, 48, 0x10000), 32);
    EXPECT_EQ(kernel.Pread(aux, buffer, 16, 0x10020), -5);
    EXPECT_EQ(kernel.Pwrite(aux, buffer, 48, 0x10000), 32);
    EXPECT_EQ(kernel.Pwrite(aux, buffer, 16, 0x10020), -5);
}

TEST_F(Kernel, TheDpcdSpaceEndsAtOneMebibyte) {
    uint8_t buffer[16] = {};
    EXPECT_EQ(kernel.Pread(aux, buffer, 16, 0xFFFF8), 8);
    EXPECT_EQ(kernel.Pread(aux, buffer, 16, 0x100000), 0);
    EXPECT_EQ(kernel.Pwrite(aux, buffer, 16, 0x100000), 0);
    EXPECT_EQ(kernel.Pread(aux, buffer, 16, -1), -22);
}

TEST_F(Kernel, AuxReadAndWriteFollowTheFilePosition) {
    uint8_t buffer[4] = {};
    ASSERT_EQ(kernel.Read(aux, buffer, 4), 4);
    ASSERT_EQ(kernel.Read(aux, buffer, 4), 4);
    EXPECT_EQ(buffer[0], 0x04);
}

TEST_F(Kernel, AnI2cWriteIsOneMessageFromStartToStop) {
    const Bytes packet(20, 0xA5);
    ASSERT_EQ(kernel.Write(i2c, packet.data(), packet.size()), 20);
    EXPECT_EQ(sink.log, (std::vector<std::string>{"iw+ 0x37 0", "iw+ 0x37 16", "iw+ 0x37 4",
                                                  "iw 0x37 0"}));
}

TEST_F(Kernel, AnI2cReadOfTheReplyCapacityTakesPiecesOf16) {
    Bytes reply(131);
    ASSERT_EQ(kernel.Read(i2c, reply.data(), 131), 131);
    ASSERT_EQ(sink.log.size(), 1u + 9u + 1u);
    EXPECT_EQ(sink.log.front(), "ir+ 0x37 0");
    EXPECT_EQ(sink.log[1], "ir+ 0x37 16");
    EXPECT_EQ(sink.log[9], "ir+ 0x37 3");
    EXPECT_EQ(sink.log.back(), "ir 0x37 0");
}

TEST_F(Kernel, AShortI2cReplyIsFetchedToItsEndAndShrinksTheFollowingPieces) {
    sink.shortBy = {0, 6};  // the bare start, then the first piece gives 10 of 16
    Bytes reply(32);
    ASSERT_EQ(kernel.Read(i2c, reply.data(), 32), 32);
    EXPECT_EQ(sink.log, (std::vector<std::string>{"ir+ 0x37 0", "ir+ 0x37 16", "ir+ 0x37 6",
                                                  "ir+ 0x37 10", "ir+ 0x37 6", "ir 0x37 0"}));
}

struct I2cCase {
    const char* name;
    std::vector<AuxStatus> script;  // from the bare start on
    int64_t result;
};

void PrintTo(const I2cCase& c, std::ostream* os) { *os << c.name; }

std::vector<AuxStatus> AfterStart(std::vector<AuxStatus> rest) {
    rest.insert(rest.begin(), AuxStatus::Ack);
    return rest;
}

const I2cCase kI2cCases[] = {
    {"NackedPacket", AfterStart({AuxStatus::Nack}), -121},  // EREMOTEIO
    {"NoReply", AfterStart({AuxStatus::Timeout}), -110},
    {"StartDeferredSixTimes", Times(6, AuxStatus::Defer), 16},
    {"StartDeferredSevenTimes", Times(7, AuxStatus::Defer), -121},
    // A 16-byte piece is worth 22 attempts at the assumed 10 kHz bus speed.
    {"PieceDeferredTwentyOneTimes", AfterStart(Times(21, AuxStatus::Defer)), 16},
    {"PieceDeferredTwentyTwoTimes", AfterStart(Times(22, AuxStatus::Defer)), -121},
};

class KernelI2c : public Kernel, public ::testing::WithParamInterface<I2cCase> {};

TEST_P(KernelI2c, EndsTheMessageWithStopWhateverHappened) {
    sink.script.assign(GetParam().script.begin(), GetParam().script.end());
    const Bytes packet(16, 0x51);
    EXPECT_EQ(kernel.Write(i2c, packet.data(), 16), GetParam().result);
    EXPECT_EQ(sink.log.back(), "iw 0x37 0");
}

INSTANTIATE_TEST_SUITE_P(Answers, KernelI2c, ::testing::ValuesIn(kI2cCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(LinuxKernelI2c, TheChipsAddressIsRefusedWhileAKernelDriverOwnsIt) {
    VirtualKernel kernel(OneConnector(true, true), nullptr);
    const int fd = kernel.Open("/dev/i2c-5", OpenMode::kReadWrite);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(kernel.Ioctl(fd, 0x0703, 0x37), -16);  // EBUSY
    EXPECT_EQ(kernel.Ioctl(fd, 0x0703, 0x30), 0);
    EXPECT_EQ(kernel.Ioctl(fd, 0x0706, 0x37), 0);
    EXPECT_EQ(kernel.Ioctl(fd, 0x0703, 0x80), -22);  // EINVAL
    EXPECT_EQ(kernel.Ioctl(fd, 0x0704, 1), -25);     // ENOTTY
    uint8_t byte = 0;
    EXPECT_EQ(kernel.Pread(fd, &byte, 1, 0), -29);   // ESPIPE
    std::string owner;
    ASSERT_EQ(kernel.ReadLink("/sys/class/drm/card0-DP-1/i2c-5/5-0037/driver", owner), 0);
    EXPECT_EQ(owner.substr(owner.find_last_of('/') + 1), "ddcci");
}

}  // namespace
}  // namespace zorvan::sim
