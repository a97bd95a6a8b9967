// -ChipInfo: the chip's serial number from its OTP identity block and the CMDB state.
#include "console/ConsoleText.h"
#include "console/FailedBanner.h"
#include "console/Procedures.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"
#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

constexpr uint32_t kSerialArea = 0x2640C;
constexpr int32_t kSerialAreaSize = 16;
constexpr int kSerialAt = 10;

std::wstring SerialLine(const uint8_t (&area)[kSerialAreaSize]) {
    const auto serial =
        static_cast<int32_t>(static_cast<uint32_t>(area[kSerialAt]) << 24 |
                             static_cast<uint32_t>(area[kSerialAt + 1]) << 16 |
                             static_cast<uint32_t>(area[kSerialAt + 2]) << 8 | area[kSerialAt + 3]);
    std::wstring line = Format(L"Chip serial #: %d (", serial);
    for (const uint8_t byte : area) {
        line += Format(L"%02x ", byte);
    }
    return line + L")\r\n";
}

}  // namespace

bool ChipInformationCommand(ConsoleSession& session) {
    ZorvanControl& control = session.control;
    uint8_t area[kSerialAreaSize] = {};
    const bool serialRead = control.ReadMemory(kSerialArea, area, kSerialAreaSize);
    if (serialRead) {
        PrintAndLog(SerialLine(area));
    } else {
        const std::wstring message = L"Get serial number failed!\r\n";
        PrintFailedBanner(message);
        AppendLog(message);
    }

    std::wstring text;
    const CmdbStatus status = control.CheckCmdb(text);
    if (status == CMDB_OK || status == CMDB_EMPTY) {
        platform::Print(text);
    } else {
        PrintWarning(text);
    }
    AppendLog(text);
    return serialRead;
}

}  // namespace zorvan::console
