// Bench files: reading, writing back, and clear errors for broken files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "sim/SimBenchFile.h"
#include "sim/SimErrors.h"
#include "sim/SimHost.h"
#include "sim/SimulateArg.h"
#include "support/TempDir.h"

namespace fd::test {
namespace {

void ExpectSameSetups(const std::vector<SimProgrammerSetup>& a, const std::vector<SimProgrammerSetup>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(a[i].info, b[i].info);
    EXPECT_EQ(a[i].image, b[i].image);
    EXPECT_EQ(a[i].usb, b[i].usb);
    EXPECT_EQ(a[i].attached, b[i].attached);
    EXPECT_EQ(a[i].updateJumpers, b[i].updateJumpers);
    EXPECT_EQ(a[i].faults, b[i].faults);
    EXPECT_EQ(a[i].storeDamaged, b[i].storeDamaged);
    EXPECT_EQ(a[i].bootId, b[i].bootId);
    EXPECT_EQ(a[i].firmware, b[i].firmware);
    const SimTarget& x = a[i].target;
    const SimTarget& y = b[i].target;
    EXPECT_EQ(x.present, y.present);
    EXPECT_EQ(x.voltage, y.voltage);
    EXPECT_EQ(x.selfPowered, y.selfPowered);
    EXPECT_EQ(x.id, y.id);
    EXPECT_EQ(x.flash, y.flash);
    EXPECT_EQ(x.memory, y.memory);
    EXPECT_EQ(x.flashFault, y.flashFault);
  }
}

TEST(SimBenchFile, RoundTripKeepsEverything) {
  VirtualClock clock;
  auto bench = SimBench::demo(clock);
  // Things the demo does not have: faults, a foreign device, an unplugged one, target
  // memory, a block that only the raw form can hold, a page that is not one fill byte.
  SimProgrammer& first = bench->programmer(0);
  first.faults().errors = {{'S', "erase", 0x50}, {'R', "read", 0x12}};
  first.faults().busyAfterCommands = "CU";
  first.faults().linkLostAfter = 1234;
  first.faults().corruptReadCrc = true;
  first.target().memory[0x041] = Filled(0x00);
  first.target().flashFault = SimFlashFault::kVerify;
  SimPage mixed = Filled(0x11);
  mixed[7] = 0x99;
  first.setup().image[0x0FF] = mixed;
  SimProgrammerSetup odd;
  odd.usb.product = "Some Other Bridge";
  odd.info[info::kNames] = 0x01;  // not text
  odd.updateJumpers = true;
  odd.target.present = false;
  bench->attach(odd);
  bench->detach(1);

  const std::string text = bench->toJson();
  auto again = SimBench::fromJson(text, clock);
  ASSERT_TRUE(again.bench) << again.error;
  ExpectSameSetups(again.bench->setups(), bench->setups());
  EXPECT_EQ(again.bench->toJson(), text);
  std::uint32_t count = 0;
  again.bench->BridgeGetNumDevices(count);
  EXPECT_EQ(count, 3u) << "the unplugged one stays unplugged";
}

TEST(SimBenchFile, ReadableFieldsBuildTheInformationBlock) {
  const char* text = R"({"programmers": [{
      "setup": {"type": "2", "power": "50", "id": "0102030405060708090A0B0C0D0E"
                 , "mcu": "ZK40F8C12", "file": "blinky",
                "blocks": ["024", "40"], "time": "240314093012", "size": 12345},
      "image": [{"page": "0F0", "count": 3, "fill": "10", "step": 2}]}]})";
  std::string error;
  const auto bad = ParseSimBench(text, error);
  EXPECT_FALSE(bad);
  EXPECT_NE(error.find("programmers[0].setup.id"), std::string::npos) << error;

  const char* good = R"({"programmers": [{
      "setup": {"type": "2", "power": "50", "id": "01020304050607", "mcu": "ZK40F8C12", "file": "blinky",
                "blocks": ["024", "40"], "time": "240314093012", "size": 12345},
      "image": [{"page": "0F0", "count": 3, "fill": "10", "step": 2}]}]})";
  const auto setups = ParseSimBench(good, error);
  ASSERT_TRUE(setups) << error;
  const SimProgrammerSetup& p = (*setups)[0];
  EXPECT_EQ(p.info[info::kTypeCode], '2');
  EXPECT_EQ(p.info[info::kPower], 0x50);
  EXPECT_EQ(p.info[info::kIdCode + 6], 0x07);
  EXPECT_EQ(InfoMcuName(p.info), "ZK40F8C12   ");
  EXPECT_EQ(InfoFileName(p.info), "blinky          ");
  EXPECT_EQ(InfoBlockEntry(p.info, 0), 0x024);
  EXPECT_EQ(InfoBlockEntry(p.info, 1), 0x040);
  EXPECT_EQ(InfoBlockEntry(p.info, 2), 0xFFFF);
  EXPECT_EQ(InfoModifyDigits(p.info), "240314093012");
  EXPECT_EQ(InfoFileSize(p.info), 12345u);
  EXPECT_EQ(InfoPageCount(p.info), 3) << "taken from the image when not given";
  EXPECT_EQ(p.image.at(0x0F2), Filled(0x14));
  EXPECT_TRUE(p.attached);
  EXPECT_TRUE(p.target.present) << "defaults for what is not given";
}

