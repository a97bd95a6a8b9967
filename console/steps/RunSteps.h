#pragma once
// The steps the plain and the secure firmware update share: what the image carries, the
// erase a run that writes firmware chooses, and the version read back with its texts.
#include <array>
#include <cstdint>
#include <string>

#include "console/ConsoleSession.h"

namespace zorvan {
class ZorvanControl;
}

namespace zorvan::console {

// True when the loaded firmware image holds the four bytes at offset (false for an image
// too short to hold them).
bool ImageCarries(const ZorvanControl& control, uint32_t offset,
                  const std::array<uint8_t, 4>& signature);

// Chooses the erase for the firmware, the certificate and the CMDB the run writes, and erases
// with progress; on failure `message` holds the "Erasing flash (...)...... failed!" line.
bool EraseForRun(ConsoleSession& session, std::wstring& message);

// "1.05" for minor 5, "1.12" for minor 12.
std::wstring MajorMinor(uint32_t version);

struct VersionReadBack {
    uint32_t flashVersion = 0;  // 0 when it could not be read
    bool matches = false;       // all three bytes equal the image's
    std::wstring mismatchLine;  // what the flash holds, shown when the versions differ
};

// Reads the version field back from flash and compares it with the image's; prints nothing.
VersionReadBack ReadBackVersion(ZorvanControl& control);

// The failure message of a mismatch: the image's version.
std::wstring BinaryVersionMessage(uint32_t binVersion);

// The line that closes a matching comparison, with the version read back.
std::wstring VersionComparisonSuccess(uint32_t flashVersion);

}  // namespace zorvan::console
