// Chip identity: the two type queries and the identification block with its description.
#include <algorithm>
#include <cstring>

#include "core/control/VersionText.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// Identification block: 6-byte identification string, hardware revision, major, minor, build.
constexpr uint32_t kIdentificationDpcd = 0x503;
constexpr uint32_t kIdentificationMemory = 0x1B503;
constexpr int32_t kIdentificationSize = 10;

// One type query (0x06 with two parameter bytes); the payload, zero beyond what came back.
bool QueryType(ZorvanControl& control, uint8_t p1, uint8_t p2, uint8_t (&payload)[16]) {
    const uint8_t command[] = {kChipTypeCode, p1, p2};
    std::memset(payload, 0, sizeof payload);
    return control.SendCommand(command, sizeof command) && control.ReceiveReply(payload) &&
           payload[1] == kChipTypeCode;
}

bool IdIs(const uint8_t* block, const char* id, size_t count) {
    return std::memcmp(block, id, count) == 0;
}

}  // namespace

ChipType ZorvanControl::GetChipType() {
    uint8_t payload[16];
    if (!QueryType(*this, 0xC8, 0x02, payload)) {
        return CHIP_NONE;
    }
    if (payload[4] == 0x28) {
        return CHIP_VEXA1100;
    }
    if (payload[4] == 0x26) {
        return CHIP_VIREEN;
    }
    if (!QueryType(*this, 0x80, 0x02, payload)) {
        return CHIP_UNKNOWN;
    }
    if (payload[5] == 0x64) {
        return CHIP_LUMOX;
    }
    if (payload[4] == 0x43) {
        return CHIP_TALVOR;
    }
    return CHIP_UNKNOWN;
}

bool ZorvanControl::ReadIdentificationBlock(ChipType type) {
    const auto fromMemory = [this] {
        return ReadMemory(kIdentificationMemory, txBuffer, kIdentificationSize);
    };
    const auto fromDpcd = [this] {
        return gfx != nullptr &&
               gfx->AuxRead(deviceId, kIdentificationDpcd, txBuffer, kIdentificationSize) == GFX_OK;
    };
    // The boot ROM and the application of type 0 answer best through chip memory.
    if (type == CHIP_VEXA1100) {
        return fromMemory() || fromDpcd() || fromMemory();
    }
    return fromDpcd() || fromMemory();
}

void ZorvanControl::GetChipInfo(ChipType& type, std::wstring& text) {
    if (!ReadIdentificationBlock(type)) {
        chipVersion = 0;
        text = L"N/A";
        return;
    }
    const uint8_t* block = txBuffer;
    chipVersion =
        static_cast<uint32_t>(block[9]) << 16 | static_cast<uint32_t>(block[7]) << 8 | block[8];
    // The identification string ends early at a zero byte.
    const size_t idLength = static_cast<size_t>(std::find(block, block + 6, uint8_t{0}) - block);
    const std::wstring id = WidenBytes(block, idLength);
    const std::wstring ver = FormatVersion(type, chipVersion);
    const int rev = block[6];
    const int revHigh = rev >> 4;
    const int revLow = rev & 0x0F;

    switch (type) {
        case CHIP_VEXA1100:
            if (IdIs(block, "KQ1100", 6) || IdIs(block, "KQ1150", 6)) {
                if (IdIs(block, "KQ1150", 6)) {
                    type = CHIP_VEXA1150;
                }
                text = Format(L"Zorvan App: %s %s  (cut%d.%d)", id.c_str(), ver.c_str(), revHigh,
                              revLow);
            } else {
                type = CHIP_ZORVAN_IROM;
                text = Format(L"Zorvan IROM v%d.%d", block[7], block[8]);
            }
            break;
        case CHIP_TALVOR:
            if (IdIs(block, "TLVGG", 5)) {
                text = Format(L"Talvor iROM: v%d.%d", static_cast<int>(chipVersion >> 8), block[8]);
            } else {
                text = Format(L"Talvor App: %s %s  (HWver=0x%02X)", id.c_str(), ver.c_str(), rev);
            }
            break;
        case CHIP_LUMOX:
            text = Format(L"Lumox: %s %s  (cut%d.%d)", id.c_str(), ver.c_str(), revHigh - 4,
                          revLow - 5);
            break;
        case CHIP_VIREEN:
            text =
                Format(L"Vireen: %s %s  (cut%d.%d)", id.c_str(), ver.c_str(), revHigh, revLow - 1);
            break;
        default:
            text = Format(L"%s %s  (HWver=0x%02X)", id.c_str(), ver.c_str(), rev);
            break;
    }
}

}  // namespace zorvan
