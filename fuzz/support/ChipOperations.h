#pragma once
// The operations of the chip-control core that read what the chip answers, run in an order
// and with parameters chosen from the fuzzer's bytes (or from a seed's script). After each
// operation the core's own promises are checked; a broken one traps.
#include <cstdint>
#include <vector>

#include "core/control/ZorvanControl.h"
#include "fuzz/support/ChipAnswers.h"

namespace zorvan::fuzz {

enum class Operation : uint8_t {
    // over the command channel (DDC/CI)
    kGetChipType,
    kGetChipInfo,
    kReadRegister,
    kReadMemory,
    kReadOtpBlock,
    kCheckEsmStatus,
    kCheckCmdb,
    kEnterIspMode,
    kWaitAck,
    kWaitAckFast,
    kReceiveReply,
    kDownloadIspDriver,
    kRunIspDriver,
    kClearEsmHandle,
    kStartSecureIsp,
    kBootStartSecProc,
    kDownloadEsm,
    kStartSecProc,
    kSecureCommand76,
    kSendDriverSignature,
    kStartSignedDriver,
    kVerifyCmdbThroughChannel,
    kVerifyCertificateThroughMemory,
    kRawI2cRead,
    // a wait on the clock: the chip goes on meanwhile
    kPause,
    // through the ISP driver's mailbox (native AUX)
    kReadMailbox,
    kReadFlashId,
    kEraseFlash,
    kReadFlash,
    kReadFlashVersion,
    kProgramFlash,
    kProgramErasedRegion,
    kReadResponse,
    kClearResponse,
    kClearStatus,
    kSendRequest,
    kWriteBlock,
    kVerifyCmdbThroughDriver,
    kVerifyCertificateThroughDriver,
    kProgramSecureImage,
    kSystemReset,
    kRawAuxRead,
};

enum class OperationSet { kCommandChannel, kMailbox, kAll };

// Where the choices come from.
class Choices {
  public:
    virtual ~Choices() = default;
    virtual bool Done() const = 0;
    virtual uint8_t Next() = 0;
};

// The fuzzer's bytes.
class StreamChoices final : public Choices {
  public:
    explicit StreamChoices(AnswerStream& stream) : stream_(stream) {}
    bool Done() const override { return stream_.Empty(); }
    uint8_t Next() override { return stream_.Byte(); }

  private:
    AnswerStream& stream_;
};

// A seed's script: each choice is written to the seed where the fuzzer's byte will be.
class ScriptChoices final : public Choices {
  public:
    ScriptChoices(AnswerWriter& writer, std::vector<uint8_t> script)
        : writer_(writer), script_(std::move(script)) {}
    bool Done() const override { return next_ >= script_.size(); }
    uint8_t Next() override {
        const uint8_t choice = Done() ? 0 : script_[next_++];
        writer_.Byte(choice);
        return choice;
    }

  private:
    AnswerWriter& writer_;
    std::vector<uint8_t> script_;
    size_t next_ = 0;
};

// The choice that picks `operation` in `set`.
uint8_t ChoiceOf(OperationSet set, Operation operation);

// Loads the demo driver, ESM and CMDB files and a certificate into the core, as the
// procedures have them before they talk to the chip.
void PrepareControl(ZorvanControl& control);

// Runs operations until the choices are used up or `maxSteps` ran; returns what each gave
// (its result and a summary of what it read), so that two runs can be compared.
std::vector<int64_t> RunOperations(ZorvanControl& control, Choices& choices, OperationSet set,
                                   int maxSteps);

}  // namespace zorvan::fuzz
