#include "core/gfx/GfxLib.h"

#include <cstdio>
#include <string>

#include "core/platform/Trace.h"

namespace zorvan {
namespace {

std::string HexAddr(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", value);
    return buf;
}

std::string DataPart(const uint8_t* data, int32_t length) {
    if (data == nullptr || length <= 0) {
        return std::string();
    }
    return " data=" + trace::Hex(data, static_cast<size_t>(length));
}

// The argument rules shared by every backend: refusals come before any vendor call.
int32_t CheckTransfer(const uint8_t* data, int32_t length) {
    return data == nullptr || length == 0 ? GFX_BAD_ARGUMENT : GFX_OK;
}

}  // namespace

int32_t GfxLib::Init(std::wstring& text) { return DoInit(text); }

int32_t GfxLib::Connect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) {
    return DoConnect(deviceId, ddcAddress, text);
}

int32_t GfxLib::I2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                         int32_t length) {
    int32_t r = CheckTransfer(data, length);
    if (r == GFX_OK && length > 0) {
        r = DoI2cWrite(deviceId, address, data, length);
    }
    if (trace::Enabled()) {
        trace::Line("I2cWrite addr=" + HexAddr(address) + " len=" + std::to_string(length) +
                    DataPart(data, length) + " -> " + std::to_string(r));
    }
    return r;
}

int32_t GfxLib::I2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                        int32_t* length) {
    const int32_t r = buffer == nullptr || length == nullptr
                          ? GFX_BAD_ARGUMENT
                          : DoI2cRead(deviceId, address, buffer, capacity, length);
    if (trace::Enabled()) {
        std::string line = "I2cRead addr=" + HexAddr(address) + " cap=" + std::to_string(capacity) +
                           " -> " + std::to_string(r);
        if (r == 0 && length != nullptr && buffer != nullptr) {
            const int32_t shown = *length < capacity ? *length : capacity;
            line += " len=" + std::to_string(*length) + DataPart(buffer, shown);
        }
        trace::Line(line);
    }
    return r;
}

int32_t GfxLib::AuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                         int32_t length) {
    int32_t r = CheckTransfer(data, length);
    if (r == GFX_OK && length > 0) {
        r = DoAuxWrite(deviceId, address, data, length);
    }
    if (trace::Enabled()) {
        trace::Line("AuxWrite addr=" + HexAddr(address) + " len=" + std::to_string(length) +
                    DataPart(data, length) + " -> " + std::to_string(r));
    }
    return r;
}

int32_t GfxLib::AuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t length) {
    int32_t r = CheckTransfer(buffer, length);
    if (r == GFX_OK && length > 0) {
        r = DoAuxRead(deviceId, address, buffer, length);
    }
    if (trace::Enabled()) {
        std::string line = "AuxRead addr=" + HexAddr(address) + " len=" + std::to_string(length) +
                           " -> " + std::to_string(r);
        if (r == 0) {
            line += DataPart(buffer, length);
        }
        trace::Line(line);
    }
    return r;
}

}  // namespace zorvan
