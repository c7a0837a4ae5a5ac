#pragma once
// The programmer's command protocol: status lines, reset, error fetch, target connection,
// the information block and the header frame. Operations take what they send as
// parameters and return what happened; they show nothing. The windows' rule ("returns 1/0
// and has shown its own message") is applied one layer up, from the outcome's notices.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/Bridge.h"
#include "link/Pacer.h"
#include "link/ProgrammerErrors.h"
#include "link/ProgrammerInfo.h"

namespace fd {

// Command bytes.
inline constexpr std::uint8_t kCmdSelect = 'L';
inline constexpr std::uint8_t kCmdInfo = 'I';
inline constexpr std::uint8_t kCmdConnect = 'C';
inline constexpr std::uint8_t kCmdIdCode = 'U';
inline constexpr std::uint8_t kCmdStart = 'S';
inline constexpr std::uint8_t kCmdErase = 'E';
inline constexpr std::uint8_t kCmdRead = 'R';
inline constexpr std::uint8_t kCmdHeader = 'B';
inline constexpr std::uint8_t kCmdHeaderData = 'D';
inline constexpr std::uint8_t kCmdProgram = 'P';
inline constexpr std::uint8_t kCmdLast = 'H';
inline constexpr std::uint8_t kMarkSelected = 0x02;
inline constexpr std::uint8_t kMarkCleared = 0x00;

// Progress bytes of the gang run.
inline constexpr std::uint8_t kProgressErasing = 0x65;
inline constexpr std::uint8_t kProgressDone = 0x64;
// The most progress bytes one poll of the gang run takes from the receive queue.
inline constexpr std::uint32_t kMaxProgressBytes = 128;

// What a target connection sends: the product's type code, the power code and the ID code.
struct TargetSetup {
  char typeCode = '0';
  std::uint8_t power = 0x00;
  IdCode idCode{};
};

// Something a window would tell the user about a failure.
struct Notice {
  enum class Kind { Error, Warning };
  Kind kind = Kind::Error;
  std::string text;
  bool operator==(const Notice&) const = default;
};

// How a protocol operation ended.
struct Outcome {
  enum class Failure {
    None,
    ProgrammerError,  // the programmer reported `code`
    UnreadableError,  // an error was waiting but its code could not be read
    TimeOut,          // the busy bit did not clear in time
    CannotReset,
    BadResult,        // a result byte other than 0
    Link,             // a write or read failed; nothing to tell
  };
  Failure failure = Failure::None;
  std::uint8_t code = 0;        // with ProgrammerError
  std::vector<Notice> notices;  // in the order a window shows them; empty when silent
  bool resetOk = true;          // after a fetched error: the reset that follows it worked

  bool ok() const { return failure == Failure::None; }
  static Outcome Success() { return {}; }
  static Outcome Silent() { return {Failure::Link, 0, {}, true}; }
  static Outcome Error(Failure failure, std::string text) {
    return {failure, 0, {{Notice::Kind::Error, std::move(text)}}, true};
  }
};

// How opening a programmer ended: its handle, or the step that failed (nothing stays open).
struct OpenedProgrammer {
  enum class Failure { None, CannotOpen, LineSettings };
  BridgeHandle handle = kNoHandle;
  Failure failure = Failure::None;
  bool ok() const { return failure == Failure::None; }
};

// What one poll of a programmer in the gang run saw.
struct GangPoll {
  enum class Kind {
    Busy,      // still working, nothing to read
    Gone,      // its status line no longer reads (unplugged)
    Error,     // it reported `value`, the programmer's error code (0xFF: unreadable)
    Quiet,     // idle with nothing new in the receive queue
    Lost,      // bytes were waiting but could not be read
    Progress,  // `value` is the last progress byte it sent
  };
  Kind kind = Kind::Busy;
  std::uint8_t value = 0;
};

// Whether the programmer is ready for the next group of a data transfer.
enum class GroupReady { Yes, Error, TimedOut };

// How one page read ('R') went; the answer is whole only with Ok.
enum class PageRead { NotSent, TimedOut, ErrorWaiting, NoAnswer, Ok };

// One look at an erase ('E') in progress.
enum class EraseState { Busy, ErrorWaiting, NoResult, Failed, Done };

// Every exchange with a programmer goes through here: the windows, the command line and the
// gang run hold handles and call these operations, never the bridge itself.
class Protocol {
public:
  Protocol(Bridge& bridge, Pacer& pacer);

