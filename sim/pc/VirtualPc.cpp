#include "sim/pc/VirtualPc.h"

#include <utility>

namespace zorvan::sim {
namespace {

std::array<uint8_t, 64> RoutingBlock(uint8_t port) {
    std::array<uint8_t, 64> block{};
    block[0] = 0x01;  // one hop
    block[1] = port;  // the branch port the node sits on
    block[2] = 0x5A;  // link marker, so a block is never mistaken for an empty one
    return block;
}

}  // namespace

PcSpec DefaultPc() {
    DisplaySpec output;
    output.displayId = 0x00001000;
    output.mstRoot = true;
    output.hasChip = true;
    TopologyNodeSpec branch;
    branch.displayId = 0x00001000;
    branch.block = RoutingBlock(0);
    branch.videoSink = false;
    branch.nodeType = 1;
    TopologyNodeSpec panel;
    panel.displayId = 0x00001001;
    panel.block = RoutingBlock(1);
    panel.videoSink = true;
    panel.nodeType = 2;
    output.topology = {branch, panel};
    output.cui.lspconPort = 0x0C;
    PcSpec pc;
    pc.gpus.push_back(GpuSpec{{output}});
    return pc;
}

VirtualPc::VirtualPc(PcSpec setup, AuxSink* chip) : spec_(std::move(setup)) {
    channels_.resize(spec_.gpus.size());
    for (size_t g = 0; g < spec_.gpus.size(); ++g) {
        channels_[g].resize(spec_.gpus[g].displays.size());
        for (size_t d = 0; d < spec_.gpus[g].displays.size(); ++d) {
            if (spec_.gpus[g].displays[d].hasChip) {
                channels_[g][d].Plug(chip);
            }
        }
    }
}

}  // namespace zorvan::sim
