#include "sim/SimBenchFile.h"

#include <algorithm>
#include <array>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <set>
#include <tuple>
#include <utility>
#include <nlohmann/json.hpp>

#include "formats/Hex.h"
#include "sim/SimBench.h"

namespace fd {

namespace {

using Json = nlohmann::ordered_json;  // keeps keys in the order written

// ---------------------------------------------------------------- syntax check

// Finds the first syntax error of a text without letting the parser throw, and refuses
// what the parsed document could no longer tell: a key given twice in one object (the
// parser would keep one of them silently), and a list of programmers too long to be a
// bench (stopped at once, before a huge file is built up in memory).
class SyntaxCheck : public nlohmann::json_sax<Json> {
public:
  std::string message;
  std::size_t position = 0;  // characters read when the error was seen, the bad one included
  std::string refusal;       // a duplicate key or too many programmers, with its place
  bool null() override { return value(); }
  bool boolean(bool) override { return value(); }
  bool number_integer(number_integer_t) override { return value(); }
  bool number_unsigned(number_unsigned_t) override { return value(); }
  bool number_float(number_float_t, const string_t&) override { return value(); }
  bool string(string_t&) override { return value(); }
  bool binary(binary_t&) override { return value(); }
  bool start_object(std::size_t) override {
    if (!value()) return false;
    stack_.emplace_back().object = true;
    return true;
  }
  bool key(string_t& name) override {
    Frame& object = stack_.back();
    if (!object.keys.insert(name).second) {
      refusal = where() + ": the key \"" + name + "\" is given twice";
      return false;
    }
    object.key = name;
    return true;
  }
  bool end_object() override {
    stack_.pop_back();
    return true;
  }
  bool start_array(std::size_t) override {
    if (!value()) return false;
    stack_.emplace_back().object = false;
    return true;
  }
  bool end_array() override {
    stack_.pop_back();
    return true;
  }
  bool parse_error(std::size_t at, const std::string&, const nlohmann::detail::exception& ex) override {
    position = at;
    message = ex.what();
    return false;
  }

private:
  struct Frame {
    bool object = true;
    std::set<std::string> keys{};  // objects: the keys seen so far
    std::string key{};             // objects: the key of the value being read
    std::size_t count = 0;         // lists: the elements begun so far
  };

  // A value begins: in a list, it is the next element.
  bool value() {
    if (stack_.empty() || stack_.back().object) return true;
    ++stack_.back().count;
    const bool programmers = stack_.size() == 2 && stack_[0].object && stack_[0].key == "programmers";
    if (programmers && stack_.back().count > kSimBenchMaxProgrammers) {
      refusal = "programmers: more than " + std::to_string(kSimBenchMaxProgrammers) +
                " programmers; a bench holds at most " + std::to_string(kSimBenchMaxProgrammers);
      return false;
    }
    return true;
  }

  // The place of the innermost object or list, written as the reader's messages write it.
  std::string where() const {
    std::string path;
    for (std::size_t i = 0; i + 1 < stack_.size(); ++i) {
      const Frame& f = stack_[i];
      if (f.object) {
        path += (path.empty() ? "" : ".") + f.key;
      } else {
        path += "[" + std::to_string(f.count - 1) + "]";
      }
    }
    return path.empty() ? "bench" : path;
  }

  std::vector<Frame> stack_;
};

// The parser's message as a user reads it: where, then what, without the library's own
// prefixes ("[json.exception.parse_error.101] parse error at ...: syntax error while
// parsing value - ").
std::string SyntaxMessage(std::string_view text, const SyntaxCheck& check) {
  std::string what = check.message;
  if (!what.empty() && what.front() == '[') {
    const std::size_t close = what.find("] ");
    if (close != std::string::npos) what.erase(0, close + 2);
  }
  if (what.rfind("parse error", 0) == 0) {
    const std::size_t colon = what.find(": ");
    what = colon == std::string::npos ? std::string() : what.substr(colon + 2);
  }
  if (what.rfind("syntax error while parsing", 0) == 0) {
    const std::size_t dash = what.find(" - ");
    if (dash != std::string::npos) what.erase(0, dash + 3);
  }
  if (what.empty()) what = "not a JSON text";
  // Line and column of the character the parser stopped at (one past the end for a text
  // that ends too early), counted from 1.
  const std::size_t stop = std::min(check.position == 0 ? 0 : check.position - 1, text.size());
  std::size_t line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < stop; ++i) {
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  return "parse error at line " + std::to_string(line) + ", column " + std::to_string(stop - lineStart + 1) +
         ": " + what;
}

bool Printable(std::uint8_t c) { return c >= 0x20 && c < 0x7F; }

// ---------------------------------------------------------------- reading

// Reads values out of the parsed document, stopping at the first problem with a message
// that names where it is.
class Reader {
public:
  std::string error;

  bool fail(const std::string& path, const std::string& what) {
    if (error.empty()) error = path + ": " + what;
    return false;
  }

