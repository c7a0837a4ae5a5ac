#pragma once
// One operation on one programmer as the run log tells it. Made when the operation starts,
// it measures the time the operation takes, keeps the messages its windows show and forgets
// the programmer's last error code; finish() writes the record through the process's run
// log (AppState::runLog). An operation that never started (its file choice was cancelled)
// is simply not finished and leaves no record.
#include <optional>
#include <string>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "app/RunLog.h"
#include "formats/LoadRecord.h"
#include "link/Clock.h"
#include "link/Protocol.h"

namespace fd {

class RunRecorder {
public:
  // `operation` as the records name it ("load", "program", "erase", "read",
  // "update-firmware"); the programmer is the current one of `state`.
  RunRecorder(AppState& state, Protocol& protocol, Clock& clock, std::string operation);
  RunRecorder(const RunRecorder&) = delete;
  RunRecorder& operator=(const RunRecorder&) = delete;

  // What the operation learns as it goes: the product, the file.
  RunRecord& record() { return record_; }
  // The image it sends: its file name, stamp and SHA-256.
  void image(const std::string& fileName, const std::optional<ImageKey>& key);

  // Writes the record once: `result` is kRunOk, kRunFailed or kRunCanceled; `text` what the
  // window showed at the end; empty: the first error shown meanwhile, else the first message.
  // The programmer's code is the last error fetched from it meanwhile.
  void finish(const char* result, const std::string& text = {});
  bool finished() const { return finished_; }
  // The first error shown since the operation started; empty: none.
  std::string errorText() const;

private:
  AppState& state_;
  Protocol& protocol_;
  Clock& clock_;
  BridgeHandle handle_;
  std::uint64_t startUs_;
  RunRecord record_;
  MessageWatch shown_;
  bool finished_ = false;
};

}  // namespace fd
