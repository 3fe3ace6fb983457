#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "sim/board.h"
#include "sim/h8core.h"
#include "sim/monitor_server.h"
#include "sim/pty_posix.h"
#include "sim/session.h"

namespace h8 {

namespace {

constexpr int IDLE_POLL_MS = 200;
constexpr std::chrono::microseconds SPIN_AHEAD{40};
constexpr size_t OUTPUT_AHEAD = 64;  // bytes of program text queued for the line at most

// Set by the signal handlers, taken by the serve loop.
volatile sig_atomic_t resetFlag = 0;
volatile sig_atomic_t abortFlag = 0;
volatile sig_atomic_t endSignal = 0;
int wakeWrite = -1;

void onSignal(int sig) {
  int saved = errno;
  if (sig == SIGUSR1) {
    resetFlag = 1;
  } else if (sig == SIGUSR2) {
    abortFlag = 1;
  } else if (sig != SIGCHLD) {
    endSignal = sig;
  }
  if (wakeWrite >= 0) {
    char c = 0;
    ssize_t w = write(wakeWrite, &c, 1);  // a full pipe already wakes the loop
    (void)w;
  }
  errno = saved;
}

constexpr int HANDLED_SIGNALS[] = {SIGUSR1, SIGUSR2, SIGINT, SIGTERM, SIGHUP, SIGCHLD};

// Installs the handlers and the self-pipe that turns a signal into a poll() wake-up; the
// destructor puts everything back.
class SignalScope {
 public:
  SignalScope() {
    resetFlag = 0;
    abortFlag = 0;
    endSignal = 0;
    if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
    wakeWrite = pipe_[1];
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a signal must end a waiting poll()
    for (size_t i = 0; i < std::size(HANDLED_SIGNALS); i++) {
      sigaction(HANDLED_SIGNALS[i], &sa, &saved_[i]);
    }
  }
  ~SignalScope() {
    for (size_t i = 0; i < std::size(HANDLED_SIGNALS); i++) {
      sigaction(HANDLED_SIGNALS[i], &saved_[i], nullptr);
    }
    wakeWrite = -1;
    if (pipe_[0] >= 0) close(pipe_[0]);
    if (pipe_[1] >= 0) close(pipe_[1]);
  }
  int wakeFd() const { return pipe_[0]; }
  void drain() {
    char buffer[64];
    while (pipe_[0] >= 0 && read(pipe_[0], buffer, sizeof buffer) > 0) {
    }
  }

