#include "tests/gfx/FakeLayers.h"

#include <cstdlib>

#include "core/platform/Text.h"

namespace zorvan::test {
namespace {

// An object that counts its release, and refuses every request.
class CountedObject final : public cui::Interface {
public:
    explicit CountedObject(int& released) : released_(released) {}
    ~CountedObject() override { ++released_; }
    cui::HResult EnumAttachableDevices(const std::wstring&, uint32_t, uint32_t*, uint32_t*,
                                       uint32_t*) override {
        return -1;
    }
    cui::HResult GetDeviceData(const cui::Guid&, uint32_t, uint8_t*, uint32_t*) override {
        return -1;
    }
    cui::HResult SetDeviceData(const cui::Guid&, uint32_t, const uint8_t*, uint32_t*) override {
        return -1;
    }

private:
    int& released_;
};

}  // namespace

bool FakeAdl::Load(const wchar_t* fileName) {
    calls.push_back("load " + ToUtf8(fileName));
    return loadable.count(fileName) != 0;
}

int FakeAdl::MainControlCreate(adl::AllocCallback callback, int connectedOnly) {
    calls.push_back("create " + std::to_string(connectedOnly));
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
        *object = std::make_unique<CountedObject>(released);
        ++created;
    }
    return createResult;
}

}  // namespace zorvan::test
