#pragma once
// The display-link interface: the one way the rest of the system reaches the DisplayPort
// AUX channel. Each backend implements the six operations on its vendor's driver
// interface; the public entry points add the link trace around them.
#include <cstdint>
#include <string>

namespace zorvan {

// Result codes common to all backends (each backend adds its own).
inline constexpr int32_t GFX_OK = 0;
inline constexpr int32_t GFX_BAD_ARGUMENT = 13;
inline constexpr int32_t GFX_BAD_REPLY = 15;
inline constexpr int32_t GFX_INIT_FAILED = 1001;
inline constexpr int32_t GFX_AUX_NACK = 1002;
inline constexpr int32_t GFX_BUSY = 1003;

// Vendor selection codes.
inline constexpr int32_t GFX_AUTO = 0;
inline constexpr int32_t GFX_NVIDIA = 1;
inline constexpr int32_t GFX_AMD = 2;
inline constexpr int32_t GFX_INTEL_LSPCON = 3;
inline constexpr int32_t GFX_INTEL = 4;

class GfxLib {
public:
    int32_t replyBufferSize;
    int32_t chunkDelayUs;  // used as a 16-bit microsecond count
    uint32_t mailboxAddress;

    int32_t Init(std::wstring& text);
    int32_t Connect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text);
    int32_t I2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data, int32_t length);
    int32_t I2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                    int32_t* length);
    int32_t AuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data, int32_t length);
    int32_t AuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t length);

    GfxLib(const GfxLib&) = delete;
    GfxLib& operator=(const GfxLib&) = delete;

protected:
    GfxLib(int32_t replyBufferSize_, int32_t chunkDelayUs_)
        : replyBufferSize(replyBufferSize_), chunkDelayUs(chunkDelayUs_), mailboxAddress(0x20000) {}
    // Never deleted through the interface: the backends are members of ZorvanControl.
    ~GfxLib() = default;

    virtual int32_t DoInit(std::wstring& text) = 0;
    virtual int32_t DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) = 0;
    virtual int32_t DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                               int32_t length) = 0;
    virtual int32_t DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                              int32_t capacity, int32_t* length) = 0;
    virtual int32_t DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                               int32_t length) = 0;
    virtual int32_t DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                              int32_t length) = 0;
};

}  // namespace zorvan
