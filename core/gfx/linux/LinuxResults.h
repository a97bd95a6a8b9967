#pragma once
// Result codes of the Linux backend. A system call that fails gives 5000 plus its errno,
// so the kernel's answer stays readable in the code (5005 EIO, 5071 EPROTO, 5110
// ETIMEDOUT, ...); the codes above 5990 are the backend's own findings.
#include <cstdint>

namespace zorvan {

inline constexpr int32_t GFX_LINUX_ERRNO_BASE = 5000;
// The sink refused the AUX transaction, or kept deferring it past the kernel's retries.
inline constexpr int32_t GFX_LINUX_EIO = GFX_LINUX_ERRNO_BASE + 5;
inline constexpr int32_t GFX_LINUX_EACCES = GFX_LINUX_ERRNO_BASE + 13;
// AUX: the sink is powered down. I2C_SLAVE: a kernel driver owns the address.
inline constexpr int32_t GFX_LINUX_EBUSY = GFX_LINUX_ERRNO_BASE + 16;
inline constexpr int32_t GFX_LINUX_ENODEV = GFX_LINUX_ERRNO_BASE + 19;
// The sink acknowledged fewer bytes than the transaction carried.
inline constexpr int32_t GFX_LINUX_EPROTO = GFX_LINUX_ERRNO_BASE + 71;
// Nothing answered on the AUX channel.
inline constexpr int32_t GFX_LINUX_ETIMEDOUT = GFX_LINUX_ERRNO_BASE + 110;
// The I2C device did not acknowledge, or kept deferring (writes; a read reports GFX_BUSY).
inline constexpr int32_t GFX_LINUX_EREMOTEIO = GFX_LINUX_ERRNO_BASE + 121;
// A call moved fewer bytes than it was given, without an error.
inline constexpr int32_t GFX_LINUX_SHORT_TRANSFER = 5991;
// The configured connector (LinuxConnector) is not a DisplayPort connector of this PC.
inline constexpr int32_t GFX_LINUX_NO_CONNECTOR = 5992;
// The connector has no AUX node or no I2C-over-AUX bus that this user may open.
inline constexpr int32_t GFX_LINUX_NODE_UNUSABLE = 5993;
// No DisplayPort connector of this PC has an AUX device (Init).
inline constexpr int32_t GFX_LINUX_NO_AUX_DEVICE = 5994;

// The code for a failed call's negative errno.
inline int32_t LinuxErrnoResult(int64_t negativeErrno) {
    const int64_t error = -negativeErrno;
    return error > 0 && error < 990 ? GFX_LINUX_ERRNO_BASE + static_cast<int32_t>(error)
                                    : GFX_LINUX_ERRNO_BASE + 990;
}

}  // namespace zorvan
