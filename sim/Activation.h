#pragma once
// Switches a program onto the virtual PC when its Config.ini asks for it
// ([Simulator] Enabled=1): installs the simulated vendor drivers and, with
// Clock=virtual, the virtual clock, and keeps the virtual chip's state file up to date
// (each change as the chip makes it) under its lock for as long as the program runs.
#include <memory>
#include <string>

namespace zorvan::sim {

class Session {
public:
    // Saves the virtual chip's state (a failure not reported yet goes to standard error).
    virtual ~Session() = default;
    // Saves the state now; false with a message when the state file does not hold every
    // change the chip made (the run's result does not hold then).
    virtual bool SaveState(std::wstring& error) {
        error.clear();
        return true;
    }
    // What tells this virtual PC's links apart from those of other virtual PCs, which show
    // the same adapters and display ids: the chip behind them, its state file.
    virtual std::wstring LinkScope() const { return std::wstring(); }
};

struct ActivationResult {
    // Null when the simulator is not enabled, or when it could not start (then `error`
    // says why and the program must not go on to real hardware).
    std::unique_ptr<Session> session;
    std::wstring error;
};

// configPath: the program's Config.ini. The state file's relative path is taken from the
// folder of that file.
ActivationResult ActivateFromConfig(const std::wstring& configPath);

}  // namespace zorvan::sim
