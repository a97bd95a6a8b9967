#include "console/steps/RunSteps.h"

#include <algorithm>
#include <vector>

#include "console/steps/EraseSelector.h"
#include "core/cert/CertificateArea.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"
#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

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
    in.imageHasCmdb =
        config.firmwareReady && ImageCarries(session.control, kCmdbFlashOffset, kCmdbSignature);
    in.imageHasCertificate =
        config.firmwareReady &&
        ImageCarries(session.control, cert::CERTIFICATE_OFFSET, kCertificateSignature);
    in.programCmdb = config.programCmdb;
    in.programDeviceCertificate = config.programDeviceCertificate;
    in.debugMode = config.debugMode;
    return ChooseEraseSelector(in, [&session] { return FlashHoldsCertificate(session.control); });
}

}  // namespace

bool ImageCarries(const ZorvanControl& control, uint32_t offset,
                  const std::array<uint8_t, 4>& signature) {
    const std::vector<uint8_t>& image = control.firmwareImage;
    if (image.size() < offset + signature.size()) {
        return false;
    }
    return std::equal(signature.begin(), signature.end(), image.begin() + offset);
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

std::wstring MajorMinor(uint32_t version) {
    const int major = static_cast<int>(version >> 8 & 0xFF);
    const int minor = static_cast<int>(version & 0xFF);
    return minor < 10 ? Format(L"%d.0%d", major, minor) : Format(L"%d.%d", major, minor);
}

VersionReadBack ReadBackVersion(ZorvanControl& control) {
    VersionReadBack result;
    result.flashVersion = control.ReadFlashVersion();
    result.matches = result.flashVersion == control.binVersion;
    if (!result.matches) {
        result.mismatchLine = L"Flash FW version comparison failed!  Version: " +
                              MajorMinor(result.flashVersion) +
                              MinorMajorBytes(result.flashVersion) + L" not match.\r\n";
    }
    return result;
}

std::wstring BinaryVersionMessage(uint32_t binVersion) {
    return L"FW Version from binary file is " + MajorMinor(binVersion) +
           MinorMajorBytes(binVersion) + L"\r\n";
}

std::wstring VersionComparisonSuccess(uint32_t flashVersion) {
    return L"Flash FW version comparison successful!  Version: " + MajorMinor(flashVersion) +
           L"\r\n";
}

}  // namespace zorvan::console
