#include "sim/chip/isp/IspDriver.h"

#include <algorithm>
#include <utility>

#include "core/platform/Clock.h"
#include "sim/chip/ChipMemory.h"
#include "sim/chip/Crc.h"
#include "sim/chip/FirmwareImage.h"
#include "sim/chip/secure/ImageSignature.h"

namespace zorvan::sim {
namespace {

constexpr uint32_t kPointerSize = 3;
constexpr uint32_t kDescriptorSize = 12;
constexpr uint32_t kBlockHeaderSize = 8;
constexpr uint32_t kBlockTrailerSize = 4;  // 00 00 CRC-high CRC-low
constexpr uint32_t kRowSize = 16;
constexpr uint32_t kRowData = 15;

uint64_t Now() {
    return platform::ActiveClock().NowUs();
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

uint32_t GetBe(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

std::vector<uint8_t> WithXor(std::vector<uint8_t> bytes) {
    uint8_t x = 0;
    for (uint8_t b : bytes) {
        x = static_cast<uint8_t>(x ^ b);
    }
    bytes.push_back(x);
    return bytes;
}

}  // namespace

bool ProgramCodeAccepted(uint8_t code, const DriverOptions& options) {
    if (code == kProgramCodePlain) {
        return true;
    }
    return options.signedDriver && (code == 0x76 || code == kProgramCodeLastKib || code == 0x78);
}

bool IspDriver::Area::Read(uint32_t offset, uint8_t* out, uint32_t count) {
    return driver_.ReadArea(kind_, offset, out, count);
}

bool IspDriver::Area::Write(uint32_t offset, const uint8_t* data, uint32_t count) {
    return driver_.WriteArea(kind_, offset, data, count);
}

IspDriver::IspDriver(ChipState& state, Dpcd& dpcd, const MailboxLayout& layout,
                     DriverOptions options, IspDriverHost& host)
    : state_(state),
      dpcd_(dpcd),
      layout_(layout),
      options_(options),
      host_(host),
      pointer_(*this, AreaKind::Pointer),
      descriptor_(*this, AreaKind::Descriptor),
      command_(*this, AreaKind::Command),
      status_(*this, AreaKind::Status),
      commandBytes_(layout.commandSize, 0),
      statusBytes_(layout.statusSize, 0),
      lastKib_(kLastKibSize, 0xFF),
      lastKibReceived_(kLastKibSize, false) {
    dpcd_.Attach(kMailboxPointerDpcd, kPointerSize, &pointer_);
    dpcd_.Attach(layout_.descriptorAddress, kDescriptorSize, &descriptor_);
    dpcd_.Attach(layout_.commandAddress, layout_.commandSize, &command_);
    dpcd_.Attach(layout_.statusAddress, layout_.statusSize, &status_);
}

IspDriver::~IspDriver() {
    dpcd_.Detach(&pointer_);
    dpcd_.Detach(&descriptor_);
    dpcd_.Detach(&command_);
    dpcd_.Detach(&status_);
}

bool IspDriver::ReadArea(AreaKind kind, uint32_t offset, uint8_t* out, uint32_t count) const {
    std::vector<uint8_t> bytes;
    switch (kind) {
        case AreaKind::Pointer:
            PutLe(bytes, layout_.descriptorAddress, kPointerSize);
            break;
        case AreaKind::Descriptor:
            PutLe(bytes, layout_.commandAddress, 4);
            PutLe(bytes, layout_.commandSize, 2);
            PutLe(bytes, layout_.statusAddress, 4);
            PutLe(bytes, layout_.statusSize, 2);
            break;
        case AreaKind::Command:
            bytes = commandBytes_;
            break;
        case AreaKind::Status:
            bytes = statusBytes_;
            break;
    }
    if (offset > bytes.size() || count > bytes.size() - offset) {
        return false;
    }
    std::copy_n(bytes.begin() + offset, count, out);
    return true;
}

bool IspDriver::WriteArea(AreaKind kind, uint32_t offset, const uint8_t* data, uint32_t count) {
    if (phase_ == Phase::Stopped) {
        return false;
    }
    switch (kind) {
        case AreaKind::Pointer:
        case AreaKind::Descriptor:
            return false;  // the driver's own, read-only
        case AreaKind::Command:
            if (offset > commandBytes_.size() || count > commandBytes_.size() - offset) {
                return false;
            }
            WriteCommand(offset, data, count);
            return true;
        case AreaKind::Status:
            if (offset > statusBytes_.size() || count > statusBytes_.size() - offset) {
                return false;
            }
            WriteStatus(offset, data, count);
            return true;
    }
    return false;
}

void IspDriver::WriteCommand(uint32_t offset, const uint8_t* data, uint32_t count) {
    std::copy_n(data, count, commandBytes_.begin() + offset);
    const uint64_t now = Now();
    const uint32_t end = offset + count;
    if (offset == 0 && phase_ == Phase::Idle && commandBytes_[0] != 0) {
        TakeRequest(now);
    }
    for (bool first : {true, false}) {
        const uint32_t flag = FlagOffset(first);
        if (flag >= offset && flag < end && commandBytes_[flag] != 0) {
            OnFlag(first, commandBytes_[flag], now);
        }
    }
}

void IspDriver::WriteStatus(uint32_t offset, const uint8_t* data, uint32_t count) {
    std::copy_n(data, count, statusBytes_.begin() + offset);
    // The host clearing the reset's answer is the driver's cue to restart the chip.
    if (phase_ == Phase::Resetting && resetAnswered_ && offset == 0 && statusBytes_[0] == 0) {
        restartAt_ = Now();
    }
}

void IspDriver::TakeRequest(uint64_t now) {
    const MailboxRequest request = ParseRequest(commandBytes_.data(), commandBytes_.size());
    std::fill(statusBytes_.begin(), statusBytes_.end(), 0);
    switch (request.kind) {
        case RequestKind::Program:
            if (!ProgramCodeAccepted(request.programCode, options_)) {
                break;
            }
            block_ = Block{};
            block_.programCode = request.programCode;
            commandBytes_[FlagOffset(true)] = 0;
            commandBytes_[FlagOffset(false)] = 0;
            flagFreeAt_[0].reset();
            flagFreeAt_[1].reset();
            phase_ = Phase::AwaitHeader;
            return;
        case RequestKind::Erase: {
            std::vector<FlashRange> ranges = EraseRanges(request.eraseCode);
            if (ranges.empty()) {
                break;
            }
            Job job;
            job.kind = JobKind::Erase;
            job.dueUs = now + EraseTimeUs(ranges);
            job.ranges = std::move(ranges);
            Schedule(std::move(job));
            return;
        }
        case RequestKind::ReadFlash:
            if (request.count == 0 || request.count > kMaxReadCount ||
                request.address + request.count > kFlashSize) {
                break;
            }
            {
                Job job;
                job.kind = JobKind::Read;
                job.dueUs = now + kReadBaseUs + kReadPerByteUs * request.count;
                job.offset = request.address;
                job.count = request.count;
                Schedule(std::move(job));
            }
            return;
        case RequestKind::FlashId: {
            Job job;
            job.dueUs = now + kRequestTurnaroundUs;
            job.response = WithXor({0x05, 0x1C, kFlashIdLow, kFlashIdHigh});
            Schedule(std::move(job));
            return;
        }
        case RequestKind::SystemReset: {
            Job job;
            job.dueUs = now + kRequestTurnaroundUs;
            job.response = {0x03, 0x0C, kResponseDone};
            job.isReset = true;
            Schedule(std::move(job));
            return;
        }
        case RequestKind::Malformed:
            break;
    }
    Answer(kResponseRefused, now, kRequestTurnaroundUs);
}

void IspDriver::OnFlag(bool firstHalf, uint8_t value, uint64_t now) {
    if (phase_ == Phase::AwaitHeader) {
        // The header normally comes with the first half's flag. A host whose flag write
        // went astray goes on with the second half; the header is still in place then.
        const bool taken = firstHalf ? TakeHeader(value) : TakeHeader(kBlockHeaderSize);
        if (!taken) {
            FreeHalf(firstHalf, now);
            Answer(kResponseRefused, now, kRequestTurnaroundUs);
            return;
        }
        phase_ = Phase::ReceiveBlock;
        if (firstHalf) {
            FreeHalf(true, now);
            return;
        }
    }
    if (phase_ != Phase::ReceiveBlock) {
        return;  // nobody takes the half: its flag stays set
    }
    const bool already = firstHalf ? block_.firstHalf.has_value() : block_.secondHalf.has_value();
    if (already) {
        return;
    }
    if (!TakeHalf(firstHalf, value)) {
        FreeHalf(firstHalf, now);
        Answer(kResponseRefused, now, kRequestTurnaroundUs);
        return;
    }
    FreeHalf(firstHalf, now);
    if (block_.firstHalf && block_.secondHalf) {
        FinishBlock(now);
    }
}

bool IspDriver::TakeHeader(uint8_t size) {
    if (size != kBlockHeaderSize || commandBytes_[0] != 0) {
        return false;
    }
    const uint32_t address = GetBe(&commandBytes_[1], 3);
    const uint32_t length = GetBe(&commandBytes_[4], 4);
    // Both halves lose their flag byte, so a stream fills the buffer but for two bytes.
    const uint32_t maxLength = layout_.commandSize - 2u - kBlockTrailerSize;
    if (address < kFlashMapBase || length == 0 || length > maxLength) {
        return false;
    }
    const uint32_t offset = address - kFlashMapBase;
    if (offset >= kFlashSize || length > kFlashSize - offset) {
        return false;
    }
    if (block_.programCode == kProgramCodeLastKib && offset < kLastKibOffset) {
        return false;
    }
    block_.offset = offset;
    block_.length = length;
    return true;
}

bool IspDriver::TakeHalf(bool firstHalf, uint8_t count) {
    if (count > HalfSize() - 1) {
        return false;
    }
    const uint32_t base = firstHalf ? 0 : HalfSize();
    std::vector<uint8_t> bytes(commandBytes_.begin() + base, commandBytes_.begin() + base + count);
    (firstHalf ? block_.firstHalf : block_.secondHalf) = std::move(bytes);
    return true;
}

void IspDriver::FinishBlock(uint64_t now) {
    // The stream's first floor(n/2) bytes travel in the second half, the rest in the first.
    std::vector<uint8_t> stream = std::move(*block_.secondHalf);
    stream.insert(stream.end(), block_.firstHalf->begin(), block_.firstHalf->end());
    if (stream.size() != block_.length + kBlockTrailerSize) {
        Answer(kResponseRefused, now, kRequestTurnaroundUs);
        return;
    }
    const uint8_t* trailer = stream.data() + block_.length;
    const uint16_t crc = static_cast<uint16_t>((trailer[2] << 8) | trailer[3]);
    if (trailer[0] != 0 || trailer[1] != 0 || Crc16Chip(stream.data(), block_.length) != crc) {
        Answer(kResponseCrcError, now, kCrcCheckUs);
        return;
    }
    stream.resize(block_.length);
    Job job;
    job.kind = JobKind::Program;
    job.dueUs = now + kCrcCheckUs + ProgramTimeUs(block_.length);
    job.offset = block_.offset;
    job.data = std::move(stream);
    job.lastKib = block_.programCode == kProgramCodeLastKib;
    Schedule(std::move(job));
}

void IspDriver::FreeHalf(bool firstHalf, uint64_t now) {
    flagFreeAt_[firstHalf ? 0 : 1] = now + kHalfTakeUs;
}

void IspDriver::Schedule(Job job) {
    job_ = std::move(job);
    phase_ = Phase::Working;
}

void IspDriver::Answer(uint8_t code, uint64_t now, uint64_t afterUs) {
    Job job;
    job.dueUs = now + afterUs;
    job.response = {0x03, 0x0C, code};
    Schedule(std::move(job));
}

void IspDriver::Service(uint64_t nowUs) {
    if (phase_ == Phase::Stopped) {
        return;
    }
    for (int i = 0; i < 2; ++i) {
        if (flagFreeAt_[i] && nowUs >= *flagFreeAt_[i]) {
            commandBytes_[FlagOffset(i == 0)] = 0;
            flagFreeAt_[i].reset();
        }
    }
    if (job_ && nowUs >= job_->dueUs) {
        Job job = std::move(*job_);
        job_.reset();
        Complete(job, nowUs);
    }
    if (restartAt_ && nowUs >= *restartAt_) {
        restartDue_ = true;
    }
}

void IspDriver::Complete(Job& job, uint64_t now) {
    phase_ = Phase::Idle;
    switch (job.kind) {
        case JobKind::Respond:
            Post(job.response);
            if (job.isReset) {
                phase_ = Phase::Resetting;
                resetAnswered_ = true;
                restartAt_ = now + kRestartFallbackUs;
            }
            return;
        case JobKind::Erase:
            EraseFlash(state_.flash, job.ranges);
            for (const FlashRange& r : job.ranges) {
                host_.FlashChanged(r.begin, r.end - r.begin);
            }
            Post({0x03, 0x0C, kResponseDone});
            return;
        case JobKind::Program:
            if (job.lastKib) {
                TakeLastKibBlock(job);
                return;
            }
            if (ProgramFlash(state_.flash, job.offset, job.data, host_.StuckFlashAddress())) {
                host_.FlashChanged(job.offset, static_cast<uint32_t>(job.data.size()));
            }
            if (!host_.BlockProgrammed()) {
                phase_ = Phase::Stopped;  // no supply: the answer is never written
                return;
            }
            Post({0x03, 0x0C, kResponseDone});
            return;
        case JobKind::Read: {
            std::vector<uint8_t> response = {static_cast<uint8_t>(job.count + 3), 0x1B};
            response.insert(response.end(), state_.flash.begin() + job.offset,
                            state_.flash.begin() + job.offset + job.count);
            PostReadRows(WithXor(std::move(response)));
            return;
        }
    }
}

void IspDriver::TakeLastKibBlock(const Job& job) {
    const uint32_t at = job.offset - kLastKibOffset;
    std::copy(job.data.begin(), job.data.end(), lastKib_.begin() + at);
    std::fill_n(lastKibReceived_.begin() + at, job.data.size(), true);
    if (!std::all_of(lastKibReceived_.begin(), lastKibReceived_.end(), [](bool b) { return b; })) {
        Post({0x03, 0x0C, kResponseDone});
        return;
    }
    const std::vector<uint8_t> incoming = lastKib_;
    std::fill(lastKib_.begin(), lastKib_.end(), 0xFF);
    std::fill(lastKibReceived_.begin(), lastKibReceived_.end(), false);
    if (!ImageSignatureValid(state_.flash, incoming)) {
        Post({0x03, 0x0C, kResponseCrcError});
        return;
    }
    ProgramFlash(state_.flash, kLastKibOffset, incoming, host_.StuckFlashAddress());
    host_.FlashChanged(kLastKibOffset, kLastKibSize);
    if (!host_.BlockProgrammed()) {
        phase_ = Phase::Stopped;
        return;
    }
    Post({0x03, 0x0C, kResponseDone});
}

void IspDriver::Post(const std::vector<uint8_t>& response) {
    std::fill(statusBytes_.begin(), statusBytes_.end(), 0);
    std::copy_n(response.begin(), std::min(response.size(), statusBytes_.size()),
                statusBytes_.begin());
}

void IspDriver::PostReadRows(const std::vector<uint8_t>& response) {
    std::fill(statusBytes_.begin(), statusBytes_.end(), 0);
    size_t row = 0;
    for (size_t at = 0; at < response.size(); at += kRowData, ++row) {
        const size_t count = std::min<size_t>(kRowData, response.size() - at);
        const size_t base = row * kRowSize;
        if (base + 1 + count > statusBytes_.size()) {
            return;  // cannot happen for a servable layout and a count up to 57
        }
        statusBytes_[base] = static_cast<uint8_t>(count);
        std::copy_n(response.begin() + at, count, statusBytes_.begin() + base + 1);
    }
}

}  // namespace zorvan::sim
