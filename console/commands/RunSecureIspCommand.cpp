// -Run, secure: the firmware update through the chip's security engine. After ISP entry it
// releases the old ESM handle, loads and starts the ESM unless the chip still runs it, downloads
// the ISP driver with its signature for the chip to verify, and writes the image and the
// certificate with the secure program codes. Failures are told in the normal colour, without
// the banner; the flash is left as far as it got.
#include <algorithm>
#include <string>
#include <vector>

#include "console/ConsoleText.h"
#include "console/Procedures.h"
#include "console/steps/CertificateSteps.h"
#include "console/steps/IspSteps.h"
#include "console/steps/RunSteps.h"
#include "console/steps/VerifySteps.h"
#include "core/cert/SecureImagePlan.h"
#include "core/config/Log.h"
#include "core/control/FlashVerify.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"
#include "core/platform/ConsoleOut.h"

namespace zorvan::console {
namespace {

// The pause the chip needs after the 0x76 command before it takes the driver.
constexpr uint32_t kAfterSecureCommand76Ms = 150;

bool LoadFiles(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    if (!control.LoadDriverFile(message) || !control.LoadFirmwareFile(message)) {
        return false;
    }
    if (session.config.programDeviceCertificate && !LookUpCertificateStep(session, message)) {
        return false;
    }
    if (session.config.programCmdb) {
        LoadCmdbFileStep(session, platform::kAttrNormal);
    }
    return true;
}

// A running ESM only has its secure process restarted; otherwise it is loaded from its file
// and started. Whether the (re)start was acknowledged is reported, not acted on.
bool StartEsm(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    platform::Print(L"Check ESM status... ");
    uint32_t esmStatus = 0;
    if (control.CheckEsmStatus(esmStatus)) {
        platform::Print(L"Started!\r\n");
        AppendLog(L"Check ESM status... Started!\r\n");
        PrintAndLog(control.BootStartSecProc() ? L"BootStartSecProc success\r\n"
                                               : L"BootStartSecProc failed!\r\n");
        return true;
    }
    platform::Print(L"Not started!\r\n");
    AppendLog(L"Check ESM status... Not started!\r\n");
    if (!control.LoadEsmFile(message)) {
        return false;
    }
    platform::Print(L"Loading ESM binary......   0%");
    if (!control.DownloadEsm()) {
        platform::Print(L" [failed!]\r\n");
        message = L"Load ESM binary failed!\r\n";
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(L"Loading ESM binary...... Done\r\n");
    PrintAndLog(control.StartSecProc() ? L"StartSecProc success\r\n" : L"StartSecProc failed!\r\n");
    return true;
}

// From ISP entry to a signed driver that runs and answers with the flash ID.
bool PrepareSignedDriver(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    if (!control.EnterIspMode()) {
        message = L"Reset Zorvan failed!\r\n";
        return false;
    }
    if (!control.ClearEsmHandle()) {
        message = L"ClearEsmHandle failed!\r\n";
        return false;
    }
    if (control.StartSecureIsp()) {
        PrintAndLog(session.config.debugMode ? L"Start secure ISP process (debug mode)...\r\n"
                                             : L"Start secure ISP process...\r\n");
    }
    if (!StartEsm(session, message)) {
        return false;
    }
    control.SecureCommand76();  // its answer decides nothing
    platform::SleepMs(kAfterSecureCommand76Ms);
    if (!DownloadIspDriverStep(session, true, message)) {
        return false;
    }
    if (!control.SendDriverSignature()) {
        message = L"Loading signature of ISP drv failed!\r\n";
        return false;
    }
    if (!control.StartSignedDriver()) {
        message = L"Verify ISP driver failed!\r\n";
        return false;
    }
    platform::SleepMs(static_cast<uint32_t>(std::max(session.config.ispDriverRunDelay, 0)));
    return ReadMailboxAndFlashId(session, message);
}

bool WriteImage(ConsoleSession& session, std::wstring& message) {
    const IspConfig& config = session.config;
    platform::Print(L"Flash writing FW......   0%");
    // Debug images may carry a certificate of their own; a fetched one takes its place.
    const bool includeCertificate = config.debugMode && !config.programDeviceCertificate;
    uint32_t stepCode = 0;
    std::wstring explanation;
    if (!session.control.ProgramSecureImage(includeCertificate, stepCode, explanation,
                                            config.programCmdb)) {
        platform::Print(L" [failed!]\r\n");
        message = L"Flash writing FW...... Failed\r\n";
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(L"Flash writing FW...... Done\r\n");
    std::vector<WrittenRange> ranges;
    for (const cert::SecureRegion& region : cert::PlanSecureRegions(
             session.control.firmwareImage, includeCertificate, config.programCmdb)) {
        ranges.push_back(ImageRange(session.control.firmwareImage, region.offset,
                                    static_cast<uint32_t>(region.length)));
    }
    return VerifyAfterWriteStep(session, L"Verifying FW", ranges, message);
}

// A certificate that does not read back is reported; the update itself goes on.
bool WriteAndVerifyCertificate(ConsoleSession& session, std::wstring& message) {
    if (!WriteSecureCertificateStep(session, message)) {
        return false;
    }
    std::wstring verdict;
    if (!VerifyCertificateStep(session, verdict)) {
        PrintAndLog(verdict);
    }
    return true;
}

bool RunSecureIsp(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    control.secureIsp = 1;
    if (!LoadFiles(session, message) || !PrepareSignedDriver(session, message)) {
        return false;
    }
    if (!EraseForRun(session, message)) {
        AppendLog(message);  // the screen has the " [failed!]" already
        message.clear();
        return false;
    }
    if (!WriteImage(session, message)) {
        return false;
    }
    if (session.config.programDeviceCertificate && !WriteAndVerifyCertificate(session, message)) {
        return false;
    }
    const VersionReadBack version = ReadBackVersion(control);
    if (!version.matches) {
        PrintAndLog(version.mismatchLine);
    }
    // A wrong version still gets the CMDB, as the plain update does.
    if (session.config.programCmdb && !WriteAndVerifyCmdbStep(session, message)) {
        return false;
    }
    if (!version.matches) {
        message = BinaryVersionMessage(control.binVersion);
        return false;
    }
    PrintAndLog(VersionComparisonSuccess(version.flashVersion));
    PrintAndLog(L"Secure ISP successful! (Version: " + MajorMinor(version.flashVersion) + L")\r\n");
    return true;
}

}  // namespace

bool RunSecureIspProcedure(ConsoleSession& session) {
    std::wstring message;
    const bool updated = RunSecureIsp(session, message);
    if (!updated) {
        PrintAndLog(message);
    }
    ResetSystemIfConfigured(session);
    return updated;
}

}  // namespace zorvan::console
