#include "core/control/ZorvanControl.h"

namespace zorvan {

ZorvanControl::ZorvanControl() = default;

// The backends release their vendor interfaces in their own destructors.
ZorvanControl::~ZorvanControl() = default;

}  // namespace zorvan
