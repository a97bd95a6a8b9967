// The mailbox primitives of the running ISP driver: a request into the command buffer, the
// status byte cleared, a flash read response taken from the status area and cleared.
#include <algorithm>

#include "core/control/StoredPackets.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"

namespace zorvan {
namespace {

constexpr int kAttempts = 100;
constexpr uint16_t kBeforeLengthByteMs = 2;
constexpr uint16_t kBeforeClearMs = 1;
constexpr uint16_t kBeforeClearCheckMs = 2;
constexpr uint16_t kResponseRetryMs = 10;

// A flash read response: n (data + 3), echo 0x1B, the data, a check byte; laid out in rows of
// 16 bytes, each a count byte and up to 15 bytes of the response.
constexpr uint8_t kReadFlashEcho = 0x1B;
constexpr uint32_t kRowSize = 16;
constexpr uint32_t kRowPayload = 15;
constexpr uint32_t kResponseRows = 4;

}  // namespace

bool ZorvanControl::IspSendRequest(std::span<const uint8_t> request, uint32_t address) {
    if (gfx == nullptr || request.empty() || request[0] < 2 || request[0] > request.size()) {
        return false;
    }
    const uint8_t n = request[0];
    bool sent = gfx->AuxWrite(deviceId, address + 1, request.data() + 1, n - 1) == GFX_OK;
    if (sent) {
        if (GfxIsNvidiaOrAmd()) {
            platform::DelayMs(kBeforeLengthByteMs);
        }
        // The length byte goes last: it tells the driver that the request is complete.
        sent = gfx->AuxWrite(deviceId, address, request.data(), 1) == GFX_OK;
    }
    if (sent) {
        return true;
    }
    if (address != commandAddress) {
        return false;
    }
    // A write may be reported failed although it arrived: the length byte tells.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        rxBuffer[0] = static_cast<uint8_t>(n + 1);
        if (gfx->AuxRead(deviceId, address, rxBuffer, 1) == GFX_OK) {
            return rxBuffer[0] == n;
        }
    }
    return false;
}

bool ZorvanControl::IspClearStatus() {
    if (gfx == nullptr) {
        return false;
    }
    const uint8_t zero = 0;
    bool cleared = false;
    for (int attempt = 0; attempt < kAttempts && !cleared; ++attempt) {
        if (GfxIsNvidiaOrAmd()) {
            platform::DelayMs(kBeforeClearMs);
        }
        cleared = gfx->AuxWrite(deviceId, statusAddress, &zero, 1) == GFX_OK;
    }
    if (!cleared) {
        return false;
    }
    if (GfxIsNvidiaOrAmd()) {
        platform::DelayMs(kBeforeClearCheckMs);
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        uint8_t status = 0xFF;
        if (gfx->AuxRead(deviceId, statusAddress, &status, 1) == GFX_OK && status == 0) {
            return true;
        }
    }
    return false;
}

bool ZorvanControl::IspReadResponse(uint8_t* out, int32_t length) {
    if (gfx == nullptr || out == nullptr || length <= 0 || length > kMaxFlashReadCount) {
        return false;
    }
    bool present = false;
    for (int attempt = 0; attempt < kAttempts && !present; ++attempt) {
        if (gfx->AuxRead(deviceId, statusAddress, rxBuffer, 3) != GFX_OK) {
            continue;
        }
        present = rxBuffer[0] != 0;
        if (!present) {
            platform::DelayMs(kResponseRetryMs);
        }
    }
    const uint32_t n = static_cast<uint32_t>(length) + 3;
    if (!present || rxBuffer[1] != n || rxBuffer[2] != kReadFlashEcho) {
        return false;
    }
    const uint32_t total = n + (n + kRowPayload - 1) / kRowPayload;
    if (gfx->AuxRead(deviceId, statusAddress, rxBuffer, static_cast<int32_t>(total)) != GFX_OK) {
        return false;
    }
    // The row counts are the driver's word: take only bytes the read delivered, never more
    // than a row holds, and stop at the data's end so the check byte stays out.
    uint32_t stored = 0;
    const uint32_t want = static_cast<uint32_t>(length);
    for (uint32_t row = 0; row * kRowSize < total && stored < want; ++row) {
        const uint32_t at = row * kRowSize;
        const uint32_t count = std::min<uint32_t>(rxBuffer[at], kRowPayload);
        const uint32_t skip = row == 0 ? 2 : 0;  // n and the echo open the first row
        if (count <= skip) {
            return false;
        }
        const uint32_t first = at + 1 + skip;
        const uint32_t available = std::min(count - skip, total > first ? total - first : 0);
        const uint32_t take = std::min(available, want - stored);
        std::copy_n(rxBuffer + first, take, out + stored);
        stored += take;
    }
    return stored == want;
}

bool ZorvanControl::IspClearResponse() {
    if (gfx == nullptr) {
        return false;
    }
    const uint8_t zero = 0;
    for (uint32_t row = 0; row < kResponseRows; ++row) {
        const uint32_t address = statusAddress + row * kRowSize;
        bool written = false;
        for (int attempt = 0; attempt < kAttempts && !written; ++attempt) {
            written = gfx->AuxWrite(deviceId, address, &zero, 1) == GFX_OK;
        }
        if (!written) {
            return false;
        }
        bool cleared = false;
        for (int attempt = 0; attempt < kAttempts && !cleared; ++attempt) {
            uint8_t value = 0xFF;
            cleared = gfx->AuxRead(deviceId, address, &value, 1) == GFX_OK && value == 0;
        }
        if (!cleared) {
            return false;
        }
    }
    return true;
}

}  // namespace zorvan
