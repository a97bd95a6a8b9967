#pragma once
// The key files of the demo folder: plain depots of 422-byte certificate records ("Kq",
// the 16-byte OTP identity block of the chip the record belongs to, then the rest of the
// certificate), named "SPI_<first>_<last>.bin" after the serial range they cover.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/chip/ChipFamily.h"

namespace zorvan::sim {

inline constexpr size_t kCertificateRecordSize = 422;

// The certificate record of one chip, given its OTP (as ChipState keeps it).
std::vector<uint8_t> MakeCertificateRecord(const std::vector<uint8_t>& otp);

struct DemoKeyFile {
    std::wstring name;
    std::vector<uint8_t> bytes;
};

// Key files whose thousand-serial ranges cover `serial` and the range after it. The
// covering file holds the records of the chips of `family` around `serial` (the chip's own
// among them), interleaved with records of another production lot for the same serials.
std::vector<DemoKeyFile> MakeDemoKeyFiles(ChipFamily family, uint32_t serial);

// Writes MakeDemoKeyFiles into `keysFolder` (created if missing); `written` receives the
// names as "keys/<name>". False with `error` set on the first failure.
bool WriteDemoKeys(const std::wstring& keysFolder, ChipFamily family, uint32_t serial,
                   std::vector<std::wstring>& written, std::wstring& error);

}  // namespace zorvan::sim
