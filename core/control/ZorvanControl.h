#pragma once
// The chip-control core: one object per process owns the display-link backends and
// everything that speaks to the converter chip. Its operations are defined in one
// source file per protocol layer (adapter selection, command channel, identity, ...).
#include <cstdint>
#include <string>
#include <vector>

#include "core/control/ZorvanControlDelegate.h"
#include "core/gfx/GfxLib.h"
#include "core/gfx/GfxLibAmd.h"
#include "core/gfx/GfxLibIntel.h"
#include "core/gfx/GfxLibIntelSkylake.h"
#include "core/gfx/GfxLibNvidia.h"

namespace zorvan {

class ZorvanControl {
public:
    ZorvanControl();
    ~ZorvanControl();
    ZorvanControl(const ZorvanControl&) = delete;
    ZorvanControl& operator=(const ZorvanControl&) = delete;

    // --- adapter selection ---
    // Picks, initialises and connects the configured backend; 0, 1 or 2.
    int32_t InitGraphicsAdapter(std::wstring& text);
    bool GfxIsNvidiaOrAmd() const { return gfx == &gfxNvidia || gfx == &gfxAmd; }

    // --- members, in declaration order ---
    GfxLib* gfx = nullptr;
    GfxLibIntel gfxIntel;
    GfxLibIntelSkylake gfxIntelSkylake;
    GfxLibNvidia gfxNvidia;
    GfxLibAmd gfxAmd;
    ZorvanControlDelegate* delegate = nullptr;

    uint8_t rxBuffer[512] = {};
    uint8_t txBuffer[528] = {};

    std::vector<uint8_t> esmImage;
    const uint8_t* esmPayload = nullptr;
    std::vector<uint8_t> driverImage;
    const uint8_t* driverPayload = nullptr;
    std::vector<uint8_t> firmwareImage;
    std::vector<uint8_t> certificate;
    std::vector<uint8_t> cmdbImage;
    int32_t esmLength = 0;
    int32_t driverLength = 0;
    int32_t firmwareLength = 0;
    int32_t certificateLength = 0;
    int32_t cmdbLength = 0;

    uint32_t mailboxPointer = 0;
    uint32_t commandAddress = 0x20000;
    uint16_t commandSize = 512;
    uint32_t statusAddress = 0x10000;
    uint16_t statusSize = 128;
    uint32_t firstHalfFlagAddress = 0x200FF;
    uint32_t secondHalfFlagAddress = 0x201FF;

    uint32_t binVersion = 0;
    int32_t gfxSelection = GFX_AUTO;
    uint32_t deviceId = 0;
    uint32_t ddcAddress = 0x6E;
    uint32_t flashStartAddress = 0x400000;
    uint16_t ramWriteAddress = 0x1800;
    uint16_t runAtAddress = 0x1800;
    int32_t secureIsp = 0;
    uint32_t chipVersion = 0;

    std::wstring esmPath;
    std::wstring driverPath;
    std::wstring firmwarePath;
    std::wstring keysPath;
    std::wstring cmdbPath;
    std::wstring gfxName;
};

}  // namespace zorvan
