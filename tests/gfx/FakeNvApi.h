#pragma once
// A scripted NVIDIA driver: GPUs with their connected displays, display handles, DP
// topologies, and a sink behind the AUX channel. It reads every record at the driver's
// own offsets (not through the backend's record code) and keeps each request's bytes.
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "core/gfx/nvapi/NvApi.h"
#include "tests/gfx/EventLog.h"

namespace zorvan::test {

struct FakeDisplay {
    uint32_t displayId = 0;
    bool mstRoot = false;
};

struct FakeGpu {
    std::vector<FakeDisplay> displays;
    nvapi::Status countStatus = nvapi::NVAPI_OK;    // the call with a null array
    nvapi::Status recordsStatus = nvapi::NVAPI_OK;  // the call with the array
};

struct FakeNode {
    uint32_t displayId = 0;
    std::array<uint8_t, 64> block = {};
    bool videoSink = false;
    uint32_t nodeType = 0;
};

struct FakeTopology {
    std::vector<FakeNode> nodes;
    nvapi::Status countStatus = nvapi::NVAPI_OK;
    nvapi::Status nodesStatus = nvapi::NVAPI_OK;
};

// One scripted answer to a DP AUX call.
struct AuxAnswer {
    nvapi::Status status = nvapi::NVAPI_OK;
    uint32_t replyCode = 0;
};

// A DP AUX request as the driver received it.
struct SeenRequest {
    nvapi::DisplayHandle display = 0;
    uint32_t size = 0;
    std::array<uint8_t, nvapi::kDpAuxRequestSize> bytes = {};

    uint32_t Field(size_t offset) const;
    uint32_t Version() const { return Field(0); }
    uint32_t DisplayId() const { return Field(4); }
    uint32_t Type() const { return Field(8); }
    uint32_t Address() const { return Field(12); }
    uint32_t Length() const { return Field(32) + 1; }
    std::vector<uint8_t> Data() const;
    std::vector<uint8_t> Topology() const;
};

class FakeNvApi final : public nvapi::Driver {
public:
    explicit FakeNvApi(EventLog* log = nullptr) : log_(log) {}

    nvapi::Status initializeStatus = nvapi::NVAPI_OK;
    nvapi::Status enumStatus = nvapi::NVAPI_OK;
    std::vector<FakeGpu> gpus;
    std::map<uint32_t, nvapi::DisplayHandle> handles;  // display id -> handle
    std::map<uint32_t, FakeTopology> topologies;       // display id -> topology

    // Answers to the next AUX calls, in order; once spent, every call is acknowledged.
    std::deque<AuxAnswer> script;
    // Bytes the sink hands out to the I2C reads that it takes, in order across requests;
    // zero once spent.
    void SetI2cReply(std::vector<uint8_t> bytes) {
        i2cReply_ = std::move(bytes);
        i2cReadPos_ = 0;
    }
    // DPCD contents for native reads; unset addresses read as their low byte.
    std::map<uint32_t, uint8_t> dpcd;

    std::vector<SeenRequest> requests;
    // Version words seen in the first record of the record-array calls.
    std::vector<uint32_t> displayRecordVersions;
    std::vector<uint32_t> nodeRecordVersions;

    nvapi::Status Initialize() override { return initializeStatus; }
    nvapi::Status EnumPhysicalGpus(nvapi::GpuHandle handles[nvapi::kMaxPhysicalGpus],
                                   uint32_t* count) override;
    nvapi::Status GetConnectedDisplayIds(nvapi::GpuHandle gpu, uint8_t* records, uint32_t* count,
                                         uint32_t flags) override;
    nvapi::Status GetDisplayHandleFromId(uint32_t displayId,
                                         nvapi::DisplayHandle* handle) override;
    nvapi::Status QueryDpTopology(uint32_t displayId, uint8_t* nodes, uint32_t* count) override;
    nvapi::Status DpAuxChannel(nvapi::DisplayHandle display, uint8_t* request,
                               uint32_t size) override;

private:
    EventLog* log_;
    std::vector<uint8_t> i2cReply_;
    size_t i2cReadPos_ = 0;
};

// A GPU with one display that is not an MST root, and its handle.
void AddSimpleGpu(FakeNvApi& driver, uint32_t displayId, nvapi::DisplayHandle handle);

// Installs a driver for the lifetime of the guard.
class ScopedNvApi {
public:
    explicit ScopedNvApi(nvapi::Driver& driver) { nvapi::InstallDriver(&driver); }
    ~ScopedNvApi() { nvapi::InstallDriver(nullptr); }
    ScopedNvApi(const ScopedNvApi&) = delete;
    ScopedNvApi& operator=(const ScopedNvApi&) = delete;
};

}  // namespace zorvan::test
