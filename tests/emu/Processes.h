#pragma once
// Programs run as separate processes, as a user runs them: the command line with its own
// environment, its output captured, bounded in time; and the programmer emulator running
// beside it until the test ends it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace fd::test {

struct ProcessRun {
  int code = -1;  // exit code, 128 + signal, -1 when it had to be killed
  std::string out, err;
  double seconds = 0;
};

inline std::vector<std::string> Environment(const std::map<std::string, std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string key = entry.substr(0, entry.find('='));
    if (extra.count(key) == 0) env.push_back(entry);
  }
  for (const auto& [key, value] : extra) env.push_back(key + "=" + value);
  return env;
}

class Process {
public:
  Process(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::vector<std::string> envText = Environment(env);
    std::vector<char*> envp;
    for (const auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    started_ = std::chrono::steady_clock::now();
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
      throw std::runtime_error("cannot start " + args[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }

  // One line of its output, waiting up to `timeoutMs`; false at its end or when time is up.
  bool readLine(std::string& line, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto end = buffered_.find('\n');
      if (end != std::string::npos) {
        line = buffered_.substr(0, end);
        buffered_.erase(0, end + 1);
        return true;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[512];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) return false;
      buffered_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  void signal(int sig) { ::kill(pid_, sig); }

  // Waits for its end (killing it `timeoutMs` after this call), with all it printed.
  ProcessRun finish(int timeoutMs) {
    ProcessRun run;
    run.out = buffered_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool killed = false;
    std::vector<pollfd> fds{{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0 && !killed) {
        ::kill(pid_, SIGKILL);
        killed = true;
      }
      ::poll(fds.data(), fds.size(), left > 0 ? static_cast<int>(left) : 100);
      for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n <= 0) {
          fds[i].fd = -1;
          --open;
        } else {
          (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
        }
      }
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    pid_ = -1;
    if (killed) {
      run.code = -1;
    } else if (WIFEXITED(status)) {
      run.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      run.code = 128 + WTERMSIG(status);
    }
    return run;
  }

private:
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  std::string buffered_;
  std::chrono::steady_clock::time_point started_;
};

inline ProcessRun RunProcess(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                             int timeoutMs = 60000) {
  Process p(args, env);
  return p.finish(timeoutMs);
}

}  // namespace fd::test