 private:
  int pipe_[2] = {-1, -1};
  struct sigaction saved_[std::size(HANDLED_SIGNALS)];
};

// What one run of the program took, for --verbose.
struct RunMeter {
  uint64_t instructions = 0, states = 0;
  void begin(const H8Cpu& cpu) {
    instructions = cpu.instructions;
    states = cpu.states;
  }
  void report(const H8Cpu& cpu, const SimOptions& options, Output& err) const {
    uint64_t s = cpu.states - states;
    err.printf("h8sim: the program ran %llu instructions, %llu states (%.3f ms at %.3f MHz)\n",
               (unsigned long long)(cpu.instructions - instructions), (unsigned long long)s,
               double(s) * 1e3 / options.clockHz, options.clockHz / 1e6);
    err.flush();
  }
};

pid_t startDebugger(const std::string& path, const std::string& port,
                    const std::vector<std::string>& args, Output& err) {
  std::vector<std::string> words = {path, "-c", port};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  err.flush();
  pid_t pid = fork();
  if (pid == 0) {
    execv(path.c_str(), argv.data());
    const char* why = strerror(errno);
    dprintf(STDERR_FILENO, "h8sim: cannot start %s: %s\n", path.c_str(), why);
    _exit(127);
  }
  if (pid < 0) err.printf("h8sim: fork: %s\n", strerror(errno));
  return pid;
}

int exitStatus(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return 1;
}

bool setUpBoard(const SimOptions& options, Board& board, Output& err) {
  std::string error;
  if (!options.flash.empty() && access(options.flash.c_str(), F_OK) == 0 &&
      !loadFlashImage(options.flash, board, error)) {
    err.printf("h8sim: %s\n", error.c_str());
    return false;
  }
  if (!options.load.empty() && !programSysrof(options.load, board, err)) return false;
  return true;
}

}  // namespace

std::string debuggerPath(const SimOptions& options) {
  if (!options.h8dbg.empty()) return options.h8dbg;
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "h8dbg";
  std::string path(self, size_t(n));
  size_t slash = path.rfind('/');
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/h8dbg";
}

int runSimulator(const SimOptions& options, Output& out, Output& err) {
  Board board;
  if (!setUpBoard(options, board, err)) return 2;

  PseudoTerminal pty;
  std::string error;
  if (!pty.open(error) || (!options.link.empty() && !pty.makeLink(options.link, error))) {
    err.printf("h8sim: %s\n", error.c_str());
    return 2;
  }
  bool run = options.mode == SimMode::RUN;
  std::string debugger = run ? debuggerPath(options) : std::string();
  if (run && access(debugger.c_str(), X_OK) != 0) {
    err.printf("h8sim: cannot run %s: %s\n", debugger.c_str(), strerror(errno));
    return 2;
  }

  LinePort line(pty.master(), options.baud);
  FaultyLine faulty(line, options.faults);
  faulty.board = &board;
  H8Core core(board);
  MonitorServer server(board, core, faulty, err);
  server.flashPath = options.flash;
  server.verbose = options.verbose;
  server.flashTimes = options.flashTimes;
  server.holdReply = [&line](std::chrono::microseconds d) { line.holdOutput(d); };
  board.setClock(options.clockHz);
  if (options.verbose) board.peripherals.portLog = &err;
  if (!server.saveFlash()) return 2;

  // Handlers first: whoever reads the board's line may signal at once.
  SignalScope signals;
#ifdef PR_SET_TIMERSLACK
  // Timed waits end when asked, not up to the default 50 us later.
  prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
#endif

  // In run mode the terminal belongs to h8dbg: h8sim's own lines go to stderr, and only with
  // --verbose.
  if (!run) {
    out.printf("h8sim: board on %s\n", pty.slavePath().c_str());
    out.flush();
  } else if (options.verbose) {
    err.printf("h8sim: board on %s\n", pty.slavePath().c_str());
    err.flush();
  }

  pid_t child = -1;
  if (run) {
    child = startDebugger(debugger, pty.slavePath(), options.debuggerArgs, err);
    if (child < 0) return 2;
  }

  int status = 0;
  bool terminated = false;
  bool metering = false;  // a run of the program is being measured
  RunMeter meter;
  for (;;) {
    if (endSignal != 0) {
      int sig = endSignal;
      endSignal = 0;
      if (!run) break;
      // Ctrl-C reaches h8dbg from the terminal itself; other ends are passed on, and a second
      // one does not wait any more.
      if (sig != SIGINT) {
        kill(child, terminated ? SIGKILL : SIGTERM);
        terminated = true;
      }
    }
    if (resetFlag || faulty.takeReset()) {
      resetFlag = 0;
      server.reset();
    }
    // A vanishing line ends the board as an unplugged adapter does: the pty closes.
    if (faulty.vanished()) break;
    if (abortFlag) {
      abortFlag = 0;
      server.abort();
    }
    if (run) {
      int waitStatus = 0;
      if (waitpid(child, &waitStatus, WNOHANG) == child) {
        status = exitStatus(waitStatus);
        break;
      }
    }

    line.pump();
    server.receiveFromPort();
    // A program that writes faster than the line runs is held until its text has gone out, as
    // one polling TDRE would be on the board.
    bool computing = server.running() && line.queuedOutput() < OUTPUT_AHEAD;
    if (server.running() && !metering) {
      meter.begin(core.cpu);
      metering = true;
    }
    if (computing) server.runSlice();
    if (metering && !server.running()) {
      if (options.verbose) meter.report(core.cpu, options, err);
      metering = false;
    }
    line.pump();

    // Woken when a byte is due, to the microsecond: the line is the ruler of the benchmarks.
    // A timed wait ends some tens of microseconds late; for the last byte of a frame, which the
    // other side is waiting for, the loop wakes SPIN_AHEAD early and spins to the due time.
    using Duration = LinePort::Clock::duration;
    Duration timeout = computing ? Duration::zero() : std::chrono::milliseconds(IDLE_POLL_MS);
    Duration due = line.dueIn();
    bool spin = !computing && due >= Duration::zero() && line.lastIsDue();
    LinePort::Clock::time_point dueAt = LinePort::Clock::now() + due;
    if (due >= Duration::zero()) {
      timeout = std::min(timeout, spin ? std::max(due - SPIN_AHEAD, Duration::zero()) : due);
    }
    pollfd fds[2] = {
        {pty.master(), short(POLLIN | (line.wantsWrite() ? POLLOUT : 0)), 0},
        {signals.wakeFd(), POLLIN, 0},
    };
    int ready = pollFor(fds, signals.wakeFd() >= 0 ? 2 : 1, timeout);
    if (ready == 0 && spin) {
      while (LinePort::Clock::now() < dueAt) {
      }
    }
    if (ready == 0 && !server.running()) pty.allowReopen();
    if (ready > 0 && (fds[1].revents & POLLIN)) signals.drain();
  }

  server.saveFlash();
  pty.close();
  return status;
}

}  // namespace h8
