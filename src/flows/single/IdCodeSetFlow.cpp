#include "flows/single/IdCodeSetFlow.h"

#include <algorithm>

#include "formats/Hex.h"

namespace fd {

IdEntry ReadIdEntry(std::string_view text, bool stringInput) {
  IdEntry entry;
  entry.code = kDefaultIdCode;
  const std::size_t n = text.size();
  if (n == 0) {
    entry.check = IdEntry::Check::Empty;
    return entry;
  }
  if (stringInput) {
    if (n > kIdStringLength) {
      entry.check = IdEntry::Check::TooLong;
      return entry;
    }
    entry.shortEntry = n != kIdStringLength;
    for (std::size_t i = 0; i < n; ++i) {
      entry.code[info::kIdCodeSize - n + i] = static_cast<std::uint8_t>(text[i]);
    }
    return entry;
  }
  if (ParseHex(text) == kParseHexInvalid) {
    entry.check = IdEntry::Check::NotHex;
    return entry;
  }
  if (n % 2 != 0) {
    entry.check = IdEntry::Check::IncompleteByte;
    return entry;
  }
  if (n > kIdHexLength) {
    entry.check = IdEntry::Check::TooLong;
    return entry;
  }
  entry.shortEntry = n != kIdHexLength;
  const std::size_t bytes = n / 2;
  for (std::size_t i = 0; i < bytes; ++i) {
    entry.code[info::kIdCodeSize - bytes + i] = static_cast<std::uint8_t>(ParseHex(text.substr(2 * i, 2)));
  }
  return entry;
}

IdCodeSetFlow::IdCodeSetFlow(AppState& state, Prompter& prompter)
    : state_(state), prompter_(prompter), settings_(state.appDir + kSettingsFileName) {}

void IdCodeSetFlow::onOpen() {
  view_ = {};
  view_.maxLength = kIdHexLength;
  if (state_.offlineMode != 0) {
    idText_ = HexBytes(state_.programmerInfo.data() + info::kIdCode, info::kIdCodeSize);
  } else {
    idText_ = settings_.read(kSectionProgrammer, kKeyIdCode);
  }
  // A hand-edited value longer than the edit holds shows as much as it can take.
  idText_.resize(std::min(idText_.size(), kIdHexLength));
  view_.text = idText_;
  view_.focusRequests = 1;
}

void IdCodeSetFlow::focusEdit() { ++view_.focusRequests; }

void IdCodeSetFlow::setStringInput(bool on) {
  view_.stringInput = on;
  view_.maxLength = on ? kIdStringLength : kIdHexLength;
  view_.text = on ? kIdStringPlaceholder : idText_;
  focusEdit();
  notify();
}

void IdCodeSetFlow::setText(std::string_view text) {
  view_.text = std::string(text.substr(0, view_.maxLength));
  notify();
}

bool IdCodeSetFlow::ok() {
  const IdEntry entry = ReadIdEntry(view_.text, view_.stringInput);
  switch (entry.check) {
    case IdEntry::Check::Ok: break;
    case IdEntry::Check::Empty:
      prompter_.warning(kMsgNoIdInput);
      return false;
    case IdEntry::Check::NotHex:
      view_.text.clear();
      focusEdit();
      notify();
      prompter_.error(kMsgIdNotHex);
      return false;
    case IdEntry::Check::IncompleteByte:
      focusEdit();
      notify();
      prompter_.error(kMsgIdIncompleteByte);
      return false;
    case IdEntry::Check::TooLong:
      // The edit never holds more than its limit; nothing sensible can be stored.
      return false;
  }
  if (entry.shortEntry &&
      prompter_.ask(QuestionId::IdFill, kCaptionWarning, MsgIcon::Warning, kMsgIdFillQuestion, MsgButtons::YesNo) != MsgAnswer::Yes) {
    focusEdit();
    notify();
    return false;
  }

  if (state_.offlineMode != 0) {
    std::copy(entry.code.begin(), entry.code.end(), state_.programmerInfo.begin() + info::kIdCode);
  } else {
    // The file first: an ID the file did not take would be lost at the next refresh.
    if (!settings_.write(kSectionProgrammer, kKeyIdCode, HexBytes(entry.code.data(), entry.code.size()))) {
      prompter_.error(kMsgSettingsNotWritten);
      return false;
    }
    state_.idCode = entry.code;
  }
  end(FlowResult::Ok);
  return true;
}

}  // namespace fd
