#include "flows/memory/TopAddrFlow.h"

#include <algorithm>
#include <cctype>

#include "formats/Hex.h"
#include "link/TypeCodes.h"

namespace fd {

void TopAddrFlow::onOpen() {
  const std::int32_t offered = state_.viewTop != 0 ? state_.viewTop : state_.readStart;
  const std::string text = HexText(static_cast<std::uint32_t>(offered), 5);
  view_.maxChars = TypeCodeFactsOf(state_.mcuTypeCode).addressDigits;
  view_.text = text.substr(text.size() - static_cast<std::size_t>(view_.maxChars));
  initialText_ = view_.text;
}

void TopAddrFlow::setText(const std::string& text) {
  view_.text = text.substr(0, static_cast<std::size_t>(view_.maxChars));
  std::transform(view_.text.begin(), view_.text.end(), view_.text.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  notify();
}

void TopAddrFlow::ok() {
  if (view_.text.empty()) {
    prompter_.error(kMsgNoNewAddress);
    return;
  }
  const std::uint64_t value = ParseHex(view_.text);
  if (value == kParseHexInvalid) {
    prompter_.error(kMsgInputFormatError);
    return;
  }
  const auto address = static_cast<std::int32_t>(value);
  if (address < state_.readStart || address > state_.readEnd) {
    prompter_.error(kMsgOutOfReadData);
    view_.text = initialText_;
    notify();
    return;
  }
  state_.viewTop = address;
  end(FlowResult::Ok);
}

}  // namespace fd
