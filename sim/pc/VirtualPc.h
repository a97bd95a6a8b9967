#pragma once
// The virtual PC: its GPUs, the displays connected to each, the DisplayPort topology
// behind a display that is the root of a multi-stream topology, and the AUX channel of
// every display output. The virtual chip is plugged into one of those channels; the
// others have nothing that answers. Vendor drivers (NVAPI now; ADL and CUI later)
// present this one machine through their own records.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/link/AuxChannel.h"
#include "sim/link/AuxSink.h"

namespace zorvan::sim {

struct TopologyNodeSpec {
    uint32_t displayId = 0;
    std::array<uint8_t, 64> block{};  // the node's routing block, handed back in AUX requests
    bool videoSink = false;
    uint32_t nodeType = 0;
};

struct DisplaySpec {
    uint32_t displayId = 0;
    bool mstRoot = false;
    std::vector<TopologyNodeSpec> topology;  // listed for MST roots only
    bool hasChip = false;                    // the virtual chip is behind this output
};

struct GpuSpec {
    std::vector<DisplaySpec> displays;
};

struct PcSpec {
    std::vector<GpuSpec> gpus;
};

// One GPU with one DisplayPort output, the chip behind it as the root of an MST topology
// of two nodes: the chip's branch (node 0) and the panel behind it (node 1).
PcSpec DefaultPc();

class VirtualPc {
public:
    VirtualPc(PcSpec spec, AuxSink* chip);
    VirtualPc(const VirtualPc&) = delete;
    VirtualPc& operator=(const VirtualPc&) = delete;

    const PcSpec& Spec() const { return spec_; }
    AuxChannel& Channel(size_t gpu, size_t display) { return channels_[gpu][display]; }

private:
    PcSpec spec_;
    std::vector<std::vector<AuxChannel>> channels_;
};

}  // namespace zorvan::sim
