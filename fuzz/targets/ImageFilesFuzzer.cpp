// The loaders of the ISP driver (with and without its length header), the firmware image,
// the ESM and the CMDB file, on files of the fuzzer's bytes. The first byte picks the kind;
// for the firmware it also picks a full 512 KiB image whose last bytes are the input, so
// that the version field and the regions behind the size check are reached.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/control/Cmdb.h"
#include "core/control/ImageFiles.h"
#include "core/control/ZorvanControl.h"
#include "fuzz/support/Scratch.h"
#include "fuzz/targets/Require.h"

namespace {

using namespace zorvan;

enum Kind : uint8_t { kDriver, kFirmware, kFullFirmware, kEsm, kCmdb, kKinds };

void CheckDriver(const ZorvanControl& c, std::span<const uint8_t> file) {
    fuzz::Require(c.driverLength % 512 == 0 && static_cast<size_t>(c.driverLength) >= file.size() &&
                  static_cast<size_t>(c.driverLength) == c.driverImage.size());
    const DriverLayout layout = InspectDriver(file);
    fuzz::Require(layout.hasHeader == c.driverHasHeader);
    if (c.driverHasHeader) {
        fuzz::Require(c.driverCodeLength <= kMaxDriverCode &&
                      kLengthHeaderSize + c.driverCodeLength <= file.size());
        fuzz::Require(!c.driverHasSignature ||
                      kLengthHeaderSize + c.driverCodeLength + kDriverSignatureSize <= file.size());
        fuzz::Require(c.driverPayload == c.driverImage.data() + kLengthHeaderSize);
    } else {
        fuzz::Require(file.size() <= kMaxDriverCode);
        fuzz::Require(c.driverImage.empty() || c.driverPayload == c.driverImage.data());
    }
}

void CheckCmdb(const ZorvanControl& c) {
    fuzz::Require(c.cmdbLength >= 4 && static_cast<size_t>(c.cmdbLength) <= kCmdbMaxFileSize);
    fuzz::Require(std::equal(kCmdbSignature.begin(), kCmdbSignature.end(), c.cmdbImage.begin()));
    if (c.cmdbImage.size() >= kCmdbRecordSize) {
        const std::span<const uint8_t, kCmdbRecordSize> record(c.cmdbImage.data(), kCmdbRecordSize);
        CmdbStatusLine(EvaluateCmdb(record), record);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto kind = static_cast<Kind>(data[0] % kKinds);
    std::vector<uint8_t> file(data + 1, data + size);
    if (kind == kFullFirmware) {
        std::vector<uint8_t> image(kFirmwareImageSize, 0xFF);
        const size_t tail = std::min(file.size(), image.size());
        std::copy_n(file.end() - static_cast<std::ptrdiff_t>(tail), tail,
                    image.end() - static_cast<std::ptrdiff_t>(tail));
        file = std::move(image);
    }
    const std::wstring path = fuzz::WriteScratchFile("image.bin", file);
    InspectDriver(file);

    ZorvanControl c;
    std::wstring text;
    bool loaded = false;
    switch (kind) {
        case kDriver:
            c.driverPath = path;
            if ((loaded = c.LoadDriverFile(text))) {
                CheckDriver(c, file);
            }
            break;
        case kFirmware:
        case kFullFirmware:
            c.firmwarePath = path;
            if ((loaded = c.LoadFirmwareFile(text))) {
                fuzz::Require(c.firmwareLength == static_cast<int32_t>(kFirmwareImageSize) &&
                              c.binVersion < (1u << 24));
            }
            break;
        case kEsm:
            c.esmPath = path;
            if ((loaded = c.LoadEsmFile(text))) {
                fuzz::Require(c.esmPayload == c.esmImage.data() + kLengthHeaderSize &&
                              LengthHeader(file) + kLengthHeaderSize <= file.size() &&
                              LengthHeader(file) >= kMinEsmPayload);
            }
            break;
        case kCmdb:
            c.cmdbPath = path;
            if ((loaded = c.LoadCmdbFile(text))) {
                CheckCmdb(c);
            }
            break;
        case kKinds:
            break;
    }
    // Every refusal says why; a load that succeeds leaves the text alone.
    fuzz::Require(loaded == text.empty());
    return 0;
}
