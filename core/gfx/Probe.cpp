#include "core/gfx/Probe.h"

#include "core/gfx/GfxLib.h"
#include "core/platform/Clock.h"

namespace zorvan {

std::array<uint8_t, kProbePacketLength> ProbePacket(uint32_t ddcAddress) {
    std::array<uint8_t, kProbePacketLength> packet = {0x51, 0x85, 0xC2, 0x00,
                                                      0x00, 0x03, 0x0A, 0x00};
    uint8_t check = static_cast<uint8_t>(ddcAddress);
    for (size_t i = 0; i + 1 < packet.size(); ++i) {
        check = static_cast<uint8_t>(check ^ packet[i]);
    }
    packet[kProbePacketLength - 1] = check;
    return packet;
}

bool ProbeReplyPasses(const uint8_t* reply, int32_t length, uint32_t ddcAddress,
                      const ProbeChecks& checks) {
    if (reply == nullptr) {
        return false;
    }
    if (checks.exactLength && length != kProbePacketLength) {
        return false;
    }
    if (checks.ackCode && (length < 7 || reply[6] != 0x0C)) {
        return false;
    }
    const uint8_t expected = static_cast<uint8_t>((ddcAddress | 1u) ^ 0x19u);
    if (checks.checkByte && (length < 8 || reply[7] != expected)) {
        return false;
    }
    return true;
}

int32_t ReadProbeReply(GfxLib& gfx, uint32_t deviceId, uint32_t address, uint8_t* buffer,
                       int32_t capacity, int32_t* length) {
    int32_t r = GFX_OK;
    *length = 0;
    for (int attempt = 0; attempt < kProbeReadAttempts; ++attempt) {
        int32_t got = 0;
        r = gfx.I2cRead(deviceId, address, buffer, capacity, &got);
        if (r == GFX_OK) {
            *length = got;
            if (got >= kProbePacketLength) {
                break;
            }
            platform::SleepMs(30);
        } else if (r == GFX_BUSY) {
            platform::SleepMs(10);
        }
    }
    return r;
}

}  // namespace zorvan
