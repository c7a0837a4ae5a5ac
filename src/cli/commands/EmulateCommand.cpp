// emulate [--bench FILE.json | --programmers N]: the programmers of a simulated bench, each
// on its own pseudo-terminal, for the real serial path without hardware. Prints one terminal
// a line in bench order, the LD_PRELOAD line to prefix the programs with, then "ready", and
// serves until it is ended by a signal (a bench file is then saved).
#include <chrono>
#include <thread>

#include "cli/commands/Command.h"
#include "emu/EmuRegistry.h"
#include "emu/Emulator.h"
#include "link/Clock.h"
#include "sim/SimulateArg.h"

namespace fd {
namespace {

class EmulateCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand(
        "emulate", "Serve a simulated bench on pseudo-terminals, for the serial path without hardware");
    auto* bench = sub->add_option("--bench", benchFile_, "The bench file to serve (.json); saved when ended")
                      ->check([](const std::string& v) {
                        return v.empty() ? std::string("the bench file name is empty") : std::string();
                      });
    sub->add_option("--programmers", programmers_, "Fresh programmers to serve (1 to 8)")
        ->check(CLI::Range(1, kMaxProgrammers))
        ->excludes(bench);
    return sub;
  }

  int run(CliContext& cli) override {
    if (!cli.options.simulate.empty()) {
      cli.err << "ERROR: emulate serves its own bench; give it with --bench, not --simulate.\n";
      return kExitUsage;
    }
    const std::string shim = emu::ShimLibraryPath();
    if (shim.empty()) {
      cli.err << "ERROR: The emulator's preload library libflashdock-emu.so is not beside the program.\n";
      return kExitFailed;
    }
    RealClock clock;
    const SimulateArg arg = benchFile_.empty() ? ParseSimulateArg(std::to_string(programmers_))
                                               : SimulateArg{SimulateArg::Kind::kFile, 0, benchFile_, {}};
    SimBenchLoad made = MakeSimBench(arg, clock);
    if (!made.bench) {
      cli.err << "ERROR: " << made.error << '\n';
      return kExitFailed;
    }
    SignalWatch signals;
    char dir[256];
    FlashdockEmuDir(dir, sizeof dir);
    emu::Emulator emulator(*made.bench, dir);
    std::string error;
    if (!emulator.start(error)) {
      cli.err << "ERROR: " << error << '\n';
      return kExitFailed;
    }
    for (const std::string& path : emulator.paths()) cli.out << path << '\n';
    cli.out << "LD_PRELOAD=" << shim << '\n' << "ready" << std::endl;
    while (SignalWatch::caught() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // A signal is how an emulator is meant to end: it is its orderly stop, not a run cut short.
    SignalWatch::clear();
    emulator.stop();
    if (!benchFile_.empty() && !made.bench->save(benchFile_, error)) {
      cli.err << "ERROR: " << error << '\n';
      return kExitFailed;
    }
    return kExitOk;
  }

private:
  std::string benchFile_;
  int programmers_ = 1;
};

}  // namespace

std::unique_ptr<Command> MakeEmulateCommand() { return std::make_unique<EmulateCommand>(); }

}  // namespace fd
