#include "fuzz/support/ChipOperations.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <span>
#include <string>

#include "core/cert/OtpBlock.h"
#include "core/control/StoredPackets.h"
#include "core/platform/Clock.h"
#include "fuzz/support/Scratch.h"
#include "sim/chip/ChipState.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoEsm.h"
#include "sim/demo/DemoImages.h"
#include "sim/demo/DemoKeys.h"

namespace zorvan::fuzz {
namespace {

// A promise of the core that the chip's answers must never break.
void Require(bool promise) {
    if (!promise) {
        __builtin_trap();
    }
}

constexpr Operation kCommandChannelOps[] = {
    Operation::kGetChipType,
    Operation::kGetChipInfo,
    Operation::kReadRegister,
    Operation::kReadMemory,
    Operation::kReadOtpBlock,
    Operation::kCheckEsmStatus,
    Operation::kCheckCmdb,
    Operation::kEnterIspMode,
    Operation::kWaitAck,
    Operation::kWaitAckFast,
    Operation::kReceiveReply,
    Operation::kDownloadIspDriver,
    Operation::kRunIspDriver,
    Operation::kClearEsmHandle,
    Operation::kStartSecureIsp,
    Operation::kBootStartSecProc,
    Operation::kDownloadEsm,
    Operation::kStartSecProc,
    Operation::kSecureCommand76,
    Operation::kSendDriverSignature,
    Operation::kStartSignedDriver,
    Operation::kVerifyCmdbThroughChannel,
    Operation::kVerifyCertificateThroughMemory,
    Operation::kRawI2cRead,
    Operation::kPause,
};

constexpr Operation kMailboxOps[] = {
    Operation::kReadMailbox,
    Operation::kReadFlashId,
    Operation::kEraseFlash,
    Operation::kReadFlash,
    Operation::kReadFlashVersion,
    Operation::kProgramFlash,
    Operation::kProgramErasedRegion,
    Operation::kReadResponse,
    Operation::kClearResponse,
    Operation::kClearStatus,
    Operation::kSendRequest,
    Operation::kWriteBlock,
    Operation::kVerifyCmdbThroughDriver,
    Operation::kVerifyCertificateThroughDriver,
    Operation::kProgramSecureImage,
    Operation::kSystemReset,
    Operation::kRawAuxRead,
    Operation::kPause,
};

std::vector<Operation> OperationsOf(OperationSet set) {
    std::vector<Operation> ops;
    if (set != OperationSet::kMailbox) {
        ops.insert(ops.end(), std::begin(kCommandChannelOps), std::end(kCommandChannelOps));
    }
    if (set != OperationSet::kCommandChannel) {
        ops.insert(ops.end(), std::begin(kMailboxOps), std::end(kMailboxOps));
    }
    return ops;
}

// Chip addresses the procedures read: the OTP identity block and its content chain, the
// CMDB and certificate areas and the version field through chip memory.
constexpr uint32_t kAddresses[] = {0x2640C,  0x26429,  0x26559,  0x26689,  0x267D5,
                                   0x47E000, 0x460000, 0x47FFEC, 0x320000, 0x1800};
constexpr uint32_t kFlashOffsets[] = {0x0, 0x24000, 0x60000, 0x7E000, 0x7FC00, 0x7FFEC, 0x7FFC7};
constexpr uint16_t kEraseCodes[] = {ERASE_FULL, ERASE_KEEP_CERTIFICATE,
                                    ERASE_KEEP_CERTIFICATE_NO_CMDB, ERASE_CMDB, ERASE_CERTIFICATE};
constexpr uint8_t kProgramCodes[] = {PROGRAM_CODE_NORMAL, PROGRAM_CODE_76, PROGRAM_CODE_ALL,
                                     PROGRAM_CODE_78};

template <typename T, size_t N>
T Pick(const T (&table)[N], uint8_t choice) {
    return table[choice % N];
}

struct Fixtures {
    std::wstring driverPath;
    std::wstring esmPath;
    std::vector<uint8_t> cmdb;
    std::vector<uint8_t> certificate;
    std::vector<uint8_t> firmware;
};

const Fixtures& DemoFixtures() {
    static const Fixtures fixtures = [] {
        Fixtures f;
        f.driverPath = WriteScratchFile("driver.bin", sim::MakeDemoDriverFile());
        f.esmPath = WriteScratchFile("esm.bin", sim::MakeDemoEsmFile());
        const std::string product = "Zorvan demo display adapter";
        f.cmdb =
            sim::MakeCmdbRecord(2, 1, 3, 4, std::vector<uint8_t>(product.begin(), product.end()));
        f.certificate =
            sim::MakeCertificateRecord(sim::NewChipState(sim::ChipFamily::Kq1100, 1500).otp);
        f.firmware = sim::MakeFirmwareImage(sim::ChipFamily::Kq1100, {1, 6, 0});
        return f;
    }();
    return fixtures;
}

void CheckMailbox(const ZorvanControl& c) {
    Require(c.commandSize >= kMinCommandSize && c.statusSize >= kMinStatusSize);
    Require(c.commandAddress < kDpcdSpaceEnd && kDpcdSpaceEnd - c.commandAddress >= c.commandSize);
    Require(c.statusAddress < kDpcdSpaceEnd && kDpcdSpaceEnd - c.statusAddress >= c.statusSize);
    Require(c.firstHalfFlagAddress == c.commandAddress + c.commandSize / 2u - 1);
    Require(c.secondHalfFlagAddress == c.commandAddress + c.commandSize - 1u);
}

// A short summary of what an operation read, so that two runs compare operation by
// operation.
int64_t Digest(std::span<const uint8_t> bytes) {
    int64_t sum = static_cast<int64_t>(bytes.size());
    for (const uint8_t b : bytes) {
        sum = (sum * 131 + b) & 0xFFFFFFFFFFFF;
    }
    return sum;
}

int64_t Digest(const std::wstring& text) {
    int64_t sum = 0;
    for (const wchar_t ch : text) {
        sum = (sum * 131 + ch) & 0xFFFFFFFFFFFF;
    }
    return sum;
}

void CheckChipType(ChipType type) {
    Require(type == CHIP_NONE || type == CHIP_UNKNOWN ||
            (type >= CHIP_VEXA1100 && type <= CHIP_LUMOX));
}

// A data block of the given kind for the programming operations: blank, a pattern, or the
// demo image's bytes.
std::vector<uint8_t> BlockData(uint8_t choice, size_t size) {
    std::vector<uint8_t> data(size, 0xFF);
    if (choice % 3 == 1) {
        for (size_t i = 0; i < size; ++i) {
            data[i] = static_cast<uint8_t>(i * 7 + choice);
        }
    } else if (choice % 3 == 2) {
        const std::vector<uint8_t>& image = DemoFixtures().firmware;
        std::copy_n(image.begin(), std::min(size, image.size()), data.begin());
    }
    return data;
}

int64_t RunCommandChannelOperation(ZorvanControl& c, Choices& choices, Operation op,
                                   ChipType& type) {
    switch (op) {
        case Operation::kGetChipType:
            type = c.GetChipType();
            CheckChipType(type);
            return type;
        case Operation::kGetChipInfo: {
            std::wstring text;
            c.GetChipInfo(type, text);
            CheckChipType(type);
            return Digest(text) + type + c.chipVersion;
        }
        case Operation::kReadRegister:
            return c.ReadRegister(Pick(kAddresses, choices.Next()));
        case Operation::kReadMemory: {
            const uint32_t address = Pick(kAddresses, choices.Next());
            const int32_t length = choices.Next() % 130 + 1;
            std::vector<uint8_t> out(static_cast<size_t>(length));
            return c.ReadMemory(address, out.data(), length) ? Digest(out) : -1;
        }
        case Operation::kReadOtpBlock: {
            if (!c.ReadMemory(cert::OTP_BLOCK_ADDRESS, c.otpBlock, sizeof c.otpBlock) ||
                !cert::OtpCrcMatches(c.otpBlock)) {
                return -1;
            }
            const bool intact =
                cert::OtpContentIntact([&c](uint32_t address) { return c.ReadRegister(address); });
            return cert::OtpSerial(c.otpBlock) + (intact ? 0 : int64_t{1} << 40);
        }
        case Operation::kCheckEsmStatus: {
            uint32_t status = 0;
            return (c.CheckEsmStatus(status) ? int64_t{1} << 40 : 0) + status;
        }
        case Operation::kCheckCmdb: {
            std::wstring text;
            const CmdbStatus status = c.CheckCmdb(text);
            Require(status >= CMDB_OK && status <= CMDB_EMPTY && !text.empty());
            return status;
        }
        case Operation::kEnterIspMode: {
            const uint32_t settleMs = choices.Next();
            const bool secureDialog = choices.Next() % 2 == 1;
            return c.EnterIspMode(
                settleMs, secureDialog ? IspEntryPauses::kSecureDialog : IspEntryPauses::kNormal);
        }
        case Operation::kWaitAck:
            return c.WaitAck();
        case Operation::kWaitAckFast:
            return c.WaitAckFast();
        case Operation::kReceiveReply: {
            std::vector<uint8_t> out(choices.Next() % 140);
            size_t payload = 0;
            return c.ReceiveReply(out, &payload) ? Digest(out) + static_cast<int64_t>(payload) : -1;
        }
        case Operation::kDownloadIspDriver:
            return c.DownloadIspDriver(choices.Next() % 2 == 1);
        case Operation::kRunIspDriver:
            return c.RunIspDriver();
        case Operation::kClearEsmHandle:
            return c.ClearEsmHandle();
        case Operation::kStartSecureIsp:
            return c.StartSecureIsp();
        case Operation::kBootStartSecProc:
            return c.BootStartSecProc();
        case Operation::kDownloadEsm:
            return c.DownloadEsm();
        case Operation::kStartSecProc:
            return c.StartSecProc();
        case Operation::kSecureCommand76:
            return c.SecureCommand76();
        case Operation::kSendDriverSignature:
            return c.SendDriverSignature();
        case Operation::kStartSignedDriver:
            return c.StartSignedDriver();
        case Operation::kVerifyCmdbThroughChannel:
            return c.VerifyCmdb(true);
        case Operation::kVerifyCertificateThroughMemory: {
            const uint8_t result = c.VerifyCertificate(true);
            Require(result == 0 || result == 1 || result == 240);
            return result;
        }
        case Operation::kRawI2cRead: {
            // Any capacity, the too small ones included: the reply must stay inside it.
            const int32_t capacity = choices.Next() % 140;
            std::vector<uint8_t> buffer(static_cast<size_t>(capacity));
            int32_t length = -7;
            const int32_t r =
                c.gfx->I2cRead(c.deviceId, c.ddcAddress, buffer.data(), capacity, &length);
            if (r != GFX_OK) {
                return -r;
            }
            Require(length >= 0);
            return Digest(buffer) + length;
        }
        case Operation::kPause:
            platform::SleepMs(choices.Next() * 10u);
            return 0;
        default:
            return 0;
    }
}

int64_t RunMailboxOperation(ZorvanControl& c, Choices& choices, Operation op) {
    switch (op) {
        case Operation::kReadMailbox:
            c.ReadMailbox();
            return c.commandAddress + (int64_t{c.statusAddress} << 24);
        case Operation::kReadFlashId: {
            uint16_t id = 0;
            std::wstring text;
            if (!c.ReadFlashId(id, text)) {
                Require(!text.empty());
                return -1;
            }
            return id;
        }
        case Operation::kEraseFlash:
            return c.EraseFlash(Pick(kEraseCodes, choices.Next()));
        case Operation::kReadFlash: {
            const uint32_t offset = Pick(kFlashOffsets, choices.Next());
            const int32_t length = choices.Next() % 200 + 1;
            std::vector<uint8_t> out(static_cast<size_t>(length));
            return c.ReadFlash(offset, out.data(), length) ? Digest(out) : -1;
        }
        case Operation::kReadFlashVersion:
            return c.ReadFlashVersion();
        case Operation::kProgramFlash:
        case Operation::kProgramErasedRegion: {
            const uint8_t code = Pick(kProgramCodes, choices.Next());
            const uint32_t offset = Pick(kFlashOffsets, choices.Next());
            const uint8_t kind = choices.Next();
            const size_t size = choices.Next() % 2 == 0 ? 504 : 1100;
            const std::vector<uint8_t> data = BlockData(kind, size);
            const int32_t length = static_cast<int32_t>(data.size());
            int32_t progress = 0;
            uint32_t step = 0;
            const bool done =
                op == Operation::kProgramFlash
                    ? c.ProgramFlash(data.data(), length, code, offset, &progress, length, &step)
                    : c.ProgramErasedRegion(data.data(), length, code, offset, &progress, length,
                                            &step);
            Require(progress >= 0 && progress <= length);
            return done ? progress : -static_cast<int64_t>(step);
        }
        case Operation::kReadResponse: {
            const int32_t length = choices.Next() % (kMaxFlashReadCount + 2);
            std::vector<uint8_t> out(static_cast<size_t>(std::max(length, 1)));
            return c.IspReadResponse(out.data(), length) ? Digest(out) : -1;
        }
        case Operation::kClearResponse:
            return c.IspClearResponse();
        case Operation::kClearStatus:
            return c.IspClearStatus();
        case Operation::kSendRequest: {
            std::vector<uint8_t> request(choices.Next() % 24 + 1);
            for (uint8_t& b : request) {
                b = choices.Next();
            }
            const uint32_t address = choices.Next() % 2 == 0 ? c.commandAddress : c.statusAddress;
            return c.IspSendRequest(request, address);
        }
        case Operation::kWriteBlock: {
            const std::vector<uint8_t> data = BlockData(choices.Next(), 504);
            const BlockReadBack readBack{Pick(kFlashOffsets, choices.Next()), 504};
            const bool withReadBack = choices.Next() % 2 == 1;
            uint32_t code = 0;
            const bool written = c.WriteBlock(data.data(), static_cast<int32_t>(data.size()), &code,
                                              withReadBack ? &readBack : nullptr);
            return (written ? int64_t{1} << 40 : 0) + code;
        }
        case Operation::kVerifyCmdbThroughDriver:
            return c.VerifyCmdb(false);
        case Operation::kVerifyCertificateThroughDriver: {
            const uint8_t result = c.VerifyCertificate(false);
            Require(result == 0 || result == 1 || result == 240);
            return result;
        }
        case Operation::kProgramSecureImage: {
            const uint8_t flags = choices.Next();
            c.firmwareImage = DemoFixtures().firmware;
            c.firmwareLength = static_cast<int32_t>(c.firmwareImage.size());
            uint32_t step = 0;
            std::wstring text;
            if (!c.ProgramSecureImage((flags & 1) != 0, step, text, (flags & 2) != 0)) {
                Require(!text.empty());
                return -static_cast<int64_t>(step);
            }
            return 1;
        }
        case Operation::kSystemReset:
            return c.SystemReset();
        case Operation::kRawAuxRead: {
            const uint32_t address = choices.Next() % 2 == 0 ? c.statusAddress : c.commandAddress;
            const int32_t length = choices.Next() % 20 + 1;
            std::vector<uint8_t> buffer(static_cast<size_t>(length));
            const int32_t r = c.gfx->AuxRead(c.deviceId, address, buffer.data(), length);
            return r == GFX_OK ? Digest(buffer) : -r;
        }
        default:
            return 0;
    }
}

}  // namespace

uint8_t ChoiceOf(OperationSet set, Operation operation) {
    const std::vector<Operation> ops = OperationsOf(set);
    return static_cast<uint8_t>(std::find(ops.begin(), ops.end(), operation) - ops.begin());
}

void PrepareControl(ZorvanControl& control) {
    const Fixtures& f = DemoFixtures();
    std::wstring text;
    control.driverPath = f.driverPath;
    control.esmPath = f.esmPath;
    Require(control.LoadDriverFile(text) && control.LoadEsmFile(text));
    control.cmdbImage = f.cmdb;
    control.cmdbLength = static_cast<int32_t>(f.cmdb.size());
    control.certificate = f.certificate;
    control.certificateLength = static_cast<int32_t>(f.certificate.size());
}

std::vector<int64_t> RunOperations(ZorvanControl& control, Choices& choices, OperationSet set,
                                   int maxSteps) {
    const std::vector<Operation> ops = OperationsOf(set);
    std::vector<int64_t> outcomes;
    ChipType type = CHIP_NONE;
    for (int step = 0; step < maxSteps && !choices.Done(); ++step) {
        const Operation op = ops[choices.Next() % ops.size()];
        if (op < Operation::kReadMailbox) {
            outcomes.push_back(RunCommandChannelOperation(control, choices, op, type));
        } else {
            outcomes.push_back(RunMailboxOperation(control, choices, op));
            CheckMailbox(control);
        }
    }
    return outcomes;
}

}  // namespace zorvan::fuzz
