#pragma once
// Our own layer over the NVIDIA driver interface, made of the calls and record layouts
// the NVIDIA backend uses and no more. Records travel as the raw little-endian bytes the
// driver reads and fills, so a simulated driver parses exactly what a real one would.
#include <cstdint>

namespace zorvan::nvapi {

using Status = int32_t;
inline constexpr Status NVAPI_OK = 0;
inline constexpr Status NVAPI_ERROR = -1;
inline constexpr Status NVAPI_LIBRARY_NOT_FOUND = -2;
inline constexpr Status NVAPI_INVALID_ARGUMENT = -5;
inline constexpr Status NVAPI_NVIDIA_DEVICE_NOT_FOUND = -6;
inline constexpr Status NVAPI_API_NOT_INITIALIZED = -4;

using GpuHandle = uint32_t;
using DisplayHandle = uint32_t;

inline constexpr uint32_t kMaxPhysicalGpus = 64;
inline constexpr uint32_t kConnectedDisplayRecordSize = 16;
inline constexpr uint32_t kConnectedDisplayVersion = 0x00010010;
inline constexpr uint32_t kTopologyNodeRecordSize = 112;
inline constexpr uint32_t kTopologyNodeVersion = 0x00010070;
inline constexpr uint32_t kDpAuxRequestSize = 104;
inline constexpr uint32_t kDpAuxRequestVersion = 0x00020068;

// Interface ids of the calls reached through the driver's query-interface mechanism.
inline constexpr uint32_t kIdEnumPhysicalGpus = 0xE5AC921F;
inline constexpr uint32_t kIdGetConnectedDisplayIds = 0x0078DBA2;
inline constexpr uint32_t kIdDisplayHandleFromId = 0x96437923;
inline constexpr uint32_t kIdQueryDpTopology = 0x086418CD;
inline constexpr uint32_t kIdDpAuxChannel = 0x8EB56969;

class Driver {
public:
    virtual ~Driver() = default;
    virtual Status Initialize() = 0;
    virtual Status EnumPhysicalGpus(GpuHandle handles[kMaxPhysicalGpus], uint32_t* count) = 0;
    // records: null to ask for the count, else *count records of 16 bytes.
    virtual Status GetConnectedDisplayIds(GpuHandle gpu, uint8_t* records, uint32_t* count,
                                          uint32_t flags) = 0;
    virtual Status GetDisplayHandleFromId(uint32_t displayId, DisplayHandle* handle) = 0;
    // nodes: null to ask for the count, else *count records of 112 bytes.
    virtual Status QueryDpTopology(uint32_t displayId, uint8_t* nodes, uint32_t* count) = 0;
    // request: a 104-byte DpAuxRequest, filled in place by the driver.
    virtual Status DpAuxChannel(DisplayHandle display, uint8_t* request, uint32_t size) = 0;
};

// The driver the backend talks to: the installed one, else the platform's own loader
// (which on a machine without the NVIDIA driver fails to initialise).
Driver& ActiveDriver();
// Installs a driver (not owned); null restores the platform loader.
void InstallDriver(Driver* driver);

}  // namespace zorvan::nvapi
