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
constexpr wchar_t kStateName[] = L"virtual-chip.state";

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
                     std::wstring& error, bool replaceExisting) {
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
    if (!replaceExisting) {
        // A folder in use keeps its settings and its chip unless the caller says otherwise.
        std::vector<std::wstring> names;
        for (const Asset& a : files) {
            names.push_back(a.name);
        }
        for (const DemoKeyFile& key : MakeDemoKeyFiles(ChipFamily::Kq1100, kDemoSerial)) {
            names.push_back(L"keys/" + key.name);
        }
        names.push_back(kStateName);
        std::wstring present;
        for (const std::wstring& name : names) {
            const std::filesystem::path path(platform::NativePath(Join(folder, name.c_str())));
            if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
                present += (present.empty() ? L"" : L", ") + name;
            }
        }
        if (!present.empty()) {
            error = Format(
                L"The folder \"%s\" already holds %s; nothing was written "
                L"(--force replaces them).",
                folder.c_str(), present.c_str());
            return false;
        }
    }
    for (const Asset& a : files) {
        const std::wstring path = Join(folder, a.name);
        const platform::FileProblem problem = platform::ReplaceFileAtomically(
            platform::NativePath(path), a.bytes.data(), a.bytes.size());
        if (problem.error != platform::FileError::kNone) {
            error = platform::DescribeFileProblem(path, problem) + L".";
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
    if (!SaveState(Join(folder, kStateName), chip, error)) {
        return false;
    }
    written.push_back(kStateName);
    return true;
}

}  // namespace zorvan::sim
