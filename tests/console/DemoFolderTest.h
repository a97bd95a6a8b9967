#pragma once
// A demo folder made by `zorvan-sim assets` with ZorvanISP in it, against the virtual chip:
// runs the program, reads what it showed and logged, edits Config.ini and reads the chip's
// flash and state back through the tool.
#include <gtest/gtest.h>

#include <string>

#include "tests/console/ProgramRunner.h"

namespace zorvan::testing {

// The console with every progress rewrite (four backspaces and four columns) taken out.
inline std::string WithoutProgress(const std::string& output) {
    std::string out;
    for (size_t i = 0; i < output.size(); ++i) {
        if (output.compare(i, 4, "\b\b\b\b") == 0 && i + 8 <= output.size()) {
            i += 7;
            continue;
        }
        out += output[i];
    }
    return out;
}

class DemoFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const RunResult made = tool_.Run({"assets", program_.Folder().string()});
        ASSERT_EQ(made.exitStatus, 0) << made.errors;
    }

    RunResult Run(const std::string& option = "-Run") const {
        RunResult result = program_.Run({option});
        EXPECT_EQ(result.exitStatus, 0) << result.errors;
        return result;
    }
    std::string Screen(const std::string& option = "-Run") const {
        return WithoutProgress(Run(option).output);
    }
    std::string Log() const { return program_.ReadLog().value_or(""); }
    std::string StatePath() const { return (program_.Folder() / "virtual-chip.state").string(); }
    std::string Flash() const {
        const std::string out = (program_.Folder() / "flash.bin").string();
        EXPECT_EQ(tool_.Run({"dump-flash", StatePath(), out}).exitStatus, 0);
        return program_.ReadFile("flash.bin").value_or("");
    }
    std::string ChipInfo() const { return tool_.Run({"info", StatePath()}).output; }

    // Lines added at the start of a section of Config.ini.
    void AddTo(const std::string& section, const std::string& lines) const {
        std::string ini = program_.ReadFile("Config.ini").value_or("");
        const std::string header = "[" + section + "]\r\n";
        const size_t at = ini.find(header);
        ASSERT_NE(at, std::string::npos);
        ini.insert(at + header.size(), lines);
        program_.WriteConfig(ini);
    }
    // Takes out the line that sets the key.
    void RemoveKey(const std::string& key) const {
        std::string ini = program_.ReadFile("Config.ini").value_or("");
        const size_t at = ini.find("\n" + key + "=");
        ASSERT_NE(at, std::string::npos);
        ini.erase(at + 1, ini.find("\r\n", at) + 1 - at);
        program_.WriteConfig(ini);
    }
    void Configure(const std::string& lines) const { AddTo("Firmware Update", lines); }
    void Simulate(const std::string& lines) const { AddTo("Simulator", lines); }

    ProgramRunner program_{"ZorvanISP"};
    ProgramRunner tool_{"zorvan-sim"};
};

}  // namespace zorvan::testing
