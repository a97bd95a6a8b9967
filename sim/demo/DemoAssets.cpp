#include "sim/demo/DemoAssets.h"

#include <filesystem>
#include <system_error>

#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/chip/ChipState.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoEsm.h"
#include "sim/demo/DemoImages.h"
#include "sim/demo/DemoKeys.h"
#include "sim/state/StateFile.h"

namespace zorvan::sim {
namespace {

constexpr FirmwareVersion kCurrentVersion{1, 6, 0};
constexpr FirmwareVersion kOldVersion{1, 5, 0};
constexpr uint32_t kDemoSerial = 1500;

std::wstring Join(const std::wstring& folder, const wchar_t* name) {
    if (folder.empty() || folder.back() == L'/' || folder.back() == L'\\') {
        return folder + name;
    }
    return folder + platform::PathSeparator() + name;
}

}  // namespace

std::string DemoConfigIni() {
    return "[Firmware Update]\r\n"
           "FWFilePath=firmware.bin\r\n"
           "CMDBFilePath=cmdb.bin\r\n"
           "DriverFilePath=driver.bin\r\n"
           "KeysFilePath=keys\r\n"
           "ESMFilePath=esm.bin\r\n"
           "\r\n"
           "[Simulator]\r\n"
           "Enabled=1\r\n"
           "Clock=virtual\r\n";
}

bool WriteDemoAssets(const std::wstring& folder, std::vector<std::wstring>& written,
                     std::wstring& error) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(platform::NativePath(folder)), ec);
    if (ec || !platform::IsDirectory(folder)) {
        error = Format(L"Cannot create the folder \"%s\".", folder.c_str());
        return false;
    }

    const std::string ini = DemoConfigIni();
    const std::vector<uint8_t> firmware = MakeFirmwareImage(ChipFamily::Kq1100, kCurrentVersion);
    const std::vector<uint8_t> firmwareOld = MakeFirmwareImage(ChipFamily::Kq1100, kOldVersion);
    const std::string product = "Zorvan demo display adapter";
    const std::vector<uint8_t> cmdb =
        MakeCmdbRecord(2, 1, 3, 4, std::vector<uint8_t>(product.begin(), product.end()));

    struct Asset {
        const wchar_t* name;
        std::vector<uint8_t> bytes;
    };
    // The files the programs read (the keys/ folder follows): the driver and the images
    // signed with the demo key, so they serve plain and secure ISP alike.
    const Asset files[] = {
        {L"Config.ini", std::vector<uint8_t>(ini.begin(), ini.end())},
        {L"driver.bin", MakeDemoDriverFile()},
        {L"esm.bin", MakeDemoEsmFile()},
        {L"firmware.bin", firmware},
        {L"firmware_old.bin", firmwareOld},
        {L"cmdb.bin", cmdb},
    };
    for (const Asset& a : files) {
        const std::wstring path = Join(folder, a.name);
        if (!platform::WriteWholeFile(path, a.bytes)) {
            error = Format(L"Cannot write \"%s\".", path.c_str());
            return false;
        }
        written.push_back(a.name);
    }
    if (!WriteDemoKeys(Join(folder, L"keys"), ChipFamily::Kq1100, kDemoSerial, written, error)) {
        return false;
    }

    ChipState chip = NewChipState(ChipFamily::Kq1100, kDemoSerial);
    chip.flash = firmwareOld;
    PowerCycle(chip);
    if (!SaveState(Join(folder, L"virtual-chip.state"), chip, error)) {
        return false;
    }
    written.push_back(L"virtual-chip.state");
    return true;
}

}  // namespace zorvan::sim
