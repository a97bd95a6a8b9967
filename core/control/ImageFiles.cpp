// The loaders of the ISP driver, firmware image, ESM and Customized Data Block files. Each
// refuses a file whose sizes later steps could not honour without reading past its data.
#include "core/control/ImageFiles.h"

#include <algorithm>

#include "core/control/ImageFileReader.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

struct LoadMessages {
    const wchar_t* open;
    const wchar_t* allocation;
    const wchar_t* read;
    // A file of a size the kind cannot have: its size and the limit.
    const wchar_t* badSize;
};

constexpr LoadMessages kDriverMessages = {
    L"Open driver file failed!\r\n", L"Allocate driver buffer error!\r\n",
    L"Read driver file error!\r\n", L"Incorrect driver file: %llu bytes, more than %u!\r\n"};
constexpr LoadMessages kFirmwareMessages = {
    L"Open FW file failed!\r\n", L"Allocate FW buffer error!\r\n", L"Read FW file error!\r\n",
    L"Incorrect FW file: %llu bytes instead of %u!\r\n"};
constexpr LoadMessages kEsmMessages = {
    L"Open ESM file failed!\r\n", L"Allocate ESM buffer error!\r\n", L"Read ESM file error!\r\n",
    L"Incorrect ESM file: %llu bytes, more than %u!\r\n"};
constexpr LoadMessages kCmdbMessages = {
    L"Open Customized Data Block file failed!\r\n",
    L"Allocate Customized Data Block buffer error!\r\n",
    L"Read Customized Data Block file error!\r\n",
    L"Incorrect Customized Data Block file: %llu bytes, more than %u!\r\n"};

constexpr const wchar_t* kIncorrectCmdb = L"Incorrect Customized Data Block file!\r\n";

bool ReadForLoad(const std::wstring& path, uint32_t maxBytes, const LoadMessages& messages,
                 std::vector<uint8_t>& image, uint32_t& fileLength, std::wstring& text) {
    const ImageFileRead read = ReadImageFile(path, maxBytes, image, fileLength);
    switch (read.result) {
        case FileReadResult::kOk:
            return true;
        case FileReadResult::kOpenFailed:
            text = messages.open;
            // A folder, a device or a FIFO is named, so the user sees what was found there.
            if (read.problem.error == platform::FileError::kNotRegular) {
                text += platform::DescribeFileProblem(path, read.problem) + L".\r\n";
            }
            return false;
        case FileReadResult::kTooLarge:
            text =
                Format(messages.badSize, static_cast<unsigned long long>(read.fileSize), maxBytes);
            return false;
        case FileReadResult::kAllocationFailed:
            text = messages.allocation;
            return false;
        case FileReadResult::kReadFailed:
            text = messages.read;
            return false;
    }
    return false;
}

int32_t RoundedLength(uint32_t fileLength) {
    return static_cast<int32_t>((fileLength + kImageAllocationUnit - 1) / kImageAllocationUnit *
                                kImageAllocationUnit);
}

}  // namespace

uint32_t LengthHeader(std::span<const uint8_t> file) {
    if (file.size() < kLengthHeaderSize) {
        return 0;
    }
    return static_cast<uint32_t>(file[0]) | static_cast<uint32_t>(file[1]) << 8 |
           static_cast<uint32_t>(file[2]) << 16 | static_cast<uint32_t>(file[3]) << 24;
}

DriverLayout InspectDriver(std::span<const uint8_t> file) {
    DriverLayout layout;
    const uint32_t length = LengthHeader(file);
    if (file.size() < kLengthHeaderSize || file[0] != 0 || length > kMaxDriverCode) {
        return layout;
    }
    const uint64_t held = file.size() - kLengthHeaderSize;
    layout.hasHeader = true;
    layout.codeLength = length;
    layout.headerFits = length <= held;
    layout.hasSignature = static_cast<uint64_t>(length) + kDriverSignatureSize <= held;
    return layout;
}

