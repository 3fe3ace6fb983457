#include "console/console.h"

namespace h8 {

namespace {
constexpr const char* SEPARATORS = " ,\t\n";
}  // namespace

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t pos = 0;
  while ((pos = line.find_first_not_of(SEPARATORS, pos)) != std::string::npos) {
    size_t end = line.find_first_of(SEPARATORS, pos);
    words.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    pos = end;
  }
  return words;
}

Console::Console(SerialPort& port_, Keyboard& keyboard_, Output& out_)
    : port(port_),
      keyboard(keyboard_),
      out(out_),
      link(port_, out_),
      monitor(link),
      evaluator(monitor, symbols, out_) {
  link.interrupt = &interrupt;
}

bool Console::waitLine(std::string& line, const std::string& prompt) {
  for (;;) {
    if (keyboard.keyWaiting()) {
      bool read = keyboard.readLine(line, prompt);
      // Lines typed ahead or pasted into a terminal whose output goes to a pipe keep the CR of
      // their Enter key; it is never part of a command.
      while (!line.empty() && line.back() == '\r') line.pop_back();
      return read;
    }
    uint8_t b = 0;
    int fed = link.readAndFeed(&b);
    if (fed != FEED_NO_BYTE) {
      out.put(char(b));
      out.flush();
      if (fed == FEED_COMPLETE) {
        // An unasked frame: the monitor has restarted.
        monitor.getVersion(version[0], version[1], version[2]);
        out.puts("\n>");
        out.flush();
      }
      continue;
    }
    if (port.lost() && !lossReported_) {
      out.puts("\nSerial line lost: the port has gone away.\n");
      out.puts(prompt);
      out.flush();
      lossReported_ = true;
    }
    port.waitFor(keyboard.wakeHandle(), IDLE_WAIT_MS);
  }
}

bool Console::evalArgument(const std::string& word, const char* error, uint32_t& value) {
  uint32_t v = evaluator.evalExpression(word.c_str());
  if (evaluator.exprError) {
    out.printf(error, word.c_str());
    return false;
  }
  value = v;
  return true;
}

}  // namespace h8