struct BadFile {
  const char* name;
  const char* text;
  const char* where;  // expected in the message
};
void PrintTo(const BadFile& c, std::ostream* os) { *os << c.name; }


class SimBenchFileErrors : public ::testing::TestWithParam<BadFile> {};

TEST_P(SimBenchFileErrors, SayWhatIsWrongAndWhere) {
  VirtualClock clock;
  const auto r = SimBench::fromJson(GetParam().text, clock);
  EXPECT_FALSE(r.bench);
  EXPECT_NE(r.error.find(GetParam().where), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimBenchFileErrors,
    ::testing::Values(
        BadFile{"Empty", "", "parse error"},
        BadFile{"Truncated", R"({"programmers": [{"attached": true)", "parse error"},
        BadFile{"NotAnObject", "[1, 2]", "bench"},
        BadFile{"NoList", R"({})", "programmers"},
        BadFile{"UnknownKey", R"({"programmers": [{"atached": true}]})", "programmers[0]: unknown key \"atached\""},
        BadFile{"WrongType", R"({"programmers": [{"attached": "yes"}]})", "programmers[0].attached"},
        BadFile{"Voltage", R"({"programmers": [{}, {"target": {"voltage": 4}}]})", "programmers[1].target.voltage"},
        BadFile{"NegativeSize", R"({"programmers": [{"setup": {"size": -1}}]})", "programmers[0].setup.size"},
        BadFile{"InfoLength", R"({"programmers": [{"info": "FFFF"}]})", "programmers[0].info"},
        BadFile{"SetupAndInfo", R"({"programmers": [{"info": "FF", "setup": {}}]})", "either"},
        BadFile{"BadTime", R"({"programmers": [{"setup": {"time": "24-03-14 9:3"}}]})", "setup.time"},
        BadFile{"FillAndData", R"({"programmers": [{"image": [{"page": "10", "fill": "00", "data": "00"}]}]})",
                "image[0]"},
        BadFile{"PageTwice",
                R"({"programmers": [{"image": [{"page": "10", "count": 2, "fill": "00"},
                                                 {"page": "11", "fill": "01"}]}]})",
                "page 011 is given twice"},
        BadFile{"PastLastPage", R"({"programmers": [{"image": [{"page": "FFFF", "count": 2, "fill": "00"}]}]})",
                "runs past page FFFF"},
        BadFile{"FlashNotWholePages",
                R"({"programmers": [{"target": {"flash": [{"start": "04010", "size": 4096}]}}]})",
                "target.flash[0]"},
        BadFile{"UnknownStage",
                R"({"programmers": [{"faults": {"errors": [{"command": "S", "stage": "dry", "code": 80}]}}]})",
                "no stage \"dry\""},
        BadFile{"CodeZero", R"({"programmers": [{"faults": {"errors": [{"command": "C", "code": 0}]}}]})",
                "errors[0].code"},
        BadFile{"UnknownCommand", R"({"programmers": [{"faults": {"errors": [{"command": "Q", "code": 1}]}}]})",
                "no command 'Q'"},
        BadFile{"NonAscii", "{\"programmers\": [{\"setup\": {\"mcu\": \"ZK\xC3\xA9\"}}]}", "printable"},
        BadFile{"BootIdLength", R"({"programmers": [{"bootId": "C3C3"}]})", "programmers[0].bootId"},
        BadFile{"DamagedNotABool", R"({"programmers": [{"storeDamaged": 1}]})", "programmers[0].storeDamaged"},
        BadFile{"FirmwareElsewhere", R"({"programmers": [{"firmware": [{"page": "FBF", "fill": "00"}]}]})",
                "firmware[0]: page FBF lies outside the programmer's own flash"},
        BadFile{"MemoryOutsideTheFlash",
                R"({"programmers": [{"target": {"flash": [{"start": "04000", "size": 4096}],
                                                "memory": [{"page": "050", "fill": "00"}]}}]})",
                "target.memory[0]: page 050 lies outside the target's flash"},
        BadFile{"TwoActions",
                R"({"programmers": [{"faults": {"errors": [{"command": "E", "code": 80, "stuck": true}]}}]})",
                "errors[0]: give one of"},
        BadFile{"NoAction", R"({"programmers": [{"faults": {"errors": [{"command": "E"}]}}]})", "errors[0]: give one of"},
        BadFile{"AnswerWhereNoneIsSent",
                R"({"programmers": [{"faults": {"errors": [{"command": "D", "stage": "page", "answer": 5}]}}]})",
                "errors[0].answer: stage \"page\" answers no result byte"},
        BadFile{"NoAnswerWhereNoneIsSent",
                R"({"programmers": [{"faults": {"errors": [{"command": "D", "stage": "page", "noAnswer": true}]}}]})",
                "errors[0].noAnswer: stage \"page\" answers nothing"},
        BadFile{"ShortAnswerWhereNoDataIsSent",
                R"({"programmers": [{"faults": {"errors": [{"command": "C", "shortAnswer": 1}]}}]})",
                "errors[0].shortAnswer: stage \"connect\" sends no block of data"},
        BadFile{"ShortAnswerAsLongAsTheBlock",
                R"({"programmers": [{"faults": {"errors": [{"command": "I", "shortAnswer": 89}]}}]})",
                "errors[0].shortAnswer: stage \"info\" sends 89 bytes: a short answer is 1 to 88"},
        BadFile{"ShortAnswerOfNothing",
                R"({"programmers": [{"faults": {"errors": [{"command": "R", "shortAnswer": 0}]}}]})",
                "errors[0].shortAnswer"},
        BadFile{"CorruptFramesOfNoKind", R"({"programmers": [{"faults": {"corruptFrames": "trailer"}}]})",
                "faults.corruptFrames: expected header, descriptor or page"},
        BadFile{"DelayOfTheRun",
                R"({"programmers": [{"faults": {"errors": [{"command": "S", "delayMs": 10}]}}]})",
                "errors[0].delayMs: stage \"connect\" cannot be delayed"},
        BadFile{"UnknownCall", R"({"programmers": [{"faults": {"refuse": ["open", "close"]}}]})",
                "faults.refuse[1]: expected one of: productString, open, baudRate, lineControl, lines"},
        BadFile{"BootConnect", R"({"programmers": [{"faults": {"boot": {"connect": "never"}}}]})",
                "faults.boot.connect"},
        BadFile{"BootBlock", R"({"programmers": [{"faults": {"boot": {"erase": {"3": "fails"}}}}]})",
                "faults.boot.erase.3: expected block 0, 1 or 2"},
        BadFile{"BootOutcome", R"({"programmers": [{"faults": {"boot": {"program": {"FC0": "broken"}}}}]})",
                "faults.boot.program.FC0: expected fails, notReady, silent or short"},
        BadFile{"BootPage", R"({"programmers": [{"faults": {"boot": {"program": {"FCG": "fails"}}}}]})",
                "faults.boot.program.FCG"},
        // A key given twice would otherwise count once, the reader choosing which.
        BadFile{"KeyTwice", R"({"programmers": [{"attached": true, "attached": false}]})",
                "programmers[0]: the key \"attached\" is given twice"},
        BadFile{"KeyTwiceDeeper", R"({"programmers": [{}, {"target": {"flash": [{"start": "04000", "size": 256,
                                                                        "start": "08000"}]}}]})",
                "programmers[1].target.flash[0]: the key \"start\" is given twice"},
        BadFile{"KeyTwiceAtTheTop", R"({"programmers": [], "programmers": [{}]})",
                "bench: the key \"programmers\" is given twice"},
        BadFile{"OverlappingFlash",
                R"({"programmers": [{"target": {"flash": [{"start": "04000", "size": 8192, "blockSize": 4096},
                                                          {"start": "05000", "size": 4096}]}}]})",
                "target.flash[1]: overlaps programmers[0].target.flash[0] (04000 to 05FFF)"},
        BadFile{"FlashInsideFlash",
                R"({"programmers": [{"target": {"flash": [{"start": "04400", "size": 256},
                                                          {"start": "04000", "size": 4096}]}}]})",
                "target.flash[1]: overlaps programmers[0].target.flash[0]"}),
    [](const auto& info) { return std::string(info.param.name); });

