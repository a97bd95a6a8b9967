#pragma once
// Our own layer over the Intel graphics driver's automation object: COM start-up, object
// creation by ProgID and the object's device enumeration and data-block calls, as the
// Intel backends use them. Tests and the simulator install a driver of their own.
#include <cstdint>
#include <memory>
#include <string>

namespace zorvan::cui {

using HResult = int32_t;
inline constexpr HResult kHrOk = 0;
// The ProgID names no registered class (CO_E_CLASSSTRING).
inline constexpr HResult kHrClassString = static_cast<HResult>(0x800401F3u);

inline constexpr const wchar_t* kProgId = L"Igfxext.CUIExternal";

struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

// The interface the backends ask the object for.
inline constexpr Guid kInterfaceId{
    0xF932C038, 0x6484, 0x45CA, {0x8F, 0xA1, 0x7C, 0x8C, 0x27, 0x9F, 0x7A, 0xEE}};
// The AUX data block of the Intel backend (32 bytes) and the LS-PCON one (160 bytes).
inline constexpr Guid kAuxDataBlock{
    0xBFB9816C, 0xAEB0, 0x434B, {0x99, 0xF3, 0x0F, 0x94, 0xE6, 0xBE, 0xBF, 0x0D}};
inline constexpr Guid kLspconAuxDataBlock{
    0xC3E437B6, 0x53F9, 0x42AA, {0xA5, 0x40, 0x87, 0x1F, 0x1E, 0x10, 0x7D, 0xFD}};

// The driver's object; destroying it releases it.
class Interface {
public:
    virtual ~Interface() = default;
    // Device `index` of the adapter named `adapterName`; kHrOk while it exists.
    virtual HResult EnumAttachableDevices(const std::wstring& adapterName, uint32_t index,
                                          uint32_t* uid, uint32_t* type, uint32_t* status) = 0;
    virtual HResult GetDeviceData(const Guid& block, uint32_t size, uint8_t* data,
                                  uint32_t* status) = 0;
    virtual HResult SetDeviceData(const Guid& block, uint32_t size, const uint8_t* data,
                                  uint32_t* status) = 0;
};

class Driver {
public:
    virtual ~Driver() = default;
    // COM start-up of the calling thread; its result is of no interest.
    virtual void CoInitialize() = 0;
    // Class lookup by ProgID and creation of the object with kInterfaceId. A negative
    // result, or a null object, is a failure.
    virtual HResult CreateInstance(const wchar_t* progId, std::unique_ptr<Interface>* object) = 0;
    // The device name of display adapter `index`; false once there is no such adapter.
    virtual bool EnumDisplayAdapter(uint32_t index, std::wstring* deviceName) = 0;
};

// COM start-up and creation of the object named kProgId through the active driver, as
// each Intel backend's Init does it. A null object with a non-negative result is reported
// as the ProgID failure.
HResult CreateCuiObject(std::unique_ptr<Interface>* object);

// The driver the backends talk to: the installed one, else the platform's own.
Driver& ActiveDriver();
// Installs a driver (not owned); null restores the platform's own.
void InstallDriver(Driver* driver);

}  // namespace zorvan::cui
