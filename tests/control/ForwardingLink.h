#pragma once
// A link that sits between the core and another link (the virtual PC's backend) and passes
// every transfer on; a test overrides a hook to lose or refuse the transfers it names, which
// the virtual chip alone would never do.
#include <cstdint>
#include <optional>
#include <string>

#include "core/gfx/GfxLib.h"

namespace zorvan::testing {

class ForwardingLink : public GfxLib {
public:
    explicit ForwardingLink(GfxLib& inner)
        : GfxLib(inner.replyBufferSize, inner.chunkDelayUs), inner_(inner) {
        mailboxAddress = inner.mailboxAddress;
    }
    ForwardingLink(const ForwardingLink&) = delete;
    ForwardingLink& operator=(const ForwardingLink&) = delete;

protected:
    // Derived links are final and owned as themselves.
    ~ForwardingLink() = default;

    // True: the packet is lost on the way (the write still reports success).
    virtual bool LosesI2cWrite(const uint8_t* /*data*/, int32_t /*length*/) { return false; }
    // A result: the write goes no further and the link answers this.
    virtual std::optional<int32_t> AnswersAuxWrite(uint32_t /*address*/, const uint8_t* /*data*/,
                                                   int32_t /*length*/) {
        return std::nullopt;
    }

    int32_t DoInit(std::wstring& text) override { return inner_.Init(text); }
    int32_t DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) override {
        return inner_.Connect(deviceId, ddcAddress, text);
    }
    int32_t DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override {
        if (LosesI2cWrite(data, length)) {
            return GFX_OK;
        }
        return inner_.I2cWrite(deviceId, address, data, length);
    }
    int32_t DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                      int32_t* length) override {
        return inner_.I2cRead(deviceId, address, buffer, capacity, length);
    }
    int32_t DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override {
        if (const std::optional<int32_t> answer = AnswersAuxWrite(address, data, length)) {
            return *answer;
        }
        return inner_.AuxWrite(deviceId, address, data, length);
    }
    int32_t DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                      int32_t length) override {
        return inner_.AuxRead(deviceId, address, buffer, length);
    }

private:
    GfxLib& inner_;
};

}  // namespace zorvan::testing