// A bench holds up to 16 programmers: nine still show "More programmers are detected.", and
// a file of a million is refused at once instead of being built up in memory.
TEST(SimBenchFile, ABenchHoldsAtMostSixteenProgrammers) {
  const auto benchOf = [](std::size_t n) {
    std::string text = "{\"programmers\": [";
    for (std::size_t i = 0; i < n; ++i) text += i == 0 ? "{}" : ", {}";
    return text + "]}";
  };
  VirtualClock clock;
  for (const std::size_t n : {9u, 16u}) {
    const auto r = SimBench::fromJson(benchOf(n), clock);
    ASSERT_TRUE(r.bench) << n << ": " << r.error;
    EXPECT_EQ(r.bench->programmerCount(), n);
  }
  for (const std::size_t n : {17u, 1000000u}) {
    const auto r = SimBench::fromJson(benchOf(n), clock);
    EXPECT_FALSE(r.bench) << n;
    EXPECT_EQ(r.error, "programmers: more than 16 programmers; a bench holds at most 16") << n;
  }
  // Only the list of programmers counts: longer lists elsewhere are theirs to judge.
  const auto pages = SimBench::fromJson(
      R"({"programmers": [{"image": [{"page": "00", "fill": "00"}, {"page": "01", "fill": "00"},
          {"page": "02", "fill": "00"}, {"page": "03", "fill": "00"}, {"page": "04", "fill": "00"},
          {"page": "05", "fill": "00"}, {"page": "06", "fill": "00"}, {"page": "07", "fill": "00"},
          {"page": "08", "fill": "00"}, {"page": "09", "fill": "00"}, {"page": "0A", "fill": "00"},
          {"page": "0B", "fill": "00"}, {"page": "0C", "fill": "00"}, {"page": "0D", "fill": "00"},
          {"page": "0E", "fill": "00"}, {"page": "0F", "fill": "00"}, {"page": "10", "fill": "00"}]}]})",
      clock);
  EXPECT_TRUE(pages.bench) << pages.error;
}

