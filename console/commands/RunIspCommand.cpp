// -Run, plain: the firmware update in one pass. Loads the files, enters ISP mode, starts
// the driver, erases what the run rewrites, writes the image region by region, checks the
// version read back and writes the certificate and the CMDB as configured. A failure
// leaves the flash as far as it got; the next run starts again from the beginning.
#include <span>
#include <string>

#include "console/ConsoleText.h"
#include "console/FailedBanner.h"
#include "console/Procedures.h"
#include "console/steps/CertificateSteps.h"
#include "console/steps/IspSteps.h"
#include "console/steps/RunSteps.h"
#include "console/steps/VerifySteps.h"
#include "core/config/Log.h"
#include "core/control/FlashVerify.h"
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

bool WriteRegion(ZorvanControl& control, const Region& region, int32_t& progress, int32_t total) {
    const std::vector<uint8_t>& image = control.firmwareImage;
    if (image.size() < region.offset + region.length) {
        return false;  // never read past the image
    }
    const std::span<const uint8_t> bytes(image.data() + region.offset, region.length);
    uint32_t step = 0;
    return control.ProgramErasedRegion(bytes.data(), static_cast<int32_t>(bytes.size()),
                                       PROGRAM_CODE_NORMAL, region.offset, &progress, total,
                                       &step);
}

// The regions of the image this run writes, in their order: the CMDB block of the image
// only when it carries one and the CMDB file is not written instead.
std::vector<Region> FirmwareRegions(const ConsoleSession& session) {
    const bool withCmdbBlock = ImageCarries(session.control, kCmdbFlashOffset, kCmdbSignature) &&
                               !session.config.programCmdb;
    std::vector<Region> regions = {kFirstCode, kSecondCode};
    if (withCmdbBlock) {
        regions.push_back(kCmdbBlock);
    }
    regions.push_back(kLastRegion);
    return regions;
}

bool WriteFirmware(ConsoleSession& session, const std::vector<Region>& regions) {
    ZorvanControl& control = session.control;
    platform::Print(L"Flash writing FW......   0%");
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

bool VerifyFirmware(ConsoleSession& session, const std::vector<Region>& regions,
                    std::wstring& message) {
    std::vector<WrittenRange> ranges;
    for (const Region& region : regions) {
        ranges.push_back(ImageRange(session.control.firmwareImage, region.offset, region.length));
    }
    return VerifyAfterWriteStep(session, L"Verifying FW", ranges, message);
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
        LoadCmdbFileStep(session, platform::kAttrWarning);
    }
    if (config.programDeviceCertificate && !LookUpCertificateStep(session, message)) {
        return false;
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
    return !session.config.programCmdb || WriteAndVerifyCmdbStep(session, message);
}

bool RunIsp(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    if (!LoadFiles(session, message) || !PrepareFlash(session, message)) {
        return false;
    }
    const bool firmware = session.config.firmwareReady;
    VersionReadBack version;
    if (firmware) {
        const std::vector<Region> regions = FirmwareRegions(session);
        if (!WriteFirmware(session, regions)) {
            message = L"Flash writing FW...... Failed!\r\n";
            return false;
        }
        if (!VerifyFirmware(session, regions, message)) {
            return false;
        }
        version = ReadBackVersion(control);
        if (!version.matches) {
            PrintWarning(version.mismatchLine);
            AppendLog(version.mismatchLine);
        }
    }
    // A wrong version still gets the certificate and the CMDB: the chip keeps its identity.
    if (!WriteCertificateAndCmdb(session, message)) {
        return false;
    }
    if (!firmware) {
        return true;
    }
    if (!version.matches) {
        message = BinaryVersionMessage(control.binVersion);
        return false;
    }
    PrintAndLog(VersionComparisonSuccess(version.flashVersion));
    const std::wstring done =
        L"ISP successful! (Version: " + MajorMinor(version.flashVersion) + L")\r\n";
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
