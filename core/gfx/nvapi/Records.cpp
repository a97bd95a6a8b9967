#include "core/gfx/nvapi/Records.h"

#include <cstring>

#include "core/gfx/LittleEndian.h"

namespace zorvan::nvapi {

void EncodeDpAuxRequest(const DpAuxRequest& request, uint8_t record[kDpAuxRequestSize]) {
    std::memset(record, 0, kDpAuxRequestSize);
    le::Put32(record + kAuxOffsetVersion, kDpAuxRequestVersion);
    le::Put32(record + kAuxOffsetDisplayId, request.displayId);
    le::Put32(record + kAuxOffsetType, request.type);
    le::Put32(record + kAuxOffsetAddress, request.address);
    std::memcpy(record + kAuxOffsetData, request.data, kAuxMaxData);
    le::Put32(record + kAuxOffsetSizeMinusOne, request.size - 1);
    std::memcpy(record + kAuxOffsetTopology, request.topology, kTopologyBlockSize);
}

ConnectedDisplay ReadConnectedDisplay(const uint8_t record[kConnectedDisplayRecordSize]) {
    ConnectedDisplay display;
    display.displayId = le::Get32(record + kDisplayOffsetId);
    display.mstRoot = (le::Get32(record + kDisplayOffsetFlags) & kDisplayFlagMstRoot) != 0;
    return display;
}

TopologyNode ReadTopologyNode(const uint8_t record[kTopologyNodeRecordSize]) {
    TopologyNode node;
    node.displayId = le::Get32(record + kNodeOffsetDisplayId);
    std::memcpy(node.block, record + kNodeOffsetBlock, kTopologyBlockSize);
    node.videoSink = (le::Get64(record + kNodeOffsetFlags) & kNodeFlagVideoSink) != 0;
    node.nodeType = le::Get32(record + kNodeOffsetType);
    return node;
}

}  // namespace zorvan::nvapi