bool ZorvanControl::LoadDriverFile(std::wstring& text) {
    driverLength = 0;
    driverPayload = nullptr;
    driverHasHeader = false;
    driverCodeLength = 0;
    driverHasSignature = false;
    uint32_t fileLength = 0;
    if (!ReadForLoad(driverPath, kMaxDriverFileSize, kDriverMessages, driverImage, fileLength,
                     text)) {
        return false;
    }
    const DriverLayout layout = InspectDriver(std::span(driverImage).first(fileLength));
    const uint32_t held = fileLength >= kLengthHeaderSize ? fileLength - kLengthHeaderSize : 0;
    if (layout.hasHeader && !layout.headerFits) {
        text = Format(L"Incorrect driver file: header announces %u bytes, file holds %u!\r\n",
                      layout.codeLength, held);
        driverImage.clear();
        return false;
    }
    // Without a header the code goes to RAM as it is; more would wrap the RAM address.
    if (!layout.hasHeader && fileLength > kMaxDriverCode) {
        text = Format(L"Incorrect driver file: %u bytes without header, more than %u!\r\n",
                      fileLength, kMaxDriverCode);
        driverImage.clear();
        return false;
    }
    driverLength = RoundedLength(fileLength);
    driverHasHeader = layout.hasHeader;
    driverCodeLength = layout.hasHeader ? layout.codeLength : static_cast<uint32_t>(driverLength);
    driverHasSignature = layout.hasSignature;
    if (!driverImage.empty()) {
        driverPayload = driverImage.data() + (layout.hasHeader ? kLengthHeaderSize : 0);
    }
    return true;
}

bool ZorvanControl::LoadFirmwareFile(std::wstring& text) {
    firmwareLength = 0;
    binVersion = 0;
    uint32_t fileLength = 0;
    if (!ReadForLoad(firmwarePath, kFirmwareImageSize, kFirmwareMessages, firmwareImage, fileLength,
                     text)) {
        return false;
    }
    // The regions, the certificate and CMDB blocks and the version field all lie at fixed
    // flash offsets: only a full flash image has them where the procedures look.
    if (fileLength != kFirmwareImageSize) {
        text = Format(kFirmwareMessages.badSize, static_cast<unsigned long long>(fileLength),
                      kFirmwareImageSize);
        firmwareImage.clear();
        return false;
    }
    firmwareLength = static_cast<int32_t>(fileLength);
    const uint8_t* version = firmwareImage.data() + fileLength - kFirmwareVersionFromEnd;
    binVersion = static_cast<uint32_t>(version[2]) << 16 | static_cast<uint32_t>(version[1]) << 8 |
                 version[0];
    return true;
}

bool ZorvanControl::LoadEsmFile(std::wstring& text) {
    esmLength = 0;
    esmPayload = nullptr;
    uint32_t fileLength = 0;
    if (!ReadForLoad(esmPath, kMaxEsmFileSize, kEsmMessages, esmImage, fileLength, text)) {
        return false;
    }
    if (fileLength < kLengthHeaderSize) {
        text = L"Incorrect ESM file: no length header!\r\n";
        esmImage.clear();
        return false;
    }
    const uint32_t announced = LengthHeader(std::span(esmImage).first(fileLength));
    const uint32_t held = fileLength - kLengthHeaderSize;
    if (announced > held) {
        text = Format(L"Incorrect ESM file: header announces %u bytes, file holds %u!\r\n",
                      announced, held);
        esmImage.clear();
        return false;
    }
    if (announced < kMinEsmPayload) {
        text = Format(L"Incorrect ESM file: payload of %u bytes, more than %u needed!\r\n",
                      announced, kMinEsmPayload - 1);
        esmImage.clear();
        return false;
    }
    esmLength = static_cast<int32_t>(fileLength);
    esmPayload = esmImage.data() + kLengthHeaderSize;
    return true;
}

bool ZorvanControl::LoadCmdbFile(std::wstring& text) {
    cmdbLength = 0;
    uint32_t fileLength = 0;
    // Written from 0x7E000, a longer file would run past the end of the flash.
    if (!ReadForLoad(cmdbPath, static_cast<uint32_t>(kCmdbMaxFileSize), kCmdbMessages, cmdbImage,
                     fileLength, text)) {
        return false;
    }
    if (fileLength < kCmdbSignature.size() ||
        !std::equal(kCmdbSignature.begin(), kCmdbSignature.end(), cmdbImage.begin())) {
        text = kIncorrectCmdb;
        cmdbImage.clear();
        return false;
    }
    cmdbLength = static_cast<int32_t>(fileLength);
    return true;
}

}  // namespace zorvan
