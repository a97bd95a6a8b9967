// Secure ISP from the link side: the ESM started or restarted, the signed driver downloaded
// with its signature and verified before it starts, and everything the chip refuses.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/platform/Text.h"
#include "sim/chip/secure/EsmImage.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoEsm.h"
#include "sim/demo/DemoImages.h"
#include "sim/state/StateFile.h"
#include "tests/sim/secure/SecureLink.h"

namespace zorvan::sim::testing {
namespace {

const Bytes kTypeQuery = {0x06, 0xC8, 0x02};

class SecureEntry : public SecureFixture {
  protected:
    using ShortRest = SecureFixture::ShortRest;

    // The chip as the next run finds it, through its state file's bytes.
    void ReloadThroughStateFile() {
        std::wstring error;
        std::optional<ChipState> state =
            ParseState(SerializeState(Chip().StateForNextRun()), L"chip.state", error);
        ASSERT_TRUE(state) << ToUtf8(error);
        Reload(std::move(*state));
    }
    // A chip whose ESM already runs, as a previous secure run left it; its flash holds an
    // application or is blank.
    void ReloadWithRunningEsm(bool application = false) {
        ChipState state = NewChipState(ChipFamily::Kq1100, 1500);
        if (application) {
            state.flash = MakeFirmwareImage(ChipFamily::Kq1100, {1, 5, 0});
            PowerCycle(state);
        }
        state.securityFirmwareRunning = true;
        Reload(std::move(state));
    }
    uint32_t Status() {
        const std::optional<uint32_t> s = EsmStatus();
        EXPECT_TRUE(s.has_value()) << "no status reply";
        return s.value_or(0xFFFFFFFFu);
    }
};

TEST_F(SecureEntry, WholeSequenceWithTheHostsPacketsStartsASignedDriver) {
    const Bytes file = MakeDemoDriverFile();
    EnterIsp();
    EXPECT_EQ(Exchange(kReleaseHandlePacket), kAck);
    EXPECT_EQ(Exchange(kAnnouncePacket), kAck);
    // 6E 89 C2 00 00 07 77, the status word (announced, nothing running), checksum.
    EXPECT_EQ(Exchange(kStatusPacket),
              (Bytes{0x6E, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x77, 0x00, 0x00, 0x00, 0x01, 0x04}));

    // The full memory-write forms: count bytes 0x7A (115 bytes) and 0x21 (26 bytes).
    const Bytes esm = MakeDemoEsmPayload();
    const Bytes full = HostPacket(MemoryWrite(kEsmAddress, Bytes(115, 0)));
    EXPECT_EQ(Bytes(full.begin(), full.begin() + 7),
              (Bytes{0x51, 0xFC, 0xC2, 0x00, 0x00, 0x7A, 0x53}));
    EXPECT_EQ(HostPacket(MemoryWrite(kEsmAddress, Bytes(26, 0)))[5], 0x21);
    WriteEsm(esm);
    // 12000 bytes: 51 89 C2 00 00 07 72 00 00 2E E0 and the checksum.
    EXPECT_EQ(AwaitAnswer({0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x72, 0x00, 0x00, 0x2E, 0xE0, 0xCF}),
              kAck);
    EXPECT_EQ(Status(), kEsmStatusRunning | kEsmStatusProcessStarted | kEsmStatusAnnounced);

    const Bytes reply76 = Exchange(kCommand76Packet);
    ASSERT_GE(reply76.size(), 8u);
    EXPECT_EQ(reply76[6], 0x76);
    EXPECT_EQ(reply76[7], 0x01) << "ready for a signed driver";
    Wait(150);

    SecureDownload(PayloadOf(file));
    WriteSignature(SignatureOf(file));
    EXPECT_EQ(Status() & kEsmStatusSignatureLoaded, kEsmStatusSignatureLoaded);
    EXPECT_EQ(AwaitAnswer(kStartSignedPacket), kAck);
    Wait(100);

    EXPECT_TRUE(SignedDriverRuns());
    EXPECT_EQ(Exchange(HostPacket(kTypeQuery)), kNullMessage) << "the driver owns the chip";
    EXPECT_TRUE(Chip().State().securityFirmwareRunning);
}

TEST_F(SecureEntry, SignedDriverStartsOnlyWhenEverythingHolds) {
    const Bytes good = MakeDemoDriverFile();
    struct Case {
        const char* what;
        Bytes driverFile;
        bool esmRunsBefore = false;      // a previous run left the ESM running
        bool startEsm = true;            // 0x72 (or 0x78 when it runs)
        bool releaseAfterStart = false;  // 0x07 once more after the start
        int signaturePackets = 3;
        bool signatureInEarlierSession = false;
        uint16_t startAt = kRamAddress;
    };
    const Case cases[] = {
        {.what = "one payload byte changed",
         .driverFile = MakeDamagedDriverFile(DriverFileDamage::PayloadByte)},
        {.what = "one signature byte changed",
         .driverFile = MakeDamagedDriverFile(DriverFileDamage::SignatureByte)},
        {.what = "last signature packet missing", .driverFile = good, .signaturePackets = 2},
        {.what = "signature written before ISP mode was entered again",
         .driverFile = good,
         .signaturePackets = 0,
         .signatureInEarlierSession = true},
        {.what = "ESM never started", .driverFile = good, .startEsm = false},
        {.what = "ESM running, secure process not restarted in this session",
         .driverFile = good,
         .esmRunsBefore = true,
         .startEsm = false},
        {.what = "ESM handle released after the start",
         .driverFile = good,
         .releaseAfterStart = true},
        {.what = "started 0x100 bytes into the driver",
         .driverFile = good,
         .startAt = kRamAddress + 0x100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.esmRunsBefore) {
            ReloadWithRunningEsm();
        } else {
            Reload(NewChipState(ChipFamily::Kq1100, 1500));
        }
        if (c.signatureInEarlierSession) {
            EnterIsp();
            WriteSignature(SignatureOf(c.driverFile));
        }
        EnterIsp();
        ASSERT_EQ(Exchange(kReleaseHandlePacket), kAck);
        ASSERT_EQ(Exchange(kAnnouncePacket), kAck);
        if (c.startEsm) {
            StartEsm(MakeDemoEsmPayload());
        }
        if (c.releaseAfterStart) {
            ASSERT_EQ(Exchange(kReleaseHandlePacket), kAck);
        }
        SecureDownload(PayloadOf(c.driverFile));
        WriteSignature(SignatureOf(c.driverFile), c.signaturePackets);
        EXPECT_EQ(AwaitAnswer(HostPacket({0x75, static_cast<uint8_t>(c.startAt >> 8),
                                          static_cast<uint8_t>(c.startAt)})),
                  kNullMessage);
        Wait(10'000);
        EXPECT_FALSE(MailboxUp());
        EXPECT_EQ(Chip().Isp().CurrentStage(), IspEngine::Stage::IspMode) << "still in ISP mode";
        EXPECT_EQ(Status() & kEsmStatusVerifyFailed, kEsmStatusVerifyFailed);
    }
}

TEST_F(SecureEntry, RefusedDriverCanBeFollowedByTheRightSignature) {
    const Bytes good = MakeDemoDriverFile();
    EXPECT_FALSE(SecureStart(MakeDamagedDriverFile(DriverFileDamage::SignatureByte)));
    WriteSignature(SignatureOf(good));
    EXPECT_EQ(AwaitAnswer(kStartSignedPacket), kAck);
    Wait(100);
    EXPECT_TRUE(SignedDriverRuns());
}

TEST_F(SecureEntry, EsmStartsOnlyFromAWholeIntactPayloadOfTheGivenLength) {
    const Bytes esm = MakeDemoEsmPayload();
    const Bytes brokenFile = MakeBrokenEsmFile();
    const Bytes broken(brokenFile.begin() + 4, brokenFile.end());
    const auto length = static_cast<uint32_t>(esm.size());
    struct Case {
        const char* what;
        Bytes payload;
        uint32_t announced;
        std::set<size_t> skipPacket;
        bool writtenInEarlierSession = false;
    };
    const Case cases[] = {
        {"length one short", esm, length - 1, {}},
        {"length one long", esm, length + 1, {}},
        {"one code byte changed", broken, length, {}},
        {"one packet of the middle missing", esm, length, {31}},
        {"last packet missing", esm, length, {46 * 3 + 1}},
        {"written before ISP mode was entered again", esm, length, {}, true},
        {"length beyond the ESM area", esm, kEsmAreaSize + 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reload(NewChipState(ChipFamily::Kq1100, 1500));
        EnterIsp();
        WriteEsm(c.payload, c.skipPacket);
        if (c.writtenInEarlierSession) {
            EnterIsp();
        }
        EXPECT_EQ(AwaitAnswer(HostPacket(StartEsmCommand(c.announced))), kNullMessage);
        EXPECT_EQ(Status() & (kEsmStatusRunning | kEsmStatusProcessStarted), 0u);
        EXPECT_EQ(AwaitAnswer(kRestartPacket), kNullMessage);
        EXPECT_FALSE(Chip().State().securityFirmwareRunning);
    }
}

TEST_F(SecureEntry, EsmOfAnyLengthInsideTheAreaStarts) {
    // The rest after the 256-byte groups takes every form a host may send: a short rest (at
    // most 115 bytes) with count byte 0x7A and the empty packet after it, or exact.
    for (const ShortRest form : {ShortRest::kRecorded, ShortRest::kExact}) {
        for (uint32_t length : {257u, 371u, 372u, 512u, 700u, 792u, 12000u, 0x1F400u,
                                kEsmAreaSize - 232, kEsmAreaSize}) {
            SCOPED_TRACE("length " + std::to_string(length) +
                         (form == ShortRest::kRecorded ? ", recorded form" : ", exact form"));
            Reload(NewChipState(ChipFamily::Kq1100, 1500));
            EnterIsp();
            const Bytes esm = BuildEsmPayload(length);
            WriteEsm(esm, {}, form);
            ASSERT_EQ(AwaitAnswer(HostPacket(StartEsmCommand(length))), kAck);
            EXPECT_EQ(Status() & kEsmStatusRunning, kEsmStatusRunning);
        }
    }
}

TEST_F(SecureEntry, RestartIsAnsweredOnlyWhileTheEsmRuns) {
    EnterIsp();
    EXPECT_EQ(AwaitAnswer(kRestartPacket), kNullMessage) << "no ESM";

    StartEsm(MakeDemoEsmPayload());
    EXPECT_EQ(AwaitAnswer(kRestartPacket), kAck);
    EXPECT_EQ(AwaitAnswer(HostPacket({0x78, 0x00, 0x02, 0x00, 0xD1})), kNullMessage)
        << "other parameters";

    ReloadWithRunningEsm();
    EnterIsp();
    EXPECT_EQ(AwaitAnswer(kRestartPacket), kAck);
    EXPECT_EQ(Status() & kEsmStatusProcessStarted, kEsmStatusProcessStarted);
}

TEST_F(SecureEntry, EsmSurvivesTheStateFileButNotAPowerCycle) {
    EnterIsp();
    StartEsm(MakeDemoEsmPayload());

    // The next run: the ESM still runs, the secure process restarts without a download.
    ReloadThroughStateFile();
    EXPECT_TRUE(Chip().State().securityFirmwareRunning);
    EXPECT_TRUE(SecureStart(MakeDemoDriverFile()));
    EXPECT_TRUE(SignedDriverRuns());

    Chip().PowerCycle();
    EXPECT_FALSE(Chip().State().securityFirmwareRunning);
    EnterIsp();
    EXPECT_EQ(Status() & kEsmStatusRunning, 0u);
    EXPECT_EQ(AwaitAnswer(kRestartPacket), kNullMessage);
    ReloadThroughStateFile();
    EXPECT_FALSE(Chip().State().securityFirmwareRunning);
}

TEST_F(SecureEntry, MemoryWritesLandOnlyInsideOneWindow) {
    const Bytes last26 = HostPacket(MemoryWrite(kSignatureAddress + 230, Bytes(26, 0x5A)));
    struct Case {
        const char* what;
        Bytes packet;
    };
    const Case ignored[] = {
        {"count byte announcing fewer bytes than follow", WithCountByte(last26, 0x20)},
        {"count byte announcing 116 data bytes", WithCountByte(last26, 0x7B)},
        {"116 data bytes", HostPacket(MemoryWrite(kEsmAddress, Bytes(116, 1)))},
        {"below the ESM area", HostPacket(MemoryWrite(kEsmAddress - 1, Bytes(1, 1)))},
        {"across the ESM area's end",
         HostPacket(MemoryWrite(kEsmAddress + kEsmAreaSize - 2, Bytes(3, 1)))},
        {"above the ESM area", HostPacket(MemoryWrite(kEsmAddress + kEsmAreaSize, Bytes(1, 1)))},
        {"across the signature area's start",
         HostPacket(MemoryWrite(kSignatureAddress - 1, Bytes(2, 1)))},
        {"across the signature area's end",
         HostPacket(MemoryWrite(kSignatureAddress + 231, Bytes(26, 1)))},
        {"between the areas", HostPacket(MemoryWrite(kSignatureAddress + 256, Bytes(1, 1)))},
        {"no data bytes below the ESM area", HostPacket(MemoryWrite(kEsmAddress - 1, {}))},
        {"no data bytes past the ESM area's end",
         HostPacket(MemoryWrite(kEsmAddress + kEsmAreaSize + 1, {}))},
        {"no data bytes past the signature area's end",
         HostPacket(MemoryWrite(kSignatureAddress + 257, {}))},
        {"no address", HostPacket({0x53, 0x00, 0x32, 0x00})},
    };
    const Case acked[] = {
        {"first ESM byte", HostPacket(MemoryWrite(kEsmAddress, Bytes(1, 1)))},
        {"last ESM bytes",
         HostPacket(MemoryWrite(kEsmAddress + kEsmAreaSize - 115, Bytes(115, 1)))},
        {"no data bytes inside the ESM area", HostPacket(MemoryWrite(kEsmAddress + 12000, {}))},
        {"no data bytes at the ESM area's end",
         HostPacket(MemoryWrite(kEsmAddress + kEsmAreaSize, {}))},
        {"no data bytes at the signature area's end",
         HostPacket(MemoryWrite(kSignatureAddress + 256, {}))},
        {"signature, first packet", HostPacket(MemoryWrite(kSignatureAddress, Bytes(115, 1)))},
        {"signature, second packet",
         HostPacket(MemoryWrite(kSignatureAddress + 115, Bytes(115, 1)))},
    };
    EnterIsp();
    for (const Case& c : acked) {
        EXPECT_EQ(Exchange(c.packet), kAck) << c.what;
    }
    for (const Case& c : ignored) {
        EXPECT_EQ(Exchange(c.packet), kNullMessage) << c.what;
    }
    EXPECT_EQ(Status() & kEsmStatusSignatureLoaded, 0u) << "the last 26 bytes never landed";
    // Announced as 115 bytes, carrying 26: the 26 land.
    EXPECT_EQ(Exchange(WithCountByte(last26, 0x7A)), kAck);
    EXPECT_EQ(Status() & kEsmStatusSignatureLoaded, kEsmStatusSignatureLoaded);
}

TEST_F(SecureEntry, OnlyTheMemoryWriteTakesACountByteThatAnnouncesMore) {
    EnterIsp();
    const struct {
        const char* what;
        Bytes packet;
    } cases[] = {
        {"announce", kAnnouncePacket},
        {"release of the handle", kReleaseHandlePacket},
        {"status query", kStatusPacket},
        {"secure download", HostPacket({0x73, 0x18, 0x00, 0xAA})},
        {"type query", HostPacket(kTypeQuery)},
    };
    for (const auto& c : cases) {
        const uint8_t more = static_cast<uint8_t>(c.packet[5] + 1);
        EXPECT_EQ(AwaitAnswer(WithCountByte(c.packet, more)), kNullMessage) << c.what;
        EXPECT_NE(AwaitAnswer(c.packet), kNullMessage) << c.what << ", exact";
    }
    EXPECT_EQ(Status() & kEsmStatusAnnounced, kEsmStatusAnnounced);
}

TEST_F(SecureEntry, SecureCommandsAreIgnoredOutsideIspMode) {
    const Bytes file = MakeDemoDriverFile();
    const Bytes commands[] = {
        kReleaseHandlePacket,
        kAnnouncePacket,
        kStatusPacket,
        kCommand76Packet,
        HostPacket(MemoryWrite(kEsmAddress, Bytes(115, 1))),
        HostPacket(StartEsmCommand(12000)),
        HostPacket({0x73, 0x18, 0x00, 0xAA}),
        kStartSignedPacket,
    };
    struct Stage {
        const char* what;
        bool application;
        std::function<void()> reach;
    };
    const Stage stages[] = {
        {"application running", true, [] {}},
        {"boot ROM before ISP mode", false, [] {}},
        {"prepared by 0x09 only", true,
         [this] {
             ASSERT_EQ(Exchange({0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x09, 0x72}), kAck);
         }},
        {"plain driver running", false, [this] { StartDriver(); }},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.what);
        ReloadWithRunningEsm(stage.application);
        stage.reach();
        for (const Bytes& packet : commands) {
            EXPECT_EQ(AwaitAnswer(packet), kNullMessage) << "code " << int{packet[6]};
        }
        EXPECT_EQ(AwaitAnswer(kRestartPacket), kNullMessage);
    }
}

}  // namespace
}  // namespace zorvan::sim::testing
