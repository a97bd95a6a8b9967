#include "sim/pc/cui/SimCui.h"

#include <algorithm>
#include <cstring>

#include "core/gfx/LittleEndian.h"

namespace zorvan::sim {
namespace {

bool SameGuid(const cui::Guid& a, const cui::Guid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

struct Where {
    size_t gpu = 0;
    size_t display = 0;
};

// The two blocks as the driver reads them.
struct Layout {
    uint32_t size;
    uint32_t device;
    uint32_t command;
    uint32_t length;
    uint32_t address;
    uint32_t data;
};
constexpr Layout kAuxLayout{32, 0, 4, 8, 12, 16};
constexpr Layout kLspconLayout{160, 0, 16, 20, 24, 28};
constexpr uint32_t kLargestBlock = 160;

// Command codes of the DisplayPort AUX request.
constexpr uint32_t kI2cWrite = 0;
constexpr uint32_t kI2cRead = 1;
constexpr uint32_t kI2cWriteMot = 4;
constexpr uint32_t kI2cReadMot = 5;
constexpr uint32_t kNativeWrite = 8;
constexpr uint32_t kNativeRead = 9;
constexpr uint32_t kStatusDone = 0;
constexpr uint32_t kStatusBusy = 70;
constexpr uint32_t kStatusNotSupported = 5;

uint32_t UidOf(const DisplaySpec& display) {
    return display.cui.uid != 0 ? display.cui.uid : display.displayId;
}

class SimCuiObject final : public cui::Interface {
  public:
    explicit SimCuiObject(VirtualPc& pc) : pc_(pc) {}

    cui::HResult EnumAttachableDevices(const std::wstring& adapterName, uint32_t index,
                                       uint32_t* uid, uint32_t* type, uint32_t* status) override {
        if (uid == nullptr || type == nullptr || status == nullptr) {
            return kCuiPointer;
        }
        const auto& gpus = pc_.Setup().gpus;
        for (uint32_t g = 0; g < gpus.size(); ++g) {
            if (CuiAdapterName(g) != adapterName) {
                continue;
            }
            if (index >= gpus[g].displays.size()) {
                return kCuiNoMoreItems;
            }
            const DisplaySpec& display = gpus[g].displays[index];
            *uid = UidOf(display);
            *type = display.cui.type;
            *status = display.cui.status;
            return cui::kHrOk;
        }
        return kCuiInvalidArg;
    }

    cui::HResult GetDeviceData(const cui::Guid& block, uint32_t size, uint8_t* data,
                               uint32_t* status) override {
        return Exchange(block, size, data, status, false);
    }

    cui::HResult SetDeviceData(const cui::Guid& block, uint32_t size, const uint8_t* data,
                               uint32_t* status) override {
        // set-data never writes into the caller's block; a copy carries it through.
        uint8_t copy[kLargestBlock] = {};
        if (data != nullptr && size <= sizeof copy) {
            std::memcpy(copy, data, size);
        }
        return Exchange(block, size, data != nullptr ? copy : nullptr, status, true);
    }

  private:
    cui::HResult Exchange(const cui::Guid& guid, uint32_t size, uint8_t* block, uint32_t* status,
                          bool set) {
        if (block == nullptr || status == nullptr) {
            return kCuiPointer;
        }
        *status = 0;
        const bool lspcon = SameGuid(guid, cui::kLspconAuxDataBlock);
        const Layout* layout = nullptr;
        if (SameGuid(guid, cui::kAuxDataBlock) && size == kAuxLayout.size) {
            layout = &kAuxLayout;
        } else if (lspcon && size == kLspconLayout.size) {
            layout = &kLspconLayout;
        } else {
            return kCuiInvalidArg;
        }
        if (lspcon && !pc_.Setup().lspconSupported) {
            *status = kStatusNotSupported;
            return cui::kHrOk;
        }
        if (lspcon) {
            for (uint32_t i = 4; i < layout->command; ++i) {
                if (block[i] != 0) {
                    return kCuiInvalidArg;
                }
            }
        }
        const uint32_t device = le::Get32(block + layout->device);
        const uint32_t command = le::Get32(block + layout->command);
        const uint32_t length = le::Get32(block + layout->length);
        const uint32_t address = le::Get32(block + layout->address);
        const bool writeCommand =
            command == kI2cWrite || command == kI2cWriteMot || command == kNativeWrite;
        const bool readCommand =
            command == kI2cRead || command == kI2cReadMot || command == kNativeRead;
        if ((set && !writeCommand) || (!set && !readCommand) || length < 1 ||
            length > kAuxMaxPayload) {
            return kCuiInvalidArg;
        }
        AuxRequest request;
        const bool native = command == kNativeWrite || command == kNativeRead;
        if (native) {
            if (address >= kDpcdAddressLimit) {
                return kCuiInvalidArg;
            }
            request.command = set ? AuxCommand::NativeWrite : AuxCommand::NativeRead;
            request.address = address;
        } else {
            // The block carries the 8-bit DDC address; the direction comes from the command.
            if (address > 0xFF) {
                return kCuiInvalidArg;
            }
            request.command = set ? AuxCommand::I2cWrite : AuxCommand::I2cRead;
            request.address = address >> 1;
            request.mot = command == kI2cWriteMot || command == kI2cReadMot;
        }
        uint8_t* data = block + layout->data;
        if (set) {
            request.data.assign(data, data + length);
        } else {
            request.length = length;
        }
        Where where;
        if (!(lspcon ? FindPort(device, where) : FindUid(device, where))) {
            *status = lspcon ? kCuiStatusNoReply : kCuiStatusUnknownDevice;
            return cui::kHrOk;
        }
        const AuxReply reply = pc_.Channel(where.gpu, where.display).Transact(request);
        switch (reply.status) {
            case AuxStatus::Ack:
                if (!set) {
                    std::memset(data, 0, kAuxMaxPayload);
                    const size_t got = reply.data.size() < length ? reply.data.size() : length;
                    std::copy_n(reply.data.begin(), got, data);
                }
                *status = kStatusDone;
                break;
            case AuxStatus::Defer:
                *status = kStatusBusy;
                break;
            case AuxStatus::Nack:
                *status = kCuiStatusRefused;
                break;
            case AuxStatus::Timeout:
                *status = kCuiStatusNoReply;
                break;
        }
        return cui::kHrOk;
    }

    bool FindUid(uint32_t uid, Where& where) const {
        const auto& gpus = pc_.Setup().gpus;
        for (size_t g = 0; g < gpus.size(); ++g) {
            for (size_t d = 0; d < gpus[g].displays.size(); ++d) {
                if (UidOf(gpus[g].displays[d]) == uid) {
                    where = {g, d};
                    return true;
                }
            }
        }
        return false;
    }

    bool FindPort(uint32_t port, Where& where) const {
        const auto& gpus = pc_.Setup().gpus;
        for (size_t g = 0; g < gpus.size(); ++g) {
            for (size_t d = 0; d < gpus[g].displays.size(); ++d) {
                if (port != 0 && gpus[g].displays[d].cui.lspconPort == port) {
                    where = {g, d};
                    return true;
                }
            }
        }
        return false;
    }

    VirtualPc& pc_;
};

}  // namespace

std::wstring CuiAdapterName(uint32_t index) {
    return L"\\\\.\\DISPLAY" + std::to_wstring(index + 1);
}

cui::HResult SimCui::CreateInstance(const wchar_t* progId,
                                    std::unique_ptr<cui::Interface>* object) {
    if (object == nullptr) {
        return kCuiPointer;
    }
    object->reset();
    if (!installed_ || progId == nullptr || std::wstring(progId) != cui::kProgId) {
        return cui::kHrClassString;
    }
    *object = std::make_unique<SimCuiObject>(pc_);
    return cui::kHrOk;
}

bool SimCui::EnumDisplayAdapter(uint32_t index, std::wstring* deviceName) {
    if (!installed_ || deviceName == nullptr || index >= pc_.Setup().gpus.size()) {
        return false;
    }
    *deviceName = CuiAdapterName(index);
    return true;
}

}  // namespace zorvan::sim
