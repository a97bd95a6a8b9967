#include "core/config/LoadConfig.h"

#include <optional>

#include "core/control/ZorvanControl.h"
#include "core/platform/Files.h"
#include "core/platform/PrivateProfile.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

constexpr int32_t kAbsent = -1;  // every integer key is read with this default
constexpr size_t kMaxPathValue = 511;

constexpr wchar_t kGeneralFailure[] = L"General file access failure.\r\n";
constexpr wchar_t kConsoleNoSection[] =
    L"Please ensure that Config.ini is present and is not corrupted.\r\n";
constexpr wchar_t kGuiNoSection[] =
    L"Please ensure that \"config.ini\" is present and is not corrupted.\r\n";

// "At most" limits compare the value as unsigned, so negative values other than -1 pass
// as large numbers.
bool AbsentOrAtMost(int32_t v, uint32_t limit) {
    return v == kAbsent || static_cast<uint32_t>(v) <= limit;
}

uint16_t Low16(int32_t v) { return static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFFu); }

class SectionReader {
public:
    SectionReader(const platform::PrivateProfile& profile, ConfigProgram program,
                  const std::wstring& folder)
        : profile_(profile), program_(program), folder_(folder) {}

    int32_t Int(const wchar_t* key) const { return profile_.GetInt(kConfigSection, key, kAbsent); }
    std::wstring Text(const wchar_t* key) const {
        return profile_.GetString(kConfigSection, key, L"", kMaxPathValue);
    }

    // A path key: an empty value leaves `member` as it is. Returns true when a value was given.
    bool Path(const wchar_t* key, std::wstring& member, bool stripTrailingSeparator = false) const {
        std::wstring value = profile_.GetString(kConfigSection, key, L"", kMaxPathValue);
        if (value.empty()) {
            return false;
        }
        if (stripTrailingSeparator &&
            (value.back() == L'\\' || value.back() == platform::PathSeparator())) {
            value.pop_back();
        }
        member = Resolve(value);
        return true;
    }

private:
    // An absolute value names its file already; gluing it onto the program folder would
    // only make a path that cannot exist. The GUI also takes any value with a colon as
    // absolute.
    std::wstring Resolve(const std::wstring& value) const {
        if (platform::IsAbsolutePath(value)) {
            return value;
        }
        if (program_ == ConfigProgram::Gui && value.find(L':') != std::wstring::npos) {
            return value;
        }
        return folder_ + value;
    }

    const platform::PrivateProfile& profile_;
    ConfigProgram program_;
    const std::wstring& folder_;
};

bool HasFirmwareSection(const platform::PrivateProfile& profile) {
    for (const std::wstring& name : profile.SectionNames()) {
        if (EqualsNoCase(name, kConfigSection)) {
            return true;
        }
    }
    return false;
}

// The Linux backend's keys; a connector selects the backend after the vendors' keys.
void ReadLinuxLink(const SectionReader& r, IspConfig& c) {
    c.linuxLink.connector = r.Text(L"LinuxConnector");
    c.linuxLink.forceDdc = r.Int(L"LinuxForceDdc") == 1;
    if (c.gfxSelection == GFX_AUTO && !c.linuxLink.connector.empty()) {
        c.gfxSelection = GFX_LINUX;
        c.deviceId = 0;
    }
}

void ReadVendorSelection(const SectionReader& r, IspConfig& c) {
    int32_t v = r.Int(L"IntelLegacyDeviceId");
    if (v != kAbsent) {
        c.gfxSelection = GFX_INTEL;
        c.deviceId = static_cast<uint32_t>(v);
    } else if ((v = r.Int(L"DeviceID")) != kAbsent) {
        c.gfxSelection = GFX_INTEL_LSPCON;
        c.deviceId = static_cast<uint32_t>(v);
    }
    if (c.gfxSelection == GFX_AUTO && (v = r.Int(L"NvidiaDeviceId")) != kAbsent) {
        c.gfxSelection = GFX_NVIDIA;
        c.deviceId = static_cast<uint32_t>(v);
    }
    if (c.gfxSelection == GFX_AUTO && (v = r.Int(L"AmdDeviceId")) != kAbsent) {
        c.gfxSelection = GFX_AMD;
        c.deviceId = static_cast<uint32_t>(v);
    }
    ReadLinuxLink(r, c);
}

// The per-port values of the GUI fall back to the host values read just before.
void ReadPort(const SectionReader& r, const wchar_t* suffix, const IspConfig& c, PortConfig& p) {
    auto key = [suffix](const wchar_t* base) { return std::wstring(base) + suffix; };
    int32_t v = r.Int(key(L"Ddc2biAddr").c_str());
    p.ddcAddress = (v == kAbsent || v == 0) ? c.ddcAddress : static_cast<uint32_t>(v);
    v = r.Int(key(L"RamWriteAddr").c_str());
    p.ramWriteAddress = AbsentOrAtMost(v, 128) ? c.ramWriteAddress : Low16(v);
    v = r.Int(key(L"RunAtAddr").c_str());
    p.runAtAddress = AbsentOrAtMost(v, 128) ? c.runAtAddress : Low16(v);
    v = r.Int(key(L"FlashStartAddr").c_str());
    p.flashStartAddress = AbsentOrAtMost(v, 4096) ? c.flashStartAddress : static_cast<uint32_t>(v);
}

