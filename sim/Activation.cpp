#include "sim/Activation.h"

namespace zorvan::sim {

// Placeholder until the virtual PC exists: the simulator is never enabled.
ActivationResult ActivateFromConfig(const std::wstring&) { return {}; }

}  // namespace zorvan::sim
