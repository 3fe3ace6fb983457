#include "sim/monitor_server.h"

#include "common/target.h"

namespace h8 {

namespace {

constexpr uint32_t MEM_CHUNK_MAX = 16;

void logFrame(Output& log, const char* direction, const char* name, const uint8_t* frame) {
  int payload = frame[1] - 2;
  log.printf("h8sim: %s %s", direction, name);
  for (int i = 0; i < payload; i++) log.printf(" %02X", frame[3 + i]);
  log.put('\n');
  log.flush();
}

}  // namespace

const MonitorServer::Request MonitorServer::REQUESTS[] = {
    {MEM_READ, &MonitorServer::memRead},
    {MEM_WRITE, &MonitorServer::memWrite},
    {REG_READ, &MonitorServer::regRead},
    {REG_WRITE, &MonitorServer::regWrite},
    {VERSION, &MonitorServer::version},
    {FLASH_PROG_AREA, &MonitorServer::flashProgArea},
    {USER_DATA_AREA, &MonitorServer::userDataArea},
    {BREAK_READ, &MonitorServer::breakRead},
    {BREAK_WRITE, &MonitorServer::breakWrite},
    {BREAK_CLEAR, &MonitorServer::breakClear},
    {GO, &MonitorServer::go},
    {FLASH_ERASE, &MonitorServer::flashErase},
    {FLASH_WRITE, &MonitorServer::flashWrite},
};

MonitorServer::MonitorServer(Board& board, CpuCore& core, SerialPort& port, Output& log)
    : board_(board),
      core_(core),
      port_(port),
      log_(log),
      link_(std::make_unique<Link>(port, quiet_)) {}

void MonitorServer::receive(uint8_t b) {
  int r = link_->feedPacket(b);
  if (r == FEED_COMPLETE) {
    frameBytes_.clear();
    hostSpoke_ = true;
    handleFrame();
    return;
  }
  if (!running_) return;
  // While the program runs, everything that does not turn out to be a frame is typed input:
  // a key 0x02 only looks like STX until the recogniser rejects what follows.
  if (r == FEED_STX || r == FEED_INSIDE) {
    frameBytes_.push_back(b);
  } else {
    frameBytes_.push_back(b);
    giveKeys(frameBytes_.data(), frameBytes_.size());
    frameBytes_.clear();
  }
}

void MonitorServer::receiveFromPort() {
  uint8_t buffer[64];
  while (port_.available() > 0) {
    int n = port_.read(buffer, sizeof buffer);
    if (n <= 0) break;
    for (int i = 0; i < n; i++) receive(buffer[i]);
  }
}

void MonitorServer::giveKeys(const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; i++) {
    // A real SCI3 overruns when the program does not read; the queue drops the excess.
    if (board_.sciInput.size() < KEY_QUEUE_MAX) board_.giveKey(bytes[i]);
  }
}

int MonitorServer::payloadLength() const { return link_->packetBuffer()[1] - 2; }

void MonitorServer::handleFrame() {
  uint8_t code = link_->getByte();
  for (const Request& r : REQUESTS) {
    if (r.code != code) continue;
    current_ = &r;
    if (verbose) logFrame(log_, ">", requestName(r.code), link_->packetBuffer());
    (this->*r.handle)();
    return;
  }
  if (verbose) log_.printf("h8sim: > unknown request %02X, not answered\n", code);
}

void MonitorServer::beginReply() { link_->beginPacket(current_->code); }

// One write per frame, so that whoever holds the line sees whole frames (the tests' fault
// injector does).
void MonitorServer::sendReply() {
  link_->endPacket();
  port_.write(link_->packetBuffer(), link_->packetBuffer()[1] + 3);
  if (verbose) logFrame(log_, "<", requestName(current_->code), link_->packetBuffer());
}

void MonitorServer::memRead() {
  uint32_t address = link_->getLong();
  uint32_t count = link_->getByte();
  if (count > MEM_CHUNK_MAX) count = MEM_CHUNK_MAX;
  beginReply();
  for (uint32_t i = 0; i < count; i++) link_->putByte(board_.read(address + i));
  sendReply();
}

void MonitorServer::memWrite() {
  uint32_t address = link_->getLong();
  uint32_t count = link_->getByte();
  uint8_t data[MEM_CHUNK_MAX];
  bool ok = count >= 1 && count <= MEM_CHUNK_MAX && payloadLength() == int(5 + count);
  if (ok) {
    for (uint32_t i = 0; i < count; i++) data[i] = link_->getByte();
    ok = board_.write(address, data, count);
  }
  beginReply();
  link_->putByte(ok ? 1 : 0);
  sendReply();
}

