#include "sim/demo/DemoDriver.h"

#include "sim/chip/isp/DriverImage.h"

namespace zorvan::sim {

std::vector<uint8_t> MakeDemoDriverPayload() {
    return BuildDriverPayload(MailboxLayout{}, kDemoDriverPayloadSize);
}

std::vector<uint8_t> MakeDemoDriverFile() {
    const std::vector<uint8_t> payload = MakeDemoDriverPayload();
    return BuildDriverFile(payload, PlaceholderDriverSignature(payload));
}

}  // namespace zorvan::sim
