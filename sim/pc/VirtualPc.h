#pragma once
// The virtual PC: its GPUs, the displays connected to each, the DisplayPort topology
// behind a display that is the root of a multi-stream topology, and the AUX channel of
// every display output. The virtual chip is plugged into one of those channels; the
// others have nothing that answers. Each vendor driver (NVAPI, ADL, CUI) presents this one
// machine through its own records.
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

// How the AMD library reports a display.
struct AdlDisplaySpec {
    int32_t logicalIndex = -1;    // -1: the display's position on its adapter
    int32_t logicalAdapter = -1;  // -1: the adapter's own index
    uint32_t connectorType = 15;  // 15 DisplayPort, 16 embedded DisplayPort, others
    bool connected = true;
    bool mapped = true;
};

// How the Intel driver reports the device behind a display.
struct CuiDeviceSpec {
    uint32_t uid = 0;      // 0: the display id
    uint32_t type = 7;     // 7 an AUX device; 3, 5 and others
    uint32_t status = 2;   // bit 1: usable
    uint32_t lspconPort = 0;  // 0x0C..0x0F: the output is reached as that LS-PCON port; 0: not
};

struct DisplaySpec {
    uint32_t displayId = 0;
    bool mstRoot = false;
    std::vector<TopologyNodeSpec> topology;  // listed for MST roots only
    bool hasChip = false;                    // the virtual chip is behind this output
    AdlDisplaySpec adl{};
    CuiDeviceSpec cui{};
};

struct GpuSpec {
    std::vector<DisplaySpec> displays;
    int32_t adlIndex = -1;  // the AMD library's adapter index; -1: the GPU's position
    bool adlActive = true;
};

struct PcSpec {
    std::vector<GpuSpec> gpus;
    // The Intel driver's answer to LS-PCON requests: false answers every one with status
    // 5 (a driver without LS-PCON support).
    bool lspconSupported = true;
};

// One GPU with one DisplayPort output, the chip behind it as the root of an MST topology
// of two nodes: the chip's branch (node 0) and the panel behind it (node 1). The AMD
// library shows it as display 0 of adapter 0, the Intel driver as an AUX device and as
// LS-PCON port 0x0C.
PcSpec DefaultPc();

class VirtualPc {
public:
    VirtualPc(PcSpec setup, AuxSink* chip);
    VirtualPc(const VirtualPc&) = delete;
    VirtualPc& operator=(const VirtualPc&) = delete;

    const PcSpec& Setup() const { return spec_; }
    AuxChannel& Channel(size_t gpu, size_t display) { return channels_[gpu][display]; }

private:
    PcSpec spec_;
    std::vector<std::vector<AuxChannel>> channels_;
};

}  // namespace zorvan::sim
