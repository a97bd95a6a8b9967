// The commands on one virtual chip state file: init, info, dump-flash, power-cycle.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/chip/ChipState.h"
#include "sim/chip/OtpDamage.h"
#include "sim/state/StateFile.h"
#include "sim/state/StateStore.h"
#include "sim/state/StateSummary.h"
#include "tools/zorvan-sim/SimTool.h"

namespace zorvan::simtool {
namespace {

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // by name with its "--"
};

// Nullopt for an unknown option, one given twice or one without its value.
std::optional<Arguments> Parse(const std::vector<std::string>& args,
                               std::initializer_list<std::string_view> known) {
    Arguments parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.rfind("--", 0) != 0) {
            parsed.positional.push_back(word);
            continue;
        }
        bool isKnown = false;
        for (std::string_view k : known) {
            isKnown = isKnown || word == k;
        }
        if (!isKnown || i + 1 >= args.size() || parsed.options.count(word) != 0) {
            return std::nullopt;
        }
        parsed.options[word] = args[++i];
    }
    return parsed;
}

std::optional<uint32_t> ParseSerial(const std::string& text) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

int Usage(std::ostream& err) {
    err << UsageText();
    return SIMTOOL_EXIT_BAD_USAGE;
}

int Fail(std::ostream& err, const std::wstring& message) {
    err << "zorvan-sim: " << ToUtf8(message) << "\n";
    return SIMTOOL_EXIT_FAILED;
}

// Exactly `count` positional words and no options.
std::optional<std::vector<std::string>> Paths(const std::vector<std::string>& args, size_t count) {
    const std::optional<Arguments> parsed = Parse(args, {});
    if (!parsed || parsed->positional.size() != count) {
        return std::nullopt;
    }
    return parsed->positional;
}

// `--otp`: a chip whose OTP the host tools must refuse to provision from.
bool DamageOtp(const std::string& condition, sim::ChipState& state) {
    if (condition == "bad-crc") {
        sim::CorruptOtpCrc(state);
    } else if (condition == "bad-content") {
        sim::CorruptOtpContent(state);
    } else if (condition != "intact") {
        return false;
    }
    return true;
}

}  // namespace

int RunInit(const std::vector<std::string>& args, std::ostream& /*out*/, std::ostream& err) {
    const std::optional<Arguments> parsed =
        Parse(args, {"--chip", "--serial", "--firmware", "--otp"});
    if (!parsed || parsed->positional.size() != 1) {
        return Usage(err);
    }
    sim::ChipFamily family = sim::ChipFamily::Kq1100;
    uint32_t serial = 1500;
    if (auto it = parsed->options.find("--chip"); it != parsed->options.end()) {
        const std::optional<sim::ChipFamily> named = sim::FamilyFromName(it->second);
        if (!named || *named == sim::ChipFamily::Foreign) {
            err << "zorvan-sim: unknown chip \"" << it->second
                << "\" (KQ1100, KQ1150, TALVOR, VIREEN or LUMOX)\n";
            return SIMTOOL_EXIT_BAD_USAGE;
        }
        family = *named;
    }
    if (auto it = parsed->options.find("--serial"); it != parsed->options.end()) {
        const std::optional<uint32_t> number = ParseSerial(it->second);
        if (!number) {
            err << "zorvan-sim: the serial number \"" << it->second
                << "\" must be a decimal number from 0 to 4294967295\n";
            return SIMTOOL_EXIT_BAD_USAGE;
        }
        serial = *number;
    }
    sim::ChipState state = sim::NewChipState(family, serial);
    if (auto it = parsed->options.find("--firmware"); it != parsed->options.end()) {
        const std::wstring image = FromUtf8(it->second);
        const platform::FileContent bytes = platform::ReadWholeFile(image, sim::kFlashSize);
        if (bytes.problem.error == platform::FileError::kTooLarge) {
            return Fail(err, Format(L"the firmware image \"%s\" is larger than the 512 KiB flash.",
                                    image.c_str()));
        }
        if (!bytes) {
            return Fail(err, L"cannot read the firmware image: " +
                                 platform::DescribeFileProblem(image, bytes.problem) + L".");
        }
        // A shorter image leaves the rest of the flash erased.
        std::copy(bytes->begin(), bytes->end(), state.flash.begin());
        sim::PowerCycle(state);
    }
    if (auto it = parsed->options.find("--otp"); it != parsed->options.end()) {
        if (!DamageOtp(it->second, state)) {
            err << "zorvan-sim: unknown OTP condition \"" << it->second
                << "\" (intact, bad-crc or bad-content)\n";
            return SIMTOOL_EXIT_BAD_USAGE;
        }
    }
    std::wstring error;
    const std::wstring path = FromUtf8(parsed->positional[0]);
    const std::unique_ptr<sim::StateStore> held = sim::StateStore::OpenToReplace(path, error);
    if (held == nullptr || !sim::SaveState(path, state, error)) {
        return Fail(err, error);
    }
    return SIMTOOL_EXIT_OK;
}

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto paths = Paths(args, 1);
    if (!paths) {
        return Usage(err);
    }
    std::wstring error;
    sim::ChipState state;
    if (sim::StateStore::OpenToInspect(FromUtf8((*paths)[0]), state, error) == nullptr) {
        return Fail(err, error);
    }
    out << sim::DescribeState(state);
    return SIMTOOL_EXIT_OK;
}

int RunDumpFlash(const std::vector<std::string>& args, std::ostream& /*out*/, std::ostream& err) {
    const auto paths = Paths(args, 2);
    if (!paths) {
        return Usage(err);
    }
    const std::wstring source = FromUtf8((*paths)[0]);
    const std::wstring target = FromUtf8((*paths)[1]);
    // Writing the flash over the state it comes from would destroy the chip.
    if (platform::IsSameFile(source, target)) {
        return Fail(err, Format(L"\"%s\" is the state file \"%s\" itself; nothing was written.",
                                target.c_str(), source.c_str()));
    }
    std::wstring error;
    sim::ChipState state;
    const std::unique_ptr<sim::StateStore> held =
        sim::StateStore::OpenToInspect(source, state, error);
    if (held == nullptr) {
        return Fail(err, error);
    }
    if (!platform::WriteWholeFile(target, state.flash)) {
        return Fail(err, Format(L"cannot write \"%s\".", target.c_str()));
    }
    return SIMTOOL_EXIT_OK;
}

int RunPowerCycle(const std::vector<std::string>& args, std::ostream& /*out*/, std::ostream& err) {
    const auto paths = Paths(args, 1);
    if (!paths) {
        return Usage(err);
    }
    const std::wstring path = FromUtf8((*paths)[0]);
    std::wstring error;
    sim::ChipState state;
    // A chip that is not there cannot be switched off and on: nothing is created.
    const std::unique_ptr<sim::StateStore> store =
        platform::PathExists(path)
            ? sim::StateStore::OpenForRun(
                  path, sim::NewChipState(sim::ChipFamily::Kq1100, 1500), state, error)
            : sim::StateStore::OpenToInspect(path, state, error);
    if (store == nullptr) {
        return Fail(err, error);
    }
    sim::PowerCycle(state);
    store->ChipChanged(state);
    if (!store->Finish(state, error)) {
        return Fail(err, error);
    }
    return SIMTOOL_EXIT_OK;
}

}  // namespace zorvan::simtool
