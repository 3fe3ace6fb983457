// Drives h8sim's monitor (MonitorServer over a fresh Board) with what a host could send, and its
// H8/300H core (H8Core) on whatever memory that leaves, GO included.
//
// Input: segments, each led by one byte h:
//   00-3F  a request frame with a correct SUM (bit 5 set: a wrong one): the next byte is TYPE,
//          then h & 0x1F payload bytes (at most 27)
//   40-7F  (h & 0x3F) + 1 bytes fed as they stand
//   80-BF  (h & 0x3F) + 1 slices of the running program
//   C0-FF  h & 3: 0 the reset switch, 1 the abort switch, 2 and 3 place bytes anywhere on the
//          board (flash included): a count (at most 64), a 16-bit address, the bytes
// After every segment the program runs one slice, as after every write of the line. Slices are
// SLICE instructions and at most MAX_SLICES run per input, so no input runs for long.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bigendian.h"
#include "fuzz_support.h"
#include "sim/board.h"
#include "sim/h8core.h"
#include "sim/monitor_server.h"

namespace {

constexpr uint32_t SLICE = 500;
constexpr int MAX_SLICES = 40;

// The host's end of the line: what the monitor sends is dropped.
struct SinkPort : h8::SerialPort {
  bool open(const std::string&, long) override { return true; }
  int close() override { return 0; }
  int write(const uint8_t*, int n) override { return n; }
  int read(uint8_t*, int) override { return 0; }
  unsigned available() override { return 0; }
  void waitStep() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  h8::Board board;
  h8::H8Core core(board);
  SinkPort port;
  h8::NullOutput log;
  h8::MonitorServer server(board, core, port, log);
  int slices = 0;
  auto slice = [&] {
    if (server.running() && slices < MAX_SLICES) {
      ++slices;
      server.runSlice(SLICE);
    }
  };

  size_t at = 0;
  auto take = [&](size_t n) {
    n = std::min(n, size - at);
    const uint8_t* p = data + at;
    at += n;
    return std::vector<uint8_t>(p, p + n);
  };
  while (at < size) {
    const uint8_t h = data[at++];
    if (h < 0x40) {
      std::vector<uint8_t> type = take(1);
      std::vector<uint8_t> payload = take(std::min<size_t>(h & 0x1F, h8::PAYLOAD_MAX));
      std::vector<uint8_t> frame = {h8::STX, uint8_t(payload.size() + 2), type.empty() ? uint8_t(0) : type[0]};
      frame.insert(frame.end(), payload.begin(), payload.end());
      uint8_t sum = 0;
      for (size_t i = 1; i < frame.size(); i++) sum = uint8_t(sum + frame[i]);
      frame.push_back(uint8_t(-sum + ((h & 0x20) ? 1 : 0)));
      frame.push_back(h8::ETX);
      for (uint8_t b : frame) server.receive(b);
    } else if (h < 0x80) {
      for (uint8_t b : take((h & 0x3F) + 1u)) server.receive(b);
    } else if (h < 0xC0) {
      for (int i = 0; i <= (h & 0x3F); i++) slice();
    } else if ((h & 3) == 0) {
      server.reset();
    } else if ((h & 3) == 1) {
      server.abort();
    } else {
      std::vector<uint8_t> head = take(3);
      if (head.size() < 3) break;
      std::vector<uint8_t> bytes = take(std::min<size_t>(head[0], 64));
      board.place(h8::load16(&head[1]), bytes.data(), uint32_t(bytes.size()));
    }
    slice();
  }
  return 0;
}
