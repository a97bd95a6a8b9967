#include "console/CheckRequiredFiles.h"

#include "core/control/ZorvanControl.h"
#include "core/platform/Files.h"

namespace zorvan::console {

bool CheckRequiredFiles(const ZorvanControl& control, IspConfig& config, ConsoleCommand& command,
                        std::wstring& message) {
    const bool driverFound = platform::PathExists(control.driverPath);
    const bool firmwareFound = platform::PathExists(control.firmwarePath);
    const bool esmFound = platform::PathExists(control.esmPath);
    const bool keysFound = platform::PathExists(control.keysPath);
    const bool cmdbFound = platform::PathExists(control.cmdbPath);

    message.clear();
    config.firmwareReady = firmwareFound && driverFound;

    if (!driverFound) {
        message = L"Can not find valid ISP driver!\r\n";
        return false;
    }
    if ((command == CMD_WRITE_DEV_CERT || command == CMD_VERIFY_DEV_CERT) && !keysFound) {
        message = L"Can not find valid Key file!\r\n";
        return false;
    }
    if ((command == CMD_WRITE_CMDB || command == CMD_VERIFY_CMDB) && !cmdbFound) {
        message =
            L"Can not find valid CMDB file!\r\nPlease assign CMDB file path in \"config.ini\":\r\n"
            L"  CmdbFilePath=\"cmdb.bin\"\r\n";
        return false;
    }
    if (command != CMD_RUN) {
        return true;
    }
    if (config.programCmdb && !cmdbFound) {
        message = L"Can not find valid CMDB file!\r\n";
        config.programCmdb = false;
    }
    if (config.programDeviceCertificate && !keysFound) {
        message = L"Can not find valid Key file!\r\n";  // replaces the CMDB warning
        config.programDeviceCertificate = false;
    }
    if (!config.firmwareReady && !config.programDeviceCertificate && !config.programCmdb) {
        message = L"Can not find valid files!\r\n";
        return false;
    }
    // Without a firmware image a configured secure update runs as a plain run that writes
    // only the certificate and the CMDB.
    if (control.secureIsp != 0 && config.firmwareReady) {
        if (!esmFound) {
            message = L"Can not find valid ESM file!\r\n";
            return false;
        }
        command = CMD_RUN_SECURE_ISP;
        message += L"[Run Secure ISP]\r\n";
        return true;
    }
    command = CMD_RUN_ISP;
    message += L"[Run ISP]\r\n";
    return true;
}

}  // namespace zorvan::console
