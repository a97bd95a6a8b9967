#include "tests/gfx/FakeLayers.h"

#include <cstdlib>
#include <cstring>

#include "core/platform/Text.h"

namespace zorvan::test {
namespace {

constexpr cui::HResult kEFail = static_cast<cui::HResult>(0x80004005u);

void Put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// An object that counts its release and answers through the fake's script.
class CountedObject final : public cui::Interface {
public:
    CountedObject(FakeCui& owner, int& released) : owner_(owner), released_(released) {}
    ~CountedObject() override { ++released_; }
    cui::HResult EnumAttachableDevices(const std::wstring& adapterName, uint32_t index,
                                       uint32_t* uid, uint32_t* type, uint32_t* status) override {
        const std::string name = ToUtf8(adapterName);
        owner_.enumCalls.push_back("enum " + name + " " + std::to_string(index));
        const size_t adapter = static_cast<size_t>(std::stoul(name.substr(7)));
        if (adapter >= owner_.adapters.size() || index >= owner_.adapters[adapter].size()) {
            return 1;
        }
        const FakeCuiDevice& device = owner_.adapters[adapter][index];
        *uid = device.uid;
        *type = device.type;
        *status = device.status;
        return cui::kHrOk;
    }
    cui::HResult GetDeviceData(const cui::Guid& guid, uint32_t size, uint8_t* block,
                               uint32_t* status) override {
        *status = 0;
        return owner_.handler ? owner_.handler(false, guid, size, block, status) : kEFail;
    }
    cui::HResult SetDeviceData(const cui::Guid& guid, uint32_t size, const uint8_t* block,
                               uint32_t* status) override {
        *status = 0;
        std::vector<uint8_t> copy(block, block + size);
        return owner_.handler ? owner_.handler(true, guid, size, copy.data(), status) : kEFail;
    }

private:
    FakeCui& owner_;
    int& released_;
};

}  // namespace

bool FakeAdl::Load(const wchar_t* fileName) {
    calls.push_back("load " + ToUtf8(fileName));
    return loadable.count(fileName) != 0;
}

int FakeAdl::MainControlCreate(adl::AllocCallback callback, int connectedOnly) {
    calls.push_back("create " + std::to_string(connectedOnly));
    alloc_ = callback;
    // The callback must hand out usable memory from the C heap.
    void* block = callback(64);
    if (block == nullptr) {
        return adl::ADL_ERR;
    }
    std::free(block);
    return createResult;
}

cui::HResult FakeCui::CreateInstance(const wchar_t* progId,
                                     std::unique_ptr<cui::Interface>* object) {
    progIds.push_back(progId);
    if (createResult >= 0 && giveObject) {
        *object = std::make_unique<CountedObject>(*this, released);
        ++created;
    }
    return createResult;
}

bool FakeCui::EnumDisplayAdapter(uint32_t index, std::wstring* deviceName) {
    if (index >= adapters.size()) {
        return false;
    }
    *deviceName = L"adapter" + std::to_wstring(index);
    return true;
}

int FakeAdl::NumberOfAdaptersGet(int* count) {
    *count = static_cast<int>(adapters.size());
    return countResult;
}

int FakeAdl::AdapterInfoGet(uint8_t* info, int size) {
    for (size_t i = 0; i < adapters.size() && (i + 1) * adl::kAdapterInfoSize <= size_t(size);
         ++i) {
        Put32(info + i * adl::kAdapterInfoSize + adl::kAdapterInfoOffsetIndex,
              static_cast<uint32_t>(adapters[i].index));
    }
    return adl::ADL_OK;
}

int FakeAdl::AdapterActiveGet(int adapterIndex, int* status) {
    for (const FakeAdlAdapter& a : adapters) {
        if (a.index == adapterIndex) {
            *status = a.active;
            return adl::ADL_OK;
        }
    }
    return adl::ADL_ERR_INVALID_ADL_IDX;
}

int FakeAdl::DisplayInfoGet(int adapterIndex, int* count, uint8_t** displays, int) {
    for (const FakeAdlAdapter& a : adapters) {
        if (a.index != adapterIndex) {
            continue;
        }
        if (a.displayResult != adl::ADL_OK) {
            return a.displayResult;
        }
        const size_t n = a.displays.size();
        auto* records = static_cast<uint8_t*>(alloc_(static_cast<int>(n) * adl::kDisplayInfoSize));
        std::memset(records, 0, n * adl::kDisplayInfoSize);
        for (size_t j = 0; j < n; ++j) {
            uint8_t* r = records + j * adl::kDisplayInfoSize;
            Put32(r + adl::kDisplayInfoOffsetLogicalIndex, a.displays[j].logicalIndex);
            Put32(r + adl::kDisplayInfoOffsetLogicalAdapter,
                  static_cast<uint32_t>(a.displays[j].logicalAdapter));
            Put32(r + adl::kDisplayInfoOffsetConnector, a.displays[j].connector);
            Put32(r + adl::kDisplayInfoOffsetValue, a.displays[j].infoValue);
        }
        *count = static_cast<int>(n);
        *displays = records;
        return adl::ADL_OK;
    }
    return adl::ADL_ERR_INVALID_ADL_IDX;
}

int FakeAdl::DdcBlockAccessGet(int adapterIndex, int displayIndex, int, int, int sendLength,
                               const uint8_t* send, int* receiveLength, uint8_t* receive) {
    if (!ddc) {
        return adl::ADL_ERR;
    }
    return ddc(adapterIndex, displayIndex, std::vector<uint8_t>(send, send + sendLength),
               *receiveLength, receive);
}

int FakeAdl::NativeAuxChannelAccess(int adapterIndex, int displayIndex, uint8_t* request) {
    return nativeAux ? nativeAux(adapterIndex, displayIndex, request) : adl::ADL_ERR;
}

}  // namespace zorvan::test
