#pragma once
// The command codes the console front end works with.
#include <cstdint>

namespace zorvan::console {

using ConsoleCommand = int32_t;

inline constexpr ConsoleCommand CMD_NONE = 0;            // no valid option
inline constexpr ConsoleCommand CMD_RUN = 1;             // -Run, plain or secure not yet decided
inline constexpr ConsoleCommand CMD_RUN_ISP = 2;         // plain firmware update
inline constexpr ConsoleCommand CMD_RUN_SECURE_ISP = 3;  // secure firmware update
inline constexpr ConsoleCommand CMD_WRITE_DEV_CERT = 4;
inline constexpr ConsoleCommand CMD_WRITE_CMDB = 5;
inline constexpr ConsoleCommand CMD_VERIFY_CMDB = 6;
inline constexpr ConsoleCommand CMD_CHIP_INFO = 7;
inline constexpr ConsoleCommand CMD_FULL_ERASE = 8;
inline constexpr ConsoleCommand CMD_VERIFY_DEV_CERT = 9;

}  // namespace zorvan::console
