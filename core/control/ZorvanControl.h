#pragma once
// The chip-control core: one object per process owns the display-link backends and
// everything that speaks to the converter chip. Its operations are defined in one
// source file per protocol layer (adapter selection, command channel, identity, ...).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/control/ChipType.h"
#include "core/control/Cmdb.h"
#include "core/control/IspTypes.h"
#include "core/control/StoredPackets.h"
#include "core/control/ZorvanControlDelegate.h"
#include "core/gfx/GfxLib.h"
#include "core/gfx/GfxLibAmd.h"
#include "core/gfx/GfxLibIntel.h"
#include "core/gfx/GfxLibIntelSkylake.h"
#include "core/gfx/GfxLibNvidia.h"
#include "core/gfx/linux/GfxLibLinux.h"

namespace zorvan {

class ZorvanControl {
public:
    ZorvanControl();
    ~ZorvanControl();
    ZorvanControl(const ZorvanControl&) = delete;
    ZorvanControl& operator=(const ZorvanControl&) = delete;

    // --- adapter selection ---
    // Picks, initialises and connects the configured backend; 0, 1 or 2.
    int32_t InitGraphicsAdapter(std::wstring& text);
    // The NVIDIA and AMD backends get extra pauses in the protocol; so does a stand-in link.
    bool GfxIsNvidiaOrAmd() const {
        return gfx != nullptr && (gfx == &gfxNvidia || gfx == &gfxAmd || gfx == nvidiaOrAmdStandIn);
    }

    // --- command channel (DDC/CI vendor commands over I2C-over-AUX) ---
    // Sends the vendor code and its parameters (count bytes, code first) as one packet.
    // Refused without any write when count is 0 or above 125.
    bool SendCommand(const uint8_t* command, int32_t count);
    // Reads one reply and copies its payload (n, echo, data) to out, at most out.size() bytes;
    // payloadLength, when given, receives the payload's full length. On failure the first two
    // bytes of out may hold a marker: 01 BE (null messages or no reply), 00 FF (checksum).
    // out may be rxBuffer itself.
    bool ReceiveReply(std::span<uint8_t> out, size_t* payloadLength = nullptr);
    // The acknowledgement after a vendor command: the normal and the download timing.
    bool WaitAck();
    bool WaitAckFast();
    // A download packet: sent whatever the write returns (a lost packet shows as a missing
    // acknowledgement), then acknowledged within up to `attempts` fast waits. announcedBytes:
    // see ddc::BuildCommandPacket (0: the count byte counts the command itself).
    bool SendAwaitingFastAck(std::span<const uint8_t> command, int attempts,
                             size_t announcedBytes = 0);
    // Sends a copy of a stored packet with its variable bytes filled in.
    bool SendFixedPacket(const FixedPacket& packet, std::span<const uint8_t> variableBytes = {});
    // Reads length bytes of the chip's address space into out (not rxBuffer); a piece that
    // comes back shorter than asked fails the read.
    bool ReadMemory(uint32_t address, uint8_t* out, int32_t length);
    // One 32-bit word; 0xFFFFFFFF without a valid reply, 0 when another address is echoed.
    uint32_t ReadRegister(uint32_t address);

    // --- chip identity ---
    ChipType GetChipType();
    // Reads the identification block, sets chipVersion, refines type 0 into 1 or 2 and
    // replaces text with the chip's description ("N/A" when the block is unreadable).
    void GetChipInfo(ChipType& type, std::wstring& text);

    // --- image and data files (text receives the failure message) ---
    bool LoadDriverFile(std::wstring& text);
    bool LoadFirmwareFile(std::wstring& text);
    bool LoadEsmFile(std::wstring& text);
    bool LoadCmdbFile(std::wstring& text);

    // --- Customized Data Block ---
    // Reads the record through chip memory (firmware running) and appends its status line.
    CmdbStatus CheckCmdb(std::wstring& text);