TEST(SimBenchFile, FlashRegionsSideBySideAreOne) {
  VirtualClock clock;
  const auto r = SimBench::fromJson(
      R"({"programmers": [{"target": {"flash": [{"start": "05000", "size": 4096},
                                                {"start": "04000", "size": 4096}]}}]})",
      clock);
  EXPECT_TRUE(r.bench) << r.error;
}

TEST(SimBenchFile, SaveReplacesTheFileWholeAndLoadReadsItBack) {
  TempDir dir;
  VirtualClock clock;
  auto bench = SimBench::demo(clock);
  const std::string path = dir.path("bench.json");
  dir.write("bench.json", "old contents");
  std::string error;
  ASSERT_TRUE(bench->save(path, error)) << error;
  EXPECT_FALSE(dir.exists("bench.json.tmp"));
  auto loaded = SimBench::load(path, clock);
  ASSERT_TRUE(loaded.bench) << loaded.error;
  ExpectSameSetups(loaded.bench->setups(), bench->setups());

  EXPECT_FALSE(bench->save(dir.path("missing/bench.json"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(dir.read("bench.json"), bench->toJson()) << "a failed save touches nothing else";
}

TEST(SimBenchFile, MissingOrBrokenFileGivesAClearError) {
  TempDir dir;
  VirtualClock clock;
  auto missing = SimBench::load(dir.path("nope.json"), clock);
  EXPECT_FALSE(missing.bench);
  EXPECT_NE(missing.error.find("nope.json"), std::string::npos);
  dir.write("broken.json", "{\"programmers\": [");
  auto broken = SimBench::load(dir.path("broken.json"), clock);
  EXPECT_FALSE(broken.bench);
  EXPECT_NE(broken.error.find("broken.json"), std::string::npos) << broken.error;
}

TEST(SimBenchFile, StateChangedOverTheWireSurvivesSaveAndLoad) {
  TempDir dir;
  VirtualClock clock;
  auto bench = SimBench::demo(clock);
  {
    SimHost host(*bench, clock);
    host.open(0);
    ASSERT_TRUE(host.reset());
    host.write({'S'});
    host.spinMs(5000);  // the run programs the target
    ASSERT_EQ(bench->programmer(0).latchedError(), 0);
  }
  std::string error;
  ASSERT_TRUE(bench->save(dir.path("b.json"), error)) << error;
  auto loaded = SimBench::load(dir.path("b.json"), clock);
  ASSERT_TRUE(loaded.bench) << loaded.error;
  EXPECT_EQ(loaded.bench->programmer(0).target().memory, bench->programmer(0).image());
}

TEST(SimBenchFile, WhatIsNoBenchFileIsRefusedAtOnceWithAClearMessage) {
  TempDir dir;
  VirtualClock clock;
  ASSERT_EQ(::mkfifo(dir.path("fifo.json").c_str(), 0666), 0);
  std::filesystem::create_directory(dir.path("folder.json"));
  dir.write("big.json", "");
  std::filesystem::resize_file(dir.path("big.json"), kSimBenchFileLimit + 1);  // sparse: no disk used
  const struct {
    std::string path;
    const char* says;
  } cases[] = {
      {dir.path("fifo.json"), "is a pipe"},  // must not wait for a writer
      {"/dev/zero", "is a device"},
      {dir.path("folder.json"), "is a folder"},
      {dir.path("big.json"), "too large"},
      {dir.path("none.json"), "does not exist"},
  };
  for (const auto& c : cases) {
    const SimBenchLoad r = SimBench::load(c.path, clock);
    EXPECT_FALSE(r.bench) << c.path;
    EXPECT_NE(r.error.find("\"" + c.path + "\""), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
  }
}

TEST(SimBenchFile, AParseErrorSaysWhereWithoutTheLibrarysPrefix) {
  TempDir dir;
  VirtualClock clock;
  dir.write("broken.json", "{\"programmers\": [");
  const SimBenchLoad r = SimBench::load(dir.path("broken.json"), clock);
  EXPECT_FALSE(r.bench);
  EXPECT_EQ(r.error.find("json.exception"), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("parse error at line 1"), std::string::npos) << r.error;
  EXPECT_EQ(r.error.rfind("The bench file \"" + dir.path("broken.json") + "\"", 0), 0u) << r.error;
}

TEST(SimBenchFile, AReadOnlyBenchFileIsNeverReplaced) {
  TempDir dir;
  VirtualClock clock;
  auto bench = SimBench::demo(clock);
  dir.write("bench.json", "kept");
  ASSERT_EQ(::chmod(dir.path("bench.json").c_str(), 0444), 0);
  std::string error;
  EXPECT_FALSE(bench->save(dir.path("bench.json"), error));
  EXPECT_NE(error.find("read-only"), std::string::npos) << error;
  EXPECT_EQ(dir.read("bench.json"), "kept");
}

TEST(SimBenchFile, RoundTripKeepsFaultsBootLoaderAndFirmware) {
  VirtualClock clock;
  auto bench = SimBench::fresh(2, clock);
  SimProgrammerSetup& a = bench->programmer(0).setup();
  a.updateJumpers = true;
  a.bootId = {1, 2, 3, 4, 5, 6, 7};
  a.firmware[0xFC0] = Filled(0x12);
  a.firmware[0xFFF] = Filled(0x34);
  a.faults.boot.connect = SimBootFaults::Connect::kWrong;
  a.faults.boot.erase = {{0, SimBootOutcome::kNotReady}, {2, SimBootOutcome::kFails}};
  a.faults.boot.program = {{0xFC3, SimBootOutcome::kSilent}, {0xFC4, SimBootOutcome::kShort}};
  a.faults.refusedCalls = {"open", "lines"};
  SimProgrammerSetup& b = bench->programmer(1).setup();
  b.storeDamaged = true;
  b.faults.errors = {{'E', "erase", 0x50},
                     {'E', "erase", 0x05, SimFaultAction::kAnswer},
                     {'D', "finish", 0, SimFaultAction::kNoAnswer},
                     {'R', "read", 0, SimFaultAction::kStuck},
                     {'P', "page", 0, SimFaultAction::kDelay, 250},
                     {'B', "ack", 0x12},
                     {'R', "read", 0, SimFaultAction::kShort, 0, 130},
                     {'S', "program", 0, SimFaultAction::kNoAnswer}};
  b.faults.corruptFrames = SimFrameKind::kDescriptor;
  b.target.memory[0x041] = Filled(0x00);

  const std::string text = bench->toJson();
  auto again = SimBench::fromJson(text, clock);
  ASSERT_TRUE(again.bench) << again.error;
  ExpectSameSetups(again.bench->setups(), bench->setups());
  EXPECT_EQ(again.bench->toJson(), text);
  EXPECT_NE(text.find("\"bootId\": \"01020304050607\""), std::string::npos) << text;
}

TEST(SimBenchFile, NewKeysReadAsWritten) {
  const char* text = R"({"programmers": [{
      "updateJumpers": true, "bootId": "0102030405060708090A0B0C0D0E",
      "firmware": [{"page": "FC0", "count": 2, "fill": "AA"}, {"page": "FC2", "fill": "FF"}]}]})";
  std::string error;
  EXPECT_FALSE(ParseSimBench(text, error));
  EXPECT_NE(error.find("programmers[0].bootId"), std::string::npos) << error;

  const char* good = R"({"programmers": [{
      "updateJumpers": true, "bootId": "0102030405060a", "storeDamaged": true,
      "firmware": [{"page": "FC0", "count": 2, "fill": "AA"}, {"page": "FC2", "fill": "FF"}],
      "faults": {"errors": [{"command": "D", "stage": "descriptor", "delayMs": 20},
                            {"command": "C", "answer": 7},
                            {"command": "I", "noAnswer": true},
                            {"command": "I", "shortAnswer": 40}],
                 "corruptFrames": "page",
                 "refuse": ["baudRate"],
                 "boot": {"connect": "silent", "erase": {"1": "fails"}, "program": {"fc3": "notReady"}}}}]})";
  const auto setups = ParseSimBench(good, error);
  ASSERT_TRUE(setups) << error;
  const SimProgrammerSetup& p = (*setups)[0];
  EXPECT_EQ(p.bootId, (SimIdCode{1, 2, 3, 4, 5, 6, 0x0A}));
  EXPECT_TRUE(p.storeDamaged);
  EXPECT_EQ(p.firmware.size(), 2u) << "an erased page is no page";
  EXPECT_EQ(p.firmware.at(0xFC1), Filled(0xAA));
  const std::vector<SimErrorFault> errors = {{'D', "descriptor", 0, SimFaultAction::kDelay, 20},
                                             {'C', "connect", 7, SimFaultAction::kAnswer},
                                             {'I', "info", 0, SimFaultAction::kNoAnswer},
                                             {'I', "info", 0, SimFaultAction::kShort, 0, 40}};
  EXPECT_EQ(p.faults.errors, errors) << "a fault without a stage takes the command's first";
  EXPECT_EQ(p.faults.corruptFrames, SimFrameKind::kPage);
  EXPECT_EQ(p.faults.refusedCalls, std::vector<std::string>{"baudRate"});
  EXPECT_EQ(p.faults.boot.connect, SimBootFaults::Connect::kSilent);
  EXPECT_EQ(p.faults.boot.erase.at(1), SimBootOutcome::kFails);
  EXPECT_EQ(p.faults.boot.program.at(0xFC3), SimBootOutcome::kNotReady);
}

