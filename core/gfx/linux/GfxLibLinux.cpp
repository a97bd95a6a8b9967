#include "core/gfx/linux/GfxLibLinux.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/gfx/Probe.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

using linuxlink::DpConnector;

constexpr int32_t kProbeCapacity = 131;

std::wstring Wide(const std::string& text) { return FromUtf8(text); }

bool AnyNvidia(const linuxlink::ConnectorScan& scan) {
    return std::any_of(scan.connectors.begin(), scan.connectors.end(),
                       [](const DpConnector& c) { return c.gpuDriver == "nvidia"; });
}

// Opens a node for reading and writing; `why` tells a refusal: which node, what to do.
int OpenNode(linuxsys::System& system, const std::string& node, std::string& why) {
    const int fd = system.Open(node, linuxsys::OpenMode::kReadWrite);
    if (fd < 0 && linuxlink::CheckNodeAccess(system, node, why)) {
        why = node + " cannot be opened (" + linuxsys::ErrnoName(-fd) + ")";
    }
    return fd;
}

}  // namespace

GfxLibLinux::GfxLibLinux() : GfxLib(131, 0) {}

GfxLibLinux::~GfxLibLinux() { CloseNodes(); }

bool GfxLibLinux::Available() { return linuxsys::ActiveSystem().Present(); }

const linuxlink::DpConnector* GfxLibLinux::Current() const {
    return open_ ? &*open_ : nullptr;
}

std::wstring GfxLibLinux::Description() const {
    return open_ ? Wide(linuxlink::Describe(*open_)) : std::wstring();
}

void GfxLibLinux::CloseNodes() {
    // Descriptors of a layer that has since been replaced (a simulator session that ended)
    // went with it.
    if (system_ != nullptr && system_ == &linuxsys::ActiveSystem()) {
        if (auxFd_ >= 0) {
            system_->Close(auxFd_);
        }
        if (i2cFd_ >= 0) {
            system_->Close(i2cFd_);
        }
    }
    system_ = nullptr;
    auxFd_ = -1;
    i2cFd_ = -1;
    slave_ = -1;
    open_.reset();
}

int32_t GfxLibLinux::DoInit(std::wstring& text) {
    CloseNodes();
    scan_ = linuxlink::ScanConnectors(linuxsys::ActiveSystem(), false);
    if (!scan_.AnyAux()) {
        text = AnyNvidia(scan_) ? L"Graphics adapter initialization - Linux: no DisplayPort AUX "
                                  L"device (nvidia-drm registers none)!\r\n"
                                : L"Graphics adapter initialization - Linux: no DisplayPort AUX "
                                  L"device!\r\n";
        return GFX_LINUX_NO_AUX_DEVICE;
    }
    text = L"Graphics adapter initialization - Linux: done!\r\n";
    return GFX_OK;
}

int32_t GfxLibLinux::DoConnect(uint32_t&, uint32_t ddcAddress, std::wstring& text) {
    text.clear();
    CloseNodes();
    text += Format(L"Linux DisplayPort connectors: %d\r\n",
                   static_cast<int>(scan_.connectors.size()));
    const std::string key = ToUtf8(settings.connector);
    if (!key.empty()) {
        const DpConnector* c = linuxlink::FindConnector(scan_, key);
        if (c == nullptr) {
            text += Format(L"  LinuxConnector=%s: no such DisplayPort connector\r\n",
                           settings.connector.c_str());
            return GFX_LINUX_NO_CONNECTOR;
        }
        return TryConnector(*c, ddcAddress, text);
    }
    int32_t last = GFX_LINUX_NO_AUX_DEVICE;
    for (const DpConnector& c : scan_.connectors) {
        last = TryConnector(c, ddcAddress, text);
        if (last == GFX_OK) {
            break;
        }
    }
    return last;
}

int32_t GfxLibLinux::TryConnector(const DpConnector& c, uint32_t ddcAddress, std::wstring& text) {
    text += Wide("  " + linuxlink::Describe(c) + ", " + (c.status.empty() ? "unknown" : c.status) +
                 ": ");
    std::string why;
    int32_t r = OpenConnector(c, ddcAddress, why);
    if (r != GFX_OK) {
        text += Wide(why) + L"\r\n";
        return r;
    }
    std::vector<uint8_t> reply;
    r = ProbeChip(ddcAddress, reply);
    if (r != GFX_OK) {
        CloseNodes();
        text += Format(L"no answer (%d)\r\n", r);
        return r;
    }
    text += L"the chip answers\r\n";
    return GFX_OK;
}

