#pragma once
// What the simulated NVIDIA driver knows of its interface, written from the driver's side:
// the status codes it returns, the records it checks and fills (sizes, version words,
// offsets, all little-endian) and the codes inside them. Nothing here comes from the host's
// layer: a mistake there must not be repeated here.
#include <cstddef>
#include <cstdint>

namespace zorvan::sim {

// Status codes of the calls.
inline constexpr int32_t kNvOk = 0;
inline constexpr int32_t kNvError = -1;
inline constexpr int32_t kNvLibraryNotFound = -2;
inline constexpr int32_t kNvApiNotInitialized = -4;
inline constexpr int32_t kNvInvalidArgument = -5;
inline constexpr int32_t kNvDeviceNotFound = -6;

// The GPU handle array of the enumeration.
inline constexpr uint32_t kNvMaxPhysicalGpus = 64;

// Connected-display record: 16 bytes, version word in the first record before the call.
inline constexpr uint32_t kNvDisplayRecordSize = 16;
inline constexpr uint32_t kNvDisplayRecordVersion = 0x00010010;
inline constexpr size_t kNvDisplayOffsetVersion = 0;
inline constexpr size_t kNvDisplayOffsetConnector = 4;
inline constexpr size_t kNvDisplayOffsetId = 8;
inline constexpr size_t kNvDisplayOffsetFlags = 12;
inline constexpr uint32_t kNvConnectorDisplayPort = 6;
// Flag bits: the display is active; it is the root of an MST topology.
inline constexpr uint32_t kNvDisplayActive = 0x1;
inline constexpr uint32_t kNvDisplayMstRoot = 0x2;

// DP topology node record: 112 bytes.
inline constexpr uint32_t kNvNodeRecordSize = 112;
inline constexpr uint32_t kNvNodeRecordVersion = 0x00010070;
inline constexpr size_t kNvNodeOffsetVersion = 0;
inline constexpr size_t kNvNodeOffsetDisplayId = 4;
inline constexpr size_t kNvNodeOffsetBlock = 16;
inline constexpr size_t kNvNodeOffsetFlags = 96;  // 64-bit flag word
inline constexpr size_t kNvNodeOffsetType = 104;
inline constexpr uint64_t kNvNodeVideoSink = uint64_t{1} << 33;
inline constexpr size_t kNvRoutingBlockSize = 64;

// DpAuxRequest: 104 bytes.
inline constexpr uint32_t kNvAuxRequestSize = 104;
inline constexpr uint32_t kNvAuxRequestVersion = 0x00020068;
inline constexpr size_t kNvAuxOffsetVersion = 0;
inline constexpr size_t kNvAuxOffsetDisplayId = 4;
inline constexpr size_t kNvAuxOffsetType = 8;
// The DPCD address, or the device's 8-bit I2C address (the write form, bit 0 clear: the
// request type gives the direction).
inline constexpr size_t kNvAuxOffsetAddress = 12;
inline constexpr size_t kNvAuxOffsetData = 16;
inline constexpr size_t kNvAuxMaxData = 16;
inline constexpr size_t kNvAuxOffsetLengthMinusOne = 32;
inline constexpr size_t kNvAuxOffsetReply = 36;
inline constexpr size_t kNvAuxOffsetRoute = 40;

// Request types.
inline constexpr uint32_t kNvAuxNativeWrite = 0;
inline constexpr uint32_t kNvAuxNativeRead = 1;
inline constexpr uint32_t kNvAuxI2cWrite = 2;
inline constexpr uint32_t kNvAuxI2cRead = 3;
inline constexpr uint32_t kNvAuxI2cWriteMot = 5;
inline constexpr uint32_t kNvAuxI2cReadMot = 6;

// Reply codes left at kNvAuxOffsetReply.
inline constexpr uint32_t kNvReplyAck = 0;
inline constexpr uint32_t kNvReplyNack = 1;
inline constexpr uint32_t kNvReplyDefer = 2;
inline constexpr uint32_t kNvReplyFailed = 255;

}  // namespace zorvan::sim