  // --- Ports: enumerate, open and configure, close.
  // How many devices are attached; nothing when the count cannot be read.
  std::optional<std::uint32_t> CountProgrammers();
  // True when device `index`'s product strings read, joined, kProgrammerProductId.
  bool IsOurProgrammer(std::uint32_t index);
  // Opens device `index` and sets the time-outs, `baud` and 8N1. A link that cannot be set
  // up is closed again.
  OpenedProgrammer OpenProgrammer(std::uint32_t index, std::uint32_t baud = kNormalBaud);
  void CloseProgrammer(BridgeHandle handle);
  // Drives the reset line and leaves it driven: the programmer stops and stays stopped.
  void HoldInReset(BridgeHandle handle);
  // The self-test's looks at the lines: the joined product strings of device `index` (those
  // that read), one status byte, and the reset line driven or released.
  std::string ProductStrings(std::uint32_t index);
  std::optional<std::uint8_t> ReadStatus(BridgeHandle handle);
  bool DriveResetLine(BridgeHandle handle, bool driven);

  // --- The gang run.
  // 'L' 0x02 then 'S'; true when both went out.
  bool StartGang(BridgeHandle handle);
  // Busy and result lines, then the receive queue: the newest progress byte (at most
  // `kMaxProgressBytes` taken per poll), or the error code when one is waiting.
  GangPoll PollGang(BridgeHandle handle);

  // --- The data transfer, erase and read.
  // Up to `polls` status reads for the busy bit to clear; the result bit of that read and
  // of one more at once tells whether an error is waiting.
  GroupReady WaitReadyForGroup(BridgeHandle handle, int polls);
  // The same look at several programmers in rounds: each one's status read in turn, one
  // pause a round while any is still busy, each within its own `polls` reads. Each
  // programmer gets the reads a look at it alone would give it; the answers are in the
  // order of `handles`.
  std::vector<GroupReady> WaitReadyForGroups(const std::vector<BridgeHandle>& handles, int polls);

  // Writes for several programmers at once: each entry's writes go to its programmer in
  // order, one bridge write each, and stop at the first that does not go out whole. The
  // programmers sit on ports of their own, so their writes run side by side (one thread a
  // programmer while more than one has something to send) and a tick costs the longest
  // of them, not their sum. The counts of writes that went out are in the order of `batches`.
  struct WriteBatch {
    BridgeHandle handle = kNoHandle;
    std::vector<std::vector<std::uint8_t>> writes;
  };
  std::vector<std::size_t> WriteSideBySide(const std::vector<WriteBatch>& batches);
  // Off: the batches are written one after another (a deterministic order for tests).
  void setSideBySideWrites(bool on) { sideBySide_ = on; }
  // 'E' and the block's page number; true when all three bytes went out.
  bool SendErase(BridgeHandle handle, std::uint16_t page);
  // The busy and result lines after 'E', then its result byte once it is there.
  EraseState PollErase(BridgeHandle handle);
  // 'R' for `page` after the receive queue is emptied, up to `busyPolls` status reads, then
  // the two CRC bytes and the page's data into `answer` (kReadAnswerSize bytes).
  PageRead ReadPage(BridgeHandle handle, std::uint16_t page, int busyPolls, std::uint8_t* answer);

  // True as soon as every bit of `mask` reads clear, within `polls` reads.
  bool WaitStatusLine(BridgeHandle handle, std::uint8_t mask, int polls);
  // Reset pulse, wait for the programmer to leave busy, 'L' 0x02 when `sendMark` is 1.
  Outcome ResetProgrammer(BridgeHandle handle, int sendMark);
  // The same reset for several programmers at once, so that they share one pulse and one
  // wait: every reset line driven, one pulse, every line released, then each programmer's
  // busy bit polled in turn (each within its own 500 reads, one pause per round), then
  // 'L' 0x02 to each when `sendMark` is 1. Each programmer sees what a reset of it alone
  // sends it, in the same order; one that fails does not hold up the others. The outcomes
  // are in the order of `handles`.
  std::vector<Outcome> ResetProgrammers(const std::vector<BridgeHandle>& handles, int sendMark);
  // The error-request line and the one-byte code; nothing when the code does not arrive.
  // The line stays driven: the caller resets, or holds the programmer in reset.
  std::optional<std::uint8_t> ReadErrorCode(BridgeHandle handle);
  // The code with its message, then the reset every fetched error is followed by. The
  // outcome is the programmer's error even when the reset after it succeeded.
  Outcome FetchProgrammerError(BridgeHandle handle);
  // The code of the last error fetched from the programmer behind `handle` since
  // forgetErrorCode(handle): the record of an operation names the code its window showed.
  std::optional<std::uint8_t> lastErrorCode(BridgeHandle handle) const;
  void forgetErrorCode(BridgeHandle handle);

