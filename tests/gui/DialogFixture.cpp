#include "tests/gui/DialogFixture.h"

#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "core/platform/Text.h"
#include "sim/chip/ChipState.h"
#include "sim/demo/DemoImages.h"
#include "sim/state/StateFile.h"

namespace zorvan::gui::testing {

void DialogFixture::SetUp() {
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() /
              ("quillon-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(folder_);
    previousFolder_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_);  // the log lies in the working folder

    // A KQ1100 running firmware 1.05; the folder offers 1.06, its driver and a CMDB file.
    const std::vector<uint8_t> old = sim::MakeFirmwareImage(sim::ChipFamily::Kq1100, {1, 5, 0});
    sim::ChipState chip = sim::NewChipState(sim::ChipFamily::Kq1100, 1500);
    chip.flash = old;
    sim::PowerCycle(chip);
    std::wstring error;
    ASSERT_TRUE(sim::SaveState(WidePath("virtual-chip.state"), chip, error));
    WriteFirmware("firmware.bin", 1, 6);
    WriteFile("driver.bin", std::string(64, '\x5A'));
    const std::vector<uint8_t> cmdb = sim::MakeCmdbRecord(2, 1, 3, 4, {});
    WriteFile("cmdb.bin", std::string(cmdb.begin(), cmdb.end()));
    WriteFile("esm.bin", std::string(300, '\x11'));
    std::filesystem::create_directories(folder_ / "keys");
}

void DialogFixture::TearDown() {
    logic_.reset();  // saves the virtual chip while the folder still exists
    dialog_.reset();
    std::filesystem::current_path(previousFolder_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void DialogFixture::WriteConfig(const std::string& lines, const std::string& tail) {
    WriteFile("Config.ini", "[Firmware Update]\r\n" + lines + "\r\n" + tail);
}

void DialogFixture::WriteFile(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories((folder_ / name).parent_path());
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
}

void DialogFixture::WriteFirmware(const std::string& name, uint8_t major, uint8_t minor) {
    const std::vector<uint8_t> image =
        sim::MakeFirmwareImage(sim::ChipFamily::Kq1100, {major, minor, 0});
    WriteFile(name, std::string(image.begin(), image.end()));
}

void DialogFixture::Remove(const std::string& name) {
    std::filesystem::remove_all(folder_ / name);
}

std::string DialogFixture::Path(const std::string& name) const {
    return (folder_ / name).string();
}

std::wstring DialogFixture::WidePath(const std::string& name) const {
    return FromUtf8(Path(name));
}

std::string DialogFixture::ReadLog() const {
    std::ifstream in(folder_ / "ZorvanQuillon.log", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<uint8_t> DialogFixture::Image(uint8_t major, uint8_t minor) {
    return sim::MakeFirmwareImage(sim::ChipFamily::Kq1100, {major, minor, 0});
}

void DialogFixture::WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteFile(name, std::string(bytes.begin(), bytes.end()));
}

void DialogFixture::WriteChip(const std::vector<uint8_t>& flash, const std::string& name,
                              uint32_t serial) {
    sim::ChipState chip = sim::NewChipState(sim::ChipFamily::Kq1100, serial);
    chip.flash = flash;
    sim::PowerCycle(chip);
    std::wstring error;
    ASSERT_TRUE(sim::SaveState(WidePath(name), chip, error)) << ToUtf8(error);
}

sim::ChipState DialogFixture::EndAndReadChip(const std::string& name) {
    logic_.reset();
    std::wstring error;
    std::optional<sim::ChipState> chip = sim::LoadState(WidePath(name), error);
    EXPECT_TRUE(chip.has_value()) << ToUtf8(error);
    return chip.value_or(sim::ChipState{});
}

void DialogFixture::Start(MemoryMetrics metrics) {
    dialog_ = std::make_unique<MemoryDialog>(MainDialogTemplate(), metrics);
    logic_ = std::make_unique<ZorvanQuillonDlg>(
        *dialog_, DialogEnvironment{FromUtf8(folder_.string() + "/")});
    dialog_->Start(*logic_);
}

}  // namespace zorvan::gui::testing