TEST(SimBenchFile, SyntaxErrorsSayLineAndColumnInPlainWords) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"", "parse error at line 1, column 1: unexpected end of input"},
      {"{\"programmers\": [\n  {\"attached\": tru}\n]}", "parse error at line 2, column 19: invalid literal"},
      {"{\"programmers\": [\n  {\"attached\": true},\n  ]\n}", "parse error at line 3, column 3:"},
      {"{\"programmers\": [", "parse error at line 1, column 18: unexpected end of input"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseSimBench(c.text, error));
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    EXPECT_EQ(error.find("json.exception"), std::string::npos) << error;
    EXPECT_EQ(error.find("syntax error while parsing"), std::string::npos) << error;
  }
}

TEST(SimBenchFile, FreshAndDemoTextsMakeTheirBenches) {
  VirtualClock clock;
  auto fresh = SimBench::fromJson(FreshBenchJson(3), clock);
  ASSERT_TRUE(fresh.bench) << fresh.error;
  ExpectSameSetups(fresh.bench->setups(), SimBench::fresh(3, clock)->setups());
  auto none = SimBench::fromJson(FreshBenchJson(0), clock);
  ASSERT_TRUE(none.bench) << none.error;
  EXPECT_EQ(none.bench->programmerCount(), 0u);
  auto demo = SimBench::fromJson(DemoBenchJson(), clock);
  ASSERT_TRUE(demo.bench) << demo.error;
  ExpectSameSetups(demo.bench->setups(), SimBench::demo(clock)->setups());
}

