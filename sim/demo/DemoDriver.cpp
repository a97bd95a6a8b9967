#include "sim/demo/DemoDriver.h"

#include "sim/chip/isp/DriverImage.h"
#include "sim/demo/DemoSigning.h"

namespace zorvan::sim {

std::vector<uint8_t> MakeDemoDriverPayload() {
    return BuildDriverPayload(MailboxLayout{}, kDemoDriverPayloadSize);
}

std::vector<uint8_t> SignDriverPayload(const std::vector<uint8_t>& payload) {
    return SignWithDemoKey({payload});
}

std::vector<uint8_t> MakeDemoDriverFile() {
    const std::vector<uint8_t> payload = MakeDemoDriverPayload();
    return BuildDriverFile(payload, SignDriverPayload(payload));
}

std::vector<uint8_t> MakeDamagedDriverFile(DriverFileDamage damage) {
    std::vector<uint8_t> payload = MakeDemoDriverPayload();
    std::vector<uint8_t> signature = SignDriverPayload(payload);
    switch (damage) {
        case DriverFileDamage::PayloadByte:
            payload[kDemoDriverPayloadSize / 2] ^= 0x01;
            StampDriverCrc(payload);
            break;
        case DriverFileDamage::SignatureByte:
            signature[100] ^= 0x01;
            break;
    }
    return BuildDriverFile(payload, signature);
}

}  // namespace zorvan::sim
