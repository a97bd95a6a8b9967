#pragma once
// Where the Device Certificate lives: a fixed area of the SPI flash, beginning with the
// certificate's signature once programmed.
#include <cstdint>

namespace zorvan::cert {

inline constexpr uint32_t CERTIFICATE_OFFSET = 0x60000;
inline constexpr int32_t SPI_CERTIFICATE_SIZE = 422;
inline constexpr char CERTIFICATE_SIGNATURE[] = "Kq11";
// The erase code that clears only the certificate block.
inline constexpr uint16_t ERASE_CERTIFICATE_BLOCK = 0xFFA4;

}  // namespace zorvan::cert