void MonitorServer::regRead() {
  int selector = link_->getByte();
  beginReply();
  link_->putLong(selector < REGISTER_COUNT ? board_.reg(selector) : 0);
  sendReply();
}

void MonitorServer::regWrite() {
  int selector = link_->getByte();
  uint32_t value = link_->getLong();
  bool ok = payloadLength() >= 5 && board_.setReg(selector, value);
  beginReply();
  link_->putByte(ok ? 1 : 0);
  sendReply();
}

void MonitorServer::version() {
  beginReply();
  for (uint8_t v : MONITOR_VERSION) link_->putByte(v);
  sendReply();
}

void MonitorServer::flashProgArea() {
  beginReply();
  link_->putLong(FLASH_PROG_AREA_START);
  link_->putLong(FLASH_PROG_AREA_SIZE);
  sendReply();
}

void MonitorServer::userDataArea() {
  beginReply();
  link_->putLong(USER_DATA_AREA_START);
  link_->putLong(USER_DATA_AREA_SIZE);
  sendReply();
}

void MonitorServer::breakRead() {
  beginReply();
  link_->putLong(board_.breakpointSet ? board_.breakpoint : 0);
  sendReply();
}

void MonitorServer::breakWrite() {
  if (payloadLength() >= 4) {
    board_.breakpoint = link_->getLong();
    board_.breakpointSet = true;
  }
  beginReply();
  sendReply();
}

void MonitorServer::breakClear() {
  board_.breakpointSet = false;
  board_.breakpoint = 0;
  beginReply();
  sendReply();
}

// GO has no immediate reply: the stop report is the reply, sent by runSlice when the core stops.
void MonitorServer::go() {
  if (running_) return;
  running_ = true;
  frameBytes_.clear();
  core_.start(board_);
}

void MonitorServer::flashErase() {
  bool ok = payloadLength() >= 1 && board_.eraseFlash(link_->getByte());
  if (ok) saveFlash();
  if (ok && holdReply) holdReply(flashTimes.erase);
  beginReply();
  link_->putByte(ok ? 1 : 0);
  sendReply();
}

void MonitorServer::flashWrite() {
  uint32_t source = link_->getLong();
  uint32_t destination = link_->getLong();
  FlashResult result =
      payloadLength() >= 8 ? board_.programFlash(source, destination) : FLASH_BAD_DESTINATION;
  if (result == FLASH_OK || result == FLASH_VERIFY_FAILED) saveFlash();
  if (result == FLASH_OK && holdReply) holdReply(flashTimes.program);
  beginReply();
  link_->putByte(result == FLASH_OK ? 1 : 0);
  sendReply();
}

void MonitorServer::sendProgramOutput() {
  while (!board_.sciOutput.empty()) {
    uint8_t chunk[64];
    int n = 0;
    while (n < int(sizeof chunk) && !board_.sciOutput.empty()) {
      chunk[n++] = board_.sciOutput.front();
      board_.sciOutput.pop_front();
    }
    port_.write(chunk, n);
  }
}

void MonitorServer::sendStop(int code) {
  running_ = false;
  frameBytes_.clear();
  static const Request stop = {GO, nullptr};
  current_ = &stop;
  beginReply();
  link_->putByte(uint32_t(code));
  sendReply();
}

void MonitorServer::runSlice(uint32_t budget) {
  if (!running_) {
    sendProgramOutput();
    return;
  }
  int code = core_.run(board_, budget);
  sendProgramOutput();
  if (code != RUN_CONTINUES) sendStop(code);
}

void MonitorServer::abort() {
  if (!running_) return;
  sendProgramOutput();
  sendStop(STOP_ABORT);
}

void MonitorServer::reset() {
  running_ = false;
  frameBytes_.clear();
  board_.reset();
  // A reset also loses a frame that was half received.
  link_ = std::make_unique<Link>(port_, quiet_);
  if (!hostSpoke_) return;
  static const Request restart = {RESTART, nullptr};
  current_ = &restart;
  beginReply();
  sendReply();
}

bool MonitorServer::saveFlash() {
  if (flashPath.empty()) return true;
  std::string error;
  if (saveFlashImage(flashPath, board_, error)) return true;
  log_.printf("h8sim: %s\n", error.c_str());
  log_.flush();
  return false;
}

}  // namespace h8