  bool object(const Json& j, const std::string& path, std::initializer_list<const char*> allowed) {
    if (!j.is_object()) return fail(path, "expected an object");
    for (const auto& item : j.items()) {
      const bool known = std::any_of(allowed.begin(), allowed.end(),
                                     [&](const char* k) { return item.key() == k; });
      if (!known) return fail(path, "unknown key \"" + item.key() + "\"");
    }
    return true;
  }

  static const Json* find(const Json& obj, const char* key) {
    const auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
  }

  bool boolean(const Json& obj, const char* key, const std::string& path, bool& out) {
    const Json* j = find(obj, key);
    if (j == nullptr) return true;
    if (!j->is_boolean()) return fail(path + "." + key, "expected true or false");
    out = j->get<bool>();
    return true;
  }

  bool text(const Json& obj, const char* key, const std::string& path, std::optional<std::string>& out,
            std::size_t maxLength) {
    const Json* j = find(obj, key);
    if (j == nullptr) return true;
    if (!j->is_string()) return fail(path + "." + key, "expected a text");
    const std::string& s = j->get_ref<const std::string&>();
    if (s.size() > maxLength) {
      return fail(path + "." + key, "longer than " + std::to_string(maxLength) + " characters");
    }
    if (!std::all_of(s.begin(), s.end(), [](char c) { return Printable(static_cast<std::uint8_t>(c)); })) {
      return fail(path + "." + key, "only printable ASCII characters are allowed");
    }
    out = s;
    return true;
  }

