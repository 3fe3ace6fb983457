// An in-memory board for tests: it implements SerialPort, answers the monitor's requests from a
// simple memory and register model, records every byte and frame the host sent, and injects the
// faults a real line shows (silence, RESTART in place of a reply, wrong code, wrong SUM, wrong
// ETX, text before the frame).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "link/serial.h"

namespace h8test {

using Bytes = std::vector<uint8_t>;

// A complete frame around TYPE and payload, with a correct SUM.
Bytes frame(uint8_t type, const Bytes& payload = {});

enum class Fault {
  Silence,    // no reply at all
  Restart,    // a RESTART frame instead of the reply
  WrongCode,  // the reply's TYPE is 0x7E
  BadSum,     // reply with a wrong SUM
  BadEtx,     // reply whose last byte is 0x04
  StatusNG,   // status byte 0 (MEM_WRITE: 2) where the reply has a status
  Raw,        // send `raw` instead of the reply
};

struct FaultSpec {
  Fault fault;
  Bytes raw;
};

class FakeBoard : public h8::SerialPort {
 public:
  FakeBoard();

  // SerialPort
  bool open(const std::string& name, long speed) override;
  int close() override;
  int write(const uint8_t* data, int n) override;
  int read(uint8_t* buffer, int n) override;
  unsigned available() override;
  void waitStep() override;
  bool lost() const override { return lost_; }

  // Model.
  uint8_t mem(uint32_t address) const;
  void setMem(uint32_t address, const Bytes& bytes);
  uint32_t regs[10] = {};
  uint8_t version[3] = {1, 2, 3};
  uint32_t progStart = 0xF780, progSize = 0x400;
  uint32_t userStart = 0xFC00, userSize = 0x100;
  bool breakSet = false;
  uint32_t breakAddress = 0;
  bool openResult = true;
  std::string openedName;
  long openedSpeed = 0;
  bool closed = false;

  // What the board does when GO arrives: send `goText`, then a stop report with the next code of
  // `stopCodes` (none left: the program keeps running, nothing is sent).
  std::string goText;
  std::deque<int> stopCodes;

  // Faults, consumed one per request in arrival order.
  void fail(Fault f, Bytes raw = {}) { faults_.push_back({f, std::move(raw)}); }
  // A fault for the next reply to a request of `type` only (replies to other requests pass
  // untouched); taken before the faults of fail().
  void failOn(uint8_t type, Fault f, Bytes raw = {}) {
    typedFaults_[type].push_back({f, std::move(raw)});
  }
  // Text sent just before the next reply.
  std::string textBeforeReply;

  // Bytes to deliver now, or after `steps` more poll steps.
  void inject(const Bytes& bytes) { rx_.insert(rx_.end(), bytes.begin(), bytes.end()); }
  void injectText(const std::string& s) { rx_.insert(rx_.end(), s.begin(), s.end()); }
  void schedule(int steps, const Bytes& bytes) { scheduled_.push_back({steps_ + steps, bytes}); }

  // What the host sent.
  Bytes sent;
  std::vector<Bytes> requests;         // TYPE and payload of every complete request frame
  std::vector<uint8_t> codes() const;  // TYPE of each request
  void clearLog() {
    sent.clear();
    requests.clear();
  }

  long steps() const { return steps_; }
  // Steps after which a wait with nothing to come ends the line (keeps a broken test from
  // hanging forever); 0 disables it.
  long hangLimit = 200000;

 private:
  void handle(const Bytes& request);
  void reply(uint8_t type, const Bytes& payload);

  std::map<uint32_t, uint8_t> mem_;
  std::deque<uint8_t> rx_;
  std::deque<FaultSpec> faults_;
  std::map<uint8_t, std::deque<FaultSpec>> typedFaults_;
  struct Scheduled {
    long at;
    Bytes bytes;
  };
  std::vector<Scheduled> scheduled_;
  long steps_ = 0;
  long idleSteps_ = 0;
  bool lost_ = false;
  Bytes collecting_;
  int expected_ = 0;
};

}  // namespace h8test
