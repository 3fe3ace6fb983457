// A child process for the tests that run the built programs (POSIX only). Its standard input,
// output and errors are one socket, or (terminal) a new 40x120 pseudo-terminal as if started
// from the user's shell. It leads a process group, killed with it at the end; every wait has a
// deadline, so a fault fails a test instead of hanging the suite.
//
//   Child(argv, terminal, setup)  argv[0] found on PATH; `setup` runs in the child before exec
//   read(ms)                 appends what arrives within ms to `output`; false once it has ended
//   waitFor(done, seconds)   reads until done() holds, asking at least every 10 ms; false when
//                            the output ends or time is up first
//   waitFor(text, from)      reads until `text` shows after `from` (10 s)
//   type(text) / endInput()  writes to its input / ends its input (the socket only)
//   command(line, enter)     types a line to h8dbg; what it printed before the next prompt
//   finish(seconds)          reads to the end; the exit status (128 + signal), or -1 when late
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace h8test {

struct Child {
  explicit Child(std::vector<std::string> argv, bool terminal = false,
                 const std::function<void()>& setup = {}) {
    int sv[2] = {-1, -1};
    signal(SIGPIPE, SIG_IGN);  // typing to a child that has gone fails instead
    winsize size{40, 120, 0, 0};
    if (terminal) {
      pid = forkpty(&fd, nullptr, nullptr, &size);
    } else if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) == 0 && (pid = fork()) > 0) {
      close(sv[1]);
      fd = sv[0];
      setpgid(pid, pid);  // the child does the same: the group exists whichever runs first
    } else if (pid == 0) {
      for (int i = 0; i < 3; i++) dup2(sv[1], i);
      setpgid(0, 0);
    }
    if (pid != 0) return;
    if (setup) setup();
    std::vector<char*> args(argv.size() + 1);
    for (size_t i = 0; i < argv.size(); i++) args[i] = argv[i].data();
    execvp(args[0], args.data());
    _exit(127);
  }
  ~Child() {
    if (pid > 0) {
      kill(-pid, SIGKILL);  // its group: h8sim run's h8dbg too
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (fd >= 0) close(fd);
  }
  bool read(int ms) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return true;
    char buffer[1024];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) output.append(buffer, size_t(n));
    return n > 0;  // 0 at the end, -1 (EIO) from a pty whose other end has gone
  }
  bool waitFor(const std::function<bool()>& done, int seconds = 10) {
    using namespace std::chrono;
    steady_clock::time_point deadline = steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
      long left = long(duration_cast<milliseconds>(deadline - steady_clock::now()).count());
      if (left <= 0 || !read(int(std::min(left, 10L)))) return done();  // done() may serve a line
    }
    return true;
  }
  bool waitFor(const std::string& text, size_t from = 0) {
    return waitFor([&] { return output.find(text, from) != std::string::npos; });
  }
  void type(const std::string& text) {
    EXPECT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
  }
  void endInput() { shutdown(fd, SHUT_WR); }
  std::string command(const std::string& line, const std::string& enter = "\n") {
    size_t from = output.size();
    type(line + enter);
    waitFor(">", from);
    return output.substr(from, output.rfind('>') - from);
  }
  int finish(int seconds = 10) {
    waitFor([] { return false; }, seconds);
    int status = 0, tries = 0;
    while (waitpid(pid, &status, WNOHANG) != pid && ++tries < 1000) usleep(10000);
    if (tries == 1000) return -1;
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  pid_t pid = -1;
  int fd = -1;
  std::string output;
};

}  // namespace h8test
