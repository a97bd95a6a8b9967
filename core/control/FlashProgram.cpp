// Programming the SPI flash: each block goes through the two halves of the command buffer,
// handshaking with their flag bytes, followed by 00 00 and its CRC-16.
#include <algorithm>
#include <vector>

#include "core/control/Crc16.h"
#include "core/control/StoredPackets.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"

namespace zorvan {
namespace {

constexpr int kAttempts = 100;
constexpr uint16_t kRetryMs = 10;
constexpr uint16_t kStartMs = 15;
constexpr uint32_t kFlagBusyMs = 30;
// The pauses the NVIDIA and AMD backends need around the mailbox writes.
constexpr uint16_t kPaceMs = 1;
constexpr uint16_t kBeforeBlockMs = 3;
constexpr uint16_t kBeforePieceMs = 5;
constexpr uint16_t kBeforeFlagMs = 2;
// After a block: 10 ms, then up to 2000 polls of the status, 3 ms apart while it is empty.
constexpr uint16_t kBeforeCompletionMs = 10;
constexpr int32_t kCompletionPolls = 2000;
constexpr uint16_t kCompletionEmptyMs = 3;
constexpr uint16_t kResponseMsNvidiaAmd = 2;
constexpr uint16_t kResponseMsIntel = 1;

constexpr uint32_t kHeaderSize = 8;
// 00 00, CRC high, CRC low after the data.
constexpr int32_t kBlockTrailer = 4;
constexpr int32_t kMaxBlockBytes =
    std::min(2 * 255, static_cast<int32_t>(sizeof(ZorvanControl::txBuffer))) - kBlockTrailer;

bool AllErased(const uint8_t* bytes, int32_t length) {
    return std::all_of(bytes, bytes + length, [](uint8_t b) { return b == 0xFF; });
}

const MailboxRequest& ProgramRequest(uint8_t programCode) {
    switch (programCode) {
        case PROGRAM_CODE_76:
            return kProgramRequest76;
        case PROGRAM_CODE_ALL:
            return kProgramRequest77;
        case PROGRAM_CODE_78:
            return kProgramRequest78;
        default:
            return kProgramRequest10;
    }
}

}  // namespace

void ZorvanControl::PaceForNvidiaOrAmd(uint16_t ms) const {
    if (GfxIsNvidiaOrAmd()) {
        platform::DelayMs(ms);
    }
}

bool ZorvanControl::WaitFirstHalfFree() {
    for (int poll = 0; poll < kAttempts; ++poll) {
        uint8_t flag = 0xFF;
        if (gfx->AuxRead(deviceId, firstHalfFlagAddress, &flag, 1) != GFX_OK) {
            platform::DelayMs(kRetryMs);
        } else if (flag != 0) {
            platform::SleepMs(kFlagBusyMs);
        } else {
            return true;
        }
    }
    return false;
}

bool ZorvanControl::WriteBlockHeader(const std::array<uint8_t, 8>& header, bool& flagNeeded) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (gfx->AuxWrite(deviceId, commandAddress, header.data(), kHeaderSize) == GFX_OK) {
            flagNeeded = true;
            return true;
        }
        // A write reported failed may still have arrived: read it back before repeating it.
        std::array<uint8_t, 8> back{};
        bool readBack = false;
        for (int read = 0; read < kAttempts && !readBack; ++read) {
            readBack = gfx->AuxRead(deviceId, commandAddress, back.data(), kHeaderSize) == GFX_OK;
        }
        if (readBack && back == header) {
            flagNeeded = false;
            return true;
        }
        platform::DelayMs(kRetryMs);
    }
    return false;
}