    // --- device certificate (defined in core/cert) ---
    // Reads and checks the OTP identity block and fetches the chip's record from the key
    // files into certificate; text receives the failure message.
    bool GetDeviceCertificate(std::wstring& text);
    // 1 the flash's certificate area holds exactly certificate; 240 its first 16 bytes are
    // blank; 0 otherwise. Reads through chip memory or through the running ISP driver.
    uint8_t VerifyCertificate(bool throughChipMemory);
    // Programs the whole firmwareImage through the secure program codes; the image's own
    // certificate and CMDB areas only when it carries them (and they are asked for). On
    // failure text receives the message and stepCode ProgramFlash's code.
    bool ProgramSecureImage(bool includeCertificate, uint32_t& stepCode, std::wstring& text,
                            bool skipCmdb);

    // --- ISP driver download and start ---
    // Switches the chip into ISP mode with the two vendor commands, then sleeps settleMs.
    // The dialog's secure variant runs them without the 1 ms pause between and sleeps
    // after the second whether it was acknowledged or not.
    bool EnterIspMode(uint32_t settleMs = 500, IspEntryPauses pauses = IspEntryPauses::kNormal);
    // Writes the ISP driver into chip RAM at ramWriteAddress in acknowledged packets.
    bool DownloadIspDriver(bool secure);
    bool RunIspDriver();
    // Takes the mailbox the running driver publishes; a missing or unusable descriptor
    // leaves the current mailbox members.
    void ReadMailbox();
    // Writes a request (first byte: its length) to the DPCD address, the length byte last.
    bool IspSendRequest(std::span<const uint8_t> request, uint32_t address);
    bool IspClearStatus();

    // --- secure ISP: the chip's security firmware (ESM) and the signed ISP driver ---
    // Each sends its packet and waits for the chip's answer; false when either fails.
    bool ClearEsmHandle();
    bool StartSecureIsp();
    // True when the status reply was read, echoes the status query and has bit 0x40 set;
    // esmStatus receives the status word (0 when no valid reply came).
    bool CheckEsmStatus(uint32_t& esmStatus);
    // Restarts the secure process of an ESM that already runs.
    bool BootStartSecProc();
    // Writes the payload of esmImage to the chip from 0x320000 on; esmLength becomes the
    // payload length its header announces.
    bool DownloadEsm();
    // Starts the downloaded ESM with esmLength.
    bool StartSecProc();
    // Its reply is waited for; the procedures do not use the result.
    bool SecureCommand76();
    // Hands the 256 signature bytes after the downloaded driver to the chip; driverPayload
    // then points at them.
    bool SendDriverSignature();
    // The chip verifies the driver at ramWriteAddress against its signature and starts it.
    bool StartSignedDriver();

    // --- SPI flash through the ISP driver ---
    // On failure text receives "Reading flash ID timed out!\r\n".
    bool ReadFlashId(uint16_t& flashId, std::wstring& text);
    bool EraseFlash(uint16_t eraseCode);
    bool SystemReset();
    // Plain flash offsets (0 .. 0x7FFFF); out must hold length bytes.
    bool ReadFlash(uint32_t flashOffset, uint8_t* out, int32_t length);
    // The image's version field read back from flash; 0 when it cannot be read.
    uint32_t ReadFlashVersion();
    // Programs data at regionOffset in blocks with a CRC-16. progress (may be null) counts
    // across calls against progressTotal; stepCode receives the failure code.
    bool ProgramFlash(const uint8_t* data, int32_t length, uint8_t programCode,
                      uint32_t regionOffset, int32_t* progress, int32_t progressTotal,
                      uint32_t* stepCode);
    // ProgramFlash into a region the erase before has just blanked: data of nothing but 0xFF
    // sends no block under the codes that skip erased blocks, which ProgramFlash reports as
    // a failure, yet the flash already holds exactly that, so it counts as written.
    bool ProgramErasedRegion(const uint8_t* data, int32_t length, uint8_t programCode,
                             uint32_t regionOffset, int32_t* progress, int32_t progressTotal,
                             uint32_t* stepCode);
    // The mailbox steps below ProgramFlash and ReadFlash.
    bool IspReadResponse(uint8_t* out, int32_t length);
    bool IspClearResponse();
    // Streams one block (data, then 00 00 and the CRC) through the command buffer halves.
    // readBack, when given, names the block's data in flash: a block whose completion never
    // comes counts as written only if it reads back equal.
    bool WriteBlock(const uint8_t* data, int32_t length, uint32_t* code,
                    const BlockReadBack* readBack = nullptr);

