// Faults injected into the monitor's replies, to see what the debugger makes of a board that
// misbehaves: h8sim's --fault option (FaultyLine) and the tests' board line (faultFrame).
//
//   faultFrame(f, frame, raw)   the bytes sent instead of one whole reply frame
//   parseFault(text, rule, e)   "KIND[@CODE][:N]": the N-th reply (default 1) of request CODE
//                               (a name such as MEM_READ, or a number; default any reply);
//                               false with a one-line message for a bad spec
//   FaultyLine(line)            a SerialPort over the board's line that applies each rule once,
//                               to the reply it names. A reset or a vanishing line is left to
//                               the session to carry out (takeReset(), vanished()); a
//                               misprogram spoils `board`'s block before the reply is sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/serial.h"
#include "sim/board.h"

namespace h8 {

enum class Fault {
  Silence,    // the reply is not sent
  Restart,    // a RESTART frame instead
  WrongCode,  // its TYPE is 0x7E
  BadSum,     // a wrong SUM
  BadEtx,     // its last byte is 0x04
  StatusNG,   // its last payload byte 0 (MEM_WRITE: 2), a refusal
  Short,      // its last payload byte left out
  Count0,     // COUNT 0 in place of its COUNT
  Count30,    // COUNT 30 in place of its COUNT
  Garbage,    // bytes that are no frame before it
  Reset,      // not sent: the board is reset instead
  Vanish,     // not sent: the line goes away, as an unplugged adapter does
  Misprogram,  // sent as it is, but the block just programmed keeps one wrong bit
  Raw,        // `raw` instead
};

struct FaultRule {
  Fault fault = Fault::Silence;
  int code = -1;  // the request whose reply it hits; -1 any
  int nth = 1;    // which of those replies, counted from the start
  std::vector<uint8_t> raw;
};

// A frame around TYPE and payload, with its SUM.
std::vector<uint8_t> makeFrame(uint8_t type, const std::vector<uint8_t>& payload);
std::vector<uint8_t> faultFrame(Fault fault, const std::vector<uint8_t>& frame,
                                const std::vector<uint8_t>& raw = {});
bool parseFault(const std::string& text, FaultRule& rule, std::string& error);
const char* faultKinds();  // the kinds as --help lists them

class FaultyLine : public SerialPort {
 public:
  FaultyLine(SerialPort& line, std::vector<FaultRule> rules)
      : line_(line), rules_(std::move(rules)) {}

  bool open(const std::string& name, long speed) override { return line_.open(name, speed); }
  int close() override { return line_.close(); }
  int write(const uint8_t* data, int n) override;
  int read(uint8_t* buffer, int n) override { return vanished_ ? 0 : line_.read(buffer, n); }
  unsigned available() override { return vanished_ ? 0 : line_.available(); }
  void waitStep() override { line_.waitStep(); }

  bool takeReset() {
    bool r = reset_;
    reset_ = false;
    return r;
  }
  bool vanished() const { return vanished_; }
  // The board whose last programmed block a misprogram fault spoils, as the reply goes out.
  Board* board = nullptr;

 private:
  SerialPort& line_;
  std::vector<FaultRule> rules_;
  int seen_[257] = {};  // replies seen per code; [256] all of them
  bool reset_ = false, vanished_ = false;
};

}  // namespace h8
