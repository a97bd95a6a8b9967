#include "tests/control/ScriptedLink.h"

#include <algorithm>
#include <cstdio>

namespace zorvan::testing {

ScriptedLink::ScriptedLink(int32_t replyBufferSize_, int32_t chunkDelayUs_)
    : GfxLib(replyBufferSize_, chunkDelayUs_) {}

std::vector<LinkEvent> ScriptedLink::EventsOf(LinkOp op) const {
    std::vector<LinkEvent> out;
    std::copy_if(events_.begin(), events_.end(), std::back_inserter(out),
                 [op](const LinkEvent& e) { return e.op == op; });
    return out;
}

std::vector<std::vector<uint8_t>> ScriptedLink::I2cWrites() const {
    std::vector<std::vector<uint8_t>> out;
    for (const LinkEvent& e : EventsOf(LinkOp::kI2cWrite)) {
        out.push_back(e.data);
    }
    return out;
}

int32_t ScriptedLink::DoInit(std::wstring& text) {
    text = L"Scripted link\r\n";
    return GFX_OK;
}

int32_t ScriptedLink::DoConnect(uint32_t&, uint32_t, std::wstring& text) {
    text.clear();
    return GFX_OK;
}

void ScriptedLink::Note(const std::string& line) {
    if (journal != nullptr) {
        journal->push_back(line);
    }
}

int32_t ScriptedLink::RecordWrite(LinkOp op, uint32_t deviceId, uint32_t address,
                                  const uint8_t* data, int32_t length,
                                  std::deque<int32_t>& results) {
    int32_t result = GFX_OK;
    if (!results.empty()) {
        result = results.front();
        results.pop_front();
    }
    LinkEvent event{op, deviceId, address, length, result, {}};
    if (data != nullptr && length > 0) {
        event.data.assign(data, data + length);
    }
    char prefix[48];
    if (op == LinkOp::kI2cWrite) {
        std::snprintf(prefix, sizeof prefix, "I2cWrite ");
    } else {
        std::snprintf(prefix, sizeof prefix, "AuxWrite 0x%X ", address);
    }
    Note(prefix + HexBytes(event.data) + " -> " + std::to_string(result));
    events_.push_back(event);
    if (onWrite) {
        onWrite(*this, events_.back());
    }
    return result;
}

ScriptedRead ScriptedLink::NextRead(std::deque<ScriptedRead>& queue, const ScriptedRead& fallback) {
    if (queue.empty()) {
        return fallback;
    }
    ScriptedRead read = std::move(queue.front());
    queue.pop_front();
    return read;
}

int32_t ScriptedLink::DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                                 int32_t length) {
    return RecordWrite(LinkOp::kI2cWrite, deviceId, address, data, length, i2cWriteResults_);
}

int32_t ScriptedLink::DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                                 int32_t length) {
    return RecordWrite(LinkOp::kAuxWrite, deviceId, address, data, length, auxWriteResults_);
}

int32_t ScriptedLink::DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                                int32_t capacity, int32_t* length) {
    const ScriptedRead read = NextRead(i2cReads_, unscriptedI2cRead);
    LinkEvent event{LinkOp::kI2cRead, deviceId, address, capacity, read.result, {}};
    std::string line = "I2cRead -> " + std::to_string(read.result);
    if (read.result == GFX_OK && buffer != nullptr && length != nullptr) {
        const size_t n = std::min(read.bytes.size(), static_cast<size_t>(std::max(capacity, 0)));
        std::copy_n(read.bytes.begin(), n, buffer);
        *length = read.reportedLength.value_or(static_cast<int32_t>(read.bytes.size()));
        event.data.assign(read.bytes.begin(), read.bytes.begin() + static_cast<ptrdiff_t>(n));
        line += " " + HexBytes(event.data);
    }
    Note(line);
    events_.push_back(event);
    return read.result;
}

int32_t ScriptedLink::DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                                int32_t length) {
    const ScriptedRead read = NextRead(auxReads_, unscriptedAuxRead);
    LinkEvent event{LinkOp::kAuxRead, deviceId, address, length, read.result, {}};
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "AuxRead 0x%X %d -> %d", address, length, read.result);
    std::string line = prefix;
    if (read.result == GFX_OK && buffer != nullptr && length > 0) {
        const size_t n = std::min(read.bytes.size(), static_cast<size_t>(length));
        std::copy_n(read.bytes.begin(), n, buffer);
        event.data.assign(read.bytes.begin(), read.bytes.begin() + static_cast<ptrdiff_t>(n));
        line += " " + HexBytes(event.data);
    }
    Note(line);
    events_.push_back(event);
    return read.result;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string out;
    char hex[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += hex;
    }
    return out;
}

std::vector<uint8_t> ChipReply(const std::vector<uint8_t>& payload, uint8_t address) {
    std::vector<uint8_t> reply = {address, static_cast<uint8_t>(0x80 | (payload.size() + 3)), 0xC2,
                                  0x00, 0x00};
    reply.insert(reply.end(), payload.begin(), payload.end());
    uint8_t sum = 0x50;
    for (const uint8_t b : reply) {
        sum = static_cast<uint8_t>(sum ^ b);
    }
    reply.push_back(sum);
    return reply;
}

std::vector<uint8_t> DataReply(uint8_t echo, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> payload = {static_cast<uint8_t>(data.size() + 3), echo};
    payload.insert(payload.end(), data.begin(), data.end());
    return ChipReply(payload);
}

}  // namespace zorvan::testing
