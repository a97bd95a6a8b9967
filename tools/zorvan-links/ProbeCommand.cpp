// zorvan-links probe CONNECTOR: reads only, apart from the DDC/CI probe packet and the
// chip-type query.
#include <cstdio>
#include <string>

#include "core/control/VersionText.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"
#include "core/platform/Trace.h"
#include "tools/zorvan-links/LinksTool.h"

namespace zorvan::linkstool {
namespace {

constexpr int32_t kDpcdBytes = 16;

std::string Code(int32_t code) {
    std::string text = std::to_string(code);
    if (code > GFX_LINUX_ERRNO_BASE && code < GFX_LINUX_ERRNO_BASE + 990) {
        text += " " + linuxsys::ErrnoName(code - GFX_LINUX_ERRNO_BASE);
    }
    return text;
}

std::string LinkRate(uint8_t code) {
    switch (code) {
        case 0x06:
            return "1.62";
        case 0x0A:
            return "2.7";
        case 0x14:
            return "5.4";
        case 0x1E:
            return "8.1";
        default:
            char text[16];
            std::snprintf(text, sizeof text, "code 0x%02X", code);
            return text;
    }
}

std::string ReceiverCaps(const uint8_t* d) {
    char text[160];
    std::snprintf(text, sizeof text, "DPCD revision %u.%u, %u lane(s) at %s Gbit/s%s",
                  d[0] >> 4, d[0] & 0x0Fu, d[2] & 0x1Fu, LinkRate(d[1]).c_str(),
                  (d[5] & 1u) != 0 ? ", branch device (downstream port present)" : "");
    return text;
}

std::string BranchId(const uint8_t* d) {
    std::string id;
    for (int i = 3; i < 9 && d[i] != 0; ++i) {
        id += d[i] >= 0x20 && d[i] < 0x7F ? static_cast<char>(d[i]) : '.';
    }
    char text[160];
    std::snprintf(text, sizeof text, "OUI %02X-%02X-%02X, device \"%s\", hardware revision 0x%02X, "
                  "firmware %u.%02u",
                  d[0], d[1], d[2], id.c_str(), d[9], d[10], d[11]);
    return text;
}

// Reads `kDpcdBytes` at `address` and prints them with their meaning.
bool ShowDpcd(ZorvanControl& control, uint32_t address, std::string (*meaning)(const uint8_t*),
              std::ostream& out) {
    uint8_t bytes[kDpcdBytes] = {};
    const int32_t r = control.gfx->AuxRead(control.deviceId, address, bytes, kDpcdBytes);
    char head[32];
    std::snprintf(head, sizeof head, "DPCD 0x%03X: ", address);
    if (r != GFX_OK) {
        out << head << "read failed (" << Code(r) << ")\n";
        return false;
    }
    out << head << trace::Hex(bytes, kDpcdBytes) << "\n  " << meaning(bytes) << "\n";
    return true;
}

std::string ChipTypeText(ChipType type) {
    if (type == CHIP_NONE) {
        return "no answer";
    }
    std::wstring name;
    ChipFamilyName(type, name);
    const std::string family = name.empty() ? std::string("unknown family ") : ToUtf8(name);
    return family + "(type " + std::to_string(static_cast<int>(type)) + ")";
}

}  // namespace

int RunProbe(const std::string& key, const ProbeOptions& options, std::ostream& out,
             std::ostream& err) {
    ZorvanControl control;
    GfxLibLinux& link = control.gfxLinux;
    link.settings.forceDdc = options.forceDdc;
    std::wstring text;
    if (link.Init(text) != GFX_OK) {
        err << "No DisplayPort AUX device: " << key << " cannot be probed (zorvan-links list "
            << "tells more).\n";
        return LINKS_EXIT_FAILED;
    }
    const linuxlink::DpConnector* connector = linuxlink::FindConnector(link.Connectors(), key);
    if (connector == nullptr) {
        err << key << ": no such DisplayPort connector (zorvan-links list shows them).\n";
        return LINKS_EXIT_FAILED;
    }
    out << linuxlink::Describe(*connector) << ", " << connector->status << "\n";
    std::string why;
    const int32_t opened = link.OpenConnector(*connector, options.ddcAddress, why);
    if (opened != GFX_OK) {
        err << connector->name << ": " << why << "\n";
        return LINKS_EXIT_FAILED;
    }
    control.gfx = &link;
    control.ddcAddress = options.ddcAddress;
    ShowDpcd(control, 0x000, ReceiverCaps, out);
    ShowDpcd(control, 0x500, BranchId, out);

    std::vector<uint8_t> reply;
    const int32_t probed = link.ProbeChip(options.ddcAddress, reply);
    char address[8];
    std::snprintf(address, sizeof address, "0x%02X", options.ddcAddress & 0xFFu);
    out << "Probe at DDC/CI " << address << ": "
        << (probed == GFX_OK ? "the chip answers" : "no answer (" + Code(probed) + ")")
        << (reply.empty() ? std::string() : " [" + trace::Hex(reply.data(), reply.size()) + "]")
        << "\n";
    const ChipType type = probed == GFX_OK ? control.GetChipType() : CHIP_NONE;
    out << "Chip type: " << ChipTypeText(type) << "\n";
    if (probed != GFX_OK || type == CHIP_NONE) {
        err << connector->name << ": no Zorvan chip answers at DDC/CI " << address << ".\n";
        return LINKS_EXIT_FAILED;
    }
    return LINKS_EXIT_OK;
}

}  // namespace zorvan::linkstool
