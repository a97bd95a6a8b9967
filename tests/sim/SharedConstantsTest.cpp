// The simulated drivers and the virtual chip decode the vendor records and the chip's
// packets with constants of their own, written from the driver's and the chip's side; the
// host's layers have theirs. Each pair here must agree, so a change to one side alone fails
// here with the name of the value, and a mistake can no longer be shared by both sides.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "core/config/IspConfig.h"
#include "core/control/Cmdb.h"
#include "core/control/DdcPackets.h"
#include "core/control/ImageFiles.h"
#include "core/control/IspTypes.h"
#include "core/control/StoredPackets.h"
#include "core/gfx/GfxLibIntel.h"
#include "core/gfx/adl/Adl.h"
#include "core/gfx/cui/Cui.h"
#include "core/gfx/cui/DataBlock.h"
#include "core/gfx/nvapi/NvApi.h"
#include "core/gfx/nvapi/Records.h"
#include "sim/chip/ChipMemory.h"
#include "sim/chip/ChipState.h"
#include "sim/chip/DdcCiFrame.h"
#include "sim/chip/FirmwareImage.h"
#include "sim/chip/VendorCommands.h"
#include "sim/chip/isp/DriverImage.h"
#include "sim/chip/isp/IspDriver.h"
#include "sim/chip/secure/SecureEngine.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/adl/AdlRecords.h"
#include "sim/pc/cui/CuiRecords.h"
#include "sim/pc/nvapi/NvRecords.h"