  // How a failed read of the result byte is reported at the end of a handshake.
  enum class SilentRead { Yes, No };
  // Busy clear within `busyLimit` polls, result bit set, result byte 0.
  Outcome CompletionHandshake(BridgeHandle handle, int busyLimit, SilentRead silentRead);
  // The same handshake with several programmers, their busy waits overlapped in rounds.
  std::vector<Outcome> CompletionHandshakes(const std::vector<BridgeHandle>& handles, int busyLimit,
                                            SilentRead silentRead);
  // Each programmer's busy bit polled in rounds until it reads clear, each within its own
  // `polls` reads; true for those that cleared, in the order of `handles`.
  std::vector<bool> WaitNotBusy(const std::vector<BridgeHandle>& handles, int polls);

  // 'L' 0x02, 'C' with type and power, then 'U' with the ID code, each with its handshake.
  Outcome ConnectTarget(BridgeHandle handle, const TargetSetup& setup);
  // 'I': the 89-byte block into `block` (only a whole block). Any failure closes the handle.
  Outcome ReadProgrammerInfo(BridgeHandle handle, ProgrammerInfo& block);
  // 'I' to several programmers at once, so that they work out their answers side by side:
  // each one flushed and asked, then each one's busy bit polled in turn (each within its own
  // 20 reads), then each block read. Each programmer sees what its own 'I' sends it. The
  // outcomes and `blocks` (resized to match) are in the order of `handles`; a block is
  // replaced only by a whole one, and a failure closes that programmer's handle alone.
  std::vector<Outcome> ReadProgrammerInfos(const std::vector<BridgeHandle>& handles,
                                           std::vector<ProgrammerInfo>& blocks);
  // 'B' (or 'D' when `dataFollows` is 1) and the header frame of `block`'s bytes 0..70.
  Outcome WriteProgrammerHeader(BridgeHandle handle, int dataFollows, const ProgrammerInfo& block);
  // The same header write to several programmers, each with its own block, their waits
  // overlapped: the command to each, every handshake polled in rounds, then the frame to
  // each that took the command, every answer polled in rounds. Each programmer sees what
  // its own header write sends it, in the same order; one that fails does not hold up the
  // others. The outcomes are in the order of `handles`.
  std::vector<Outcome> WriteProgrammerHeaders(const std::vector<BridgeHandle>& handles, int dataFollows,
                                              const std::vector<ProgrammerInfo>& blocks);

  // 'L' with the given mark as one two-byte write; the result is the bridge status.
  int WriteSelectMark(BridgeHandle handle, std::uint8_t mark);
  // One write of the bytes; true when all went out.
  bool WriteBytes(BridgeHandle handle, const std::uint8_t* bytes, std::uint32_t count);
  // One read of exactly `count` bytes; true when all arrived.
  bool ReadBytes(BridgeHandle handle, std::uint8_t* bytes, std::uint32_t count);

  Pacer& pacer() { return pacer_; }

private:
  // Reads the status of the programmers at `waiting` (indexes into `handles`) in rounds
  // until each shows its busy bit clear or has had `polls` reads; true for those that did.
  std::vector<bool> WaitBusyClear(const std::vector<BridgeHandle>& handles, std::vector<std::size_t> waiting,
                                  int polls);

  // The end of a handshake once the busy bit read clear: the result bit (two reads), then
  // the result byte.
  Outcome HandshakeResult(BridgeHandle handle, SilentRead silentRead);
  // The same for the programmers at `which` (indexes into `handles`; outcomes by index),
  // their result-bit reads in rounds that share one spin.
  std::vector<Outcome> HandshakeResults(const std::vector<BridgeHandle>& handles, const std::vector<std::size_t>& which,
                                        SilentRead silentRead);
  // For each programmer at `which`: true when its result bit read clear on either of two
  // reads, as WaitStatusLine(handle, kResultBit, 2) tells for one; each round of reads of
  // all of them is followed by one spin, not one per programmer.
  std::vector<bool> ResultBitsClear(const std::vector<BridgeHandle>& handles, const std::vector<std::size_t>& which);

  Bridge& bridge_;
  Pacer& pacer_;
  bool sideBySide_ = true;
  std::map<BridgeHandle, std::uint8_t> fetchedCodes_;
};

}  // namespace fd
