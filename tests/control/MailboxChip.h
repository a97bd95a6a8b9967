#pragma once
// Plays the ISP driver's side of programming (and of flash ID, erase, reset and flash reads)
// on a ScriptedLink with the default mailbox
// (command buffer 0x20000, 512 bytes; status area 0x10000): it answers each step of a block
// the moment the host takes it, collects the headers and the two halves of each block, and
// ends each block with the completion it is given (03 0C F1 unless told otherwise).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "tests/control/ScriptedLink.h"

namespace zorvan::testing {

struct ProgrammedBlock {
    std::vector<uint8_t> header;
    std::vector<uint8_t> stream;  // the block stream as the halves carry it, reassembled
};

class MailboxChip {
public:
    // Another command buffer than the default one, as a driver's descriptor may announce.
    explicit MailboxChip(ScriptedLink& link, uint32_t command = 0x20000, uint32_t size = 512)
        : kCommand(command),
          kFirstFlag(command + size / 2 - 1),
          kSecondHalf(command + size / 2),
          kSecondFlag(command + size - 1) {
        link.onWrite = [this](ScriptedLink& l, const LinkEvent& e) { OnWrite(l, e); };
    }

    // The completion bytes of block n (counted from 0 over the blocks programmed).
    std::map<size_t, std::vector<uint8_t>> completions;
    std::vector<ProgrammedBlock> blocks;
    // What flash reads answer (offsets beyond it read 0xFF).
    std::vector<uint8_t> flash;

private:
    const uint32_t kCommand;
    const uint32_t kFirstFlag;
    const uint32_t kSecondHalf;
    const uint32_t kSecondFlag;
    static constexpr uint32_t kStatus = 0x10000;

    enum class Phase { kIdle, kRequested, kHeader, kSecondHalf, kFirstHalf };

    static bool IsStatusRow(uint32_t address) {
        return address >= kStatus && address < kStatus + 64 && (address - kStatus) % 16 == 0;
    }

    // A read flash request (1B, offset, count, XOR) answered from flash in rows of 16 bytes.
    void QueueFlashRead(ScriptedLink& l) {
        const uint32_t offset =
            static_cast<uint32_t>(body_[1]) << 16 | static_cast<uint32_t>(body_[2]) << 8 | body_[3];
        const uint8_t count = body_[4];
        std::vector<uint8_t> response = {static_cast<uint8_t>(count + 3), 0x1B};
        for (uint8_t i = 0; i < count; ++i) {
            response.push_back(offset + i < flash.size() ? flash[offset + i] : 0xFF);
        }
        response.push_back(0x5C);  // check byte, not evaluated by the host
        std::vector<uint8_t> rows;
        for (size_t at = 0; at < response.size(); at += 15) {
            const size_t n = std::min<size_t>(15, response.size() - at);
            rows.push_back(static_cast<uint8_t>(n));
            rows.insert(rows.end(), response.begin() + static_cast<ptrdiff_t>(at),
                        response.begin() + static_cast<ptrdiff_t>(at + n));
        }
        l.QueueAuxRead({0, {rows[0], rows[1], rows[2]}});
        l.QueueAuxRead({0, rows});
    }

    void Answer(ScriptedLink& l, uint8_t byte) { l.QueueAuxRead({0, {byte}}); }

    void OnWrite(ScriptedLink& l, const LinkEvent& e) {
        if (e.op != LinkOp::kAuxWrite) {
            return;
        }
        if (e.address == kCommand && e.length == 1 && e.data[0] == 3 && phase_ == Phase::kIdle) {
            phase_ = Phase::kRequested;
            Answer(l, 0);  // the status read after the request
            Answer(l, 0);  // first half free for the header
        } else if (phase_ == Phase::kRequested && e.address == kCommand && e.length == 8) {
            blocks.push_back({e.data, {}});
            phase_ = Phase::kHeader;
        } else if (phase_ == Phase::kHeader && e.address == kFirstFlag) {
            phase_ = Phase::kSecondHalf;
            Answer(l, 0);  // second half free
        } else if (phase_ == Phase::kSecondHalf && e.address >= kSecondHalf &&
                   e.address < kSecondFlag) {
            second_.insert(second_.end(), e.data.begin(), e.data.end());
        } else if (phase_ == Phase::kSecondHalf && e.address == kSecondFlag) {
            phase_ = Phase::kFirstHalf;
            Answer(l, 0);  // first half free
        } else if (phase_ == Phase::kFirstHalf && e.address >= kCommand && e.address < kFirstFlag) {
            first_.insert(first_.end(), e.data.begin(), e.data.end());
        } else if (phase_ == Phase::kFirstHalf && e.address == kFirstFlag) {
            ProgrammedBlock& block = blocks.back();
            block.stream = second_;
            block.stream.insert(block.stream.end(), first_.begin(), first_.end());
            second_.clear();
            first_.clear();
            const auto custom = completions.find(blocks.size() - 1);
            const std::vector<uint8_t> completion =
                custom != completions.end() ? custom->second : std::vector<uint8_t>{3, 0x0C, 0xF1};
            // An empty completion never comes: the status reads keep failing.
            if (!completion.empty()) {
                Answer(l, completion[0]);
                l.QueueAuxRead({0, completion});
            }
            phase_ = Phase::kIdle;
        } else if (IsStatusRow(e.address) && e.data == std::vector<uint8_t>{0}) {
            Answer(l, 0);  // the status (or a response row) reads back cleared
        } else if (e.address == kCommand + 1) {
            body_ = e.data;
        } else if (e.address == kCommand && e.length == 1 && e.data[0] == 7 && body_.size() == 6) {
            QueueFlashRead(l);
        } else if (e.address == kCommand && e.length == 1 && e.data[0] == 9) {
            l.QueueAuxRead({0, {0x05, 0x1C, 0x15, 0x40, 0x00}});  // flash ID 0x4015
        } else if (e.address == kCommand && e.length == 1 && (e.data[0] == 5 || e.data[0] == 4)) {
            Answer(l, 3);  // erase or reset done at the first poll
            l.QueueAuxRead({0, {3, 0x0C, 0xF1}});
        }
    }

    Phase phase_ = Phase::kIdle;
    std::vector<uint8_t> second_;
    std::vector<uint8_t> first_;
    std::vector<uint8_t> body_;
};

}  // namespace zorvan::testing
