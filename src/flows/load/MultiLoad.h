#pragma once
// One image into several programmers at once: the off-line Load File of each, run side by
// side on one 10 ms tick. The image is converted once; then each programmer is taken as
// Off-line Set and Load File take it alone (reset with the select mark, its information
// block, its product's memory map, the reload question, 'B' for the name alone or 'D' and
// the transfer), and gets exactly the bytes a load of it alone sends it: the image
// descriptor, two page frames a tick after its own busy check, 'H' after a last frame
// that opens a group, and the final handshake. A programmer that fails drops out alone,
// with the messages a single load shows, the damaged-store warning and its second 'D';
// the others go on. Each success writes its own history record. Every programmer is
// reset with the select mark at the end, as every single load ends.
//
// The engine shows nothing: each programmer's line collects its notes and progress, and
// the caller (the command line, the main window's list) shows them.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/HistoryLog.h"
#include "app/Prompter.h"
#include "app/Timers.h"
#include "flows/load/ImageOperation.h"
#include "link/Clock.h"
#include "link/Frames.h"
#include "link/Protocol.h"

namespace fd {

// What a programmer still waiting says when the load got no image (the file refused, or
// none chosen); the refusal itself is said once, for all of them.
inline constexpr const char* kMsgNoFileTaken = "Not loaded: no file was taken.";

// A programmer to load: its SN and its open handle.
struct MultiLoadTarget {
  std::string sn;
  BridgeHandle handle = kNoHandle;
};

// A message a single load would show in a box, kept for the programmer's line.
struct LoadNote {
  enum class Kind { Info, Warning, Error };
  Kind kind = Kind::Info;
  std::string text;
  bool operator==(const LoadNote&) const = default;
};

// A message's notes as a programmer's line keeps them: a warning as a warning, every other
// notice as an error.
std::vector<LoadNote> LoadNotesOf(const Outcome& outcome);

// A programmer as Off-line Set takes it before its window opens: reset with the select
// mark, then its information block read.
struct PreparedProgrammer {
  bool open = true;             // false once a failed read closed the handle
  ProgrammerInfo info{};        // the block read; all zero when it was not
  std::vector<LoadNote> notes;  // why it could not be taken; never empty then
  bool taken() const { return notes.empty(); }
};
// All of `targets` together: one reset pulse and one wait for them all, then their reads
// side by side. The state's target is marked not connected, as a reset leaves it.
std::vector<PreparedProgrammer> ResetAndReadProgrammers(Protocol& protocol, AppState& state,
                                                        const std::vector<MultiLoadTarget>& targets);

// Where a programmer is in its load.
enum class LoadLineState {
  Ready,         // prepared, waiting for the image
  Describing,    // 'D' taken: the image descriptor is sent (or waited for)
  Sending,       // page frames
  Finishing,     // the final handshake at the next tick
  Loaded,        // the image is in its store
  NameReloaded,  // "No" at the reload question: only the name was written
  Kept,          // "Cancel" at the reload question: nothing was sent
  Failed,        // refused or broken off; the notes say why
  Cancelled,     // stopped by Cancel; its store is damaged
};

struct MultiLoadLine {
  std::string sn;
  BridgeHandle handle = kNoHandle;
  bool open = true;             // false once a failed read closed the handle
  ProgrammerInfo info{};        // the programmer's block, edited as the load goes
  LoadLineState state = LoadLineState::Ready;
  std::vector<LoadNote> notes;  // in the order a single load shows them
  std::uint32_t pageTotal = 0;
  std::uint32_t pagesSent = 0;
  int percent = 0;              // 0..100
  std::string remainText;       // "Remain time: ..." once known
  std::string idText;           // the ID code the image carried (imageIdText)
  bool storeDamaged = false;    // the damaged-store warning was given
  FileResult history;           // its record; ok when nothing had to be written
  bool working() const {
    return state == LoadLineState::Describing || state == LoadLineState::Sending || state == LoadLineState::Finishing;
  }
  bool succeeded() const { return state == LoadLineState::Loaded || state == LoadLineState::NameReloaded; }
};

struct MultiLoadPorts {
  AppState& state;
  Protocol& protocol;
  Timers& timers;
  Clock& clock;
  // Each programmer's history record goes here; one date line for the lot.
  SingleOperationLog& log;
  // Asked for each programmer that already holds this very file: Yes reloads it, No
  // writes the name alone, Cancel leaves it as it is.
  std::function<MsgAnswer(const MultiLoadLine&)> askReload;
  // Local time for the history log; the real clock when empty.
  std::function<LocalTime()> localTime{};
  // The load-record file; empty: the one in appDir.
  std::string loadRecordPath{};
};

class MultiLoad {
public:
  explicit MultiLoad(MultiLoadPorts ports);

