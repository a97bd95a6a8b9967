#pragma once
// The Linux kernel backend: native AUX through the DRM AUX node of a DisplayPort
// connector (/dev/drm_dp_auxN, pread/pwrite at the DPCD address) and I2C-over-AUX through
// the connector's I2C bus (/dev/i2c-M of the i2c-dev module, one write() or read() per
// I2C transaction, each ending in STOP). The kernel splits a transfer into 16-byte AUX
// transactions and repeats deferred ones itself, so the backend adds no pauses of its own.
// All state (the connectors found, the open nodes) lives in the object; the calls go
// through linuxsys::ActiveSystem().
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/gfx/GfxLib.h"
#include "core/gfx/linux/Connectors.h"
#include "core/gfx/linux/LinuxLinkSettings.h"
#include "core/gfx/linux/LinuxResults.h"
#include "core/gfx/linux/System.h"

namespace zorvan {

class GfxLibLinux final : public GfxLib {
public:
    GfxLibLinux();
    ~GfxLibLinux();
    GfxLibLinux(const GfxLibLinux&) = delete;
    GfxLibLinux& operator=(const GfxLibLinux&) = delete;

    LinuxLinkSettings settings;

    // False on a platform without the kernel's interfaces: automatic selection skips it.
    static bool Available();

    // The connectors the last Init found.
    const linuxlink::ConnectorScan& Connectors() const { return scan_; }
    // The connector the nodes are open on; null when none is.
    const linuxlink::DpConnector* Current() const;
    // The adapter text after a successful Connect: connector, GPU and nodes.
    std::wstring Description() const;

    // Opens the connector's AUX node and I2C bus and takes the I2C address of `ddcAddress`
    // (8-bit) on it. `why` receives the reason of a failure: which node and what to do.
    int32_t OpenConnector(const linuxlink::DpConnector& connector, uint32_t ddcAddress,
                          std::string& why);
    // Sends the DDC/CI probe packet to the open connector and reads the chip's answer;
    // GFX_OK when it is the acknowledgement. `reply` receives what was read.
    int32_t ProbeChip(uint32_t ddcAddress, std::vector<uint8_t>& reply);
    void CloseNodes();

protected:
    int32_t DoInit(std::wstring& text) override;
    int32_t DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) override;
    int32_t DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override;
    int32_t DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                      int32_t* length) override;
    int32_t DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override;
    int32_t DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                      int32_t length) override;

private:
    // Takes the 7-bit address of the 8-bit `address` on the I2C bus unless it is taken.
    int32_t SelectSlave(uint32_t address);
    int32_t TryConnector(const linuxlink::DpConnector& connector, uint32_t ddcAddress,
                         std::wstring& text);
    // The driver that owns the 7-bit I2C address on the connector's bus; empty if unknown.
    std::string OwnerOf(const linuxlink::DpConnector& connector, int address) const;

    linuxsys::System* system_ = nullptr;  // the layer the nodes were opened through
    linuxlink::ConnectorScan scan_;
    std::optional<linuxlink::DpConnector> open_;  // the connector the nodes belong to
    int auxFd_ = -1;
    int i2cFd_ = -1;
    int slave_ = -1;  // the 7-bit address taken on the I2C bus
};

}  // namespace zorvan