int32_t GfxLibLinux::OpenConnector(const DpConnector& connector, uint32_t ddcAddress,
                                   std::string& why) {
    const DpConnector c = connector;  // may be Current() itself, which closing forgets
    CloseNodes();
    if (!c.Usable()) {
        why = c.problem;
        return GFX_LINUX_NODE_UNUSABLE;
    }
    linuxsys::System& system = linuxsys::ActiveSystem();
    const int aux = OpenNode(system, c.auxNode, why);
    if (aux < 0) {
        return LinuxErrnoResult(aux);
    }
    const int i2c = OpenNode(system, c.i2cNode, why);
    if (i2c < 0) {
        system.Close(aux);
        return LinuxErrnoResult(i2c);
    }
    system_ = &system;
    auxFd_ = aux;
    i2cFd_ = i2c;
    open_ = c;
    const int32_t r = SelectSlave(ddcAddress);
    if (r != GFX_OK) {
        char address[8];
        std::snprintf(address, sizeof address, "0x%02X", (ddcAddress >> 1) & 0x7Fu);
        const std::string owner = OwnerOf(c, static_cast<int>((ddcAddress >> 1) & 0x7Fu));
        why = r == GFX_LINUX_EBUSY
                  ? std::string(address) + " on " + c.i2cNode + " is owned by " +
                        (owner.empty() ? std::string("a kernel driver")
                                       : "the kernel driver " + owner) +
                        ": unload it, or set LinuxForceDdc=1 in [Firmware Update] to use it anyway"
                  : "taking " + std::string(address) + " on " + c.i2cNode + " failed (" +
                        std::to_string(r) + ")";
        CloseNodes();
    }
    return r;
}

std::string GfxLibLinux::OwnerOf(const DpConnector& c, int address) const {
    char client[32];
    std::snprintf(client, sizeof client, "-%04x", address);
    const std::string number = c.i2cBus.substr(c.i2cBus.find('-') + 1);
    std::string target;
    const std::string link = std::string(linuxlink::kDrmClassPath) + "/" + c.name + "/" +
                             c.i2cBus + "/" + number + client + "/driver";
    if (linuxsys::ActiveSystem().ReadLink(link, target) != 0) {
        return std::string();
    }
    return target.substr(target.find_last_of('/') + 1);
}

int32_t GfxLibLinux::SelectSlave(uint32_t address) {
    if (i2cFd_ < 0 || system_ == nullptr) {
        return GFX_NO_DEVICE;
    }
    const int slave = static_cast<int>((address >> 1) & 0x7Fu);
    if (slave == slave_) {
        return GFX_OK;
    }
    const int r = system_->Ioctl(i2cFd_, settings.forceDdc ? linuxsys::kI2cSlaveForce
                                                           : linuxsys::kI2cSlave,
                                 static_cast<unsigned long>(slave));
    if (r < 0) {
        return LinuxErrnoResult(r);
    }
    slave_ = slave;
    return GFX_OK;
}

int32_t GfxLibLinux::ProbeChip(uint32_t ddcAddress, std::vector<uint8_t>& reply) {
    reply.clear();
    const uint8_t address = static_cast<uint8_t>(ddcAddress);
    const std::array<uint8_t, kProbePacketLength> probe = ProbePacket(ddcAddress);
    int32_t r = I2cWrite(0, address, probe.data(), kProbePacketLength);
    if (r != GFX_OK) {
        return r;
    }
    platform::SleepMs(40);
    uint8_t buffer[kProbeCapacity] = {};
    int32_t length = 0;
    r = ReadProbeReply(*this, 0, address, buffer, kProbeCapacity, &length);
    reply.assign(buffer, buffer + std::clamp<int32_t>(length, 0, kProbeCapacity));
    if (r != GFX_OK) {
        return r;
    }
    return ProbeReplyPasses(buffer, length, ddcAddress, kProbeChecksAll) ? GFX_OK : GFX_BAD_REPLY;
}

}  // namespace zorvan