TEST(SimBenchFile, FileOfTheEarlierFormatStillReads) {
  // As the program wrote its bench files before boot loader, firmware and stage actions.
  const char* text = R"({
  "programmers": [
    {
      "attached": true,
      "setup": {"type": "2", "power": "00", "id": "C3C3C3C3C3C3C3", "mcu": "ZK40F8C12", "file": "blinky",
                "blocks": ["040"], "time": "240314093012", "size": 600, "pages": 1},
      "image": [{"page": "040", "fill": "5A"}],
      "target": {"present": true, "voltage": 5, "selfPowered": true, "id": "C3C3C3C3C3C3C3",
                 "flash": [{"start": "04000", "size": 65536, "blockSize": 4096}]},
      "faults": {"errors": [{"command": "S", "stage": "erase", "code": 80}], "busyAfterCommands": "I"}
    }
  ]
})";
  std::string error;
  const auto setups = ParseSimBench(text, error);
  ASSERT_TRUE(setups) << error;
  const SimProgrammerSetup& p = (*setups)[0];
  EXPECT_EQ(p.faults.errors, (std::vector<SimErrorFault>{{'S', "erase", 0x50}}));
  EXPECT_EQ(p.bootId, kSimDefaultBootId);
  EXPECT_TRUE(p.firmware.empty());
  EXPECT_FALSE(p.storeDamaged);
}

