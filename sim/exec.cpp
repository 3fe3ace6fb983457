#include "sim/exec.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "common/target.h"
#include "sim/board.h"
#include "sim/h8core.h"

namespace h8 {

namespace {

constexpr uint32_t SLICE = 1 << 20;   // instructions between looks at the output and input
constexpr size_t INPUT_AHEAD = 4096;  // bytes of standard input read ahead of the program

struct ExecOptions {
  uint64_t limit = 0;  // 0: no limit
  bool stats = false;
  double clockHz = 16e6;
  std::string file;
};

bool parseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && value > 0;
}

bool parseExecOptions(const std::vector<std::string>& args, ExecOptions& o, std::string& error) {
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& a = args[i];
    double v = 0;
    if (a == "--stats") {
      o.stats = true;
    } else if (a == "--limit" || a == "--clock") {
      if (i + 1 >= args.size() || !parseNumber(args[i + 1], v)) {
        error = a + " needs a positive number";
        return false;
      }
      if (a == "--limit") o.limit = uint64_t(v);
      if (a == "--clock") o.clockHz = v;
      i++;
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option " + a;
      return false;
    } else if (o.file.empty()) {
      o.file = a;
    } else {
      error = "one program at a time";
      return false;
    }
  }
  if (o.file.empty()) error = "no program given";
  return !o.file.empty();
}

// Moves what standard input has ready to the program's receive queue, never blocking.
void readInput(Board& board, bool& inputOpen) {
  while (inputOpen && board.sciInput.size() < INPUT_AHEAD) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0 || !(p.revents & (POLLIN | POLLHUP))) return;
    unsigned char buffer[256];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
      inputOpen = false;
      return;
    }
    for (ssize_t i = 0; i < n; i++) board.giveKey(buffer[i]);
  }
}

void writeOutput(Board& board, Output& out) {
  if (board.sciOutput.empty()) return;
  while (!board.sciOutput.empty()) {
    out.put(char(board.sciOutput.front()));
    board.sciOutput.pop_front();
  }
  out.flush();
}

}  // namespace

int runExec(const std::vector<std::string>& args, Output& out, Output& err) {
  ExecOptions options;
  std::string error;
  if (!parseExecOptions(args, options, error)) {
    err.printf("h8sim exec: %s (usage: h8sim exec [--limit N] [--stats] [--clock HZ] FILE.ABS)\n",
               error.c_str());
    return EXEC_BAD_USE;
  }
  Board board;
  if (!programSysrof(options.file, board, err)) return EXEC_BAD_USE;
  board.setClock(options.clockHz);
  // The program reads standard input at its own pace: nothing is lost to an overrun.
  board.setFlowControl(true);
  H8Core core(board);
  core.start(board);

  auto began = std::chrono::steady_clock::now();
  bool inputOpen = true;
  int stop = RUN_CONTINUES;
  while (stop == RUN_CONTINUES) {
    uint64_t done = core.cpu.instructions;
    if (options.limit != 0 && done >= options.limit) break;
    uint64_t budget = SLICE;
    if (options.limit != 0 && options.limit - done < budget) budget = options.limit - done;
    readInput(board, inputOpen);
    stop = core.run(board, uint32_t(budget));
    writeOutput(board, out);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

  uint32_t pc = board.reg(REG_PC) & 0xFFFF;
  int status = 0;
  if (stop == RUN_CONTINUES) {
    err.printf("h8sim exec: stopped after %llu instructions at PC %04X\n",
               (unsigned long long)options.limit, unsigned(pc));
    status = EXEC_LIMIT;
  } else if (stop == STOP_SLEEP) {
    status = int(board.reg(0) & 0xFF);
  } else if (stop == STOP_UNDEFINED) {
    err.printf("h8sim exec: undefined instruction at PC %04X\n", unsigned(pc));
    status = EXEC_UNDEFINED;
  } else if (stop == STOP_ADDRESS_ERROR) {
    err.printf("h8sim exec: address error: instruction fetch at PC %04X\n", unsigned(pc));
    status = EXEC_ADDRESS_ERROR;
  } else if (stop >= STOP_TRAP0 && stop < STOP_TRAP0 + 4) {
    err.printf("h8sim exec: TRAPA #%d at PC %04X\n", stop - STOP_TRAP0, unsigned(pc - 2));
    status = EXEC_TRAP;
  } else {
    const char* name = stopName(stop);
    err.printf("h8sim exec: exception %d (%s) at PC %04X\n", stop, name ? name : "?", unsigned(pc));
    status = EXEC_OTHER_EXCEPTION;
  }
  if (options.stats) {
    uint64_t n = core.cpu.instructions, states = core.cpu.states;
    err.printf(
        "h8sim exec: %llu instructions, %llu states: %.6f s on the chip at %.3f MHz; "
        "simulated at %.1f million instructions/s\n",
        (unsigned long long)n, (unsigned long long)states, double(states) / options.clockHz,
        options.clockHz / 1e6, seconds > 0 ? double(n) / seconds / 1e6 : 0.0);
  }
  err.flush();
  return status;
}

}  // namespace h8
