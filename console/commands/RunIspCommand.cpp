// -Run, plain: the firmware update in one pass. Loads the files, enters ISP mode, starts
// the driver, erases what the run rewrites, writes the image region by region, checks the
// version read back and writes the certificate and the CMDB as configured. A failure
// leaves the flash as far as it got; the next run starts again from the beginning.
#include <algorithm>
#include <array>
#include <span>
#include <string>

#include "console/ConsoleText.h"
#include "console/FailedBanner.h"
#include "console/Procedures.h"
#include "console/steps/CertificateSteps.h"
#include "console/steps/EraseSelector.h"
#include "console/steps/IspSteps.h"
#include "core/cert/CertificateArea.h"
#include "core/config/Log.h"
#include "core/control/ImageFiles.h"
#include "core/control/StoredPackets.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"
#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

struct Region {
    uint32_t offset;
    uint32_t length;
};

constexpr Region kFirstCode = {0x0, 0x24000};
constexpr Region kSecondCode = {0x24000, 0x3C000};
constexpr Region kCmdbBlock = {kCmdbFlashOffset, 0x80};
constexpr Region kLastRegion = {0x7FC00, 0x400};

bool ImageCarries(const ZorvanControl& control, uint32_t offset,
                  const std::array<uint8_t, 4>& signature) {
    const std::vector<uint8_t>& image = control.firmwareImage;
    if (image.size() < offset + signature.size()) {
        return false;
    }
    return std::equal(signature.begin(), signature.end(), image.begin() + offset);
}

// "1.05" for minor 5, "1.12" for minor 12.
std::wstring MajorMinor(uint32_t version) {
    const int major = static_cast<int>(version >> 8 & 0xFF);
    const int minor = static_cast<int>(version & 0xFF);
    return minor < 10 ? Format(L"%d.0%d", major, minor) : Format(L"%d.%d", major, minor);
}

// " (0x05, 0x01)": minor, then major.
std::wstring MinorMajorBytes(uint32_t version) {
    return Format(L" (0x%02X, 0x%02X)", version & 0xFF, version >> 8 & 0xFF);
}

bool FlashHoldsCertificate(ZorvanControl& control) {
    std::array<uint8_t, 4> head = {};
    return control.ReadFlash(cert::CERTIFICATE_OFFSET, head.data(),
                             static_cast<int32_t>(head.size())) &&
           head == kCertificateSignature;
}

uint16_t ChooseErase(ConsoleSession& session) {
    const IspConfig& config = session.config;
    EraseInputs in;
    in.firmwareReady = config.firmwareReady;
    in.imageHasCmdb = config.firmwareReady && ImageCarries(session.control, kCmdbFlashOffset,
                                                           kCmdbSignature);
    in.imageHasCertificate =
        config.firmwareReady &&
        ImageCarries(session.control, cert::CERTIFICATE_OFFSET, kCertificateSignature);
    in.programCmdb = config.programCmdb;
    in.programDeviceCertificate = config.programDeviceCertificate;
    in.debugMode = config.debugMode;
    return ChooseEraseSelector(in, [&session] { return FlashHoldsCertificate(session.control); });
}

