#pragma once
// The chip state as `zorvan-sim info` prints it: one key=value a line, LF line ends.
//   family=KQ1100
//   serial=1500
//   hw-revision=0x21
//   mode=application            (or boot-rom)
//   firmware-version=1.05       (none in the boot ROM)
//   firmware-build=0            (none in the boot ROM)
//   security-firmware=stopped   (or running)
#include <string>

#include "sim/chip/ChipState.h"

namespace zorvan::sim {

std::string DescribeState(const ChipState& state);

}  // namespace zorvan::sim
