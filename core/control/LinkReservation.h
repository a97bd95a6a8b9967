#pragma once
// One program per link: before the first packet of an operation, a program takes the
// system-wide lock of the adapter and display that adapter selection found, and holds it
// until the operation (or the program) ends. A second program on the same link stops
// before it sends anything; one on another link runs.
#include <cstdint>
#include <memory>
#include <string>

#include "core/platform/LinkLock.h"

namespace zorvan {

class ZorvanControl;

// The link as the user knows it, in the adapter box's form: the backend's label and the
// display it reaches ("NVIDIA: 0x1000", "Intel (LS-PCON): 0x0C"); "none" before selection.
// For NVIDIA it is the display the transfers really address: the first GPU's.
std::wstring LinkName(const ZorvanControl& control);

// The name of a link's lock: the link, within its scope (below).
std::wstring LinkLockName(const std::wstring& link, const std::wstring& scope);

// Takes the link's lock. selection is InitGraphicsAdapter's result: after 2 no vendor
// interface is open, no transfer can reach a link, and the lock returned holds nothing.
// scope tells this machine's links apart from links elsewhere that carry the same ids: empty
// for real hardware, the virtual chip for the simulator (every virtual PC has the same
// display ids). Null with `message` set, a line for the user, when the link is busy or
// cannot be locked.
std::unique_ptr<platform::LinkLock> ReserveLink(const ZorvanControl& control, int32_t selection,
                                                const std::wstring& scope, std::wstring& message);

}  // namespace zorvan
