#pragma once
// The byte layouts of the driver records the NVIDIA backend hands over and reads back.
// Offsets are those the driver uses; every field is little-endian.
#include <cstdint>

#include "core/gfx/nvapi/NvApi.h"

namespace zorvan::nvapi {

// DpAuxRequest (104 bytes).
inline constexpr uint32_t kAuxOffsetVersion = 0;
inline constexpr uint32_t kAuxOffsetDisplayId = 4;
inline constexpr uint32_t kAuxOffsetType = 8;
inline constexpr uint32_t kAuxOffsetAddress = 12;
inline constexpr uint32_t kAuxOffsetData = 16;
inline constexpr uint32_t kAuxOffsetSizeMinusOne = 32;
inline constexpr uint32_t kAuxOffsetReply = 36;
inline constexpr uint32_t kAuxOffsetTopology = 40;
inline constexpr uint32_t kAuxMaxData = 16;
inline constexpr uint32_t kTopologyBlockSize = 64;

// Request types.
inline constexpr uint32_t kAuxNativeWrite = 0;
inline constexpr uint32_t kAuxNativeRead = 1;
inline constexpr uint32_t kAuxI2cWrite = 2;     // ends the I2C transaction
inline constexpr uint32_t kAuxI2cRead = 3;      // ends the I2C transaction
inline constexpr uint32_t kAuxI2cWriteMot = 5;  // more to follow
inline constexpr uint32_t kAuxI2cReadMot = 6;   // more to follow

// Reply codes the driver leaves in the record.
inline constexpr uint32_t kAuxReplyAck = 0;
inline constexpr uint32_t kAuxReplyNack = 1;
inline constexpr uint32_t kAuxReplyDefer = 2;
inline constexpr uint32_t kAuxReplyCallFailed = 255;

// Connected-display record (16 bytes).
inline constexpr uint32_t kDisplayOffsetVersion = 0;
inline constexpr uint32_t kDisplayOffsetId = 8;
inline constexpr uint32_t kDisplayOffsetFlags = 12;
inline constexpr uint32_t kDisplayFlagMstRoot = 0x2;

// DP topology node record (112 bytes).
inline constexpr uint32_t kNodeOffsetVersion = 0;
inline constexpr uint32_t kNodeOffsetDisplayId = 4;
inline constexpr uint32_t kNodeOffsetBlock = 16;
inline constexpr uint32_t kNodeOffsetFlags = 96;
inline constexpr uint32_t kNodeOffsetType = 104;
inline constexpr uint64_t kNodeFlagVideoSink = uint64_t{1} << 33;

// The fields of one AUX request as the backend fills them.
struct DpAuxRequest {
    uint32_t displayId = 0;
    uint32_t type = 0;
    uint32_t address = 0;
    uint8_t data[kAuxMaxData] = {};
    uint32_t size = 1;  // data bytes, 1..16 (the record carries size - 1)
    uint8_t topology[kTopologyBlockSize] = {};
};

// The whole 104-byte record: version, fields, the reply code cleared.
void EncodeDpAuxRequest(const DpAuxRequest& request, uint8_t record[kDpAuxRequestSize]);

struct ConnectedDisplay {
    uint32_t displayId = 0;
    bool mstRoot = false;
};
ConnectedDisplay ReadConnectedDisplay(const uint8_t record[kConnectedDisplayRecordSize]);

struct TopologyNode {
    uint32_t displayId = 0;
    uint8_t block[kTopologyBlockSize] = {};
    bool videoSink = false;
    uint32_t nodeType = 0;
};
TopologyNode ReadTopologyNode(const uint8_t record[kTopologyNodeRecordSize]);

}  // namespace zorvan::nvapi
