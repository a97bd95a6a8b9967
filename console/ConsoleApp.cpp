#include "console/ConsoleApp.h"

#include <memory>

#include "console/CheckRequiredFiles.h"
#include "console/CommandLine.h"
#include "console/ConsoleSession.h"
#include "console/ConsoleText.h"
#include "console/Dispatch.h"
#include "console/StatusUpdater.h"
#include "core/config/LoadConfig.h"
#include "core/config/Log.h"
#include "core/control/LinkReservation.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"
#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/Activation.h"

namespace zorvan::console {
namespace {

constexpr wchar_t kBanner[] = L"Zorvan ISP Tool v2.1f\r\n";

// A continued log opens with the separator block; otherwise each run starts a new log.
void StartLog(const IspConfig& config) {
    if (config.notDeleteLogFile) {
        AppendLogSeparator();
    } else {
        DeleteLogFile();
    }
}

// The selection transcript goes to the log only; the outcome is printed and logged. The
// program goes on to the command whatever the outcome; returns InitGraphicsAdapter's result.
int32_t ReportGraphicsAdapter(ZorvanControl& control, std::wstring& message) {
    const int32_t result = control.InitGraphicsAdapter(message);
    AppendLog(message);
    switch (result) {
        case 0:
            PrintAndLog(Format(L"Graphics adapter: %s\r\n", control.gfxName.c_str()));
            break;
        case 1: {
            const std::wstring line =
                L"Graphics adapter initialization done but connection failed!\r\n";
            AppendLog(line);
            PrintWarning(line);
            break;
        }
        default: {
            const std::wstring line = L"Graphics adapter initialization failed!\r\n";
            AppendLog(line);
            PrintWarning(line);
            break;
        }
    }
    return result;
}

// The exit status: always 0 unless ExitStatus=1 asks it to tell the outcome.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int ExitWith(const IspConfig& config, int status) { return config.exitStatus ? status : kExitDone; }

// A virtual chip that could not keep what the run did fails the run, whatever the procedure
// reported: the reason follows the procedure's own last words, on standard error and in
// the log.
bool SimulatedChipKept(sim::Session* simulator) {
    std::wstring error;
    if (simulator == nullptr || simulator->SaveState(error)) {
        return true;
    }
    const std::wstring line = error + L"\r\n";
    platform::PrintError(line);
    AppendLog(line);
    return false;
}

}  // namespace

int RunConsoleApp(const std::vector<std::wstring>& args) {
    // Declaration order is destruction order reversed: the link stays locked until the
    // virtual chip has been saved, the simulator session outlives the core, whose backends
    // release their (possibly simulated) drivers when it goes, and the progress delegate
    // outlives the core that points at it.
    std::unique_ptr<platform::LinkLock> linkLock;
    std::unique_ptr<sim::Session> simulator;
    StatusUpdater updater;
    ZorvanControl control;
    IspConfig config;
    ConsoleSession session{control, config, std::wstring()};
    std::wstring& message = session.message;

    logFilePath = kLogFileName;

    if (!LoadConfig(ConfigProgram::Console, config, control, message)) {
        PrintWarning(message);  // the log is neither started nor touched
        return 0;
    }
    sim::ActivationResult activation =
        sim::ActivateFromConfig(platform::ProgramFolder() + kConfigFileName);
    if (!activation.error.empty()) {
        // Never fall through to real hardware when the simulator was asked for.
        PrintWarning(activation.error + L"\r\n");
        return ExitWith(config, kExitFailed);
    }
    simulator = std::move(activation.session);

    StartLog(config);
    platform::Print(kBanner);
    const int32_t selection = ReportGraphicsAdapter(control, message);

    message.clear();
    const ParsedCommand parsed = ParseCommandLine(args);
    ConsoleCommand command = parsed.command;
    if (args.size() == 2) {
        message = parsed.header;
        PrintAndLog(message);
    }
    if (command == CMD_NONE) {
        platform::Print(UsageText(args.empty() ? std::wstring() : args[0]));
        return ExitWith(config, kExitUsage);
    }

    if (command != CMD_CHIP_INFO) {
        if (!CheckRequiredFiles(control, config, command, message)) {
            PrintWarning(message);
            AppendLog(message);
            return ExitWith(config, kExitFailed);
        }
        PrintAndLog(message);
    }

    // The link is what adapter selection found (probing for the chip, on every backend but
    // NVIDIA), so it is locked after it and before the operation's first packet.
    linkLock = ReserveLink(control, selection,
                           simulator ? simulator->LinkScope() : std::wstring(), message);
    if (!linkLock) {
        PrintWarning(message);
        AppendLog(message);
        return ExitWith(config, kExitFailed);
    }

    control.delegate = &updater;
    const bool done = DispatchCommand(command, session);
    const bool kept = SimulatedChipKept(simulator.get());
    return ExitWith(config, done && kept ? kExitDone : kExitFailed);
}

}  // namespace zorvan::console
