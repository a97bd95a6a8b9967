#include "sim/pc/cui/SimCui.h"

#include <algorithm>
#include <cstring>

#include "sim/chip/LittleEndian.h"

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
            return kCuiOk;
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
        uint8_t copy[kCuiLargestBlock] = {};
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
        const bool lspcon = SameGuid(guid, kCuiLspconBlockGuid);
        const CuiBlockLayout* layout = nullptr;
        if (SameGuid(guid, kCuiAuxBlockGuid) && size == kCuiAuxLayout.size) {
            layout = &kCuiAuxLayout;
        } else if (lspcon && size == kCuiLspconLayout.size) {
            layout = &kCuiLspconLayout;
        } else {
            return kCuiInvalidArg;
        }
        if (lspcon && !pc_.Setup().lspconSupported) {
            *status = kCuiStatusNotSupported;
            return kCuiOk;
        }
        if (lspcon) {
            for (uint32_t i = 4; i < layout->command; ++i) {
                if (block[i] != 0) {
                    return kCuiInvalidArg;
                }
            }
        }
        const uint32_t device = Get32(block + layout->device);
        const uint32_t command = Get32(block + layout->command);
        const uint32_t length = Get32(block + layout->length);
        const uint32_t address = Get32(block + layout->address);
        const bool writeCommand =
            command == kCuiI2cWrite || command == kCuiI2cWriteMot || command == kCuiNativeWrite;
        const bool readCommand =
            command == kCuiI2cRead || command == kCuiI2cReadMot || command == kCuiNativeRead;
        if ((set && !writeCommand) || (!set && !readCommand) || length < 1 ||
            length > kAuxMaxPayload) {
            return kCuiInvalidArg;
        }
        AuxRequest request;
        const bool native = command == kCuiNativeWrite || command == kCuiNativeRead;
        if (native) {
            if (address >= kDpcdAddressLimit) {
                return kCuiInvalidArg;
            }
            request.command = set ? AuxCommand::NativeWrite : AuxCommand::NativeRead;
            request.address = address;
        } else {
            // The block carries the device's 8-bit address in its write form, whatever the
            // direction (the command gives it): an odd value names no device.
            if (address > 0xFF || (address & 1u) != 0) {
                return kCuiInvalidArg;
            }
            request.command = set ? AuxCommand::I2cWrite : AuxCommand::I2cRead;
            request.address = address >> 1;
            request.mot = command == kCuiI2cWriteMot || command == kCuiI2cReadMot;
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
            return kCuiOk;
        }
        const AuxReply reply = pc_.Channel(where.gpu, where.display).Transact(request);
        switch (reply.status) {
            case AuxStatus::Ack:
                if (!set) {
                    std::memset(data, 0, kAuxMaxPayload);
                    const size_t got = reply.data.size() < length ? reply.data.size() : length;
                    std::copy_n(reply.data.begin(), got, data);
                }
                *status = kCuiStatusDone;
                break;
            case AuxStatus::Defer:
                *status = kCuiStatusBusy;
                break;
            case AuxStatus::Nack:
                *status = kCuiStatusRefused;
                break;
            case AuxStatus::Timeout:
                *status = kCuiStatusNoReply;
                break;
        }
        return kCuiOk;
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
    if (!installed_ || progId == nullptr || std::wstring(progId) != kCuiProgId) {
        return kCuiClassString;
    }
    *object = std::make_unique<SimCuiObject>(pc_);
    return kCuiOk;
}

bool SimCui::EnumDisplayAdapter(uint32_t index, std::wstring* deviceName) {
    if (!installed_ || deviceName == nullptr || index >= pc_.Setup().gpus.size()) {
        return false;
    }
    *deviceName = CuiAdapterName(index);
    return true;
}

}  // namespace zorvan::sim
