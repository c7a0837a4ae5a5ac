#include "app/Prompter.h"

namespace fd {
namespace {

// The innermost watch of this thread: each thread's operations show their own messages.
MessageWatch*& Innermost() {
  thread_local MessageWatch* watch = nullptr;
  return watch;
}

}  // namespace

void Prompter::error(const std::string& text) {
  MessageWatch::tell(MsgIcon::Error, text);
  message(kCaptionError, MsgIcon::Error, text);
}

void Prompter::warning(const std::string& text) {
  MessageWatch::tell(MsgIcon::Warning, text);
  message(kCaptionWarning, MsgIcon::Warning, text);
}

void Prompter::info(const std::string& text) {
  MessageWatch::tell(MsgIcon::None, text);
  message(kCaptionInfo, MsgIcon::None, text);
}

MessageWatch::MessageWatch() : previous_(Innermost()) { Innermost() = this; }

MessageWatch::~MessageWatch() { Innermost() = previous_; }

void MessageWatch::tell(MsgIcon icon, const std::string& text) {
  if (MessageWatch* watch = Innermost()) watch->shown_.push_back({icon, text});
}

std::string MessageWatch::resultText() const {
  for (const Shown& shown : shown_) {
    if (shown.icon == MsgIcon::Error) return shown.text;
  }
  return shown_.empty() ? std::string() : shown_.front().text;
}

}  // namespace fd
