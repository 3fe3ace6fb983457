// line_bench: how close h8dbg comes to the wire. Starts h8sim paced at each line speed, drives
// the real h8dbg through a pseudo-terminal as a user would, and for each command counts the
// bytes that crossed the simulated line (h8sim's own read and write counts) and compares the
// elapsed time with the wire time, bytes x 10 / bit rate. Then, unpaced, the software cost of
// an exchange in each program, and the CPU time each uses idle at the prompt and while a program
// runs. See docs/performance.md.
//
//   line_bench [--runs N] [--speeds A,B,...] [--idle SECONDS] [--h8dbg PATH] [--h8sim PATH]
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "load/sysrof_write.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A failure ends the benchmark through main, so that the programs it started are ended too.
[[noreturn]] void die(const std::string& why) { throw std::runtime_error(why); }

// A started program: on a new pseudo-terminal (h8dbg, as from the user's shell) or with its
// output on a pipe (h8sim).
struct Program {
  Program(const std::vector<std::string>& argv, bool terminal) {
    int pipeFds[2] = {-1, -1};
    if (terminal) {
      pid = forkpty(&fd, nullptr, nullptr, nullptr);
    } else {
      if (pipe(pipeFds) != 0) die("pipe");
      pid = fork();
    }
    if (pid < 0) die("fork");
    if (pid == 0) {
      if (!terminal) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
      }
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    if (!terminal) {
      close(pipeFds[1]);
      fd = pipeFds[0];
    }
  }
  ~Program() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    if (fd >= 0) close(fd);
  }

  // Reads until the output ends with `tail` (the text since `from`); false after 120 s or at
  // the end of the output.
  bool readUntil(const std::string& tail, size_t from) {
    Clock::time_point deadline = Clock::now() + 120s;
    char buffer[4096];
    for (;;) {
      if (output.size() >= from + tail.size() &&
          output.compare(output.size() - tail.size(), tail.size(), tail) == 0)
        return true;
      pollfd p{fd, POLLIN, 0};
      int left = int((deadline - Clock::now()) / 1ms);
      if (left <= 0 || poll(&p, 1, left) <= 0) return false;
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) return false;
      output.append(buffer, size_t(n));
    }
  }

  void type(const std::string& text) {
    if (write(fd, text.data(), text.size()) != ssize_t(text.size())) die("typing to h8dbg");
  }

  int wait() {
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return status;
  }

  pid_t pid = -1;
  int fd = -1;
  std::string output;
};

// Bytes a process has read and written through read()/write(), from /proc.
struct IoCount {
  long long read = 0, written = 0;
};

IoCount ioOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/io");
  IoCount io;
  std::string key;
  long long value;
  while (in >> key >> value) {
    if (key == "rchar:") io.read = value;
    if (key == "wchar:") io.written = value;
  }
  return io;
}

// CPU time of a process in ns, from /proc (schedstat; stat's clock ticks where it is missing).
double cpuMs(pid_t pid) {
  std::ifstream sched("/proc/" + std::to_string(pid) + "/schedstat");
  long long ns = 0;
  if (sched >> ns) return double(ns) / 1e6;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string f;
  long long utime = 0, stime = 0;
  for (int i = 3; fields >> f && i <= 15; i++) {
    if (i == 14) utime = atoll(f.c_str());
    if (i == 15) stime = atoll(f.c_str());
  }
  return double(utime + stime) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// A SYSROF file of `size` bytes from 0x1000 of BRA . (40 FE): every address is a program that
// loops where it stands, so G and S have something to run.
std::string writeLoopProgram(const std::string& path, uint32_t size) {
  h8::ProgramImage image;
  h8::ImageSection text;
  text.name = "P";
  text.address = text.loadAddress = 0x1000;
  text.size = size;
  text.code = true;
  for (uint32_t i = 0; i < size; i++) text.data.push_back(i % 2 == 0 ? 0x40 : 0xFE);
  image.sections.push_back(text);
  std::vector<std::string> notes;
  std::vector<uint8_t> bytes = h8::writeSysrof(image, "BENCH", "261207000000", notes);
  FILE* f = fopen(path.c_str(), "wb");
  if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fclose(f) != 0)
    die("cannot write " + path);
  return path;
}

