#pragma once
// The signed part of a firmware image (layout in sim/chip/FirmwareImage.h): the firmware
// regions 0x00000-0x5FFFF, then the last KiB without its signature field and without the
// CRC at its end. The signature is checked before the last KiB is written, so the last KiB
// comes from the host's blocks and the regions from the flash as it stands.
#include <span>
#include <vector>

#include "sim/chip/secure/Signature.h"

namespace zorvan::sim {

// The signed message. `firmwareRegions`: kFirmwareEnd bytes; `lastKib`: kLastKibSize bytes.
// Empty when either has another size.
BytePieces ImageSignedPieces(std::span<const uint8_t> firmwareRegions,
                             std::span<const uint8_t> lastKib);

// The 256-byte signature field inside a last KiB (empty for another size).
std::span<const uint8_t> ImageSignatureField(std::span<const uint8_t> lastKib);

// True when `lastKib` carries a valid signature, under the chip's public key, of the
// firmware regions of `flash` (a whole flash) and itself.
bool ImageSignatureValid(const std::vector<uint8_t>& flash, std::span<const uint8_t> lastKib);

}  // namespace zorvan::sim
