// SPI flash operations through the ISP driver's mailbox: flash ID, erase, reset, read.
#include <algorithm>
#include <array>

#include "core/control/StoredPackets.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"

namespace zorvan {
namespace {

// Flash ID: 3 ms between polls; 3000 polls while reads fail, 500 once the driver answers.
constexpr uint16_t kFlashIdPollMs = 3;
constexpr uint16_t kFlashIdEmptyMs = 10;
constexpr int32_t kFlashIdFailingLimit = 3000;
constexpr int32_t kFlashIdAnsweringLimit = 500;
constexpr uint8_t kFlashIdEcho = 0x1C;

// Erase: 250 ms to start, up to 150 polls, 50 ms apart while nothing is there. Progress runs
// against 30 polls for the whole flash (it usually takes about that long), 150 otherwise.
constexpr uint32_t kAfterRequestMs = 250;
constexpr int32_t kErasePolls = 150;
constexpr int32_t kFullEraseProgress = 30;
constexpr uint16_t kErasePollMs = 50;
constexpr uint16_t kBeforeResponseMs = 1;
// Reset: up to 10 polls, 10 ms apart while nothing is there.
constexpr int32_t kResetPolls = 10;
constexpr uint16_t kResetPollMs = 10;

constexpr uint8_t kCompletionStatus = 3;
// The version field sits this far before the end of the firmware image.
constexpr int32_t kVersionFromEnd = 20;

}  // namespace

bool ZorvanControl::ReadFlashId(uint16_t& flashId, std::wstring& text) {
    if (gfx == nullptr) {
        text = L"Reading flash ID timed out!\r\n";
        return false;
    }
    IspSendRequest(kFlashIdRequest.view(), commandAddress);
    uint8_t answer[5] = {};
    bool answered = false;
    int32_t limit = kFlashIdFailingLimit;
    for (int32_t i = 0; i < limit; ++i) {
        platform::DelayMs(kFlashIdPollMs);
        if (gfx->AuxRead(deviceId, statusAddress, answer, sizeof answer) != GFX_OK) {
            limit = kFlashIdFailingLimit;
        } else if (answer[0] != 0 && answer[2] != 0 && answer[3] != 0) {
            answered = true;
            i = limit;
        } else {
            platform::DelayMs(kFlashIdEmptyMs);
            limit = kFlashIdAnsweringLimit;
        }
        if (delegate != nullptr) {
            delegate->UpdateProgress(i, limit);
        }
    }
    if (!answered || answer[1] != kFlashIdEcho) {
        text = L"Reading flash ID timed out!\r\n";
        return false;
    }
    flashId = static_cast<uint16_t>(answer[2] | answer[3] << 8);
    IspClearStatus();
    return true;
}

Completion ZorvanControl::PollCompletion(const CompletionPolling& rule) {
    uint8_t status = 0;
    for (int32_t poll = 0; poll < rule.polls && status != kCompletionStatus; ++poll) {
        uint8_t first = 0;
        const bool read = gfx->AuxRead(deviceId, statusAddress, &first, 1) == GFX_OK;
        if ((read && first == 0) || (!read && rule.failedReadPauses)) {
            if (rule.emptyPauseSleeps) {
                platform::SleepMs(rule.emptyPauseMs);
            } else {
                platform::DelayMs(rule.emptyPauseMs);
            }
        } else if (read && first == kCompletionStatus) {
            if (rule.beforeResponseMs > 0) {
                platform::DelayMs(rule.beforeResponseMs);
            }
            // An unreadable response is no completion yet.
            if (gfx->AuxRead(deviceId, statusAddress, rxBuffer, 3) == GFX_OK) {
                status = rxBuffer[0];
            }
        }
        if (delegate != nullptr && poll < rule.progressLimit) {
            delegate->UpdateProgress(poll, rule.progressLimit);
        }
    }
    if (status != kCompletionStatus) {
        return Completion::kNone;
    }
    return std::equal(kCompletionResponse.begin(), kCompletionResponse.end(), rxBuffer)
               ? Completion::kDone
               : Completion::kWrongResponse;
}

bool ZorvanControl::EraseFlash(uint16_t eraseCode) {
    if (gfx == nullptr) {
        return false;
    }
    const MailboxRequest request = EraseRequest(eraseCode);
    const int32_t limit = eraseCode == ERASE_FULL ? kFullEraseProgress : kErasePolls;
    IspSendRequest(request.view(), commandAddress);
    platform::SleepMs(kAfterRequestMs);
    const CompletionPolling rule = {kErasePolls, kErasePollMs,      true,
                                    true,        kBeforeResponseMs, limit};
    if (PollCompletion(rule) != Completion::kDone) {
        return false;
    }
    IspClearStatus();
    if (delegate != nullptr) {
        delegate->UpdateProgress(limit, limit);
    }
    return true;
}

bool ZorvanControl::SystemReset() {
    if (gfx == nullptr) {
        return false;
    }
    IspSendRequest(kSystemResetRequest.view(), commandAddress);
    platform::SleepMs(kAfterRequestMs);
    const CompletionPolling rule = {kResetPolls, kResetPollMs, false, false, 0, 0};
    if (PollCompletion(rule) != Completion::kDone) {
        return false;
    }
    IspClearStatus();
    return true;
}

bool ZorvanControl::ReadFlash(uint32_t flashOffset, uint8_t* out, int32_t length) {
    if (length == 0) {
        return true;
    }
    if (out == nullptr || length < 0 || flashOffset >= kFlashSize ||
        static_cast<uint32_t>(length) > kFlashSize - flashOffset) {
        return false;
    }
    int32_t remaining = length;
    while (true) {
        const auto count = static_cast<uint8_t>(std::min<int32_t>(remaining, kMaxFlashReadCount));
        const MailboxRequest request = ReadFlashRequest(flashOffset, count);
        if (!IspSendRequest(request.view(), commandAddress)) {
            return false;
        }
        const bool read = IspReadResponse(out, count);
        const bool last = remaining == count;
        if (!read && !last) {
            return false;
        }
        IspClearResponse();
        if (last) {
            return read;
        }
        flashOffset += count;
        out += count;
        remaining -= count;
    }
}

uint32_t ZorvanControl::ReadFlashVersion() {
    uint8_t version[3] = {};
    if (firmwareLength < kVersionFromEnd ||
        !ReadFlash(static_cast<uint32_t>(firmwareLength - kVersionFromEnd), version, 3)) {
        return 0;
    }
    return static_cast<uint32_t>(version[0]) | static_cast<uint32_t>(version[1]) << 8 |
           static_cast<uint32_t>(version[2]) << 16;
}

}  // namespace zorvan