struct Options {
  int runs = 3;
  std::vector<long> speeds{19200, 115200};
  int idleSeconds = 10;
  std::string h8dbg, h8sim;
};

// The board, serving on a link in `dir`.
struct Board {
  Board(const Options& o, const std::string& dir, long baud, std::vector<std::string> more = {})
      : link(dir + "/board" + std::to_string(baud)), sim(arguments(o, baud, more), false) {
    if (!sim.readUntil("\n", 0)) die("h8sim did not start: " + sim.output);
  }
  std::vector<std::string> arguments(const Options& o, long baud, std::vector<std::string> more) {
    more.insert(more.begin(), {o.h8sim, "--link", link});
    if (baud > 0) more.insert(more.end(), {"--baud", std::to_string(baud)});
    return more;
  }
  std::string link;
  Program sim;
};

// One h8dbg session at its first prompt; start-up's figures in `startMs` and `startBytes`.
struct Session {
  Session(const Options& o, Board& board) : board_(board) {
    IoCount before = ioOf(board.sim.pid);
    Clock::time_point t = Clock::now();
    dbg = std::make_unique<Program>(std::vector<std::string>{o.h8dbg, "-c", board.link}, true);
    if (!dbg->readUntil("\n>", 0)) die("h8dbg did not reach its prompt: " + dbg->output);
    startMs = msSince(t);
    startBytes = bytesSince(before);
  }
  ~Session() {
    // After a failure the Program's own end (SIGTERM) ends h8dbg instead.
    if (std::uncaught_exceptions() > 0) return;
    dbg->type("Q\r");
    dbg->wait();
  }
  long long bytesSince(const IoCount& before) const {
    IoCount now = ioOf(board_.sim.pid);
    return (now.read - before.read) + (now.written - before.written);
  }
  // Types a command and waits for the next prompt: elapsed ms, and the line's bytes.
  double command(const std::string& line, long long& bytes) {
    IoCount before = ioOf(board_.sim.pid);
    size_t from = dbg->output.size();
    Clock::time_point t = Clock::now();
    dbg->type(line + "\r");
    if (!dbg->readUntil("\n>", from + line.size()))
      die("no prompt after " + line + ": " + dbg->output.substr(from));
    double ms = msSince(t);
    bytes = bytesSince(before);
    return ms;
  }

  Board& board_;
  std::unique_ptr<Program> dbg;
  double startMs = 0;
  long long startBytes = 0;
};