namespace zorvan {
namespace {

struct Agreement {
    const char* host;
    const char* sim;
    int64_t hostValue;
    int64_t simValue;
};

// One pair, named as the two sides spell it.
#define AGREE(hostName, simName) \
    Agreement{#hostName, #simName, static_cast<int64_t>(hostName), static_cast<int64_t>(simName)}

void ExpectAgreement(const std::vector<Agreement>& pairs) {
    for (const Agreement& a : pairs) {
        EXPECT_EQ(a.hostValue, a.simValue) << a.host << " (host) against " << a.sim << " (sim)";
    }
}

bool SameGuid(const cui::Guid& a, const cui::Guid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

TEST(SharedConstants, NvidiaStatusesRecordsAndCodes) {
    ExpectAgreement({
        AGREE(nvapi::NVAPI_OK, sim::kNvOk),
        AGREE(nvapi::NVAPI_ERROR, sim::kNvError),
        AGREE(nvapi::NVAPI_LIBRARY_NOT_FOUND, sim::kNvLibraryNotFound),
        AGREE(nvapi::NVAPI_API_NOT_INITIALIZED, sim::kNvApiNotInitialized),
        AGREE(nvapi::NVAPI_INVALID_ARGUMENT, sim::kNvInvalidArgument),
        AGREE(nvapi::NVAPI_NVIDIA_DEVICE_NOT_FOUND, sim::kNvDeviceNotFound),
        AGREE(nvapi::kMaxPhysicalGpus, sim::kNvMaxPhysicalGpus),
        // Connected-display record.
        AGREE(nvapi::kConnectedDisplayRecordSize, sim::kNvDisplayRecordSize),
        AGREE(nvapi::kConnectedDisplayVersion, sim::kNvDisplayRecordVersion),
        AGREE(nvapi::kDisplayOffsetVersion, sim::kNvDisplayOffsetVersion),
        AGREE(nvapi::kDisplayOffsetId, sim::kNvDisplayOffsetId),
        AGREE(nvapi::kDisplayOffsetFlags, sim::kNvDisplayOffsetFlags),
        AGREE(nvapi::kDisplayFlagMstRoot, sim::kNvDisplayMstRoot),
        // Topology node record.
        AGREE(nvapi::kTopologyNodeRecordSize, sim::kNvNodeRecordSize),
        AGREE(nvapi::kTopologyNodeVersion, sim::kNvNodeRecordVersion),
        AGREE(nvapi::kNodeOffsetVersion, sim::kNvNodeOffsetVersion),
        AGREE(nvapi::kNodeOffsetDisplayId, sim::kNvNodeOffsetDisplayId),
        AGREE(nvapi::kNodeOffsetBlock, sim::kNvNodeOffsetBlock),
        AGREE(nvapi::kNodeOffsetFlags, sim::kNvNodeOffsetFlags),
        AGREE(nvapi::kNodeOffsetType, sim::kNvNodeOffsetType),
        AGREE(nvapi::kNodeFlagVideoSink, sim::kNvNodeVideoSink),
        AGREE(nvapi::kTopologyBlockSize, sim::kNvRoutingBlockSize),
        // DpAuxRequest.
        AGREE(nvapi::kDpAuxRequestSize, sim::kNvAuxRequestSize),
        AGREE(nvapi::kDpAuxRequestVersion, sim::kNvAuxRequestVersion),
        AGREE(nvapi::kAuxOffsetVersion, sim::kNvAuxOffsetVersion),
        AGREE(nvapi::kAuxOffsetDisplayId, sim::kNvAuxOffsetDisplayId),
        AGREE(nvapi::kAuxOffsetType, sim::kNvAuxOffsetType),
        AGREE(nvapi::kAuxOffsetAddress, sim::kNvAuxOffsetAddress),
        AGREE(nvapi::kAuxOffsetData, sim::kNvAuxOffsetData),
        AGREE(nvapi::kAuxMaxData, sim::kNvAuxMaxData),
        AGREE(nvapi::kAuxOffsetSizeMinusOne, sim::kNvAuxOffsetLengthMinusOne),
        AGREE(nvapi::kAuxOffsetReply, sim::kNvAuxOffsetReply),
        AGREE(nvapi::kAuxOffsetTopology, sim::kNvAuxOffsetRoute),
        AGREE(nvapi::kAuxNativeWrite, sim::kNvAuxNativeWrite),
        AGREE(nvapi::kAuxNativeRead, sim::kNvAuxNativeRead),
        AGREE(nvapi::kAuxI2cWrite, sim::kNvAuxI2cWrite),
        AGREE(nvapi::kAuxI2cRead, sim::kNvAuxI2cRead),
        AGREE(nvapi::kAuxI2cWriteMot, sim::kNvAuxI2cWriteMot),
        AGREE(nvapi::kAuxI2cReadMot, sim::kNvAuxI2cReadMot),
        AGREE(nvapi::kAuxReplyAck, sim::kNvReplyAck),
        AGREE(nvapi::kAuxReplyNack, sim::kNvReplyNack),
        AGREE(nvapi::kAuxReplyDefer, sim::kNvReplyDefer),
        AGREE(nvapi::kAuxReplyCallFailed, sim::kNvReplyFailed),
    });
}

TEST(SharedConstants, AmdLibraryRecordsAndCodes) {
    ExpectAgreement({
        AGREE(adl::ADL_OK, sim::kAdlOk),
        AGREE(adl::ADL_ERR, sim::kAdlErr),
        AGREE(adl::ADL_ERR_NOT_INIT, sim::kAdlErrNotInit),
        AGREE(adl::ADL_ERR_INVALID_PARAM, sim::kAdlErrInvalidParam),
        AGREE(adl::ADL_ERR_INVALID_ADL_IDX, sim::kAdlErrInvalidAdlIdx),
        AGREE(adl::ADL_ERR_NULL_POINTER, sim::kAdlErrNullPointer),
        // Adapter and display information records.
        AGREE(adl::kAdapterInfoSize, sim::kAdlAdapterInfoSize),
        AGREE(adl::kAdapterInfoOffsetIndex, sim::kAdlAdapterOffsetIndex),
        AGREE(adl::kDisplayInfoSize, sim::kAdlDisplayInfoSize),
        AGREE(adl::kDisplayInfoOffsetLogicalIndex, sim::kAdlDisplayOffsetLogicalIndex),
        AGREE(adl::kDisplayInfoOffsetLogicalAdapter, sim::kAdlDisplayOffsetLogicalAdapter),
        AGREE(adl::kDisplayInfoOffsetConnector, sim::kAdlDisplayOffsetConnector),
        AGREE(adl::kDisplayInfoOffsetValue, sim::kAdlDisplayOffsetValue),
        AGREE(adl::kDisplayConnected, sim::kAdlDisplayConnected),
        AGREE(adl::kDisplayMapped, sim::kAdlDisplayMapped),
        AGREE(adl::kConnectorDisplayPort, sim::AdlDisplaySpec{}.connectorType),
        // Native AUX request record.
        AGREE(adl::kNativeAuxSize, sim::kAdlNativeAuxSize),
        AGREE(adl::kNativeAuxOffsetSize, sim::kAdlNativeAuxOffsetSize),
        AGREE(adl::kNativeAuxOffsetStatus, sim::kAdlNativeAuxOffsetStatus),
        AGREE(adl::kNativeAuxOffsetCommand, sim::kAdlNativeAuxOffsetCommand),
        AGREE(adl::kNativeAuxOffsetAddress, sim::kAdlNativeAuxOffsetAddress),
        AGREE(adl::kNativeAuxOffsetLength, sim::kAdlNativeAuxOffsetLength),
        AGREE(adl::kNativeAuxOffsetData, sim::kAdlNativeAuxOffsetData),
        AGREE(adl::kNativeAuxMaxData, sim::kAdlNativeAuxMaxData),
        AGREE(adl::kNativeAuxRead, sim::kAdlNativeAuxRead),
        AGREE(adl::kNativeAuxWrite, sim::kAdlNativeAuxWrite),
        AGREE(adl::kNativeAuxStatusDone, sim::kAdlAuxStatusDone),
        AGREE(adl::kNativeAuxStatusDeferred, sim::kAdlAuxStatusDeferred),
    });
    EXPECT_EQ(std::wstring(adl::kLibraryName), sim::kAdlLibraryFile);
    ASSERT_EQ(std::size(adl::kEntryPoints), std::size(sim::kAdlExports));
    for (size_t i = 0; i < std::size(adl::kEntryPoints); ++i) {
        EXPECT_STREQ(adl::kEntryPoints[i], sim::kAdlExports[i]);
    }
}

TEST(SharedConstants, IntelObjectBlocksAndCodes) {
    ExpectAgreement({
        AGREE(cui::kHrOk, sim::kCuiOk),
        AGREE(cui::kHrClassString, sim::kCuiClassString),
        AGREE(cui::kCmdI2cWrite, sim::kCuiI2cWrite),
        AGREE(cui::kCmdI2cRead, sim::kCuiI2cRead),
        AGREE(cui::kCmdI2cWriteMot, sim::kCuiI2cWriteMot),
        AGREE(cui::kCmdI2cReadMot, sim::kCuiI2cReadMot),
        AGREE(cui::kCmdNativeWrite, sim::kCuiNativeWrite),
        AGREE(cui::kCmdNativeRead, sim::kCuiNativeRead),
        AGREE(cui::kStatusSuccess, sim::kCuiStatusDone),
        AGREE(cui::kStatusNotSupported, sim::kCuiStatusNotSupported),
        AGREE(cui::kStatusBusy, sim::kCuiStatusBusy),
        AGREE(cui::kMaxBlockSize, sim::kCuiLargestBlock),
        AGREE(kIntelDeviceAux, sim::CuiDeviceSpec{}.type),
    });
    EXPECT_NE(sim::CuiDeviceSpec{}.status & kIntelDeviceUsable, 0u)
        << "the virtual PC's devices are usable by the host's rule";
    EXPECT_EQ(std::wstring(cui::kProgId), sim::kCuiProgId);

    const struct {
        const char* name;
        const cui::BlockLayout& host;
        const cui::Guid& simGuid;
        const sim::CuiBlockLayout& sim;
    } blocks[] = {
        {"AUX block", cui::kAuxBlock, sim::kCuiAuxBlockGuid, sim::kCuiAuxLayout},
        {"LS-PCON block", cui::kLspconBlock, sim::kCuiLspconBlockGuid, sim::kCuiLspconLayout},
    };
    for (const auto& b : blocks) {
        SCOPED_TRACE(b.name);
        EXPECT_TRUE(SameGuid(*b.host.guid, b.simGuid));
        ExpectAgreement({
            AGREE(b.host.size, b.sim.size),
            AGREE(b.host.offsetDevice, b.sim.device),
            AGREE(b.host.offsetCommand, b.sim.command),
            AGREE(b.host.offsetLength, b.sim.length),
            AGREE(b.host.offsetAddress, b.sim.address),
            AGREE(b.host.offsetData, b.sim.data),
        });
    }
}

TEST(SharedConstants, ChipPacketsAndAreas) {
    ExpectAgreement({
        // DDC/CI framing and the chip's address.
        AGREE(IspConfig{}.ddcAddress, sim::kDdcChipAddress),
        AGREE(ddc::kHostSource, sim::kDdcHostAddress),
        AGREE(ddc::kVendorOpcode, sim::kVendorOpcode),
        AGREE(ddc::kReplySeed, sim::kDdcReplySeed),
        AGREE(kAcknowledgement[4], sim::kAckCode),
        AGREE(ddc::kNullMessageBody, sim::NullMessage().back()),
        AGREE(ddc::kMaxCommandBytes + 2, sim::kDdcMaxCount),
        // Downloads and the secure ISP's memory writes.
        AGREE(kMemoryWriteCode, sim::kMemoryWriteCode),
        AGREE(kMemoryWriteBytes, sim::kMaxMemoryWriteBytes),
        AGREE(kEsmAddress, sim::kEsmAreaBase),
        AGREE(kDriverSignatureAddress, sim::kDriverSignatureBase),
        AGREE(zorvan::kDriverSignatureSize, sim::kDriverSignatureSize),
        // Program codes, the flash and its fixed blocks.
        AGREE(PROGRAM_CODE_NORMAL, sim::kProgramCodePlain),
        AGREE(PROGRAM_CODE_ALL, sim::kProgramCodeLastKib),
        AGREE(zorvan::kFlashSize, sim::kFlashSize),
        AGREE(kFirmwareImageSize, sim::kFlashSize),
        AGREE(kCmdbFlashOffset, sim::kCmdbOffset),
        AGREE(kCmdbRecordSize, sim::kCmdbSize),
        AGREE(IspConfig{}.flashStartAddress, sim::kFlashMapBase),
    });
}

}  // namespace
}  // namespace zorvan
