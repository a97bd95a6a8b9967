// Config.ini as the programs read it: the profile reader on any bytes (UTF-8 with or
// without BOM, UTF-16 in either byte order), the [Simulator] and port switch settings on
// top of it, and LoadConfig of both programs on the same bytes as the file beside them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/config/LoadConfig.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/PrivateProfile.h"
#include "core/platform/Text.h"
#include "fuzz/support/Scratch.h"
#include "fuzz/targets/Require.h"
#include "sim/SimulatorSettings.h"
#include "sim/pc/PortSwitchSettings.h"

namespace {

using namespace zorvan;

constexpr const wchar_t* kKeys[] = {
    L"IntelLegacyDeviceId", L"DeviceID",       L"NvidiaDeviceId", L"AmdDeviceId",  L"Ddc2biAddr",
    L"RamWriteAddr",        L"FlashStartAddr", L"IspDrvRunDelay", L"SecureISP",    L"FWFilePath",
    L"DriverFilePath",      L"KeysFilePath",   L"CMDBFilePath",   L"CmdbFilePath", L""};

void ReadEveryKey(const platform::PrivateProfile& profile) {
    for (const std::wstring& section : profile.SectionNames()) {
        fuzz::Require(!section.empty());
        for (const wchar_t* key : kKeys) {
            profile.GetInt(section, key, -1);
            fuzz::Require(profile.GetString(section, key, L"", 511).size() <= 511);
            profile.HasKey(section, key);
        }
    }
}

void LoadBoth(const std::wstring& folder) {
    for (const ConfigProgram program : {ConfigProgram::Console, ConfigProgram::Gui}) {
        IspConfig config;
        ZorvanControl control;
        std::wstring message;
        if (!LoadConfigFromFolder(program, folder, config, control, message)) {
            fuzz::Require(!message.empty());
            continue;
        }
        fuzz::Require(message.empty());
        fuzz::Require(config.ddcAddress != 0);
        for (const std::wstring* path : {&config.driverPath, &config.firmwarePath, &config.esmPath,
                                         &config.keysPath, &config.cmdbPath}) {
            fuzz::Require(path->size() <= folder.size() + 511);
        }
        if (program == ConfigProgram::Gui && config.oneStepProgramming) {
            fuzz::Require(!config.debugMode && !config.secureIsp &&
                          !config.programDeviceCertificate);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    const platform::PrivateProfile profile = platform::PrivateProfile::Parse(bytes);
    ReadEveryKey(profile);

    sim::SimulatorSettings settings;
    std::wstring error;
    if (!sim::ReadSimulatorSettings(profile, settings, error)) {
        fuzz::Require(!error.empty());
    }
    bool enabled = false;
    error.clear();
    if (!sim::ReadSimulatorEnabled(profile, enabled, error)) {
        fuzz::Require(!enabled && !error.empty());
    }
    sim::PortSwitchSettings ports;
    error.clear();
    sim::ReadPortSwitchSettings(profile, ports, error);

    fuzz::WriteScratchFile("Config.ini", bytes);
    LoadBoth(FromUtf8(fuzz::ScratchFolder()));
    return 0;
}
