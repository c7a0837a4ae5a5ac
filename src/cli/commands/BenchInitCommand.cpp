// bench-init FILE.json [--programmers N | --demo] [--force]: a fresh bench file to start
// from, for --simulate FILE.json.
#include <filesystem>

#include "cli/commands/Command.h"
#include "formats/FileLock.h"
#include "link/Clock.h"
#include "sim/SimBench.h"

namespace fd {
namespace {

class BenchInitCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("bench-init", "Write a fresh simulated bench file for --simulate FILE.json");
    sub->add_option("file", path_, "The bench file to write (.json)")->required()->check([](const std::string& v) {
      return v.empty() ? std::string("the bench file name is empty") : std::string();
    });
    auto* count = sub->add_option("--programmers", programmers_, "Fresh programmers on the bench (0 to 8)")
                      ->check(CLI::Range(0, kMaxProgrammers));
    sub->add_flag("--demo", demo_, "The demo bench: three programmers with products and images")->excludes(count);
    sub->add_flag("--force", force_, "Replace the file when it exists");
    return sub;
  }

  int run(CliContext& cli) override {
    std::error_code ec;
    if (std::filesystem::exists(path_, ec) && !force_) {
      cli.err << "ERROR: " << path_ << " exists already; give --force to replace it.\n";
      return kExitFailed;
    }
    // A program running on this bench writes it back at its end: wait for it, so the fresh
    // bench is not overwritten by the old one a moment later.
    FileLock lock;
    std::string locked;
    if (!lock.acquire(path_, FileLock::Place::kBeside, locked)) {
      cli.err << "ERROR: " << locked << '\n';
      return kExitFailed;
    }
    VirtualClock clock;
    std::unique_ptr<SimBench> bench =
        demo_ ? SimBench::demo(clock) : SimBench::fresh(static_cast<std::size_t>(programmers_), clock);
    std::string error;
    if (!bench->save(path_, error)) {
      cli.err << "ERROR: " << error << '\n';
      return kExitFailed;
    }
    cli.out << "Wrote " << path_ << " with " << bench->programmerCount() << " programmer"
            << (bench->programmerCount() == 1 ? "" : "s") << ". Start with --simulate " << path_ << ".\n";
    return kExitOk;
  }

private:
  std::string path_;
  int programmers_ = 1;
  bool demo_ = false;
  bool force_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeBenchInitCommand() { return std::make_unique<BenchInitCommand>(); }

}  // namespace fd
