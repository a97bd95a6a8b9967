#pragma once
// Display links for the fuzz targets of the chip-control core. FuzzLink answers every read
// from the fuzzer's bytes (see ChipAnswers.h); RecordingLink passes every transfer on to a
// real link (the virtual chip behind a backend) and writes its answers in that encoding,
// so that a session with the virtual chip becomes a seed.
#include <cstdint>
#include <string>

#include "core/gfx/GfxLib.h"
#include "fuzz/support/ChipAnswers.h"

namespace zorvan::fuzz {

// The result codes a failure number stands for: the backends' and the drivers' own.
int32_t FailureCode(uint8_t failure);
// The failure number of a code (that of GFX_BAD_REPLY for one not in the table).
uint8_t FailureNumber(int32_t code);

class FuzzLink final : public GfxLib {
  public:
    // writesReport: every write takes a byte from the stream, below E0 success, else the
    // failure (c & 0F); otherwise writes always succeed and take nothing.
    FuzzLink(AnswerStream& answers, int32_t replyBufferSize, bool writesReport);

  protected:
    int32_t DoInit(std::wstring& text) override;
    int32_t DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) override;
    int32_t DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override;
    int32_t DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                      int32_t* length) override;
    int32_t DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override;
    int32_t DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                      int32_t length) override;

  private:
    int32_t WriteResult();

    AnswerStream& answers_;
    bool writesReport_;
};

class RecordingLink final : public GfxLib {
  public:
    RecordingLink(GfxLib& inner, AnswerWriter& writer);

  protected:
    int32_t DoInit(std::wstring& text) override { return inner_.Init(text); }
    int32_t DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) override {
        return inner_.Connect(deviceId, ddcAddress, text);
    }
    int32_t DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override {
        return inner_.I2cWrite(deviceId, address, data, length);
    }
    int32_t DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                      int32_t* length) override;
    int32_t DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override {
        return inner_.AuxWrite(deviceId, address, data, length);
    }
    int32_t DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                      int32_t length) override;

  private:
    GfxLib& inner_;
    AnswerWriter& writer_;
};

}  // namespace zorvan::fuzz