bool EraseForRun(ConsoleSession& session, std::wstring& message) {
    const uint16_t selector = ChooseErase(session);
    platform::Print(Format(L"Erasing flash (%X)......", selector));
    if (!session.control.EraseFlash(selector)) {
        platform::Print(L" [failed!]\r\n");
        message = Format(L"Erasing flash (%X)...... failed!\r\n", selector);
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(Format(L"Erasing flash (%X)...... Done\r\n", selector));
    return true;
}

bool WriteRegion(ZorvanControl& control, const Region& region, int32_t& progress,
                 int32_t total) {
    const std::vector<uint8_t>& image = control.firmwareImage;
    if (image.size() < region.offset + region.length) {
        return false;  // never read past the image
    }
    const std::span<const uint8_t> bytes(image.data() + region.offset, region.length);
    uint32_t step = 0;
    const bool written =
        control.ProgramFlash(bytes.data(), static_cast<int32_t>(bytes.size()),
                             PROGRAM_CODE_NORMAL, region.offset, &progress, total, &step);
    // A region of nothing but 0xFF sends no block at all, which ProgramFlash reports as a
    // failure; the erase before has already left exactly that in the flash.
    return written || std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

bool WriteFirmware(ConsoleSession& session) {
    ZorvanControl& control = session.control;
    platform::Print(L"Flash writing FW......   0%");
    const bool withCmdbBlock =
        ImageCarries(control, kCmdbFlashOffset, kCmdbSignature) && !session.config.programCmdb;
    std::vector<Region> regions = {kFirstCode, kSecondCode};
    if (withCmdbBlock) {
        regions.push_back(kCmdbBlock);
    }
    regions.push_back(kLastRegion);
    int32_t laterTotal = 0;
    for (const Region& region : regions) {
        laterTotal += static_cast<int32_t>(region.length);
    }
    int32_t progress = 0;
    for (size_t i = 0; i < regions.size(); ++i) {
        const int32_t total = i == 0 ? control.firmwareLength : laterTotal;
        if (!WriteRegion(control, regions[i], progress, total)) {
            platform::Print(L" [failed!]\r\n");
            return false;
        }
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(L"Flash writing FW...... Done\r\n");
    return true;
}

// True when the version in flash is the image's; otherwise warns with what the flash holds.
bool CompareVersion(ZorvanControl& control, uint32_t& flashVersion) {
    flashVersion = control.ReadFlashVersion();
    if (flashVersion == control.binVersion) {
        return true;
    }
    const std::wstring line = L"Flash FW version comparison failed!  Version: " +
                              MajorMinor(flashVersion) + MinorMajorBytes(flashVersion) +
                              L" not match.\r\n";
    PrintWarning(line);
    AppendLog(line);
    return false;
}

bool LoadFiles(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    IspConfig& config = session.config;
    if (!control.LoadDriverFile(message)) {
        return false;
    }
    if (config.firmwareReady && !control.LoadFirmwareFile(message)) {
        return false;
    }
    if (config.programCmdb) {
        std::wstring ignored;
        if (!control.LoadCmdbFile(ignored)) {
            const std::wstring warning = L"Loading CMDB file failed!\r\n";
            PrintWarning(warning);
            AppendLog(warning);
            config.programCmdb = false;
        }
    }
    if (config.programDeviceCertificate) {
        if (!control.GetDeviceCertificate(message)) {
            // Nothing was touched on the chip, so it is left running as it is.
            config.programDeviceCertificate = false;
            config.runResetOne = false;
            return false;
        }
        PrintAndLog(L"Got match serial number!\r\n");
    }
    if (!config.firmwareReady && !config.programDeviceCertificate && !config.programCmdb) {
        message = L"No available data can be written to flash!\r\n";
        return false;
    }
    return true;
}

bool PrepareFlash(ConsoleSession& session, std::wstring& message) {
    if (!session.control.EnterIspMode()) {
        message = L"ISP initialization failed!\r\n";
        return false;
    }
    PrintAndLog(L"Start ISP process...\r\n");
    return LoadAndRunIspDriver(session, message) && ReadMailboxAndFlashId(session, message) &&
           EraseForRun(session, message);
}

bool WriteCertificateAndCmdb(ConsoleSession& session, std::wstring& message) {
    if (session.config.programDeviceCertificate &&
        (!WriteCertificateStep(session, message) || !VerifyCertificateStep(session, message))) {
        return false;
    }
    if (session.config.programCmdb) {
        if (!WriteCmdbStep(session, message) || !VerifyCmdbStep(session, message)) {
            return false;
        }
        PrintSuccess(message);
        AppendLog(message);
    }
    return true;
}

bool RunIsp(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    if (!LoadFiles(session, message) || !PrepareFlash(session, message)) {
        return false;
    }
    const bool firmware = session.config.firmwareReady;
    bool versionMatches = true;
    uint32_t flashVersion = 0;
    if (firmware) {
        if (!WriteFirmware(session)) {
            message = L"Flash writing FW...... Failed!\r\n";
            return false;
        }
        versionMatches = CompareVersion(control, flashVersion);
    }
    // A wrong version still gets the certificate and the CMDB: the chip keeps its identity.
    if (!WriteCertificateAndCmdb(session, message)) {
        return false;
    }
    if (!firmware) {
        return true;
    }
    if (!versionMatches) {
        message = L"FW Version from binary file is " + MajorMinor(control.binVersion) +
                  MinorMajorBytes(control.binVersion) + L"\r\n";
        return false;
    }
    PrintAndLog(L"Flash FW version comparison successful!  Version: " + MajorMinor(flashVersion) +
                L"\r\n");
    const std::wstring done = L"ISP successful! (Version: " + MajorMinor(flashVersion) + L")\r\n";
    PrintSuccess(done);
    AppendLog(done);
    return true;
}

}  // namespace

bool RunIspProcedure(ConsoleSession& session) {
    std::wstring message;
    const bool updated = RunIsp(session, message);
    if (!updated) {
        PrintFailedBanner(message);
        AppendLog(message);
    }
    ResetSystemIfConfigured(session);
    return updated;
}

}  // namespace zorvan::console
