#pragma once
// Plain values of the ISP driver and flash operations: program codes, erase codes, the
// failure codes ProgramFlash reports, and the limits a published mailbox must keep.
#include <cstdint>

namespace zorvan {

// How EnterIspMode paces its two commands.
enum class IspEntryPauses {
    kNormal,        // 1 ms between the commands; the settle sleep only after success
    kSecureDialog,  // no pause between; the settle sleep whether the second succeeded or not
};

// The program request sent before each block. With PROGRAM_CODE_ALL blocks of all 0xFF bytes
// are programmed too; the other codes skip them.
inline constexpr uint8_t PROGRAM_CODE_NORMAL = 0x10;
inline constexpr uint8_t PROGRAM_CODE_76 = 0x76;
inline constexpr uint8_t PROGRAM_CODE_ALL = 0x77;
inline constexpr uint8_t PROGRAM_CODE_78 = 0x78;

// Erase codes: the whole flash and the partial erases.
inline constexpr uint16_t ERASE_FULL = 0xFFFF;
inline constexpr uint16_t ERASE_KEEP_CERTIFICATE = 0xFFA1;
inline constexpr uint16_t ERASE_KEEP_CERTIFICATE_NO_CMDB = 0xFFA2;
inline constexpr uint16_t ERASE_CMDB = 0xFFA3;
inline constexpr uint16_t ERASE_CERTIFICATE = 0xFFA4;

// ProgramFlash failure codes; a block transfer failure reports WriteBlock's code + 4.
inline constexpr uint32_t STEP_PROGRAM_REQUEST = 1;
inline constexpr uint32_t STEP_FIRST_HALF_BUSY = 0x640002;
inline constexpr uint32_t STEP_HEADER_WRITE = 0x640003;
inline constexpr uint32_t STEP_BLOCK_TRANSFER = 4;
// WriteBlock's codes.
inline constexpr uint32_t BLOCK_NONE_YET = 0;
inline constexpr uint32_t BLOCK_HALF_BUSY = 0x100;
inline constexpr uint32_t BLOCK_DATA_WRITE = 0x200;
inline constexpr uint32_t BLOCK_FLAG_WRITE = 0x300;
inline constexpr uint32_t BLOCK_WRITTEN = 0x500;

// Where a block's data lies in flash, for the read-back of a block without completion.
struct BlockReadBack {
    uint32_t flashOffset;
    int32_t dataLength;
};

// How the status area is polled for the completion of a request.
struct CompletionPolling {
    int32_t polls;
    uint16_t emptyPauseMs;      // after a status byte 0
    bool emptyPauseSleeps;      // the pause is a sleep, not DelayMs
    bool failedReadPauses;      // a failed read waits like an empty status
    uint16_t beforeResponseMs;  // after a status byte 3, before reading the response
    int32_t progressLimit;      // polls below it are reported (0: none)
};

enum class Completion {
    kDone,           // 03 0C F1
    kWrongResponse,  // status 3, other bytes
    kNone,           // no status 3 within the polls
};

// A block header (8 bytes) plus the first half's flag must fit in the first half. A larger
// buffer is taken; the blocks then stay within what a one-byte flag and txBuffer hold.
inline constexpr uint16_t kMinCommandSize = 18;
// The largest response the host reads from the status area: a flash read of 57 bytes.
inline constexpr uint16_t kMinStatusSize = 64;
// The native AUX (DPCD) address space is 20 bits wide.
inline constexpr uint32_t kDpcdSpaceEnd = 0x100000;
// The SPI flash: 512 KiB.
inline constexpr uint32_t kFlashSize = 0x80000;

}  // namespace zorvan
