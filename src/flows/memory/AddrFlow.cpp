#include "flows/memory/AddrFlow.h"

#include <algorithm>
#include <cctype>

#include "formats/Hex.h"
#include "formats/MemoryMap.h"
#include "link/TypeCodes.h"

namespace fd {

namespace {

// Right-justified in `width` characters, blank-padded: an edit shows its value this way.
std::string Justified(std::int32_t value, int width) {
  std::string text = HexText(static_cast<std::uint32_t>(value), 1);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  return text;
}

}  // namespace

std::string BlockSizeUnreadableText(const std::string& blockName) {
  return "Can not read the size of " + blockName + " from the MCU file!";
}

std::string BlockAddressUnreadableText(const std::string& blockName) {
  return "Can not read the start address of " + blockName + " from the MCU file!";
}

void AddrFlow::onOpen() {
  const int digits = TypeCodeFactsOf(state_.mcuTypeCode).addressDigits;
  if (digits == 4 && state_.readEnd > 0xFFFF) state_.readEnd = 0;
  view_ = {};
  view_.maxChars = digits;
  if (state_.readStart == 0 || state_.readEnd == 0) {
    view_.startText = kStartPlaceholder;
    view_.endText = kEndPlaceholder;
  } else {
    view_.startText = Justified(state_.readStart, view_.maxChars);
    view_.endText = Justified(state_.readEnd, view_.maxChars);
  }
  // Without the database only typed addresses can be used; this window says nothing.
  view_.rows = LoadBlockList(state_).rows;
}

std::string AddrFlow::edited(const std::string& text) const {
  std::string upper = text.substr(0, static_cast<std::size_t>(view_.maxChars));
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  return upper;
}

void AddrFlow::setStartText(const std::string& text) {
  view_.startText = edited(text);
  notify();
}

void AddrFlow::setEndText(const std::string& text) {
  view_.endText = edited(text);
  notify();
}

void AddrFlow::setChecked(int row, bool checked) {
  if (row >= 0 && row < static_cast<int>(view_.rows.size())) view_.rows[row].checked = checked;
  notify();
}

void AddrFlow::tickKind(BlockKind kind, bool on) {
  for (BlockListRow& row : view_.rows) {
    if (BlockKindOf(row.block.id) == kind) row.checked = on;
  }
}

void AddrFlow::setAllData(bool on) {
  view_.allData = on;
  if (on) {
    view_.allUser = false;
    tickKind(BlockKind::kUser, false);
  }
  tickKind(BlockKind::kData, on);
  notify();
}

void AddrFlow::setAllUser(bool on) {
  view_.allUser = on;
  if (on) {
    view_.allData = false;
    tickKind(BlockKind::kData, false);
  }
  tickKind(BlockKind::kUser, on);
  notify();
}

void AddrFlow::ok() {
  bool dataSeen = false;
  bool userSeen = false;
  bool anyTicked = false;
  for (const BlockListRow& row : view_.rows) {
    if (!row.checked) continue;
    anyTicked = true;
    const BlockKind kind = BlockKindOf(row.block.id);
    dataSeen = dataSeen || kind == BlockKind::kData;
    userSeen = userSeen || kind == BlockKind::kUser;
    if (dataSeen && userSeen) {
      prompter_.warning(kMsgBothAreas);
      return;
    }
  }
  if (anyTicked) {
    okByBlocks();
  } else {
    okByAddresses();
  }
}

void AddrFlow::okByBlocks() {
  const auto first = std::find_if(view_.rows.begin(), view_.rows.end(), [](const BlockListRow& r) { return r.checked; });
  const auto last = std::find_if(view_.rows.rbegin(), view_.rows.rend(), [](const BlockListRow& r) { return r.checked; });
  const BlockRow& f = first->block;
  const BlockRow& l = last->block;
  // The size is the number its text begins with (after blanks); a text without one would
  // give a range that ends nowhere the user chose.
  const std::size_t digit = l.size.find_first_not_of(' ');
  if (digit == std::string::npos || !std::isdigit(static_cast<unsigned char>(l.size[digit]))) {
    prompter_.error(BlockSizeUnreadableText(l.name));
    return;
  }
  for (const BlockRow* row : {&f, &l}) {
    if (BlockStartAddress(*row) == kParseHexInvalid) {
      prompter_.error(BlockAddressUnreadableText(row->name));
      return;
    }
  }
  const std::uint64_t kib = ParseDecimal(l.size);
  state_.readEnd = static_cast<std::int32_t>(BlockStartAddress(l) + kib * 1024 - 1);
  state_.readStart = static_cast<std::int32_t>(BlockStartAddress(f));
  end(FlowResult::Ok);
}

void AddrFlow::okByAddresses() {
  const std::uint64_t startValue = ParseHex(view_.startText);
  const std::uint64_t endValue = ParseHex(view_.endText);
  if (startValue == kParseHexInvalid || endValue == kParseHexInvalid) {
    prompter_.error(kMsgWrongAddress);
    return;
  }
  if (view_.startText.empty()) {
    prompter_.error(kMsgNoStartAddress);
    return;
  }
  if (view_.endText.empty()) {
    prompter_.error(kMsgNoEndAddress);
    return;
  }
  auto first = static_cast<std::int32_t>(startValue);
  auto last = static_cast<std::int32_t>(endValue);
  if (first > last) {
    if (prompter_.ask(QuestionId::ExchangeAddresses, kCaptionWarning, MsgIcon::Question, kMsgExchangeAddresses, MsgButtons::YesNo) !=
        MsgAnswer::Yes) {
      return;
    }
    std::swap(view_.startText, view_.endText);
    std::swap(first, last);
    notify();
  }
  const MemoryMap map{state_.dataFlashStart, state_.dataFlashEnd, state_.userFlashStart, state_.userFlashEnd};
  if (first < 0 || last < first ||
      !RangeInMemoryMap(static_cast<std::uint64_t>(first), static_cast<std::uint64_t>(last) + 1, map)) {
    prompter_.error(kMsgOutOfMemoryMap);
    return;
  }
  state_.readStart = first;
  state_.readEnd = last;
  end(FlowResult::Ok);
}

}  // namespace fd
