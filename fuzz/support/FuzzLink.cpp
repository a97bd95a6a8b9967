#include "fuzz/support/FuzzLink.h"

#include <algorithm>
#include <iterator>

namespace zorvan::fuzz {
namespace {

// What links answer besides success: busy, refused, malformed, no device, the drivers'
// status words and HRESULTs.
constexpr int32_t kFailureCodes[kFailureKinds] = {GFX_BAD_REPLY,
                                                  GFX_BUSY,
                                                  GFX_AUX_NACK,
                                                  GFX_BAD_ARGUMENT,
                                                  GFX_INIT_FAILED,
                                                  GFX_NO_DEVICE,
                                                  -1,
                                                  1,
                                                  2,
                                                  3,
                                                  70,
                                                  4002,
                                                  4003,
                                                  1005,
                                                  -5,
                                                  static_cast<int32_t>(0x80070057u)};

}  // namespace

int32_t FailureCode(uint8_t failure) {
    return kFailureCodes[failure % kFailureKinds];
}

uint8_t FailureNumber(int32_t code) {
    const auto* found = std::find(std::begin(kFailureCodes), std::end(kFailureCodes), code);
    return found == std::end(kFailureCodes)
               ? 0
               : static_cast<uint8_t>(found - std::begin(kFailureCodes));
}

FuzzLink::FuzzLink(AnswerStream& answers, int32_t replyBufferSize, bool writesReport)
    : GfxLib(replyBufferSize, 0), answers_(answers), writesReport_(writesReport) {}

int32_t FuzzLink::DoInit(std::wstring& text) {
    text = L"fuzz link\r\n";
    return GFX_OK;
}

int32_t FuzzLink::DoConnect(uint32_t& deviceId, uint32_t /*ddcAddress*/, std::wstring& text) {
    deviceId = 0x1000;
    text.clear();
    return GFX_OK;
}

int32_t FuzzLink::WriteResult() {
    if (answers_.Empty()) {
        return GFX_AUX_NACK;
    }
    if (!writesReport_) {
        return GFX_OK;
    }
    const uint8_t c = answers_.Byte();
    return c < 0xE0 ? GFX_OK : FailureCode(c);
}

int32_t FuzzLink::DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) {
    return WriteResult();
}

int32_t FuzzLink::DoAuxWrite(uint32_t, uint32_t, const uint8_t*, int32_t) {
    return WriteResult();
}

int32_t FuzzLink::DoI2cRead(uint32_t, uint32_t, uint8_t* buffer, int32_t capacity,
                            int32_t* length) {
    const ReplyMessage message = ReadReplyMessage(answers_);
    if (message.failure) {
        return FailureCode(*message.failure);
    }
    const size_t stored =
        std::min(message.bytes.size(), static_cast<size_t>(std::max(capacity, 0)));
    std::copy_n(message.bytes.begin(), stored, buffer);
    *length = message.reportedLength.value_or(static_cast<int32_t>(message.bytes.size()));
    return GFX_OK;
}

int32_t FuzzLink::DoAuxRead(uint32_t, uint32_t, uint8_t* buffer, int32_t length) {
    if (answers_.Empty()) {
        return GFX_AUX_NACK;
    }
    uint8_t failure = 0;
    const auto bytes = ReadDpcdAnswer(answers_, static_cast<size_t>(length), failure);
    if (!bytes) {
        return FailureCode(failure);
    }
    std::copy(bytes->begin(), bytes->end(), buffer);
    return GFX_OK;
}

RecordingLink::RecordingLink(GfxLib& inner, AnswerWriter& writer)
    : GfxLib(inner.replyBufferSize, inner.chunkDelayUs), inner_(inner), writer_(writer) {
    mailboxAddress = inner.mailboxAddress;
}

int32_t RecordingLink::DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                                 int32_t capacity, int32_t* length) {
    const int32_t r = inner_.I2cRead(deviceId, address, buffer, capacity, length);
    if (r != GFX_OK) {
        WriteReplyFailure(writer_, FailureNumber(r));
        return r;
    }
    const int32_t stored = std::clamp(*length, 0, capacity);
    WriteReplyMessage(writer_, std::span<const uint8_t>(buffer, static_cast<size_t>(stored)));
    return r;
}

int32_t RecordingLink::DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                                 int32_t length) {
    const int32_t r = inner_.AuxRead(deviceId, address, buffer, length);
    if (r != GFX_OK) {
        WriteDpcdFailure(writer_, FailureNumber(r));
        return r;
    }
    WriteDpcdAnswer(writer_, std::span<const uint8_t>(buffer, static_cast<size_t>(length)));
    return r;
}

}  // namespace zorvan::fuzz