  bool number(const Json& obj, const char* key, const std::string& path, std::optional<std::uint64_t>& out,
              std::uint64_t min, std::uint64_t max) {
    const Json* j = find(obj, key);
    if (j == nullptr) return true;
    if (!j->is_number_unsigned() || j->get<std::uint64_t>() < min || j->get<std::uint64_t>() > max) {
      return fail(path + "." + key,
                  "expected a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    }
    out = j->get<std::uint64_t>();
    return true;
  }

  // A hex text of at most `maxDigits` digits.
  bool hexNumber(const Json& obj, const char* key, const std::string& path, std::optional<std::uint32_t>& out,
                 std::size_t maxDigits) {
    std::optional<std::string> s;
    if (!text(obj, key, path, s, maxDigits)) return false;
    if (!s) return true;
    std::uint32_t value = 0;
    bool ok = !s->empty();
    for (char c : *s) {
      const int d = HexDigitValue(c);
      ok = ok && d >= 0;
      value = value << 4 | static_cast<std::uint32_t>(std::max(d, 0));
    }
    if (!ok) return fail(path + "." + key, "expected up to " + std::to_string(maxDigits) + " hex digits");
    out = value;
    return true;
  }

  bool hexBytes(const Json& obj, const char* key, const std::string& path, std::uint8_t* out, std::size_t count,
                bool& present) {
    present = false;
    const Json* j = find(obj, key);
    if (j == nullptr) return true;
    if (!j->is_string() || !ParseHexBytes(j->get_ref<const std::string&>(), out, count)) {
      return fail(path + "." + key, "expected " + std::to_string(2 * count) + " hex digits");
    }
    present = true;
    return true;
  }
};

// Where the pages of a list may lie, and what to say of one that lies elsewhere.
struct PagePlace {
  std::function<bool(std::uint16_t)> holds;
  std::string where;
};

bool ReadPageRuns(Reader& r, const Json& list, const std::string& path, SimPages& pages,
                  const PagePlace* place = nullptr) {
  if (!list.is_array()) return r.fail(path, "expected a list of page runs");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Json& run = list[i];
    const std::string at = path + "[" + std::to_string(i) + "]";
    if (!r.object(run, at, {"page", "count", "fill", "step", "data"})) return false;
    std::optional<std::uint32_t> first;
    std::optional<std::uint64_t> count;
    std::optional<std::uint64_t> step;
    if (!r.hexNumber(run, "page", at, first, 4) || !r.number(run, "count", at, count, 1, 0x10000) ||
        !r.number(run, "step", at, step, 0, 255)) {
      return false;
    }
    if (!first) return r.fail(at, "\"page\" is missing");
    SimPage data;
    bool hasData = false;
    bool hasFill = false;
    std::uint8_t fill = 0xFF;
    if (!r.hexBytes(run, "data", at, data.data(), data.size(), hasData) ||
        !r.hexBytes(run, "fill", at, &fill, 1, hasFill)) {
      return false;
    }
    if (hasData == hasFill) return r.fail(at, "give either \"fill\" or \"data\"");
    if (hasData && (count.value_or(1) != 1 || step)) {
      return r.fail(at, "a run with \"data\" is one page");
    }
    const std::uint64_t n = count.value_or(1);
    if (*first + n > 0x10000) return r.fail(at, "runs past page FFFF");
    for (std::uint64_t k = 0; k < n; ++k) {
      const auto page = static_cast<std::uint16_t>(*first + k);
      if (hasFill) data.fill(static_cast<std::uint8_t>(fill + k * step.value_or(0)));
      if (place != nullptr && !place->holds(page)) {
        return r.fail(at, "page " + HexText(page, 3) + " lies outside " + place->where);
      }
      if (!pages.emplace(page, data).second) return r.fail(at, "page " + HexText(page, 3) + " is given twice");
    }
  }
  return true;
}

bool ReadSetup(Reader& r, const Json& j, const std::string& path, ProgrammerInfo& block, std::size_t imagePages) {
  if (!r.object(j, path, {"type", "power", "id", "mcu", "file", "blocks", "time", "size", "pages"})) return false;
  block.fill(0xFF);
  std::optional<std::string> type, mcu, file, time;
  std::optional<std::uint32_t> power;
  std::optional<std::uint64_t> size, pages;
  bool hasId = false;
  if (!r.text(j, "type", path, type, 1) || !r.hexNumber(j, "power", path, power, 2) ||
      !r.hexBytes(j, "id", path, block.data() + info::kIdCode, info::kIdCodeSize, hasId) ||
      !r.text(j, "mcu", path, mcu, info::kMcuNameSize) || !r.text(j, "file", path, file, info::kFileNameSize) ||
      !r.text(j, "time", path, time, info::kModifyTimeSize) || !r.number(j, "size", path, size, 0, 0xFFFFFFFF) ||
      !r.number(j, "pages", path, pages, 0, 0xFFFF)) {
    return false;
  }
  if (type) {
    if (type->size() != 1) return r.fail(path + ".type", "expected one character");
    block[info::kTypeCode] = static_cast<std::uint8_t>((*type)[0]);
  }
  if (power) block[info::kPower] = static_cast<std::uint8_t>(*power);
  if (mcu) {
    const std::string padded = (*mcu + std::string(info::kMcuNameSize, ' ')).substr(0, info::kMcuNameSize);
    std::copy(padded.begin(), padded.end(), block.begin() + info::kNames);
  }
  if (file) {
    const std::string padded = (*file + std::string(info::kFileNameSize, ' ')).substr(0, info::kFileNameSize);
    std::copy(padded.begin(), padded.end(), block.begin() + info::kFileName);
  }
  if (const Json* blocks = Reader::find(j, "blocks")) {
    if (!blocks->is_array() || blocks->size() > info::kBlockEntries) {
      return r.fail(path + ".blocks", "expected a list of up to 17 page numbers");
    }
    for (std::size_t i = 0; i < blocks->size(); ++i) {
      const Json entry = Json{{"page", (*blocks)[i]}};
      std::optional<std::uint32_t> page;
      if (!r.hexNumber(entry, "page", path + ".blocks[" + std::to_string(i) + "]", page, 4)) return false;
      block[info::kBlockTable + 2 * i] = static_cast<std::uint8_t>(*page);
      block[info::kBlockTable + 2 * i + 1] = static_cast<std::uint8_t>(*page >> 8);
    }
  }
  if (time) {
    if (time->size() != info::kModifyTimeSize ||
        !std::all_of(time->begin(), time->end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return r.fail(path + ".time", "expected 12 digits YYMMDDhhmmss");
    }
    std::copy(time->begin(), time->end(), block.begin() + info::kModifyTime);
  }
  if (size) {
    for (int i = 0; i < 4; ++i) block[info::kFileSize + i] = static_cast<std::uint8_t>(*size >> (8 * i));
  }
  if (!pages && size) pages = imagePages;
  if (pages) {
    block[info::kPageCount] = static_cast<std::uint8_t>(*pages);
    block[info::kPageCount + 1] = static_cast<std::uint8_t>(*pages >> 8);
  }
  return true;
}

bool ReadFlash(Reader& r, const Json& list, const std::string& path, std::vector<SimFlashRegion>& flash) {
  if (!list.is_array() || list.empty()) return r.fail(path, "expected a list of flash regions");
  flash.clear();
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = path + "[" + std::to_string(i) + "]";
    if (!r.object(list[i], at, {"start", "size", "blockSize"})) return false;
    std::optional<std::uint32_t> start;
    std::optional<std::uint64_t> size, blockSize;
    if (!r.hexNumber(list[i], "start", at, start, 6) || !r.number(list[i], "size", at, size, 256, 0x1000000) ||
        !r.number(list[i], "blockSize", at, blockSize, 256, 0x1000000)) {
      return false;
    }
    if (!start || !size) return r.fail(at, "\"start\" and \"size\" are needed");
    const std::uint64_t block = blockSize.value_or(*size);
    if (*start % kSimPageSize != 0 || *size % kSimPageSize != 0 || block % kSimPageSize != 0 || *size % block != 0) {
      return r.fail(at, "start and sizes must be whole pages, the size whole blocks");
    }
    if (*start + *size > 0x1000000) return r.fail(at, "runs past address FFFFFF");
    flash.push_back({static_cast<std::uint32_t>(*start / kSimPageSize),
                     static_cast<std::uint32_t>(*size / kSimPageSize),
                     static_cast<std::uint32_t>(block / kSimPageSize)});
    // One address, one block: a page in two regions would be erased with either block.
    for (std::size_t k = 0; k < i; ++k) {
      const SimFlashRegion& a = flash[k];
      const SimFlashRegion& b = flash[i];
      if (a.startPage < b.startPage + b.pageCount && b.startPage < a.startPage + a.pageCount) {
        return r.fail(at, "overlaps " + path + "[" + std::to_string(k) + "] (" +
                              HexText(a.startPage * kSimPageSize, 5) + " to " +
                              HexText((a.startPage + a.pageCount) * kSimPageSize - 1, 5) + ")");
      }
    }
  }
  return true;
}

bool ReadTarget(Reader& r, const Json& j, const std::string& path, SimTarget& target) {
  if (!r.object(j, path, {"present", "voltage", "selfPowered", "id", "flash", "flashFault", "memory"})) return false;
  std::optional<std::uint64_t> voltage;
  std::optional<std::string> fault;
  bool hasId = false;
  if (!r.boolean(j, "present", path, target.present) || !r.number(j, "voltage", path, voltage, 3, 5) ||
      !r.boolean(j, "selfPowered", path, target.selfPowered) ||
      !r.hexBytes(j, "id", path, target.id.data(), target.id.size(), hasId) ||
      !r.text(j, "flashFault", path, fault, 16)) {
    return false;
  }
  if (voltage) {
    if (*voltage != 3 && *voltage != 5) return r.fail(path + ".voltage", "expected 3 or 5");
    target.voltage = static_cast<int>(*voltage);
  }
  if (fault) {
    if (*fault == "none") {
      target.flashFault = SimFlashFault::kNone;
    } else if (*fault == "erase") {
      target.flashFault = SimFlashFault::kErase;
    } else if (*fault == "program") {
      target.flashFault = SimFlashFault::kProgram;
    } else if (*fault == "verify") {
      target.flashFault = SimFlashFault::kVerify;
    } else {
      return r.fail(path + ".flashFault", "expected none, erase, program or verify");
    }
  }
  if (const Json* flash = Reader::find(j, "flash")) {
    if (!ReadFlash(r, *flash, path + ".flash", target.flash)) return false;
  }
  if (const Json* memory = Reader::find(j, "memory")) {
    const PagePlace flash{[&target](std::uint16_t page) { return target.contains(page); }, "the target's flash"};
    if (!ReadPageRuns(r, *memory, path + ".memory", target.memory, &flash)) return false;
  }
  return true;
}

// The outcome names of boot loader faults.
std::optional<SimBootOutcome> BootOutcome(const std::string& name) {
  if (name == "fails") return SimBootOutcome::kFails;
  if (name == "notReady") return SimBootOutcome::kNotReady;
  if (name == "silent") return SimBootOutcome::kSilent;
  if (name == "short") return SimBootOutcome::kShort;
  return std::nullopt;
}

const char* BootOutcomeName(SimBootOutcome outcome) {
  switch (outcome) {
    case SimBootOutcome::kFails: return "fails";
    case SimBootOutcome::kNotReady: return "notReady";
    case SimBootOutcome::kShort: return "short";
    case SimBootOutcome::kSilent: break;
  }
  return "silent";
}

// The frame kinds a noisy line can spoil, by the names a bench file uses.
constexpr std::array<std::pair<SimFrameKind, const char*>, 3> kFrameNames = {
    {{SimFrameKind::kHeader, "header"}, {SimFrameKind::kDescriptor, "descriptor"}, {SimFrameKind::kPage, "page"}}};

bool ReadBootFaults(Reader& r, const Json& j, const std::string& path, SimBootFaults& boot) {
  if (!r.object(j, path, {"connect", "erase", "program"})) return false;
  std::optional<std::string> connect;
  if (!r.text(j, "connect", path, connect, 16)) return false;
  if (connect) {
    if (*connect == "answers") {
      boot.connect = SimBootFaults::Connect::kAnswers;
    } else if (*connect == "silent") {
      boot.connect = SimBootFaults::Connect::kSilent;
    } else if (*connect == "wrong") {
      boot.connect = SimBootFaults::Connect::kWrong;
    } else {
      return r.fail(path + ".connect", "expected answers, silent or wrong");
    }
  }
  // {"key": "outcome", ...}, each key read by `key`.
  auto outcomes = [&](const char* name, auto&& key) {
    const Json* map = Reader::find(j, name);
    if (map == nullptr) return true;
    const std::string at = path + "." + name;
    if (!map->is_object()) return r.fail(at, "expected an object");
    for (const auto& item : map->items()) {
      const std::string here = at + "." + item.key();
      if (!item.value().is_string()) return r.fail(here, "expected fails, notReady, silent or short");
      const auto outcome = BootOutcome(item.value().get<std::string>());
      if (!outcome) return r.fail(here, "expected fails, notReady, silent or short");
      if (!key(item.key(), here, *outcome)) return false;
    }
    return true;
  };
  const bool blocksOk = outcomes("erase", [&](const std::string& k, const std::string& here, SimBootOutcome o) {
    if (k.size() != 1 || k[0] < '0' || k[0] > '2') return r.fail(here, "expected block 0, 1 or 2");
    boot.erase[k[0] - '0'] = o;
    return true;
  });
  if (!blocksOk) return false;
  return outcomes("program", [&](const std::string& k, const std::string& here, SimBootOutcome o) {
    const std::uint64_t page = k.empty() || k.size() > 4 ? kParseHexInvalid : ParseHex(k);
    if (page > 0xFFFF || k.find(' ') != std::string::npos) return r.fail(here, "expected a page number of up to 4 hex digits");
    boot.program[static_cast<std::uint16_t>(page)] = o;
    return true;
  });
}

bool ReadErrorFault(Reader& r, const Json& e, const std::string& at, SimErrorFault& fault) {
  if (!r.object(e, at, {"command", "stage", "code", "answer", "noAnswer", "shortAnswer", "stuck", "delayMs"})) {
    return false;
  }
  std::optional<std::string> command, stage;
  std::optional<std::uint64_t> code, answer, shortAnswer, delayMs;
  bool noAnswer = false;
  bool stuck = false;
  if (!r.text(e, "command", at, command, 1) || !r.text(e, "stage", at, stage, 16) ||
      !r.number(e, "code", at, code, 1, 255) || !r.number(e, "answer", at, answer, 1, 255) ||
      !r.boolean(e, "noAnswer", at, noAnswer) || !r.number(e, "shortAnswer", at, shortAnswer, 1, 0xFFFF) ||
      !r.boolean(e, "stuck", at, stuck) || !r.number(e, "delayMs", at, delayMs, 1, 600000)) {
    return false;
  }
  if (!command || command->size() != 1) return r.fail(at, "\"command\" is needed");
  const int actions = int{code.has_value()} + int{answer.has_value()} + int{noAnswer} +
                      int{shortAnswer.has_value()} + int{stuck} + int{delayMs.has_value()};
  if (actions != 1) {
    return r.fail(at, "give one of \"code\", \"answer\", \"noAnswer\", \"shortAnswer\", \"stuck\" or \"delayMs\"");
  }
  const char c = (*command)[0];
  const auto& stages = SimFaultStages(c);
  if (stages.empty()) return r.fail(at + ".command", "no command '" + *command + "' can fail this way");
  const std::string chosen = stage.value_or(std::string(stages.front().name));
  const SimFaultStage* s = FindSimFaultStage(c, chosen);
  if (s == nullptr) return r.fail(at + ".stage", "command '" + *command + "' has no stage \"" + chosen + "\"");
  fault = {c, chosen, 0, SimFaultAction::kError, 0};
  if (code) {
    fault.code = static_cast<std::uint8_t>(*code);
  } else if (answer) {
    if (s->reply != SimStageReply::kResultByte) return r.fail(at + ".answer", "stage \"" + chosen + "\" answers no result byte");
    fault.action = SimFaultAction::kAnswer;
    fault.code = static_cast<std::uint8_t>(*answer);
  } else if (noAnswer) {
    if (s->reply == SimStageReply::kNothing) return r.fail(at + ".noAnswer", "stage \"" + chosen + "\" answers nothing");
    fault.action = SimFaultAction::kNoAnswer;
  } else if (shortAnswer) {
    if (s->reply != SimStageReply::kData) {
      return r.fail(at + ".shortAnswer", "stage \"" + chosen + "\" sends no block of data");
    }
    if (*shortAnswer >= s->dataBytes) {
      return r.fail(at + ".shortAnswer", "stage \"" + chosen + "\" sends " + std::to_string(s->dataBytes) +
                                             " bytes: a short answer is 1 to " + std::to_string(s->dataBytes - 1));
    }
    fault.action = SimFaultAction::kShort;
    fault.bytes = static_cast<std::uint16_t>(*shortAnswer);
  } else if (stuck) {
    fault.action = SimFaultAction::kStuck;
  } else {
    if (!s->timed) return r.fail(at + ".delayMs", "stage \"" + chosen + "\" cannot be delayed");
    fault.action = SimFaultAction::kDelay;
    fault.delayMs = static_cast<std::uint32_t>(*delayMs);
  }
  return true;
}

bool ReadFaults(Reader& r, const Json& j, const std::string& path, SimFaults& faults) {
  if (!r.object(j, path,
                {"errors", "busyAfterReset", "busyAfterCommands", "linkLostAfter", "corruptReadCrc", "corruptFrames",
                 "refuse", "boot"})) {
    return false;
  }
  std::optional<std::string> busy, frames;
  std::optional<std::uint64_t> lost;
  if (!r.boolean(j, "busyAfterReset", path, faults.busyAfterReset) ||
      !r.text(j, "busyAfterCommands", path, busy, 16) || !r.number(j, "linkLostAfter", path, lost, 0, 1u << 31) ||
      !r.boolean(j, "corruptReadCrc", path, faults.corruptReadCrc) || !r.text(j, "corruptFrames", path, frames, 16)) {
    return false;
  }
  if (frames) {
    const auto named = std::find_if(kFrameNames.begin(), kFrameNames.end(),
                                    [&](const auto& kind) { return *frames == kind.second; });
    if (named == kFrameNames.end()) return r.fail(path + ".corruptFrames", "expected header, descriptor or page");
    faults.corruptFrames = named->first;
  }
  if (busy) {
    for (char c : *busy) {
      if (c != '*' && SimFaultStages(c).empty()) {
        return r.fail(path + ".busyAfterCommands", std::string("no command '") + c + "'");
      }
    }
    faults.busyAfterCommands = *busy;
  }
  faults.linkLostAfter = lost;
  if (const Json* refuse = Reader::find(j, "refuse")) {
    const auto& known = SimRefusableCalls();
    std::string names;
    for (std::string_view k : known) names += (names.empty() ? "" : ", ") + std::string(k);
    if (!refuse->is_array()) return r.fail(path + ".refuse", "expected a list of: " + names);
    for (std::size_t i = 0; i < refuse->size(); ++i) {
      const Json& call = (*refuse)[i];
      const std::string at = path + ".refuse[" + std::to_string(i) + "]";
      if (!call.is_string() || std::find(known.begin(), known.end(), call.get<std::string>()) == known.end()) {
        return r.fail(at, "expected one of: " + names);
      }
      faults.refusedCalls.push_back(call.get<std::string>());
    }
  }
  if (const Json* boot = Reader::find(j, "boot")) {
    if (!ReadBootFaults(r, *boot, path + ".boot", faults.boot)) return false;
  }
  if (const Json* errors = Reader::find(j, "errors")) {
    if (!errors->is_array()) return r.fail(path + ".errors", "expected a list");
    for (std::size_t i = 0; i < errors->size(); ++i) {
      SimErrorFault fault;
      if (!ReadErrorFault(r, (*errors)[i], path + ".errors[" + std::to_string(i) + "]", fault)) return false;
      faults.errors.push_back(fault);
    }
  }
  return true;
}

bool ReadProgrammer(Reader& r, const Json& j, const std::string& path, SimProgrammerSetup& p) {
  if (!r.object(j, path,
                {"attached", "usb", "updateJumpers", "bootId", "storeDamaged", "setup", "info", "image", "firmware",
                 "target", "faults"})) {
    return false;
  }
  bool hasBootId = false;
  if (!r.boolean(j, "attached", path, p.attached) || !r.boolean(j, "updateJumpers", path, p.updateJumpers) ||
      !r.hexBytes(j, "bootId", path, p.bootId.data(), p.bootId.size(), hasBootId) ||
      !r.boolean(j, "storeDamaged", path, p.storeDamaged)) {
    return false;
  }
  if (const Json* usb = Reader::find(j, "usb")) {
    const std::string at = path + ".usb";
    if (!r.object(*usb, at, {"vendorId", "productId", "product"})) return false;
    std::optional<std::string> vid, pid, product;
    if (!r.text(*usb, "vendorId", at, vid, 255) || !r.text(*usb, "productId", at, pid, 255) ||
        !r.text(*usb, "product", at, product, 255)) {
      return false;
    }
    p.usb.vendorId = vid.value_or(p.usb.vendorId);
    p.usb.productId = pid.value_or(p.usb.productId);
    p.usb.product = product.value_or(p.usb.product);
  }
  if (const Json* image = Reader::find(j, "image")) {
    if (!ReadPageRuns(r, *image, path + ".image", p.image)) return false;
  }
  if (const Json* firmware = Reader::find(j, "firmware")) {
    const PagePlace own{[](std::uint16_t page) { return SimBootFlashHolds(page); },
                        "the programmer's own flash (pages FC0 to FFF)"};
    if (!ReadPageRuns(r, *firmware, path + ".firmware", p.firmware, &own)) return false;
    // Erased pages are not kept: the flash is erased wherever no page is given.
    std::erase_if(p.firmware, [](const auto& page) {
      return std::all_of(page.second.begin(), page.second.end(), [](std::uint8_t v) { return v == 0xFF; });
    });
  }
  const Json* setup = Reader::find(j, "setup");
  const Json* raw = Reader::find(j, "info");
  if (setup != nullptr && raw != nullptr) return r.fail(path, "give either \"setup\" or \"info\"");
  if (setup != nullptr && !ReadSetup(r, *setup, path + ".setup", p.info, p.image.size())) return false;
  bool hasInfo = false;
  if (raw != nullptr && !r.hexBytes(j, "info", path, p.info.data(), p.info.size(), hasInfo)) return false;
  if (const Json* target = Reader::find(j, "target")) {
    if (!ReadTarget(r, *target, path + ".target", p.target)) return false;
  }
  if (const Json* faults = Reader::find(j, "faults")) {
    if (!ReadFaults(r, *faults, path + ".faults", p.faults)) return false;
  }
  return true;
}

// ---------------------------------------------------------------- writing

Json WritePageRuns(const SimPages& pages) {
  Json runs = Json::array();
  auto uniform = [](const SimPage& d) {
    return std::all_of(d.begin(), d.end(), [&](std::uint8_t v) { return v == d[0]; });
  };
  for (auto it = pages.begin(); it != pages.end();) {
    const std::uint16_t first = it->first;
    if (!uniform(it->second)) {
      runs.push_back({{"page", HexText(first, 3)}, {"data", HexBytes(it->second.data(), kSimPageSize)}});
      ++it;
      continue;
    }
    // Uniform pages in a row whose fill bytes climb by a constant step make one run.
    const std::uint8_t fill = it->second[0];
    std::uint8_t step = 0;
    std::uint32_t count = 1;
    auto next = std::next(it);
    while (next != pages.end() && next->first == first + count && uniform(next->second)) {
      if (count == 1) step = static_cast<std::uint8_t>(next->second[0] - fill);
      if (static_cast<std::uint8_t>(fill + step * count) != next->second[0]) break;
      ++count;
      ++next;
    }
    Json run = {{"page", HexText(first, 3)}, {"fill", HexText(fill, 2)}};
    if (count > 1) run["count"] = count;
    if (count > 1 && step != 0) run["step"] = step;
    runs.push_back(run);
    it = next;
  }
  return runs;
}

// The block as readable fields when they say exactly the same, else nothing.
std::optional<Json> WriteSetup(const ProgrammerInfo& block, std::size_t imagePages) {
  auto erased = [&](std::size_t from, std::size_t n) {
    return std::all_of(block.begin() + from, block.begin() + from + n, [](std::uint8_t v) { return v == 0xFF; });
  };
  auto textOf = [&](std::size_t from, std::size_t n) -> std::optional<std::string> {
    std::string s(block.begin() + from, block.begin() + from + n);
    if (!std::all_of(s.begin(), s.end(), [](char c) { return Printable(static_cast<std::uint8_t>(c)); })) {
      return std::nullopt;
    }
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  };
  Json j = Json::object();
  if (block[info::kTypeCode] != 0xFF) {
    if (!Printable(block[info::kTypeCode])) return std::nullopt;
    j["type"] = std::string(1, static_cast<char>(block[info::kTypeCode]));
  }
  if (block[info::kPower] != 0xFF) j["power"] = HexText(block[info::kPower], 2);
  if (!erased(info::kIdCode, info::kIdCodeSize)) j["id"] = HexBytes(block.data() + info::kIdCode, info::kIdCodeSize);
  for (const auto& [key, from, n] : {std::tuple{"mcu", info::kNames, info::kMcuNameSize},
                                     std::tuple{"file", info::kFileName, info::kFileNameSize},
                                     std::tuple{"time", info::kModifyTime, info::kModifyTimeSize}}) {
    if (erased(from, n)) continue;
    const auto s = textOf(from, n);
    if (!s) return std::nullopt;
    j[key] = *s;
  }
  std::size_t used = info::kBlockEntries;
  while (used > 0 && InfoBlockEntry(block, used - 1) == 0xFFFF) --used;
  if (used > 0) {
    Json entries = Json::array();
    for (std::size_t i = 0; i < used; ++i) entries.push_back(HexText(InfoBlockEntry(block, i), 3));
    j["blocks"] = entries;
  }
  if (!erased(info::kFileSize, 4)) j["size"] = InfoFileSize(block);
  if (!erased(info::kPageCount, 2)) j["pages"] = InfoPageCount(block);

  // Only keep the readable form when it reads back to the very same bytes.
  Reader check;
  ProgrammerInfo again;
  if (!ReadSetup(check, j, "setup", again, imagePages) || again != block) return std::nullopt;
  return j;
}

const char* FlashFaultName(SimFlashFault f) {
  switch (f) {
    case SimFlashFault::kErase: return "erase";
    case SimFlashFault::kProgram: return "program";
    case SimFlashFault::kVerify: return "verify";
    case SimFlashFault::kNone: break;
  }
  return "none";
}

Json WriteProgrammer(const SimProgrammerSetup& p) {
  Json j = Json::object();
  j["attached"] = p.attached;
  if (!(p.usb == SimUsbStrings{})) {
    j["usb"] = {{"vendorId", p.usb.vendorId}, {"productId", p.usb.productId}, {"product", p.usb.product}};
  }
  if (p.updateJumpers) j["updateJumpers"] = true;
  if (p.bootId != kSimDefaultBootId) j["bootId"] = HexBytes(p.bootId.data(), p.bootId.size());
  if (p.storeDamaged) j["storeDamaged"] = true;
  if (p.info != SimProgrammerSetup::FreshInfo()) {
    if (auto setup = WriteSetup(p.info, p.image.size())) {
      j["setup"] = *setup;
    } else {
      j["info"] = HexBytes(p.info.data(), p.info.size());
    }
  }
  if (!p.image.empty()) j["image"] = WritePageRuns(p.image);
  if (!p.firmware.empty()) j["firmware"] = WritePageRuns(p.firmware);

  const SimTarget& t = p.target;
  Json target = {{"present", t.present}, {"voltage", t.voltage}, {"selfPowered", t.selfPowered},
                 {"id", HexBytes(t.id.data(), t.id.size())}};
  Json flash = Json::array();
  for (const SimFlashRegion& r : t.flash) {
    flash.push_back({{"start", HexText(r.startPage * kSimPageSize, 5)},
                     {"size", std::uint64_t{r.pageCount} * kSimPageSize},
                     {"blockSize", std::uint64_t{r.blockPages} * kSimPageSize}});
  }
  target["flash"] = flash;
  if (t.flashFault != SimFlashFault::kNone) target["flashFault"] = FlashFaultName(t.flashFault);
  if (!t.memory.empty()) target["memory"] = WritePageRuns(t.memory);
  j["target"] = target;

  const SimFaults& f = p.faults;
  if (f.any()) {
    Json faults = Json::object();
    if (!f.errors.empty()) {
      Json errors = Json::array();
      for (const SimErrorFault& e : f.errors) {
        Json error = {{"command", std::string(1, e.command)}, {"stage", e.stage}};
        switch (e.action) {
          case SimFaultAction::kError: error["code"] = e.code; break;
          case SimFaultAction::kAnswer: error["answer"] = e.code; break;
          case SimFaultAction::kNoAnswer: error["noAnswer"] = true; break;
          case SimFaultAction::kStuck: error["stuck"] = true; break;
          case SimFaultAction::kDelay: error["delayMs"] = e.delayMs; break;
          case SimFaultAction::kShort: error["shortAnswer"] = e.bytes; break;
        }
        errors.push_back(error);
      }
      faults["errors"] = errors;
    }
    if (f.busyAfterReset) faults["busyAfterReset"] = true;
    if (!f.busyAfterCommands.empty()) faults["busyAfterCommands"] = f.busyAfterCommands;
    if (f.linkLostAfter) faults["linkLostAfter"] = *f.linkLostAfter;
    if (f.corruptReadCrc) faults["corruptReadCrc"] = true;
    for (const auto& [kind, name] : kFrameNames) {
      if (f.corruptFrames == kind) faults["corruptFrames"] = name;
    }
    if (!f.refusedCalls.empty()) faults["refuse"] = f.refusedCalls;
    if (f.boot.any()) {
      Json boot = Json::object();
      if (f.boot.connect == SimBootFaults::Connect::kSilent) boot["connect"] = "silent";
      if (f.boot.connect == SimBootFaults::Connect::kWrong) boot["connect"] = "wrong";
      if (!f.boot.erase.empty()) {
        Json erase = Json::object();
        for (const auto& [block, outcome] : f.boot.erase) erase[std::to_string(block)] = BootOutcomeName(outcome);
        boot["erase"] = erase;
      }
      if (!f.boot.program.empty()) {
        Json program = Json::object();
        for (const auto& [page, outcome] : f.boot.program) program[HexText(page, 3)] = BootOutcomeName(outcome);
        boot["program"] = program;
      }
      faults["boot"] = boot;
    }
    j["faults"] = faults;
  }
  return j;
}

}  // namespace

std::optional<std::vector<SimProgrammerSetup>> ParseSimBench(std::string_view text, std::string& error) {
  SyntaxCheck syntax;
  if (!Json::sax_parse(text, &syntax, nlohmann::detail::input_format_t::json, true) || !syntax.message.empty()) {
    error = syntax.refusal.empty() ? SyntaxMessage(text, syntax) : syntax.refusal;
    return std::nullopt;
  }
  const Json doc = Json::parse(text, nullptr, false);
  if (doc.is_discarded()) {
    error = "not a JSON text";
    return std::nullopt;
  }
  Reader r;
  std::vector<SimProgrammerSetup> programmers;
  if (!r.object(doc, "bench", {"programmers"})) {
    error = r.error;
    return std::nullopt;
  }
  const Json* list = Reader::find(doc, "programmers");
  if (list == nullptr || !list->is_array()) {
    error = "bench: expected a list \"programmers\"";
    return std::nullopt;
  }
  for (std::size_t i = 0; i < list->size(); ++i) {
    SimProgrammerSetup p;
    if (!ReadProgrammer(r, (*list)[i], "programmers[" + std::to_string(i) + "]", p)) {
      error = r.error;
      return std::nullopt;
    }
    programmers.push_back(std::move(p));
  }
  return programmers;
}

std::string FormatSimBench(const std::vector<SimProgrammerSetup>& programmers) {
  Json list = Json::array();
  for (const SimProgrammerSetup& p : programmers) list.push_back(WriteProgrammer(p));
  const Json doc = {{"programmers", list}};
  return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string FreshBenchJson(std::size_t programmers) {
  return FormatSimBench(std::vector<SimProgrammerSetup>(programmers));
}

std::string DemoBenchJson() {
  // Nothing runs on the bench: the clock only has to exist.
  VirtualClock clock;
  return SimBench::demo(clock)->toJson();
}

}  // namespace fd
