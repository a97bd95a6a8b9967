#pragma once
// A program folder on the virtual chip and the main dialog started on the in-memory
// dialog layer, as a user would start ZorvanQuillon from that folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/dialog/MemoryDialog.h"
#include "sim/chip/ChipState.h"

namespace zorvan::gui::testing {

// The virtual PC and chip, with the virtual clock so a run takes no time.
inline const std::string kSimulator = "[Simulator]\r\nEnabled=1\r\nClock=virtual\r\n";

class DialogFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Config.ini: section "Firmware Update" with the given lines, then `tail`.
    void WriteConfig(const std::string& lines, const std::string& tail = kSimulator);
    void WriteFile(const std::string& name, const std::string& bytes);
    // A full-size firmware image of version major.minor for the virtual chip's family.
    void WriteFirmware(const std::string& name, uint8_t major, uint8_t minor);
    void Remove(const std::string& name);
    std::string Path(const std::string& name) const;
    std::wstring WidePath(const std::string& name) const;
    std::string ReadLog() const;

    void Start(MemoryMetrics metrics = {});

    // A firmware image of the virtual chip's family, as MakeFirmwareImage builds it.
    static std::vector<uint8_t> Image(uint8_t major, uint8_t minor);
    void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes);
    // A KQ1100 chip state with this flash (serial 1500 unless told), powered up on it.
    void WriteChip(const std::vector<uint8_t>& flash, const std::string& name = "virtual-chip.state",
                   uint32_t serial = 1500);
    // Ends the program, which saves the virtual chips, and reads a chip's state back.
    sim::ChipState EndAndReadChip(const std::string& name = "virtual-chip.state");

    MemoryDialog& Dlg() { return *dialog_; }
    ZorvanQuillonDlg& Logic() { return *logic_; }
    const MemoryControl& Ctl(ControlId id) { return dialog_->Control(id); }
    std::wstring Text(ControlId id) { return dialog_->GetText(id); }

    std::filesystem::path folder_;

  private:
    std::filesystem::path previousFolder_;
    std::unique_ptr<MemoryDialog> dialog_;
    std::unique_ptr<ZorvanQuillonDlg> logic_;
};

}  // namespace zorvan::gui::testing
