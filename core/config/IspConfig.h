#pragma once
// The settings read from Config.ini, section "Firmware Update". Every member holds its
// default until a key gives another value; nothing is ever written back to the file.
#include <cstdint>
#include <string>

#include "core/gfx/linux/LinuxLinkSettings.h"

namespace zorvan {

// The two programs read the same keys with a few different rules.
enum class ConfigProgram { Console, Gui };

// Addresses of a port device (GUI only; only the DDC2Bi address is used).
struct PortConfig {
    uint32_t ddcAddress = 0x6E;
    uint16_t ramWriteAddress = 0x1800;
    uint16_t runAtAddress = 0x1800;
    uint32_t flashStartAddress = 0x400000;
};

struct IspConfig {
    int32_t gfxSelection = 0;  // GFX_AUTO
    uint32_t deviceId = 0;
    uint32_t ddcAddress = 0x6E;
    uint16_t ramWriteAddress = 0x1800;
    uint16_t runAtAddress = 0x1800;
    uint32_t flashStartAddress = 0x400000;
    PortConfig port1;  // GUI: Port#1
    PortConfig port2;  // GUI: Port#2
    int32_t ispDriverRunDelay = 800;  // milliseconds
    int32_t nextIspDelay = 100;       // milliseconds, GUI; read but unused
    bool fwComparison = true;         // GUI
    bool runResetOne = true;
    bool notDeleteLogFile = false;
    bool debugMode = false;
    bool oneStepProgramming = true;  // GUI
    bool secureIsp = false;
    bool programDeviceCertificate = false;
    bool programCmdb = false;
    // Every range written (firmware regions, certificate, CMDB) is read back and compared.
    bool verifyAfterWrite = false;
    // Console: a firmware image path is configured (the file check recomputes it).
    bool firmwareReady = false;
    // Console: ExitStatus=1 makes the exit status tell the outcome (0 done, 1 failed,
    // 2 command line not understood); otherwise it is always 0.
    bool exitStatus = false;

    // Full paths (program folder joined unless the value is absolute); empty when not given.
    std::wstring driverPath;
    std::wstring firmwarePath;
    std::wstring esmPath;
    std::wstring keysPath;
    std::wstring cmdbPath;
    // GUI: firmware images of the devices behind Port#1 and Port#2 (FWFilePathP1/P2).
    std::wstring fwFilePathP1;
    std::wstring fwFilePathP2;

    // LinuxConnector and LinuxForceDdc: the Linux kernel backend's connector and I2C rule.
    LinuxLinkSettings linuxLink;
};

}  // namespace zorvan
