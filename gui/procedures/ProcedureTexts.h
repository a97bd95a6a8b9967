#pragma once
// Status lines and result texts that more than one of the dialog's procedures shows.
#include <cstdint>

namespace zorvan::gui::texts {

// The flash ID as the procedures print it: the first ID byte high, the second low.
inline unsigned FlashIdShown(uint16_t flashId) {
    return static_cast<unsigned>((flashId & 0xFF) << 8 | flashId >> 8);
}

inline constexpr wchar_t kDone[] = L"done!\r\n";
inline constexpr wchar_t kFailed[] = L"failed!\r\n";
inline constexpr wchar_t kGotSerialNumber[] = L"Got match serial number!\r\n";
inline constexpr wchar_t kResetFailed[] = L"Reset Zorvan failed!\r\n";
inline constexpr wchar_t kLoadingDriver[] = L"Loading ISP driver... ";
inline constexpr wchar_t kLoadingDriverDone[] = L"Loading ISP driver... Done\r\n";
inline constexpr wchar_t kLoadDriverFailed[] = L"Load ISP driver failed!\r\n";
inline constexpr wchar_t kRunDriverFailed[] = L"Run ISP driver failed!\r\n";
inline constexpr wchar_t kGetFlashId[] = L"Get Flash ID ...... ";
inline constexpr wchar_t kGetFlashIdFailed[] = L"Get FlashID failed!\r\n";
inline constexpr wchar_t kSpiFlashId[] = L"SPI Flash ID: 0x%04X\r\n";
inline constexpr wchar_t kCertificateVerified[] = L"Device Certificate... Verified successfully!\r\n";
inline constexpr wchar_t kCertificateVerifyFailed[] = L"Device Certificate... Verify failed!\r\n";
inline constexpr wchar_t kCertificateAreaBlank[] =
    L"Device Certificate... Verify failed! (No certificate data in SPI flash)\r\n";
inline constexpr wchar_t kVerifyingCertificate[] = L"Verifying Device Certificate... ";
inline constexpr wchar_t kVerifyingFirmware[] = L"Verifying firmware... ";
inline constexpr wchar_t kCmdbVerified[] = L"CMDB... Verified successfully!\r\n";
inline constexpr wchar_t kCmdbVerifyFailed[] = L"CMDB... Verify failed!\r\n";

}  // namespace zorvan::gui::texts
