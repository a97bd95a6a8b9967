#pragma once
// Scripted AMD library and Intel automation-object layers, recording the calls made.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/gfx/adl/Adl.h"
#include "core/gfx/cui/Cui.h"

namespace zorvan::test {

struct FakeAdlDisplay {
    uint32_t logicalIndex = 0;
    int32_t logicalAdapter = 0;
    uint32_t connector = 15;
    uint32_t infoValue = 3;  // connected and mapped
};

struct FakeAdlAdapter {
    int32_t index = 0;
    int active = 1;
    int displayResult = 0;
    std::vector<FakeAdlDisplay> displays;
};

class FakeAdl final : public adl::Driver {
public:
    std::set<std::wstring> loadable = {adl::kLibraryName};
    std::set<std::string> missingEntryPoints;
    int createResult = adl::ADL_OK;
    // "load <name>", "unload", "create", "destroy" in order.
    std::vector<std::string> calls;

    int countResult = adl::ADL_OK;
    std::vector<FakeAdlAdapter> adapters;
    // DDC block access: the send buffer (address byte first) and, for reads, the receive
    // buffer of receiveLength bytes to fill. Returns the ADL result. Unset: -1.
    std::function<int(int adapter, int display, const std::vector<uint8_t>& send,
                      int receiveLength, uint8_t* receive)>
        ddc;
    // Native AUX access on the 36-byte record. Unset: -1.
    std::function<int(int adapter, int display, uint8_t* record)> nativeAux;

    bool Load(const wchar_t* fileName) override;
    void Unload() override { calls.push_back("unload"); }
    bool HasEntryPoint(const char* name) override {
        return missingEntryPoints.count(name) == 0;
    }
    int MainControlCreate(adl::AllocCallback callback, int connectedOnly) override;
    int MainControlDestroy() override {
        calls.push_back("destroy");
        return adl::ADL_OK;
    }
    int NumberOfAdaptersGet(int* count) override;
    int AdapterInfoGet(uint8_t* info, int size) override;
    int AdapterActiveGet(int adapterIndex, int* status) override;
    int DisplayInfoGet(int adapterIndex, int* count, uint8_t** displays, int forceDetect) override;
    int DdcBlockAccessGet(int adapterIndex, int displayIndex, int option, int commandIndex,
                          int sendLength, const uint8_t* send, int* receiveLength,
                          uint8_t* receive) override;
    int NativeAuxChannelAccess(int adapterIndex, int displayIndex, uint8_t* request) override;

private:
    adl::AllocCallback alloc_ = nullptr;
};

struct FakeCuiDevice {
    uint32_t uid = 0;
    uint32_t type = 7;
    uint32_t status = 2;
};

// One data-block call as the object sees it: set (true) or get, the GUID, the block.
using FakeCuiHandler = std::function<cui::HResult(bool set, const cui::Guid& guid, uint32_t size,
                                                  uint8_t* block, uint32_t* status)>;

class FakeCui final : public cui::Driver {
public:
    cui::HResult createResult = cui::kHrOk;
    bool giveObject = true;
    // Adapters and the devices each reports; the device index runs on across adapters
    // the way the backend asks for it, so each adapter's list is indexed from its own 0.
    std::vector<std::vector<FakeCuiDevice>> adapters;
    // Every data-block call; unset: the call fails with E_FAIL.
    FakeCuiHandler handler;
    // "enum <adapter> <index>" for each device-enumeration call.
    std::vector<std::string> enumCalls;
    int coInitializeCalls = 0;
    int created = 0;
    int released = 0;
    std::vector<std::wstring> progIds;

    void CoInitialize() override { ++coInitializeCalls; }
    cui::HResult CreateInstance(const wchar_t* progId,
                                std::unique_ptr<cui::Interface>* object) override;
    bool EnumDisplayAdapter(uint32_t index, std::wstring* deviceName) override;
    int Alive() const { return created - released; }
};

// Install a layer for the lifetime of the guard.
class ScopedAdl {
public:
    explicit ScopedAdl(adl::Driver& driver) { adl::InstallDriver(&driver); }
    ~ScopedAdl() { adl::InstallDriver(nullptr); }
    ScopedAdl(const ScopedAdl&) = delete;
    ScopedAdl& operator=(const ScopedAdl&) = delete;
};

class ScopedCui {
public:
    explicit ScopedCui(cui::Driver& driver) { cui::InstallDriver(&driver); }
    ~ScopedCui() { cui::InstallDriver(nullptr); }
    ScopedCui(const ScopedCui&) = delete;
    ScopedCui& operator=(const ScopedCui&) = delete;
};

}  // namespace zorvan::test
