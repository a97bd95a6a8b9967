#pragma once
// The main dialog's logic: configuration shown in the controls, the layouts, the button
// states, the file boxes, the progress bar, the output box and the version panel. It
// speaks to its window only through DialogHost, so it runs the same on the real toolkit
// and on the in-memory dialog of the tests.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/config/IspConfig.h"
#include "core/control/FlashVerify.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/LinkLock.h"
#include "gui/CColorStatic.h"
#include "gui/dialog/DialogHost.h"
#include "sim/Activation.h"

namespace zorvan::gui {

enum StatusColour { STATUS_NORMAL, STATUS_FAILED, STATUS_PASSED };

// How far the secure update's preparation got: on to the chip, stopped quietly (a key-file
// failure or No to the question), or failed.
enum class SecureStage { kGo, kStopped, kFailed };

inline constexpr ColorRef kFailedBackground = 0xB4A0F0;
inline constexpr ColorRef kPassedBackground = 0x78F0A0;
inline constexpr uint32_t PORT_SWITCH_ADDRESS = 0x60;
inline constexpr int32_t kProgressRange = 4096;
inline constexpr wchar_t kAppTitle[] = L"ZorvanQuillon";
inline constexpr int32_t IDCANCEL = 2;

// Where the program runs: the folder of Config.ini (with its trailing separator).
struct DialogEnvironment {
    std::wstring programFolder;
};

class ZorvanQuillonDlg final : public ZorvanControlDelegate, public DialogEvents {
  public:
    ZorvanQuillonDlg(DialogHost& host, DialogEnvironment environment);
    ~ZorvanQuillonDlg();
    ZorvanQuillonDlg(const ZorvanQuillonDlg&) = delete;
    ZorvanQuillonDlg& operator=(const ZorvanQuillonDlg&) = delete;

    // --- DialogEvents ---
    void OnInitDialog() override;
    void OnCommand(ControlId id, Notification what) override;
    bool OnSysCommand(uint32_t command) override;
    void OnEnter() override;
    void OnCancel() override;

    // --- ZorvanControlDelegate: the progress bar, range 0 to 4096 ---
    void UpdateProgress(int32_t done, int32_t total) override;

    // --- operations the procedures share ---
    void AppendStatus(const std::wstring& text);
    void SetPathBox(ControlId box, const std::wstring& path);
    void SetStatusColour(StatusColour state);
    void ResetAfterOperation();
    void UpdateButtonStates();
    bool SelectPort(int32_t port);
    void ReleasePort(int32_t port);
    bool BuildVersionReport(std::wstring& text);

    // --- state, for the procedures and the tests ---
    ZorvanControl& Control() { return control_; }
    const IspConfig& Settings() const { return config_; }
    bool HostReady() const { return hostReady_ != 0; }
    bool Port1Ready() const { return port1Ready_ != 0; }
    bool Port2Ready() const { return port2Ready_ != 0; }
    bool WriteCertificateMode() const { return writeCertificateMode_ != 0; }
    ChipType CurrentChipType() const { return currentChipType_; }
    const std::wstring& FwFilePath() const { return fwFilePath_; }
    const std::wstring& DriverFilePath() const { return driverFilePath_; }
    uint32_t NewVersion(int32_t device) const { return newVersion_[Device(device)]; }
    const std::wstring& NewVersionText(int32_t device) const {
        return newVersionText_[Device(device)];
    }
    const CColorStatic& StatusLine() const { return statusLine_; }
    bool OneStepLayout() const { return config_.oneStepProgramming; }

  private:
    static size_t Device(int32_t device) { return static_cast<size_t>(device) % 3; }

    // start-up
    void ApplyConfiguration();
    bool ActivateSimulator();
    void CheckSimulatedChipKept();
    void CompactLayout();
    void SetupOneStepPanel();
    void ShowDebugPicture();

    // the version panel
    void ShowPortRow(int32_t port);
    void PlaceOneStepColumn();

    // handlers
    void OnPathChanged(ControlId box);
    void OnKeyPathChanged();
    void OnBrowse(ControlId button);
    void OnCheckBox(ControlId box);
    void OnGetFwVersion();
    void OnRefresh();
    // The firmware update ("Start", "Update"); UpdateProcedure.cpp.
    void OnStart();
    std::wstring CurrentVersionLine();
    bool UpdateDevice(std::wstring& result);
    bool RunIspCore(int32_t& step);
    uint16_t ChooseEraseSelector();
    bool CompareFlashVersion();
    bool WriteFirmwareRegions(uint32_t& stepCode, std::wstring& result);
    std::wstring UpdateQuestion(bool certificateReady) const;
    // The second button: the secure update (SecureIsp.cpp), or the certificate write
    // (WriteCertificate.cpp).
    void OnSecureIsp();
    SecureStage PrepareSecureUpdate(std::wstring& result, bool& certificateReady);
    bool StartSecureDriver(std::wstring& result);
    bool StartSecureProcess(std::wstring& result);
    bool SecureFlashWork(bool certificateReady, std::wstring& result, uint32_t& version);
    uint16_t SecureEraseSelector();
    void RunWriteCertificate();
    // VerifyCertificate.cpp, and button 1035: VerifyCmdb.cpp or FlashErase.cpp.
    void OnVerifyCertificate();
    void OnEraseOrVerifyCmdb();
    void RunVerifyCmdb();
    void RunFlashErase();