struct Row {
  Row(std::string n, std::string l, bool s) : name(std::move(n)), line(std::move(l)), shortOne(s) {}
  std::string name;
  std::string line;  // typed; empty for start-up
  bool shortOne;     // mostly turnaround: the bar is wire + 0.1 ms an exchange
  int exchanges = 0;
  long long bytes = 0;
  std::vector<double> ms;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The requests a command sends, counted from h8dbg's line trace in a session of its own.
int countExchanges(const Options& o, Board& board, const std::string& dir, const std::string& line,
                   const std::string& setup) {
  std::string trace = dir + "/trace";
  unlink(trace.c_str());
  Program dbg({o.h8dbg, "-c", board.link, "-v", trace}, true);
  if (!dbg.readUntil("\n>", 0)) die("h8dbg did not start for the trace");
  if (!setup.empty()) {
    dbg.type(setup + "\r");
    dbg.readUntil("\n>", dbg.output.size());
  }
  std::ifstream before(trace);
  int skip = 0;
  for (std::string l; std::getline(before, l);) skip++;
  size_t from = dbg.output.size();
  if (!line.empty()) {
    dbg.type(line + "\r");
    dbg.readUntil("\n>", from + line.size());
  }
  dbg.type("Q\r");
  dbg.wait();
  std::ifstream in(trace);
  int n = 0, index = 0;
  for (std::string l; std::getline(in, l); index++) {
    if ((index >= skip || line.empty()) && l.find(" > ") != std::string::npos) n++;
  }
  return n;
}

void printRows(const std::vector<Row>& rows, long baud, double processStartMs) {
  printf("\n%ld bit/s: elapsed against wire time (min and median of %zu runs)\n", baud,
         rows.empty() ? 0 : rows[0].ms.size());
  printf("%-30s %9s %10s %9s %10s %10s %7s %7s %7s  %s\n", "command", "exchanges", "wire bytes",
         "wire ms", "min ms", "median ms", "min x", "med x", "bar x", "");
  for (const Row& r : rows) {
    double wire = double(r.bytes) * 10.0 * 1000.0 / double(baud);
    double bar = 1.05;
    if (r.line.empty()) {
      bar = 1.1 + processStartMs / wire;  // start-up: 1.1 x wire + the process's own start
    } else if (r.shortOne) {
      bar = std::max(1.05, (wire + 0.1 * r.exchanges) / wire);
    }
    double lo = *std::min_element(r.ms.begin(), r.ms.end()), med = median(r.ms);
    const char* verdict = lo < wire ? "FASTER THAN THE WIRE" : med / wire <= bar ? "ok" : "over";
    printf("%-30s %9d %10lld %9.1f %10.1f %10.1f %7.3f %7.3f %7.3f  %s\n", r.name.c_str(),
           r.exchanges, r.bytes, wire, lo, med, lo / wire, med / wire, bar, verdict);
  }
}

std::string besideSelf(const char* argv0, const std::string& name) {
  std::string self = argv0;
  size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + name;
}

Options parse(int argc, char** argv) {
  Options o;
  o.h8dbg = besideSelf(argv[0], "h8dbg");
  o.h8sim = besideSelf(argv[0], "h8sim");
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (i + 1 >= argc)
      die("usage: line_bench [--runs N] [--speeds A,B] [--idle S] [--h8dbg P] [--h8sim P]");
    std::string v = argv[++i];
    if (a == "--runs") {
      o.runs = std::max(1, atoi(v.c_str()));
    } else if (a == "--idle") {
      o.idleSeconds = std::max(1, atoi(v.c_str()));
    } else if (a == "--h8dbg") {
      o.h8dbg = v;
    } else if (a == "--h8sim") {
      o.h8sim = v;
    } else if (a == "--speeds") {
      o.speeds.clear();
      std::istringstream in(v);
      for (std::string s; std::getline(in, s, ',');) o.speeds.push_back(atol(s.c_str()));
    } else {
      die("unknown option " + a);
    }
  }
  return o;
}

