#include "sim/demo/DemoKeys.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/chip/Crc.h"
#include "sim/chip/Otp.h"

namespace zorvan::sim {
namespace {

constexpr uint32_t kRangeSize = 1000;
// Records of this many chips on either side of the demo chip.
constexpr uint32_t kNeighbours = 100;
constexpr size_t kIdentityOffset = 2;
// The lot byte of the identity (byte 8 of the OTP block) that tells the other lot apart.
constexpr size_t kLotByte = 8;

// The rest of a certificate: bytes that look random and differ from chip to chip.
void FillCertificateBody(std::vector<uint8_t>& record, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    for (size_t i = kIdentityOffset + kOtpIdentitySize; i < record.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        record[i] = static_cast<uint8_t>(state >> 24);
    }
}

std::vector<uint8_t> OtherLotRecord(ChipFamily family, uint32_t serial) {
    std::vector<uint8_t> otp = MakeOtp(family, serial);
    uint8_t* id = otp.data() + (kOtpIdentityAddress - kOtpBase);
    id[kLotByte] = static_cast<uint8_t>(id[kLotByte] + 1);
    const uint16_t crc = Crc16Chip(id, 14);
    id[14] = static_cast<uint8_t>(crc & 0xFF);
    id[15] = static_cast<uint8_t>(crc >> 8);
    return MakeCertificateRecord(otp);
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

std::wstring RangeName(uint32_t first) {
    return Format(L"SPI_%u_%u.bin", first, first + kRangeSize - 1);
}

// One key file covering [first, first + kRangeSize) with the records of `from`..`to`.
DemoKeyFile MakeKeyFile(ChipFamily family, uint32_t first, uint32_t from, uint32_t to) {
    DemoKeyFile file{RangeName(first), {}};
    for (uint32_t serial = from; serial <= to; ++serial) {
        Append(file.bytes, OtherLotRecord(family, serial));
        Append(file.bytes, MakeCertificateRecord(MakeOtp(family, serial)));
    }
    return file;
}

}  // namespace

std::vector<uint8_t> MakeCertificateRecord(const std::vector<uint8_t>& otp) {
    std::vector<uint8_t> record(kCertificateRecordSize, 0);
    record[0] = 'K';
    record[1] = 'q';
    const uint32_t at = kOtpIdentityAddress - kOtpBase;
    if (otp.size() >= at + kOtpIdentitySize) {
        std::copy_n(otp.begin() + at, kOtpIdentitySize, record.begin() + kIdentityOffset);
    }
    const uint8_t* id = record.data() + kIdentityOffset;
    FillCertificateBody(record, Crc32(id, kOtpIdentitySize));
    return record;
}

std::vector<DemoKeyFile> MakeDemoKeyFiles(ChipFamily family, uint32_t serial) {
    const uint32_t first = serial / kRangeSize * kRangeSize;
    const uint32_t last = first + kRangeSize - 1;
    const uint32_t from = serial - std::min(serial - first, kNeighbours);
    const uint32_t to = serial + std::min(last - serial, kNeighbours);
    std::vector<DemoKeyFile> files;
    files.push_back(MakeKeyFile(family, first, from, to));
    if (last < UINT32_MAX - kRangeSize) {
        files.push_back(MakeKeyFile(family, last + 1, last + 1, last + kNeighbours));
    }
    return files;
}

bool WriteDemoKeys(const std::wstring& keysFolder, ChipFamily family, uint32_t serial,
                   std::vector<std::wstring>& written, std::wstring& error) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(platform::NativePath(keysFolder)),
                                        ec);
    if (ec || !platform::IsDirectory(keysFolder)) {
        error = Format(L"Cannot create the folder \"%s\".", keysFolder.c_str());
        return false;
    }
    for (const DemoKeyFile& file : MakeDemoKeyFiles(family, serial)) {
        const std::wstring path = keysFolder + platform::PathSeparator() + file.name;
        const platform::FileProblem problem = platform::ReplaceFileAtomically(
            platform::NativePath(path), file.bytes.data(), file.bytes.size());
        if (problem.error != platform::FileError::kNone) {
            error = platform::DescribeFileProblem(path, problem) + L".";
            return false;
        }
        written.push_back(L"keys/" + file.name);
    }
    return true;
}

}  // namespace zorvan::sim
