#pragma once
// The virtual kernel's own copy of the Linux ABI and of the DRM helpers' constants it
// behaves by: errno numbers, the i2c-dev ioctls, the DisplayPort AUX retry rules and the
// device numbers it hands out.
#include <cstdint>

namespace zorvan::sim::kernel {

inline constexpr int kEPERM = 1;
inline constexpr int kENOENT = 2;
inline constexpr int kEIO = 5;
inline constexpr int kEBADF = 9;
inline constexpr int kEACCES = 13;
inline constexpr int kEBUSY = 16;
inline constexpr int kENODEV = 19;
inline constexpr int kENOTDIR = 20;
inline constexpr int kEISDIR = 21;
inline constexpr int kEINVAL = 22;
inline constexpr int kENOTTY = 25;
inline constexpr int kESPIPE = 29;
inline constexpr int kELOOP = 40;
inline constexpr int kEPROTO = 71;
inline constexpr int kETIMEDOUT = 110;
inline constexpr int kEREMOTEIO = 121;

// ioctl requests of /dev/i2c-N.
inline constexpr unsigned long kI2cSlave = 0x0703;
inline constexpr unsigned long kI2cSlaveForce = 0x0706;
// i2c-dev moves at most this much in one read() or write().
inline constexpr uint64_t kI2cDevMaxTransfer = 8192;

// drm_dp_aux_dev: the DPCD space is 1 MiB; reads and writes go in 16-byte pieces.
inline constexpr int64_t kAuxMaxOffset = 1 << 20;
inline constexpr uint32_t kAuxMaxPayload = 16;
// drm_dp_dpcd_access: attempts of a native transaction, and the pause after a failed one
// (none after a timeout).
inline constexpr int kDpcdAttempts = 32;
inline constexpr uint64_t kAuxRetryIntervalUs = 500;
// drm_dp_i2c_do_msg: at least 7 attempts, more for long transfers at the assumed I2C
// speed, and up to 7 more while the I2C device defers.
inline constexpr int kI2cMinAttempts = 7;
inline constexpr int kI2cExtraDeferAttempts = 7;
inline constexpr int kI2cAssumedSpeedKhz = 10;

// Device numbers: the DRM AUX class gets a dynamic major, i2c-dev its fixed one.
inline constexpr uint32_t kAuxMajor = 237;
inline constexpr uint32_t kI2cMajor = 89;
// The first I2C bus number the connectors' buses get (the GPU's own buses come first).
inline constexpr uint32_t kFirstConnectorBus = 5;

// Access of a node: 0660 root:video with the udev rule, 0600 root:root without.
inline constexpr uint32_t kVideoGid = 44;
inline constexpr uint32_t kRuleMode = 0660;
inline constexpr uint32_t kRootOnlyMode = 0600;

}  // namespace zorvan::sim::kernel
