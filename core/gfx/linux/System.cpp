#include "core/gfx/linux/System.h"

namespace zorvan::linuxsys {
namespace {

System* g_installed = nullptr;

}  // namespace

System& ActiveSystem() { return g_installed != nullptr ? *g_installed : PlatformSystem(); }

void InstallSystem(System* system) { g_installed = system; }

std::string ErrnoName(int error) {
    switch (error) {
        case kEPERM:
            return "EPERM";
        case kENOENT:
            return "ENOENT";
        case kEINTR:
            return "EINTR";
        case kEIO:
            return "EIO";
        case kENXIO:
            return "ENXIO";
        case kEBADF:
            return "EBADF";
        case kEAGAIN:
            return "EAGAIN";
        case kEACCES:
            return "EACCES";
        case kEBUSY:
            return "EBUSY";
        case kENODEV:
            return "ENODEV";
        case kENOTDIR:
            return "ENOTDIR";
        case kEINVAL:
            return "EINVAL";
        case kENOTTY:
            return "ENOTTY";
        case kENOSYS:
            return "ENOSYS";
        case kEPROTO:
            return "EPROTO";
        case kETIMEDOUT:
            return "ETIMEDOUT";
        case kEREMOTEIO:
            return "EREMOTEIO";
        default:
            return "E" + std::to_string(error);
    }
}

}  // namespace zorvan::linuxsys
