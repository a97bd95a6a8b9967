// The plain firmware update (-Run) from file loading to the reset, against the virtual chip
// on the virtual clock. Reports the host CPU time per update (the benchmark's own time),
// the simulated link time and its ratio to the protocol's lower bound: its fixed pauses plus
// the wire time of every transaction, as the virtual chip's AUX channel charges it. Each
// image size runs with and without VerifyAfterWrite.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/LinkBudget.h"
#include "console/ConsoleSession.h"
#include "console/Procedures.h"
#include "core/config/IspConfig.h"
#include "core/config/LoadConfig.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"
#include "core/platform/Trace.h"
#include "sim/Activation.h"
#include "sim/demo/DemoAssets.h"

namespace fs = std::filesystem;

namespace zorvan::bench {
namespace {

// Passes every wait on to the simulator's clock and keeps the wire time apart.
class CountingClock final : public platform::Clock {
public:
    explicit CountingClock(platform::Clock& inner) : inner_(inner) {}
    uint64_t NowUs() override { return inner_.NowUs(); }
    void SleepUs(uint64_t us) override { inner_.SleepUs(us); }
    void SpinUs(uint64_t us) override { inner_.SpinUs(us); }
    void Elapse(uint64_t us) override {
        wireUs += us;
        inner_.Elapse(us);
    }
    uint64_t wireUs = 0;

private:
    platform::Clock& inner_;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return std::string();
    }
    std::string bytes(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A demo folder whose image has `nonBlankPercent` of its 504-byte blocks in the written
// regions holding data; the rest stay 0xFF and cost no transfer. With `verify` the update
// reads every written range back (VerifyAfterWrite=1).
class Bench {
public:
    Bench(int nonBlankPercent, bool verify) : verify_(verify) {
        folder_ = fs::temp_directory_path() /
                  ("zorvan-bench-" + std::to_string(::getpid()) + "-" +
                   std::to_string(nonBlankPercent) + (verify ? "-verify" : ""));
        std::vector<std::wstring> written;
        std::wstring error;
        if (!sim::WriteDemoAssets(folder_.wstring(), written, error)) {
            return;
        }
        pristineState_ = ReadAll(folder_ / "virtual-chip.state");
        WriteAll(folder_ / "firmware.bin", Image(ReadAll(folder_ / "firmware.bin"),
                                                 nonBlankPercent));
        ready_ = true;
    }
    ~Bench() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    bool Ready() const { return ready_; }

    struct Outcome {
        bool updated = false;
        uint64_t linkUs = 0;
        uint64_t wireUs = 0;
    };

    // One update of a chip that runs the old firmware, its console text sent to /dev/null.
    Outcome Update() const {
        WriteAll(folder_ / "virtual-chip.state", pristineState_);
        Outcome outcome;
        sim::ActivationResult activation =
            sim::ActivateFromConfig((folder_ / "Config.ini").wstring());
        if (!activation.session) {
            return outcome;
        }
        CountingClock clock(platform::ActiveClock());
        platform::ScopedClock counting(clock);
        const uint64_t start = clock.NowUs();
        {
            ZorvanControl control;
            IspConfig config;
            std::wstring message;
            logFilePath = (folder_ / "ZorvanQuillon.log").wstring();
            if (LoadConfigFromFolder(ConfigProgram::Console, folder_.wstring() + L"/", config,
                                     control, message)) {
                config.firmwareReady = true;
                config.verifyAfterWrite = verify_;
                control.InitGraphicsAdapter(message);
                console::ConsoleSession session{control, config, std::wstring()};
                const int saved = Silence();
                outcome.updated = console::RunIspProcedure(session);
                Restore(saved);
            }
        }
        outcome.linkUs = clock.NowUs() - start;
        outcome.wireUs = clock.wireUs;
        return outcome;
    }

    // The fixed pauses of one update, read from its link trace.
    WaitSplit TracedWaits() const {
        const fs::path trace = folder_ / "trace.txt";
        fs::remove(trace);
        ::setenv("ZORVAN_TRACE", trace.c_str(), 1);
        trace::Reopen();
        Update();
        ::unsetenv("ZORVAN_TRACE");
        trace::Reopen();
        return SplitWaits(ReadAll(trace));
    }

private:
    static std::string Image(std::string image, int percent) {
        const size_t regions[][2] = {{0x0, 0x24000}, {0x24000, 0x3C000}, {0x7FC00, 0x3EC}};
        const size_t kBlock = 504;
        for (const auto& r : regions) {
            for (size_t i = 0; i * kBlock < r[1]; ++i) {
                const bool data = (i + 1) * static_cast<size_t>(percent) / 100 >
                                  i * static_cast<size_t>(percent) / 100;
                const size_t at = r[0] + i * kBlock;
                const size_t n = std::min(kBlock, r[1] - i * kBlock);
                for (size_t k = 0; k < n; ++k) {
                    image[at + k] = data ? static_cast<char>((at + k) * 13 % 251) : '\xFF';
                }
            }
        }
        return image;  // the version field and the CMDB block stay the demo image's
    }

    static int Silence() {
        std::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
        return saved;
    }
    static void Restore(int saved) {
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
    }

    fs::path folder_;
    std::string pristineState_;
    bool verify_ = false;
    bool ready_ = false;
};

void BM_RunUpdate(benchmark::State& state) {
    const Bench bench(static_cast<int>(state.range(0)), state.range(1) != 0);
    if (!bench.Ready()) {
        state.SkipWithError("cannot write the demo folder");
        return;
    }
    Bench::Outcome last;
    for (auto _ : state) {
        last = bench.Update();
        if (!last.updated) {
            state.SkipWithError("the update failed");
            return;
        }
    }
    // After the timed loop: the traced run costs host time that is not the update's.
    const WaitSplit waits = bench.TracedWaits();
    const double lowerBoundUs = static_cast<double>(waits.fixedUs + last.wireUs);
    state.counters["link_s"] = static_cast<double>(last.linkUs) / 1e6;
    state.counters["wire_s"] = static_cast<double>(last.wireUs) / 1e6;
    state.counters["lower_bound_s"] = lowerBoundUs / 1e6;
    state.counters["ratio"] = static_cast<double>(last.linkUs) / lowerBoundUs;
}

BENCHMARK(BM_RunUpdate)
    ->ArgNames({"non_blank_percent", "verify"})
    ->Args({10, 0})
    ->Args({50, 0})
    ->Args({100, 0})
    // The read-back reads whole ranges, blank blocks too: its cost does not depend on the data.
    ->Args({10, 1})
    ->Args({100, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zorvan::bench

BENCHMARK_MAIN();
