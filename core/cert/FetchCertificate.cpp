#include "core/cert/FetchCertificate.h"

#include <csignal>
#include <cstring>
#include <mutex>
#include <new>

#include "core/cert/OtpBlock.h"
#include "core/cert/dal/Dal.h"
#include "core/config/Log.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"

namespace zorvan::cert {
namespace {

constexpr uint32_t kCertificateProductType = DAL_PRODUCT_CERTIFICATE;
constexpr uint32_t kFlushWaitMs = 5;
// Where the record holds the identity it belongs to.
constexpr size_t kRecordIdentityOffset = 2;

extern "C" void IgnoreSignal(int signal) {
    std::signal(signal, IgnoreSignal);
}

std::wstring OtpBytesText(const uint8_t* otpBlock) {
    std::wstring text;
    for (size_t i = 0; i < OTP_BLOCK_SIZE; ++i) {
        text += Format(L"%02x ", otpBlock[i]);
    }
    return text + L")\r\n";
}

std::wstring MismatchText(const uint8_t* otpBlock) {
    std::wstring opening;
    if (otpBlock[0] != '1' && otpBlock[1] != '1') {
        opening = L"This is NOT Zorvan!!! (";
    } else if (otpBlock[2] == '0' || otpBlock[3] == '0') {
        opening = Format(L"No match for serial #: %d (", OtpSerial(otpBlock));
    } else {
        opening = L"This is NOT 1100MP chip!!! (";
    }
    return opening + OtpBytesText(otpBlock);
}

// The record must be this chip's own: a certificate cannot be made again, so the whole
// identity is compared and the record must begin like a certificate. (The library answers
// a miss with zero bytes, which a chip whose OTP reads as zero would otherwise match.)
bool IsRecordOf(const DalObject& object, const uint8_t* otpBlock) {
    return object.data != nullptr && object.length >= kRecordIdentityOffset + OTP_BLOCK_SIZE &&
           std::memcmp(object.data, CERTIFICATE_SIGNATURE, kRecordIdentityOffset) == 0 &&
           std::memcmp(object.data + kRecordIdentityOffset, otpBlock, OTP_BLOCK_SIZE) == 0;
}

// A buffer for the record: none when `certificate` is long enough to be reused, else a
// fresh one of the record's length. False when that cannot be had.
bool PrepareBuffer(const DalObject& object, const std::vector<uint8_t>& certificate,
                   std::vector<uint8_t>& grown) {
    if (object.length > static_cast<uint32_t>(INT32_MAX)) {
        return false;
    }
    if (certificate.size() >= object.length) {
        return true;
    }
    try {
        grown.assign(object.length, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

DalConfig KeyServerConfig() {
    DalConfig config;
    std::memset(&config, 0, sizeof config);
    config.credentialsPath = kKeyServerCredentials;
    config.serverCount = 1;
    std::memcpy(config.servers[0], kKeyServerAddress, sizeof kKeyServerAddress);
    config.depotPassword = nullptr;
    return config;
}

// Selection and match (the steps between create and destroy). On a match `object` is the
// record and `grown` the buffer to take it when `certificate` is too short.
bool SelectCertificate(DalContext* context, const uint8_t* otpBlock,
                       const std::vector<uint8_t>& certificate, DalObject& object,
                       std::vector<uint8_t>& grown, std::wstring& text) {
    const DalResult selected = dalSelect(context, kCertificateProductType, otpBlock, &object);
    if (selected != DAL_SUCCESS) {
        AppendLog(Format(L"dalSelect(%u) failed: %d(%hs)\r\n", kCertificateProductType,
                         static_cast<int32_t>(selected), dalErrorName(selected)));
        return false;
    }
    if (object.length != static_cast<uint32_t>(SPI_CERTIFICATE_SIZE)) {
        AppendLog(L"Warning: Dal object length not equal to SPI_CERTIFICATE_SIZE\r\n");
    }
    if (!IsRecordOf(object, otpBlock)) {
        text = MismatchText(otpBlock);
        return false;
    }
    text = Format(L"Chip serial #: %d (", OtpSerial(otpBlock)) + OtpBytesText(otpBlock);
    AppendLog(text);
    if (!PrepareBuffer(object, certificate, grown)) {
        AppendLog(L"Failed to allocate certificate buffer!\r\n");
        return false;
    }
    return true;
}

// Takes the record only once the whole fetch has succeeded: a failed fetch leaves the
// certificate as it was.
void KeepCertificate(const DalObject& object, std::vector<uint8_t>& grown,
                     std::vector<uint8_t>& certificate, int32_t& certificateLength) {
    if (!grown.empty()) {
        certificate.swap(grown);
    }
    std::memcpy(certificate.data(), object.data, object.length);
    certificateLength = static_cast<int32_t>(object.length);
}

}  // namespace

void IgnoreInterruptionSignals() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        for (const int signal : {SIGINT, SIGTERM, SIGABRT}) {
            std::signal(signal, IgnoreSignal);
        }
    });
}

bool FetchCertificate(const std::string& keyFile, const uint8_t* otpBlock,
                      std::vector<uint8_t>& certificate, int32_t& certificateLength,
                      std::wstring& text) {
    text.clear();
    IgnoreInterruptionSignals();
    dalSetDepotFile(keyFile.c_str());
    const DalConfig config = KeyServerConfig();
    DalContext* context = nullptr;
    const DalResult created = dalCreate(&context, &config);
    if (created != DAL_SUCCESS) {
        AppendLog(Format(L"DAL version: %hs\r\n", dalVersionString()));
        AppendLog(Format(L"dalCreate failed: 0x%x (%hs)  filename = \"%s\"\r\n", created,
                         dalErrorName(created), FromUtf8(keyFile).c_str()));
        return false;
    }
    DalObject object{};
    std::vector<uint8_t> grown;
    bool result = SelectCertificate(context, otpBlock, certificate, object, grown, text);
    DalResult destroyed;
    while ((destroyed = dalDestroy(&context, false)) == DAL_ERR_FLUSH_IN_PROGRESS) {
        platform::SleepMs(kFlushWaitMs);
    }
    if (destroyed != DAL_SUCCESS) {
        AppendLog(Format(L"dalDestroy failed: %d(%hs)\r\n", static_cast<int32_t>(destroyed),
                         dalErrorName(destroyed)));
        result = false;
    }
    if (result) {
        KeepCertificate(object, grown, certificate, certificateLength);
    }
    return result;
}

}  // namespace zorvan::cert
