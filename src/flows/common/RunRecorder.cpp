#include "flows/common/RunRecorder.h"

#include "flows/common/WindowProtocol.h"
#include "formats/SRecord.h"
#include "formats/Sha256.h"

namespace fd {

RunRecorder::RunRecorder(AppState& state, Protocol& protocol, Clock& clock, std::string operation)
    : state_(state), protocol_(protocol), clock_(clock), handle_(state.currentHandle), startUs_(clock.nowUs()) {
  record_.operation = std::move(operation);
  record_.sn = state.currentSn;
  protocol_.forgetErrorCode(handle_);
}

void RunRecorder::image(const std::string& fileName, const std::optional<ImageKey>& key) {
  record_.file = fileName;
  if (key) {
    record_.stamp = StampDisplayText(key->stamp.time);
    record_.sha256 = Sha256Text(key->digest);
  }
}

std::string RunRecorder::errorText() const {
  for (const MessageWatch::Shown& shown : shown_.shown()) {
    if (shown.icon == MsgIcon::Error) return shown.text;
  }
  return {};
}

void RunRecorder::finish(const char* result, const std::string& text) {
  if (finished_) return;
  finished_ = true;
  record_.result = result;
  if (std::string(result) != kRunOk) record_.code = protocol_.lastErrorCode(handle_);
  record_.text = text.empty() ? shown_.resultText() : text;
  // A programmer that never answered is passed over by the windows without a word.
  if (record_.text.empty() && record_.result == kRunFailed) record_.text = kMsgNoAnswer;
  record_.durationMs = (clock_.nowUs() - startUs_) / 1000;
  if (state_.runLog != nullptr) state_.runLog->write({{handle_, record_}});
}

}  // namespace fd