struct ArgCase {
  const char* text;
  SimulateArg::Kind kind;
  std::size_t count;
};

TEST(SimulateArg, ParsesCountDemoOrFile) {
  const ArgCase cases[] = {
      {"3", SimulateArg::Kind::kCount, 3},     {"0", SimulateArg::Kind::kCount, 0},
      {"8", SimulateArg::Kind::kCount, 8},     {"9", SimulateArg::Kind::kInvalid, 0},
      {"123", SimulateArg::Kind::kInvalid, 0}, {"", SimulateArg::Kind::kInvalid, 0},
      {"demo", SimulateArg::Kind::kDemo, 0},   {"bench.json", SimulateArg::Kind::kFile, 0},
      {"3.json", SimulateArg::Kind::kFile, 0},
  };
  for (const ArgCase& c : cases) {
    const SimulateArg arg = ParseSimulateArg(c.text);
    EXPECT_EQ(arg.kind, c.kind) << c.text;
    EXPECT_EQ(arg.count, c.count) << c.text;
    EXPECT_EQ(arg.kind == SimulateArg::Kind::kInvalid, !arg.error.empty()) << c.text;
  }
  EXPECT_EQ(ParseSimulateArg("b.json").path, "b.json");
}

TEST(SimulateArg, MakesTheBenchItNames) {
  VirtualClock clock;
  std::uint32_t count = 0;
  auto three = MakeSimBench(ParseSimulateArg("3"), clock);
  ASSERT_TRUE(three.bench);
  three.bench->BridgeGetNumDevices(count);
  EXPECT_EQ(count, 3u);
  EXPECT_FALSE(three.bench->programmer(2).hasImage());
  auto demo = MakeSimBench(ParseSimulateArg("demo"), clock);
  ASSERT_TRUE(demo.bench);
  EXPECT_TRUE(demo.bench->programmer(2).hasImage());
  auto none = MakeSimBench(ParseSimulateArg("/nonexistent/bench.json"), clock);
  EXPECT_FALSE(none.bench);
  EXPECT_FALSE(none.error.empty());
  EXPECT_FALSE(MakeSimBench(ParseSimulateArg("42"), clock).bench);
}

TEST(SimDemoBench, ShowsThreeDifferentSetups) {
  VirtualClock clock;
  auto bench = SimBench::demo(clock);
  const char* files[] = {"blinky          ", "motor_ctl       ", "sensor_v2       "};
  const std::uint32_t sizes[] = {12345, 48128, 131072};
  for (std::size_t i = 0; i < 3; ++i) {
    const ProgrammerInfo& b = bench->programmer(i).info();
    EXPECT_EQ(InfoFileName(b), files[i]);
    EXPECT_EQ(InfoFileSize(b), sizes[i]);
    EXPECT_TRUE(bench->programmer(i).hasImage());
    const SimTarget& t = bench->programmer(i).target();
    EXPECT_EQ(t.connectError(b[info::kPower]), 0) << i;
    for (const auto& [page, data] : bench->programmer(i).image()) EXPECT_TRUE(t.contains(page)) << i;
  }
}

}  // namespace
}  // namespace fd::test