    // Steps the procedures share; ProcedureSteps.cpp.
    // The link's lock for one procedure's chip traffic; null, after the failure is shown in
    // the output box and its message box, when another program holds the link.
    std::unique_ptr<platform::LinkLock> HoldLink();
    void BeginCommand(ControlId button);
    void ShowProgress(bool shown);
    void AppendStatusAndLog(const std::wstring& text);
    void ShowResult(const std::wstring& result, bool passed);
    // The certificate write and the flash erase: ISP entry without the pause between its
    // packets and without a settle time; then the driver download and start, the mailbox
    // and the flash ID, result receiving a failure's text.
    bool EnterIspModeQuickly();
    bool LoadAndRunIspDriver(std::wstring& result);
    // "Loading ISP driver... " with the progress bar shown: plain or secure download.
    bool DownloadDriverStep(bool secure, std::wstring& result);
    // Waits ispDriverRunDelay for the started driver, then takes its mailbox.
    void AwaitDriverMailbox();
    // "Get Flash ID ...... " and the "SPI Flash ID: " line.
    bool ReadFlashIdStep(std::wstring& result);
    // One area written from data with its progress counted against length: the text shown
    // while writing (then the progress bar, if it is shown), the failure text (with the step
    // code) and the line logged.
    struct AreaWrite {
        const wchar_t* writing;
        bool showsProgress;
        const wchar_t* failed;
        const wchar_t* done;
        const wchar_t* verifying;  // shown while it is read back (VerifyAfterWrite=1)
    };
    // With VerifyAfterWrite=1: `verifying`, then the ranges read back and compared; "done!"
    // (logged as `verifying` "Done"), or "failed!" with the first difference as the result.
    bool VerifyAfterWriteStep(const wchar_t* verifying, std::span<const WrittenRange> ranges,
                              std::wstring& result);
    bool WriteAreaStep(const uint8_t* data, int32_t length, uint8_t programCode,
                       uint32_t flashOffset, const AreaWrite& area, std::wstring& result);
    // "Flash writing "Device Certificate"... " at the certificate area, with programCode.
    bool WriteCertificateStep(uint8_t programCode, std::wstring& result);
    // Verifies the certificate just written through the ISP driver; the line to show.
    std::wstring VerifyWrittenCertificate(bool& verified);
    // "Flash writing CMDB... " with the progress bar shown: the CMDB file's record.
    bool WriteCmdbStep(std::wstring& result);
    // Whether the loaded firmware image holds the four signature bytes at offset.
    bool ImageHolds(uint32_t offset, const char (&signature)[5]) const;
    bool FlashHoldsCertificate();
    // The update erases the whole flash: the chip's certificate area is not in use, a
    // certificate from the key files is to be written, or (debug mode) the image carries one.
    bool FullEraseNeeded();

    // data exchange of the two check boxes
    void FlagsToCheckBoxes();
    void CheckBoxesToFlags();
    void MoveBy(ControlId id, int32_t dx, int32_t dy);
    void SetBoxColour(size_t box, ControlId id, bool own);

    DialogHost& host_;
    DialogEnvironment environment_;
    // The simulator outlives the core, whose backends release their drivers when it goes.
    std::unique_ptr<sim::Session> simulator_;
    bool simulatorFailureShown_ = false;
    ZorvanControl control_;
    CColorStatic statusLine_;
    bool cmdbPending_ = false;
    uint32_t onBoardVersion_ = 0;
    std::array<uint32_t, 3> newVersion_{};
    std::wstring fwFilePath_;
    std::wstring fwFilePathP1_;
    std::wstring fwFilePathP2_;
    std::wstring driverFilePath_;
    std::array<std::wstring, 3> newVersionText_;
    int32_t writeCertificateMode_ = 0;
    // Whether the output, driver, firmware, Port#1 and Port#2 boxes use their own colours.
    std::array<bool, 5> ownColours_{};
    IspConfig config_;
    int32_t hostReady_ = 0;
    int32_t port1Ready_ = 0;
    int32_t port2Ready_ = 0;
    ChipType currentChipType_ = CHIP_NONE;
    // The last adapter selection's result (2 until one ran: no link to lock).
    int32_t adapterSelection_ = 2;
};

}  // namespace zorvan::gui
