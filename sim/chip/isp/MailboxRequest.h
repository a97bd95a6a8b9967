#pragma once
// The requests the ISP driver takes from the start of its command buffer. The first byte
// is the request's length, counting itself; all but the flash ID request end in the XOR of
// the bytes before it.
//   03 10 13 / 03 76 75 / 03 77 74 / 03 78 7B   program one block (the codes 0x10, 0x76,
//                                                0x77, 0x78)
//   05 19 HI LO X                                 erase by a 16-bit erase code
//   07 1B A2 A1 A0 N X                            read N bytes (1 to 57) at a flash offset
//   09 1C FF 00 00 20 00 00 44                    read the flash ID (fixed bytes)
//   04 20 01 25                                   system reset
// The completion and failure responses the driver leaves in its status area:
//   03 0C F1  done;  03 0C F2  block CRC mismatch, or a signed image whose last KiB does
//   not verify;  03 0C F3  request or block refused
#include <cstddef>
#include <cstdint>

namespace zorvan::sim {

inline constexpr uint8_t kResponseDone = 0xF1;
inline constexpr uint8_t kResponseCrcError = 0xF2;
inline constexpr uint8_t kResponseRefused = 0xF3;
inline constexpr uint8_t kMaxReadCount = 57;

enum class RequestKind { Program, Erase, ReadFlash, FlashId, SystemReset, Malformed };

struct MailboxRequest {
    RequestKind kind = RequestKind::Malformed;
    uint8_t programCode = 0;
    uint16_t eraseCode = 0;
    uint32_t address = 0;  // read: 24-bit flash offset
    uint8_t count = 0;     // read: bytes asked for
};

// `bytes` is the command buffer from its start, `size` its size.
MailboxRequest ParseRequest(const uint8_t* bytes, size_t size);

}  // namespace zorvan::sim