bool ZorvanControl::ProgramBlock(const MailboxRequest& request,
                                 const std::array<uint8_t, 8>& header,
                                 const BlockReadBack& readBack, uint32_t& blockCode,
                                 uint32_t& step) {
    PaceForNvidiaOrAmd(kPaceMs);
    if (!IspSendRequest(request.view(), commandAddress)) {
        step = STEP_PROGRAM_REQUEST;
        return false;
    }
    PaceForNvidiaOrAmd(kPaceMs);
    uint8_t status = 0;
    gfx->AuxRead(deviceId, statusAddress, &status, 1);
    PaceForNvidiaOrAmd(kPaceMs);
    if (!WaitFirstHalfFree()) {
        step = STEP_FIRST_HALF_BUSY;
        return false;
    }
    PaceForNvidiaOrAmd(kPaceMs);
    bool flagNeeded = false;
    if (!WriteBlockHeader(header, flagNeeded)) {
        step = STEP_HEADER_WRITE;
        return false;
    }
    if (flagNeeded) {
        PaceForNvidiaOrAmd(kPaceMs);
        const uint8_t headerFlag = kHeaderSize;
        gfx->AuxWrite(deviceId, firstHalfFlagAddress, &headerFlag, 1);
    }
    PaceForNvidiaOrAmd(kBeforeBlockMs);
    if (!WriteBlock(txBuffer, readBack.dataLength + kBlockTrailer, &blockCode, &readBack)) {
        step = blockCode + STEP_BLOCK_TRANSFER;
        return false;
    }
    return true;
}

bool ZorvanControl::ProgramFlash(const uint8_t* data, int32_t length, uint8_t programCode,
                                 uint32_t regionOffset, int32_t* progress, int32_t progressTotal,
                                 uint32_t* stepCode) {
    uint32_t ignoredStep = 0;
    uint32_t& step = stepCode != nullptr ? *stepCode : ignoredStep;
    int32_t ownProgress = 0;
    int32_t& counter = progress != nullptr ? *progress : ownProgress;
    if (gfx == nullptr || data == nullptr || length <= 0 || commandSize <= kHeaderSize) {
        return false;
    }
    platform::DelayMs(kStartMs);
    // A driver may offer a larger command buffer than a block can use: each half's byte count
    // travels in a one-byte flag and the block with its trailer must fit txBuffer.
    const auto blockLimit =
        std::min(static_cast<int32_t>(commandSize - kHeaderSize), kMaxBlockBytes);
    const MailboxRequest& request = ProgramRequest(programCode);
    uint32_t blockCode = BLOCK_NONE_YET;
    bool result = false;
    for (int32_t done = 0; done < length;) {
        const int32_t block = std::min(length - done, blockLimit);
        const uint8_t* blockData = data + done;
        std::copy_n(blockData, block, txBuffer);
        const uint16_t crc = Crc16(std::span(txBuffer, static_cast<size_t>(block)));
        txBuffer[block] = 0x00;
        txBuffer[block + 1] = 0x00;
        txBuffer[block + 2] = static_cast<uint8_t>(crc >> 8);
        txBuffer[block + 3] = static_cast<uint8_t>(crc);
        const bool erased = AllErased(blockData, block);
        const uint32_t offset = regionOffset + static_cast<uint32_t>(done);
        const auto header = BlockHeader(flashStartAddress + offset, static_cast<uint32_t>(block));

        // An erased block already holds all 0xFF; its address is passed over like any other,
        // so the next block lands where it belongs.
        if (!erased || programCode == PROGRAM_CODE_ALL) {
            const BlockReadBack readBack = {offset, block};
            result = ProgramBlock(request, header, readBack, blockCode, step);
            if (!result) {
                return false;
            }
        }
        done += block;
        counter += block;
        if (delegate != nullptr) {
            delegate->UpdateProgress(counter, progressTotal);
        }
    }
    return result;
}

bool ZorvanControl::ProgramErasedRegion(const uint8_t* data, int32_t length, uint8_t programCode,
                                        uint32_t regionOffset, int32_t* progress,
                                        int32_t progressTotal, uint32_t* stepCode) {
    if (ProgramFlash(data, length, programCode, regionOffset, progress, progressTotal, stepCode)) {
        return true;
    }
    // PROGRAM_CODE_ALL sends every block, so its failure is always real.
    return data != nullptr && length > 0 && programCode != PROGRAM_CODE_ALL &&
           AllErased(data, length);
}

