#include "fuzz/support/LinkTarget.h"

#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"
#include "fuzz/support/FuzzLink.h"
#include "fuzz/support/FuzzSink.h"
#include "fuzz/support/VendorPc.h"
#include "sim/chip/VirtualChip.h"
#include "sim/demo/DemoImages.h"

namespace zorvan::fuzz {
namespace {

constexpr int32_t kReplyBufferSizes[4] = {131, 16, 64, 600};

}  // namespace

void UseVirtualClock() {
    static platform::VirtualClock clock;
    platform::SetActiveClock(&clock);
}

LinkSettings SettingsOf(uint8_t flags) {
    return {(flags & 1) != 0, (flags & 2) != 0, kReplyBufferSizes[(flags >> 2) & 3]};
}

uint8_t FlagsOf(const LinkSettings& settings) {
    uint8_t size = 0;
    while (size < 3 && kReplyBufferSizes[size] != settings.replyBufferSize) {
        ++size;
    }
    return static_cast<uint8_t>((settings.writesReport ? 1 : 0) | (settings.paced ? 2 : 0) |
                                size << 2);
}

std::vector<int64_t> RunOnFuzzLink(const uint8_t* data, size_t size, OperationSet set) {
    AnswerStream answers(data, size);
    const LinkSettings settings = SettingsOf(answers.Byte());
    FuzzLink link(answers, settings.replyBufferSize, settings.writesReport);
    ZorvanControl control;
    control.gfx = &link;
    control.deviceId = 0x1000;
    if (settings.paced) {
        control.nvidiaOrAmdStandIn = &link;
    }
    PrepareControl(control);
    StreamChoices choices(answers);
    std::vector<int64_t> outcomes = RunOperations(control, choices, set, 64);
    control.gfx = nullptr;
    return outcomes;
}

const sim::ChipState& RunningChip() {
    static const sim::ChipState state = [] {
        sim::ChipState s = sim::NewChipState(sim::ChipFamily::Kq1100, 1500);
        s.flash = sim::MakeFirmwareImage(sim::ChipFamily::Kq1100, {1, 5, 0});
        sim::PowerCycle(s);
        return s;
    }();
    return state;
}

std::vector<int64_t> RunBehindFuzzedSink(const uint8_t* data, size_t size) {
    AnswerStream answers(data, size);
    const int vendor = answers.Byte() % kVendors;
    sim::VirtualChip chip(RunningChip());
    FuzzSink sink(chip, answers);
    const VendorPc pc(vendor, sink);
    // The core goes before the drivers its backends release.
    ZorvanControl control;
    control.gfxSelection = pc.GfxSelection();
    std::wstring text;
    if (control.InitGraphicsAdapter(text) != 0) {
        return {};
    }
    sink.GoLive();
    PrepareControl(control);
    StreamChoices choices(answers);
    return RunOperations(control, choices, OperationSet::kAll, 64);
}

}  // namespace zorvan::fuzz