void ReadAddresses(const SectionReader& r, ConfigProgram program, IspConfig& c) {
    const bool gui = program == ConfigProgram::Gui;
    int32_t v = r.Int(L"Ddc2biAddr");
    c.ddcAddress = (v == kAbsent || v == 0) ? 0x6Eu : static_cast<uint32_t>(v);
    v = r.Int(L"RamWriteAddr");
    c.ramWriteAddress = AbsentOrAtMost(v, 128) ? uint16_t{0x1800} : Low16(v);
    v = r.Int(L"RunAtAddr");
    c.runAtAddress = AbsentOrAtMost(v, 128) ? uint16_t{0x1800} : Low16(v);
    v = r.Int(L"FlashStartAddr");
    c.flashStartAddress =
        AbsentOrAtMost(v, gui ? 4096 : 128) ? 0x400000u : static_cast<uint32_t>(v);
    if (gui) {
        ReadPort(r, L"P1", c, c.port1);
        ReadPort(r, L"P2", c, c.port2);
    }
    v = r.Int(L"IspDrvRunDelay");
    c.ispDriverRunDelay = AbsentOrAtMost(v, gui ? 500 : 50) ? 800 : v;
    if (gui) {
        v = r.Int(L"NextIspDelay");
        c.nextIspDelay = AbsentOrAtMost(v, 50) ? 100 : v;
        c.fwComparison = r.Int(L"FwComparison") != 0;
    }
}

void ReadSwitchesAndPaths(const SectionReader& r, ConfigProgram program, IspConfig& c) {
    const bool gui = program == ConfigProgram::Gui;
    c.runResetOne = r.Int(L"RunResetOne") != 0;
    c.notDeleteLogFile = r.Int(L"NotDeleteLogFile") == 1;
    c.debugMode = r.Int(L"DebugMode") == 1;
    c.exitStatus = r.Int(L"ExitStatus") == 1;
    if (gui) {
        c.oneStepProgramming = r.Int(L"OneStepProgramming") != 0;
        if (c.oneStepProgramming) {
            c.debugMode = false;
        }
        r.Path(L"DriverFilePath", c.driverPath);
        r.Path(L"FWFilePath", c.firmwarePath);
        r.Path(L"FWFilePathP1", c.fwFilePathP1);
        r.Path(L"FWFilePathP2", c.fwFilePathP2);
    } else {
        if (r.Path(L"FWFilePath", c.firmwarePath)) {
            c.firmwareReady = true;
        }
        r.Path(L"DriverFilePath", c.driverPath);
    }
    c.secureIsp = r.Int(L"SecureISP") == 1;
    c.programDeviceCertificate = r.Int(L"ProgramDeviceCertificate") == 1;
    c.programCmdb = r.Int(L"ProgramCMDB") == 1;
    c.verifyAfterWrite = r.Int(L"VerifyAfterWrite") == 1;
    if (c.secureIsp) {
        r.Path(L"ESMFilePath", c.esmPath);
    }
    r.Path(L"KeysFilePath", c.keysPath, true);
    r.Path(L"CMDBFilePath", c.cmdbPath);
    if (gui && c.oneStepProgramming) {
        c.debugMode = false;
        c.secureIsp = false;
        c.programDeviceCertificate = false;
    }
}

void CopyToControl(const IspConfig& c, ZorvanControl& control) {
    control.gfxSelection = c.gfxSelection;
    control.deviceId = c.deviceId;
    control.ddcAddress = c.ddcAddress;
    control.flashStartAddress = c.flashStartAddress;
    control.ramWriteAddress = c.ramWriteAddress;
    control.runAtAddress = c.runAtAddress;
    control.secureIsp = c.secureIsp ? 1 : 0;
    control.driverPath = c.driverPath;
    control.firmwarePath = c.firmwarePath;
    control.esmPath = c.esmPath;
    control.keysPath = c.keysPath;
    control.cmdbPath = c.cmdbPath;
    control.gfxLinux.settings = c.linuxLink;
}

}  // namespace

bool LoadConfigFromFolder(ConfigProgram program, const std::wstring& programFolder,
                          IspConfig& config, ZorvanControl& control, std::wstring& message) {
    if (programFolder.empty()) {
        message = kGeneralFailure;
        return false;
    }
    const std::wstring path = programFolder + kConfigFileName;
    platform::FileProblem problem;
    const std::optional<platform::PrivateProfile> profile =
        platform::PrivateProfile::Load(path, &problem);
    if (!profile || !HasFirmwareSection(*profile)) {
        message = program == ConfigProgram::Console ? kConsoleNoSection : kGuiNoSection;
        // A missing file says no more; anything else that kept it from being read is named.
        if (!profile && problem.error != platform::FileError::kMissing) {
            message += platform::DescribeFileProblem(path, problem) + L".\r\n";
        }
        return false;
    }
    const SectionReader reader(*profile, program, programFolder);
    IspConfig loaded = config;
    loaded.gfxSelection = GFX_AUTO;
    loaded.deviceId = 0;
    ReadVendorSelection(reader, loaded);
    ReadAddresses(reader, program, loaded);
    ReadSwitchesAndPaths(reader, program, loaded);
    config = loaded;
    CopyToControl(config, control);
    return true;
}

bool LoadConfig(ConfigProgram program, IspConfig& config, ZorvanControl& control,
                std::wstring& message) {
    return LoadConfigFromFolder(program, platform::ProgramFolder(), config, control, message);
}

}  // namespace zorvan
