#pragma once
// Shared pieces of the certificate tests: a scratch folder that also receives the log, chip
// identities with a correct CRC, certificate records and plain key files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "core/config/Log.h"
#include "core/control/Crc16.h"
#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "tests/cert/dal/DalTestSupport.h"

namespace zorvan::cert::test {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;
using Otp = std::array<uint8_t, 16>;

// An OTP identity block: the model, six identity bytes, the serial and its CRC, low byte
// first.
inline Otp MakeOtp(uint32_t serial, const char* model = "1100") {
    Otp otp{};
    std::memcpy(otp.data(), model, 4);
    const uint8_t identity[6] = {'M', 'P', 0x20, 0x24, 0x01, 0x00};
    std::memcpy(otp.data() + 4, identity, sizeof identity);
    otp[10] = static_cast<uint8_t>(serial >> 24);
    otp[11] = static_cast<uint8_t>(serial >> 16);
    otp[12] = static_cast<uint8_t>(serial >> 8);
    otp[13] = static_cast<uint8_t>(serial);
    const uint16_t crc = Crc16(std::span<const uint8_t>(otp.data(), 14));
    otp[14] = static_cast<uint8_t>(crc);
    otp[15] = static_cast<uint8_t>(crc >> 8);
    return otp;
}

// The certificate record of a chip: "Kq", its OTP block, then bytes that differ per seed.
inline Bytes MakeRecord(const Otp& otp, uint8_t seed = 1) {
    return dal::test::MakeRecord(otp, seed);
}

using dal::test::Concat;

inline std::wstring Wide(const fs::path& path) {
    return FromUtf8(path.string());
}

// A scratch folder that also receives the log, for as long as the object lives.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "zorvan-cert-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot make a scratch folder";
        }
        dir_ = pattern;
        savedLog_ = logFilePath;
        logFilePath = Wide(dir_ / "ZorvanQuillon.log");
    }
    ~ScratchFolder() {
        logFilePath = savedLog_;
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    fs::path WriteFile(const fs::path& relative, const Bytes& bytes) const {
        const fs::path path = dir_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::string Log() const {
        const auto bytes = platform::ReadWholeFile(logFilePath, 1 << 20);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
    }

    fs::path dir_;

  private:
    std::wstring savedLog_;
};

class CertFolderTest : public ::testing::Test, public ScratchFolder {};

}  // namespace zorvan::cert::test
