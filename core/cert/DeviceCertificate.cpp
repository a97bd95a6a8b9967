// GetDeviceCertificate: the chip's serial number from its OTP identity block, the key file
// that covers it, and the chip's certificate record from that file.
#include <cstdint>
#include <string>

#include "core/cert/FetchCertificate.h"
#include "core/cert/KeyFile.h"
#include "core/cert/OtpBlock.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Files.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// The key file for the serial: a folder is searched, anything else is taken as the file.
bool LocateKeyFile(const std::wstring& keysPath, int32_t serial, std::wstring& path,
                   std::wstring& text) {
    path = keysPath;
    if (!platform::IsDirectory(keysPath)) {
        return true;
    }
    std::wstring name;
    if (!cert::FindKeyFile(keysPath, serial, name)) {
        text = Format(L"Chip Serial#: %d\r\nKey file not found in \"%s\"\r\n", serial,
                      keysPath.c_str());
        return false;
    }
    path = keysPath + platform::PathSeparator() + name;
    return true;
}

}  // namespace

bool ZorvanControl::GetDeviceCertificate(std::wstring& text) {
    text.clear();
    if (!ReadMemory(cert::OTP_BLOCK_ADDRESS, otpBlock, static_cast<int32_t>(sizeof otpBlock))) {
        text = L"Getting chip serial number failed!\r\n";
        return false;
    }
    if (!cert::OtpCrcMatches(otpBlock)) {
        text = L"OTP Serial-Number CRC failed!\r\n";
        return false;
    }
    if (!cert::OtpContentIntact([this](uint32_t address) { return ReadRegister(address); })) {
        text = L"OTP content corrupted!\r\n";
        return false;
    }
    const int32_t serial = cert::OtpSerial(otpBlock);
    std::wstring path;
    if (!LocateKeyFile(keysPath, serial, path, text)) {
        return false;
    }
    std::wstring fetched;
    if (cert::FetchCertificate(platform::NativePath(path), otpBlock, certificate, certificateLength,
                               fetched)) {
        return true;
    }
    if (fetched.empty()) {
        text = L"Getting \"Device Certificate\" from key file failed!\r\n";
    } else {
        text = Format(L"Chip Serial#: %d\r\nKey file: %s\r\n", serial, path.c_str()) + fetched;
    }
    return false;
}

}  // namespace zorvan