bool ZorvanControl::WaitHalfFree(uint32_t flagAddress) {
    for (int poll = 0; poll < kAttempts; ++poll) {
        uint8_t flag = 0xFF;
        if (gfx->AuxRead(deviceId, flagAddress, &flag, 1) == GFX_OK && flag == 0) {
            return true;
        }
    }
    return false;
}

bool ZorvanControl::WriteHalf(uint32_t address, const uint8_t* data, int32_t count) {
    const int32_t piece = std::max(1, gfx->replyBufferSize);
    int failures = 0;
    for (int32_t at = 0; at < count;) {
        const int32_t size = std::min(piece, count - at);
        PaceForNvidiaOrAmd(kBeforePieceMs);
        if (gfx->AuxWrite(deviceId, address + static_cast<uint32_t>(at), data + at, size) ==
            GFX_OK) {
            at += size;
            continue;
        }
        platform::DelayMs(kRetryMs);
        if (++failures >= kAttempts) {
            return false;
        }
    }
    return true;
}

bool ZorvanControl::WriteHalfFlag(uint32_t flagAddress, uint8_t count) {
    PaceForNvidiaOrAmd(kBeforeFlagMs);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (gfx->AuxWrite(deviceId, flagAddress, &count, 1) == GFX_OK) {
            return true;
        }
    }
    return false;
}

bool ZorvanControl::WriteBlock(const uint8_t* data, int32_t length, uint32_t* code,
                               const BlockReadBack* readBack) {
    if (gfx == nullptr || data == nullptr || code == nullptr || length <= 0 ||
        length > commandSize - 2) {
        return false;
    }
    const int32_t secondCount = length / 2;
    struct Half {
        uint32_t address;
        uint32_t flagAddress;
        const uint8_t* bytes;
        int32_t count;
    };
    const Half halves[] = {
        {commandAddress + commandSize / 2u, secondHalfFlagAddress, data, secondCount},
        {commandAddress, firstHalfFlagAddress, data + secondCount, length - secondCount},
    };
    for (size_t h = 0; h < std::size(halves); ++h) {
        const Half& half = halves[h];
        if (!WaitHalfFree(half.flagAddress)) {
            *code = BLOCK_HALF_BUSY;
            platform::DelayMs(kRetryMs);
            // Nothing of the block has gone out yet: it fails. Once the first part is out, the
            // driver may still finish the block, so its completion is awaited.
            if (h == 0) {
                return false;
            }
            break;
        }
        if (!WriteHalf(half.address, half.bytes, half.count)) {
            *code = BLOCK_DATA_WRITE;
            platform::DelayMs(kRetryMs);
            return false;
        }
        if (!WriteHalfFlag(half.flagAddress, static_cast<uint8_t>(half.count))) {
            *code = BLOCK_FLAG_WRITE;
            platform::DelayMs(kRetryMs);
            return false;
        }
    }

    platform::DelayMs(kBeforeCompletionMs);
    const uint16_t responseMs = GfxIsNvidiaOrAmd() ? kResponseMsNvidiaAmd : kResponseMsIntel;
    const CompletionPolling rule = {
        kCompletionPolls, kCompletionEmptyMs, false, false, responseMs, 0};
    const Completion completion = PollCompletion(rule);
    if (completion == Completion::kWrongResponse) {
        return false;
    }
    // No word from the driver: the block counts as written only when the flash holds it.
    if (completion == Completion::kNone && readBack != nullptr &&
        !BlockReadsBack(data, *readBack)) {
        return false;
    }
    const bool cleared = IspClearStatus();
    *code = BLOCK_WRITTEN;
    return cleared;
}

bool ZorvanControl::BlockReadsBack(const uint8_t* data, const BlockReadBack& readBack) {
    if (readBack.dataLength <= 0) {
        return false;
    }
    std::vector<uint8_t> flash(static_cast<size_t>(readBack.dataLength));
    return ReadFlash(readBack.flashOffset, flash.data(), readBack.dataLength) &&
           std::equal(flash.begin(), flash.end(), data);
}

}  // namespace zorvan