    // --- Customized Data Block, compared with cmdbImage: through the command channel
    // (firmware running) or through the ISP driver ---
    bool VerifyCmdb(bool throughCommandChannel);

    // --- members, in declaration order ---
    GfxLib* gfx = nullptr;
    GfxLibIntel gfxIntel;
    GfxLibIntelSkylake gfxIntelSkylake;
    GfxLibNvidia gfxNvidia;
    GfxLibAmd gfxAmd;
    GfxLibLinux gfxLinux;  // the Linux kernel's DRM AUX and i2c-dev nodes
    ZorvanControlDelegate* delegate = nullptr;

    uint8_t rxBuffer[512] = {};
    uint8_t txBuffer[528] = {};

    std::vector<uint8_t> esmImage;
    const uint8_t* esmPayload = nullptr;
    std::vector<uint8_t> driverImage;
    const uint8_t* driverPayload = nullptr;
    std::vector<uint8_t> firmwareImage;
    std::vector<uint8_t> certificate;
    std::vector<uint8_t> cmdbImage;
    uint8_t otpBlock[16] = {};  // the OTP identity block last read
    int32_t esmLength = 0;
    int32_t driverLength = 0;
    int32_t firmwareLength = 0;
    int32_t certificateLength = 0;
    int32_t cmdbLength = 0;

    uint32_t mailboxPointer = 0;
    uint32_t commandAddress = 0x20000;
    uint16_t commandSize = 512;
    uint32_t statusAddress = 0x10000;
    uint16_t statusSize = 128;
    uint32_t firstHalfFlagAddress = 0x200FF;
    uint32_t secondHalfFlagAddress = 0x201FF;

    uint32_t binVersion = 0;
    int32_t gfxSelection = GFX_AUTO;
    uint32_t deviceId = 0;
    uint32_t ddcAddress = 0x6E;
    uint32_t flashStartAddress = 0x400000;
    uint16_t ramWriteAddress = 0x1800;
    uint16_t runAtAddress = 0x1800;
    int32_t secureIsp = 0;
    uint32_t chipVersion = 0;

    std::wstring esmPath;
    std::wstring driverPath;
    std::wstring firmwarePath;
    std::wstring keysPath;
    std::wstring cmdbPath;
    std::wstring gfxName;

    // What LoadDriverFile found: a 4-byte length header (then driverCodeLength bytes of code
    // follow it in the file) and, after that code, the 256 signature bytes secure ISP sends.
    bool driverHasHeader = false;
    uint32_t driverCodeLength = 0;
    bool driverHasSignature = false;

    // A link other than the embedded backends that is to be paced like NVIDIA and AMD (the
    // tests' scripted links stand in for those backends through it); null in the programs.
    const GfxLib* nvidiaOrAmdStandIn = nullptr;

private:
    // The mailbox steps inside the flash operations.
    void PaceForNvidiaOrAmd(uint16_t ms) const;
    Completion PollCompletion(const CompletionPolling& rule);
    bool WaitFirstHalfFree();
    // flagNeeded: false when a write reported failed had arrived after all (read back).
    bool WriteBlockHeader(const std::array<uint8_t, 8>& header, bool& flagNeeded);
    // One block from txBuffer: request, header, WriteBlock; step receives a failure's code.
    bool ProgramBlock(const MailboxRequest& request, const std::array<uint8_t, 8>& header,
                      const BlockReadBack& readBack, uint32_t& blockCode, uint32_t& step);
    bool WaitHalfFree(uint32_t flagAddress);
    bool WriteHalf(uint32_t address, const uint8_t* data, int32_t count);
    bool WriteHalfFlag(uint32_t flagAddress, uint8_t count);
    bool BlockReadsBack(const uint8_t* data, const BlockReadBack& readBack);
    // The I2cRead capacity for one reply: the backend's, bounded by rxBuffer.
    int32_t ReplyCapacity() const;
    // One reply read into rxBuffer; count receives the bytes it really holds.
    int32_t ReadReplyOnce(int32_t& count);
    bool CheckAcknowledgement(int32_t count) const;
    bool ReadIdentificationBlock(ChipType type);
};

}  // namespace zorvan
