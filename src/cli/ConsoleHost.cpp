#include "cli/ConsoleHost.h"

#include "flows/load/LoadingFlow.h"

namespace fd {

std::string ProgressBarText(const ProgressEstimate& progress, int width) {
  const int percent = progress.percent();
  const int filled = percent * width / 100;
  std::string text = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(width - filled), ' ') + "] ";
  std::string number = std::to_string(percent);
  text += std::string(3 - std::min<std::size_t>(3, number.size()), ' ') + number + "%";
  if (const auto ms = progress.remainingMs(); ms && percent < 100) {
    const std::uint64_t seconds = (*ms + 999) / 1000;
    text += "  " + (seconds >= 60 ? std::to_string(seconds / 60) + "m " : std::string()) +
            std::to_string(seconds % 60) + "s left";
  }
  return text;
}

ConsoleHost::ConsoleHost(CliContext& cli) : ScriptedHost(cli.host().clock()), cli_(cli), live_(cli.liveOutput()) {
  // A signal, or the command's --timeout: the window ends as Cancel would.
  interrupted = [&cli] { return cli.stopRequested(); };
  afterTick = [this](ModalFlow& flow) { showProgress(flow, false); };
}

FlowResult ConsoleHost::run(ModalFlow& flow) {
  lastShown_ = -1;
  waitSaid_ = false;
  const FlowResult result = ScriptedHost::run(flow);
  showProgress(flow, true);
  return result;
}

void ConsoleHost::showProgress(ModalFlow& flow, bool last) {
  // A slow programmer is waited for; the user hears it once, not at every try.
  if (const auto* loading = dynamic_cast<LoadingFlow*>(&flow); loading && loading->waitingForProgrammer() && !waitSaid_) {
    waitSaid_ = true;
    if (live_ && lastShown_ >= 0) cli_.out << '\n' << std::flush;
    cli_.err << "INFO: Waiting for the programmer to prepare its store (up to "
             << LoadingFlow::kDescribeWaitUs / 1'000'000 << " s; Ctrl+C cancels).\n";
  }
  if (drawProgress) {
    drawProgress(flow, last);
    return;
  }
  const auto* operation = dynamic_cast<LongOperation*>(&flow);
  if (!operation || cli_.options.json) return;
  const int percent = operation->progress().percent();
  if (live_) {
    if (percent == lastShown_ && !last) return;
    cli_.out << '\r' << flow.title() << "  " << ProgressBarText(operation->progress()) << "\x1b[K";
    if (last) cli_.out << '\n';
    cli_.out << std::flush;
  } else {
    // A line every tenth, so a log of the run stays short.
    const int tenth = percent / 10;
    if (tenth == lastShown_ / 10 && !(last && percent != lastShown_)) return;
    cli_.out << flow.title() << ' ' << percent << "%\n";
  }
  lastShown_ = percent;
}

}  // namespace fd