int bench(const Options& o, const std::string& dir) {
  std::string full = writeLoopProgram(dir + "/full.abs", 0x7000);  // 0x1000-0x7FFF
  std::string small = writeLoopProgram(dir + "/1k.abs", 0x400);

  printf("h8dbg %s, h8sim %s\n", o.h8dbg.c_str(), o.h8sim.c_str());

  std::vector<Row> rows = {
      {"start-up to the first prompt", "", true},
      {"LO, whole user area", "LO " + full, false},
      {"LO, 1 KiB", "LO " + small, false},
      {"DB 4096", "DB 0x1000 0x1000", false},
      {"DA 500 lines", "DA 0x1000 0x1F4", false},
      {"S 100", "S 0x64", true},
      {"R", "R", true},
  };
  // Exchanges per command, from an unpaced session's line trace (the PC at the loop for S).
  {
    Board board(o, dir, 0);
    for (Row& r : rows) {
      r.exchanges =
          countExchanges(o, board, dir, r.line, r.line.rfind("S ", 0) == 0 ? "R pc 0x1000" : "");
    }
  }

  // The process's own start: its start-up on an unpaced line, where the wire costs nothing.
  double processStartMs = 0;
  {
    Board board(o, dir, 0);
    std::vector<double> starts;
    for (int i = 0; i < std::max(7, o.runs); i++) starts.push_back(Session(o, board).startMs);
    processStartMs = median(starts);
    printf("the process's own start (start-up on an unpaced line): %.1f ms\n", processStartMs);
  }

  for (long baud : o.speeds) {
    Board board(o, dir, baud);
    for (Row& r : rows) r.ms.clear();
    for (int run = 0; run < o.runs; run++) {
      Session s(o, board);
      rows[0].ms.push_back(s.startMs);
      rows[0].bytes = s.startBytes;
      for (size_t i = 1; i < rows.size(); i++) {
        if (rows[i].line.rfind("S ", 0) == 0) {
          long long unused;
          s.command("R pc 0x1000", unused);
        }
        rows[i].ms.push_back(s.command(rows[i].line, rows[i].bytes));
      }
    }
    printRows(rows, baud, processStartMs);
    fflush(stdout);
  }

  // A real board's LO: the line at 19200 bit/s and the part's typical flash times, when this
  // h8sim models them.
  Program help({o.h8sim, "--help"}, false);
  help.readUntil("\n\n\n", 0);  // never there: reads to the end
  if (help.output.find("--flash-time") != std::string::npos) {
    Board real(o, dir, 19200, {"--flash-time", "typical"});
    Session s(o, real);
    long long bytes = 0;
    double ms = s.command(rows[1].line, bytes);
    double wire = double(bytes) * 10.0 * 1000.0 / 19200.0;
    double flash = 100.0 + 7.0 * (0x7000 / 128);
    printf(
        "\nLO, whole user area, as on a real board (19200 bit/s, --flash-time typical):\n"
        "  %.1f s: wire %.1f s + erase and programming %.1f s + %.1f s more\n",
        ms / 1000, wire / 1000, flash / 1000, (ms - wire - flash) / 1000);
  }

  // Unpaced: what each program spends on an exchange, and at rest.
  Board board(o, dir, 0);
  Session s(o, board);
  printf("\nunpaced: software cost per exchange (median of %d runs)\n", o.runs);
  printf("%-30s %9s %12s %14s %14s\n", "command", "exchanges", "elapsed us", "h8dbg cpu us",
         "h8sim cpu us");
  for (size_t i = 1; i < rows.size(); i++) {
    std::vector<double> elapsed, dbgCpu, simCpu;
    for (int run = 0; run < o.runs; run++) {
      if (rows[i].line.rfind("S ", 0) == 0) {
        long long unused;
        s.command("R pc 0x1000", unused);
      }
      double d0 = cpuMs(s.dbg->pid), s0 = cpuMs(board.sim.pid);
      long long bytes;
      elapsed.push_back(s.command(rows[i].line, bytes));
      dbgCpu.push_back(cpuMs(s.dbg->pid) - d0);
      simCpu.push_back(cpuMs(board.sim.pid) - s0);
    }
    double n = std::max(1, rows[i].exchanges);
    printf("%-30s %9d %12.1f %14.1f %14.1f\n", rows[i].name.c_str(), rows[i].exchanges,
           median(elapsed) * 1000 / n, median(dbgCpu) * 1000 / n, median(simCpu) * 1000 / n);
  }

  printf("\nCPU time per %d s (ms, and share of one core)\n", o.idleSeconds);
  auto rest = [&](const char* what) {
    double d0 = cpuMs(s.dbg->pid), s0 = cpuMs(board.sim.pid);
    sleep(unsigned(o.idleSeconds));
    double d = cpuMs(s.dbg->pid) - d0, m = cpuMs(board.sim.pid) - s0;
    double whole = o.idleSeconds * 1000.0;
    printf("%-36s h8dbg %8.1f ms (%5.2f %%)   h8sim %8.1f ms (%5.2f %%)\n", what, d,
           100 * d / whole, m, 100 * m / whole);
  };
  rest("idle at the prompt");
  long long unused;
  s.command("R pc 0x1000", unused);
  s.dbg->type("G\r");
  rest("while a program runs (G, BRA .)");
  s.dbg->type("\x1b");  // ESC ends the wait; the program goes on
  s.dbg->readUntil("\n>", s.dbg->output.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  char dirTemplate[] = "/tmp/line_bench.XXXXXX";
  if (!mkdtemp(dirTemplate)) {
    perror("line_bench: mkdtemp");
    return 1;
  }
  int status = 1;
  try {
    status = bench(parse(argc, argv), dirTemplate);
  } catch (const std::exception& e) {
    fprintf(stderr, "line_bench: %s\n", e.what());
  }
  std::string rm = std::string("rm -rf ") + dirTemplate;
  return system(rm.c_str()) == 0 ? status : 1;
}
