// The virtual chip's state file parser on any bytes, as they are and with the checksum made
// to fit (so that the sections behind it are reached). A state it takes must come back
// unchanged through saving and parsing again.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/targets/Require.h"
#include "sim/chip/Crc.h"
#include "sim/state/StateFile.h"

namespace {

using namespace zorvan;

void ParseAndCheck(const std::vector<uint8_t>& bytes) {
    std::wstring error;
    const std::optional<sim::ChipState> state = sim::ParseState(bytes, L"fuzz.state", error);
    if (!state) {
        fuzz::Require(!error.empty());
        return;
    }
    const std::vector<uint8_t> saved = sim::SerializeState(*state);
    std::wstring again;
    const std::optional<sim::ChipState> reparsed = sim::ParseState(saved, L"fuzz.state", again);
    fuzz::Require(reparsed && sim::SerializeState(*reparsed) == saved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    ParseAndCheck(bytes);
    if (bytes.size() >= 20) {
        const size_t end = bytes.size() - 4;
        const uint32_t crc = sim::Crc32(bytes.data(), end);
        for (size_t i = 0; i < 4; ++i) {
            bytes[end + i] = static_cast<uint8_t>(crc >> (8 * i));
        }
        ParseAndCheck(bytes);
    }
    return 0;
}