  // Each programmer reset with the select mark and read, as Off-line Set does, and
  // checked as Load File checks it before the file choice: a product stored, its memory
  // map known. Those that fail are Failed; the others Ready. True when any is Ready.
  bool prepare(const std::vector<MultiLoadTarget>& targets);
  // The memory map of the product the Ready programmers hold, when they all hold one and
  // the same product (the file choice's memory-map test); nothing otherwise.
  std::optional<MemoryMap> commonMemoryMap() const;

  // The image, converted once (or taken from the load record), tested against each
  // programmer's memory map, the reload question, the header writes, and the transfer on
  // the timer. Programmers left with nothing to send end at once. When nobody sends, the
  // load is over on return (running() false).
  void start(const ChosenImage& image);
  void onTimer(int id);
  // Stops every programmer still loading at the next tick, as Cancel stops a single load.
  void cancel() { cancelRequested_ = true; }
  // Ends a load that never got an image (its file choice refused or cancelled after
  // prepare): each programmer still waiting says it was not loaded, and all are reset with
  // the select mark, as a refused Load File ends.
  void endWithoutImage();

  bool running() const { return running_; }
  const std::vector<MultiLoadLine>& lines() const { return lines_; }
  bool allSucceeded() const;
  // The load record was converted now (false: taken from the cache).
  bool converted() const { return converted_; }
  std::function<void()> changed;

  // How long a programmer that does not answer its image descriptor is waited for.
  static constexpr std::uint64_t kDescribeWaitUs = 30'000'000;

private:
  void notify();
  void fail(MultiLoadLine& line, const std::vector<LoadNote>& notes);
  void failAll(const std::string& text);
  // A transfer broken off: the reason, a reset without the mark where the single load
  // resets, the damaged-store warning and the second 'D'.
  void breakOff(MultiLoadLine& line, const Outcome& why, bool resetWithoutMark);
  void describeStep(const std::vector<std::size_t>& which);
  void sendStep(const std::vector<std::size_t>& which);
  void finishStep(const std::vector<std::size_t>& which);
  void cancelAll();
  void succeed(MultiLoadLine& line);
  void endIfDone();
  // One run-log record for each programmer the load decided on, at its end.
  void writeRunLog();
  std::vector<LoadNote> notesOf(const Outcome& outcome) const;
  char typeCodeOf(const MultiLoadLine& line) const;

  MultiLoadPorts ports_;
  std::vector<MultiLoadLine> lines_;
  std::vector<MemoryMap> maps_;  // per line, once prepared
  std::string loadRecord_;
  std::vector<PageFrame> frames_;
  std::vector<std::uint16_t> pageNumbers_;
  std::string imageTitle_;
  std::string imageFile_;
  std::optional<ImageKey> imageKey_;
  std::uint64_t startUs_ = 0;
  // Lines that waited for an image that never came: no operation took place on them.
  std::vector<bool> noOperation_;
  bool converted_ = false;
  bool running_ = false;
  bool cancelRequested_ = false;
  bool ended_ = false;
  struct Transfer {
    std::uint32_t pagesLeft = 0;
    std::size_t nextPage = 0;
    int tickCounter = 0;
    std::uint64_t sendStartUs = 0;
    bool descriptorWritten = false;
    std::optional<std::uint64_t> describeStartUs;
  };
  std::vector<Transfer> transfers_;
};

// The texts a programmer's line ends with, as one line: "Load successfully" for a load
// that ended well, "File name reload is completed." for the name alone, otherwise its
// notes joined by " / ".
std::string MultiLoadResultText(const MultiLoadLine& line);

}  // namespace fd
