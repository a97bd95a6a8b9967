#pragma once
// The display-link interface: the one way the rest of the system reaches the DisplayPort
// AUX channel. Each backend implements the six operations on its vendor's driver
// interface; the public entry points check the arguments every backend refuses alike and
// add the link trace around them, so the Do* operations only ever see usable arguments.
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
// A transfer was asked for while the backend has no device to address (no successful
// Connect, or no usable vendor interface). Nothing was sent over the link. Chosen outside
// the vendors' own ranges so that callers can tell it from any sink or driver answer.
inline constexpr int32_t GFX_NO_DEVICE = 1008;

// Vendor selection codes.
inline constexpr int32_t GFX_AUTO = 0;
inline constexpr int32_t GFX_NVIDIA = 1;
inline constexpr int32_t GFX_AMD = 2;
inline constexpr int32_t GFX_INTEL_LSPCON = 3;
inline constexpr int32_t GFX_INTEL = 4;
inline constexpr int32_t GFX_LINUX = 5;  // the Linux kernel's DRM AUX and i2c-dev nodes

class GfxLib {
public:
    int32_t replyBufferSize;
    int32_t chunkDelayUs;  // used as a 16-bit microsecond count
    uint32_t mailboxAddress;

    // Opens the vendor interface; `text` is replaced by one line with the outcome.
    int32_t Init(std::wstring& text);
    // Finds the output behind which the chip answers; `text` receives the listing.
    int32_t Connect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text);
    // One DDC/CI packet as one I2C write. Null data or a zero length: 13; a negative
    // length sends nothing and succeeds.
    int32_t I2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data, int32_t length);
    // One DDC/CI reply; *length receives the reply's total length, at most `capacity`
    // bytes are stored. Null buffer or null length: 13.
    int32_t I2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                    int32_t* length);
    // DPCD bytes at consecutive addresses. Null data or a zero length: 13; a negative
    // length transfers nothing and succeeds.
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
