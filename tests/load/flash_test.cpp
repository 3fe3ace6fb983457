#include "load/flash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "load/sysrof_writer.h"
#include "support/fake_board.h"

using namespace h8;
using namespace h8test;

namespace {

constexpr uint32_t kBuffer = 0xFC00;
constexpr uint32_t kProg = 0xF780;
constexpr uint32_t kProgSize = 0x40;

Bytes request(uint8_t type, const Bytes& payload = {}) {
  Bytes r{type};
  r.insert(r.end(), payload.begin(), payload.end());
  return r;
}

Bytes long32(uint32_t v) {
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

Bytes flashWriteRequest(uint32_t source, uint32_t target) {
  Bytes p = long32(source);
  Bytes t = long32(target);
  p.insert(p.end(), t.begin(), t.end());
  return request(FLASH_WRITE, p);
}

// The MEM_READ or MEM_WRITE exchanges that move `n` bytes, 16 at a time.
void addMemRead(std::vector<Bytes>& v, uint32_t address, uint32_t n) {
  for (uint32_t done = 0; done < n; done += 16) {
    Bytes p = long32(address + done);
    p.push_back(uint8_t(n - done < 16 ? n - done : 16));
    v.push_back(request(MEM_READ, p));
  }
}
void addMemWrite(std::vector<Bytes>& v, uint32_t address, const Bytes& data) {
  for (size_t done = 0; done < data.size(); done += 16) {
    size_t chunk = data.size() - done < 16 ? data.size() - done : 16;
    Bytes p = long32(address + uint32_t(done));
    p.push_back(uint8_t(chunk));
    p.insert(p.end(), data.begin() + long(done), data.begin() + long(done + chunk));
    v.push_back(request(MEM_WRITE, p));
  }
}

Bytes pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; i++) b[i] = uint8_t(seed + i * 7);
  return b;
}

struct FlashTest : ::testing::Test {
  FakeBoard board;
  StringOutput out;
  Link link{board, out};
  Monitor mon{link};
  std::unique_ptr<FlashState> state = std::make_unique<FlashState>();
  Bytes bufferRam = pattern(128, 0x11);
  Bytes progRam = pattern(kProgSize, 0x80);
  std::vector<std::string> files;

  FlashTest() {
    link.comTimeout = 3;  // a reply that never comes fails at once
    board.userStart = kBuffer;
    board.progStart = kProg;
    board.progSize = kProgSize;
    board.setMem(kBuffer, bufferRam);
    board.setMem(kProg, progRam);
  }
  ~FlashTest() override {
    for (const std::string& f : files) remove(f.c_str());
  }

  std::string save(const SysrofWriter& w, const std::string& name = "lo.abs") {
    std::string path = scratchPath(name);
    EXPECT_TRUE(w.save(path));
    files.push_back(path);
    return path;
  }

  // The requests every LO and USR starts with: find and save both RAM areas.
  std::vector<Bytes> preparation(uint32_t progSize = kProgSize) const {
    std::vector<Bytes> v{request(USER_DATA_AREA)};
    addMemRead(v, kBuffer, 128);
    v.push_back(request(FLASH_PROG_AREA));
    addMemRead(v, kProg, progSize);
    return v;
  }
  void addRestore(std::vector<Bytes>& v) const {
    addMemWrite(v, kBuffer, bufferRam);
    addMemWrite(v, kProg, progRam);
  }
  Bytes ram(uint32_t address, size_t n) const {
    Bytes b;
    for (size_t i = 0; i < n; i++) b.push_back(board.mem(address + uint32_t(i)));
    return b;
  }
  std::string openingText(const std::string& path) const {
    return "Flash-ROM write buffer address = 0000FC00\n"
           "Flash-ROM program/data address = 0000F780  size = 00000040\n"
           "memImage cleared. load from file " +
           path + "\nfinished to load " + path +
           ". Erase flash-ROM\n"
           "finished to erase. write to Flash-ROM\n";
  }
  // A file whose data covers 0x1000..0x10FF with bytes other than 0xFF.
  std::string twoBlockFile() {
    SysrofWriter w;
    w.unit("prog", 1, 0, 1).section(0x1000, 0x100, "P").sectionHeader(1, 1);
    w.objectData(0x1000, pattern(128, 0x00)).objectData(0x1080, pattern(128, 0x40)).end();
    return save(w);
  }
};

std::string progress(uint32_t target) {
  char line[80];
  snprintf(line, sizeof line, "FlashWrite:Source Address = 0000FC00 : Target Address=%08X\r",
           unsigned(target));
  return line;
}

// --- LO -------------------------------------------------------------------------------------

TEST_F(FlashTest, LoadProgramsEachTouchedBlockThenRestoresRam) {
  std::string path = twoBlockFile();
  loCommand(mon, out, *state, 1, path.c_str());

  std::vector<Bytes> expected = preparation();
  expected.push_back(request(FLASH_ERASE, {4}));
  addMemWrite(expected, kBuffer, pattern(128, 0x00));
  expected.push_back(flashWriteRequest(kBuffer, 0x1000));
  addMemWrite(expected, kBuffer, pattern(128, 0x40));
  expected.push_back(flashWriteRequest(kBuffer, 0x1080));
  addRestore(expected);
  EXPECT_EQ(board.requests, expected);

  EXPECT_EQ(out.text, openingText(path) + progress(0x1000) + progress(0x1080) + "\n" +
                          "Finished to load " + path + "\n");
  EXPECT_EQ(out.flushes, 2);  // one per progress line
  EXPECT_EQ(ram(kBuffer, 128), bufferRam);
  EXPECT_EQ(ram(kProg, kProgSize), progRam);
}

TEST_F(FlashTest, LoadSkipsBlankBlocksAndReachesTheLastBlock) {
  SysrofWriter w;
  w.fill(0x2000, 256, 0xFF).objectData(0x7FFF, {0x12}).end();
  std::string path = save(w);
  EXPECT_EQ(loadFile(mon, out, *state, path.c_str()), 1);
  std::vector<uint8_t> codes = board.codes();
  size_t writes = std::count(codes.begin(), codes.end(), FLASH_WRITE);
  EXPECT_EQ(writes, 1u);
  Bytes block(128, 0xFF);
  block[127] = 0x12;
  std::vector<Bytes> tail;
  addMemWrite(tail, kBuffer, block);
  tail.push_back(flashWriteRequest(kBuffer, 0x7F80));
  addRestore(tail);
  ASSERT_GE(board.requests.size(), tail.size());
  EXPECT_EQ(std::vector<Bytes>(board.requests.end() - long(tail.size()), board.requests.end()),
            tail);
  EXPECT_EQ(out.text, openingText(path) + progress(0x7F80) + "\n");
}

TEST_F(FlashTest, LoadOfErasedBytesOnlyErasesAndStillEndsTheLine) {
  SysrofWriter w;
  w.fill(0x1000, 300, 0xFF).end();
  std::string path = save(w);
  EXPECT_EQ(loadFile(mon, out, *state, path.c_str()), 1);
  std::vector<Bytes> expected = preparation();
  expected.push_back(request(FLASH_ERASE, {4}));
  addRestore(expected);
  EXPECT_EQ(board.requests, expected);
  EXPECT_EQ(out.text, openingText(path) + "\n");
  EXPECT_EQ(out.flushes, 0);
}

TEST_F(FlashTest, LoadOfDataOutsideUserAreaErasesNothing) {
  SysrofWriter below;
  below.objectData(0x0F00, {1}).end();
  SysrofWriter above;
  above.objectData(0x7FF0, pattern(17, 1)).end();
  for (const std::string& path : {save(below, "below.abs"), save(above, "above.abs")}) {
    board.clearLog();
    out.text.clear();
    loCommand(mon, out, *state, 1, path.c_str());
    EXPECT_EQ(board.requests, preparation());
    EXPECT_EQ(out.text,
              "Flash-ROM write buffer address = 0000FC00\n"
              "Flash-ROM program/data address = 0000F780  size = 00000040\n"
              "memImage cleared. load from file " +
                  path + "\nloadFile:Error at load SYSROF file " + path + "\nError loading " +
                  path + "\n");
  }
}

TEST_F(FlashTest, LoadOfMissingFileErasesNothing) {
  std::string path = scratchPath("missing.abs");
  loCommand(mon, out, *state, 1, path.c_str());
  EXPECT_EQ(board.requests, preparation());
  EXPECT_NE(out.text.find("memImage cleared. load from file " + path + "\nCan't open file " + path +
                          "\nloadFile:Error at load SYSROF file " + path + "\nError loading " +
                          path + "\n"),
            std::string::npos)
      << out.text;
}

TEST_F(FlashTest, LoadOfCorruptFileErasesNothing) {
  SysrofWriter w;
  w.raw({0x1C, 0x09, 0x00, 0x00, 0x00, 0x10, 0x00, 0x05, 0xAA}).end();
  std::string path = save(w);
  EXPECT_EQ(loadFile(mon, out, *state, path.c_str()), 0);
  EXPECT_EQ(board.requests, preparation());
  EXPECT_NE(out.text.find("Corrupt SYSROF file " + path), std::string::npos);
}

TEST_F(FlashTest, LoadWithoutFileNameIsRefusedBeforeAnythingIsSent) {
  state->memImage[5] = 0x42;
  loCommand(mon, out, *state, 0, nullptr);
  EXPECT_TRUE(board.sent.empty());
  EXPECT_EQ(out.text,
            "loadFile:Error no file name. Usage: LO filename\n"
            "Error loading (no file name)\n");
  EXPECT_EQ(state->memImage[5], 0x42);
  EXPECT_EQ(loadFile(mon, out, *state, nullptr), 0);
}

TEST_F(FlashTest, SecondLoadStartsFromClearedImage) {
  SysrofWriter first;
  first.objectData(0x3000, {1}).end();
  SysrofWriter second;
  second.objectData(0x1000, {2}).end();
  EXPECT_EQ(loadFile(mon, out, *state, save(first, "a.abs").c_str()), 1);
  board.clearLog();
  EXPECT_EQ(loadFile(mon, out, *state, save(second, "b.abs").c_str()), 1);
  std::vector<Bytes> writes;
  for (const Bytes& r : board.requests)
    if (r[0] == FLASH_WRITE) writes.push_back(r);
  EXPECT_EQ(writes, (std::vector<Bytes>{flashWriteRequest(kBuffer, 0x1000)}));
  EXPECT_EQ(state->memImage[0x2000], 0xFF);
}

TEST_F(FlashTest, LoadWithoutUserDataAreaStopsAtOnce) {
  board.failOn(USER_DATA_AREA, Fault::Silence);
  std::string path = twoBlockFile();
  loCommand(mon, out, *state, 1, path.c_str());
  EXPECT_EQ(board.requests, (std::vector<Bytes>{request(USER_DATA_AREA)}));
  EXPECT_EQ(out.text,
            "Error waiting packet receive.\n"
            "Error at getting User Data area.\n"
            "Can't read Target buffer RAM address\n"
            "Error loading " +
                path + "\n");
}

TEST_F(FlashTest, LoadWithoutFlashProgrammingAreaStopsAfterBufferSave) {
  board.failOn(FLASH_PROG_AREA, Fault::WrongCode);
  std::string path = twoBlockFile();
  EXPECT_EQ(loadFile(mon, out, *state, path.c_str()), 0);
  std::vector<Bytes> expected{request(USER_DATA_AREA)};
  addMemRead(expected, kBuffer, 128);
  expected.push_back(request(FLASH_PROG_AREA));
  EXPECT_EQ(board.requests, expected);
  EXPECT_EQ(out.text,
            "Flash-ROM write buffer address = 0000FC00\n"
            "Error at getting Flash-ROM program area.\n"
            "Can't read Target Flash-ROM programming RAM address\n");
  EXPECT_EQ(Bytes(state->bufferSave, state->bufferSave + 128), bufferRam);
}

TEST_F(FlashTest, ProgrammingAreaLargerThanSaveAreaIsRefusedBeforeAnyWrite) {
  std::string path = twoBlockFile();
  for (uint32_t size : {0x801u, 0x10010u, 0xFFFFFFFFu}) {
    board.progSize = size;
    board.clearLog();
    out.text.clear();
    EXPECT_EQ(loadFile(mon, out, *state, path.c_str()), 0);
    std::vector<Bytes> expected{request(USER_DATA_AREA)};
    addMemRead(expected, kBuffer, 128);
    expected.push_back(request(FLASH_PROG_AREA));
    EXPECT_EQ(board.requests, expected) << size;
    char line[120];
    snprintf(line, sizeof line,
             "Flash-ROM program/data area too large to save: size = %08X (limit 00000800)\n",
             unsigned(size));
    EXPECT_EQ(out.text, std::string("Flash-ROM write buffer address = 0000FC00\n") + line);
  }
}

TEST_F(FlashTest, ProgrammingAreaOfExactly2048BytesIsSavedAndRestored) {
  board.progSize = 0x800;
  progRam = pattern(0x800, 3);
  board.setMem(kProg, progRam);
  EXPECT_EQ(loadFile(mon, out, *state, twoBlockFile().c_str()), 1);
  EXPECT_EQ(Bytes(state->progAreaSave, state->progAreaSave + 0x800), progRam);
  std::vector<Bytes> tail;
  addMemWrite(tail, kProg, progRam);
  EXPECT_EQ(std::vector<Bytes>(board.requests.end() - long(tail.size()), board.requests.end()),
            tail);
}

struct ReplyFault {
  uint8_t request;
  Fault fault;
  const char* message;
};

TEST_F(FlashTest, EraseFailuresStopBeforeAnyBlockAndLeaveRamUnrestored) {
  const ReplyFault cases[] = {
      {FLASH_ERASE, Fault::Silence, "loadFile:Error at FlashROM Erase\n"},
      {FLASH_ERASE, Fault::Restart, "loadFile:Error Bad responce packet\n"},
      {FLASH_ERASE, Fault::WrongCode, "loadFile:Error Bad responce packet\n"},
  };
  std::string path = twoBlockFile();
  for (const ReplyFault& c : cases) {
    board.clearLog();
    out.text.clear();
    board.failOn(c.request, c.fault);
    loCommand(mon, out, *state, 1, path.c_str());
    std::vector<Bytes> expected = preparation();
    expected.push_back(request(FLASH_ERASE, {4}));
    // A RESTART is a bad reply here: no VERSION handshake follows.
    EXPECT_EQ(board.requests, expected) << c.message;
    EXPECT_EQ(out.text,
              "Flash-ROM write buffer address = 0000FC00\n"
              "Flash-ROM program/data address = 0000F780  size = 00000040\n"
              "memImage cleared. load from file " +
                  path + "\nfinished to load " + path + ". Erase flash-ROM\n" + c.message +
                  "Error loading " + path + "\n");
  }
}

TEST_F(FlashTest, WriteFailuresFollowTheProgressLineAndLeaveRamUnrestored) {
  const ReplyFault cases[] = {
      {FLASH_WRITE, Fault::Silence, "loadFile:Error at FlashROM Writting address=00001000\n"},
      {FLASH_WRITE, Fault::Restart, "loadFile:Error Bad responce packet\n"},
      {FLASH_WRITE, Fault::WrongCode, "loadFile:Error Bad responce packet\n"},
      {FLASH_WRITE, Fault::StatusNG, "loadFile:Error FlashROM write NG address=00001000\n"},
  };
  std::string path = twoBlockFile();
  for (const ReplyFault& c : cases) {
    board.clearLog();
    out.text.clear();
    board.failOn(c.request, c.fault);
    loCommand(mon, out, *state, 1, path.c_str());
    std::vector<Bytes> expected = preparation();
    expected.push_back(request(FLASH_ERASE, {4}));
    addMemWrite(expected, kBuffer, pattern(128, 0x00));
    expected.push_back(flashWriteRequest(kBuffer, 0x1000));
    EXPECT_EQ(board.requests, expected) << c.message;
    EXPECT_EQ(out.text, openingText(path) + progress(0x1000) + c.message + "Error loading " +
                            path + "\n");
    // The buffer RAM still holds the block, not its saved contents.
    EXPECT_EQ(ram(kBuffer, 128), pattern(128, 0x00));
  }
}

TEST_F(FlashTest, WriteFailureOnALaterBlockNamesThatBlock) {
  SysrofWriter w;
  w.objectData(0x1000, {1}).objectData(0x6543, {2}).end();
  board.failOn(FLASH_WRITE, Fault::StatusNG);
  board.failOn(FLASH_WRITE, Fault::StatusNG);
  std::string path = save(w);
  // First block fails: the second is never reached.
  EXPECT_EQ(loadFile(mon, out, *state, path.c_str()), 0);
  EXPECT_NE(out.text.find("NG address=00001000\n"), std::string::npos);
  EXPECT_EQ(out.text.find("00006500"), std::string::npos);
  // Only the second block left in the file: the failure names it.
  SysrofWriter second;
  second.objectData(0x6543, {2}).end();
  out.text.clear();
  EXPECT_EQ(loadFile(mon, out, *state, save(second, "second.abs").c_str()), 0);
  EXPECT_NE(
      out.text.find(progress(0x6500) + "loadFile:Error FlashROM write NG address=00006500\n"),
      std::string::npos)
      << out.text;
}

TEST_F(FlashTest, FailedBufferWriteStillProgramsTheBlock) {
  board.failOn(MEM_WRITE, Fault::StatusNG);
  std::string path = twoBlockFile();
  EXPECT_EQ(loadFile(mon, out, *state, path.c_str()), 1);
  std::vector<Bytes> expected = preparation();
  expected.push_back(request(FLASH_ERASE, {4}));
  Bytes first = pattern(128, 0x00);
  addMemWrite(expected, kBuffer, Bytes(first.begin(), first.begin() + 16));  // stops at chunk 1
  expected.push_back(flashWriteRequest(kBuffer, 0x1000));
  addMemWrite(expected, kBuffer, pattern(128, 0x40));
  expected.push_back(flashWriteRequest(kBuffer, 0x1080));
  addRestore(expected);
  EXPECT_EQ(board.requests, expected);
  EXPECT_NE(out.text.find(progress(0x1000) + "writeMem:Error.Responce of MEM_WRITE =NG\n" +
                          progress(0x1080) + "\n"),
            std::string::npos)
      << out.text;
}

TEST(IsBlankBlock, AllErasedBytesOnly) {
  uint8_t block[128];
  memset(block, 0xFF, sizeof block);
  EXPECT_TRUE(isBlankBlock(block));
  for (int i : {0, 64, 127}) {
    block[i] = 0xFE;
    EXPECT_FALSE(isBlankBlock(block)) << i;
    block[i] = 0xFF;
  }
  block[3] = 0x7F;
  EXPECT_FALSE(isBlankBlock(block));
}

// --- USR ------------------------------------------------------------------------------------

TEST_F(FlashTest, UserFlagProgramsLastBlockWithOnlyTheFlagClear) {
  memset(state->memImage, 0x55, sizeof state->memImage);  // left over from an earlier LO
  usrCommand(mon, out, *state);
  Bytes flagBlock(128, 0xFF);
  flagBlock[127] = 0x00;
  std::vector<Bytes> expected = preparation();
  addMemWrite(expected, kBuffer, flagBlock);
  expected.push_back(flashWriteRequest(kBuffer, 0x7F80));
  addRestore(expected);
  EXPECT_EQ(board.requests, expected);
  EXPECT_EQ(out.text,
            "Precede user program execution. Write flag.\n"
            "Flash-ROM write buffer address = 0000FC00\n"
            "Flash-ROM program/data address = 0000F780  size = 00000040\n"
            "Succeed.\n");
  EXPECT_EQ(Bytes(state->memImage, state->memImage + 128), flagBlock);
  EXPECT_EQ(ram(kBuffer, 128), bufferRam);
  EXPECT_EQ(ram(kProg, kProgSize), progRam);
}

TEST_F(FlashTest, UserFlagFailuresLeaveRamUnrestored) {
  const ReplyFault cases[] = {
      {FLASH_WRITE, Fault::Silence, "Error. No responce.\n"},
      {FLASH_WRITE, Fault::Restart, "Error Bad responce packet\n"},
      {FLASH_WRITE, Fault::WrongCode, "Error Bad responce packet\n"},
      {FLASH_WRITE, Fault::StatusNG, "Error FlashROM write NG.\n"},
  };
  Bytes flagBlock(128, 0xFF);
  flagBlock[127] = 0x00;
  for (const ReplyFault& c : cases) {
    board.clearLog();
    out.text.clear();
    board.setMem(kBuffer, bufferRam);
    board.failOn(c.request, c.fault);
    usrCommand(mon, out, *state);
    std::vector<Bytes> expected = preparation();
    addMemWrite(expected, kBuffer, flagBlock);
    expected.push_back(flashWriteRequest(kBuffer, 0x7F80));
    EXPECT_EQ(board.requests, expected) << c.message;
    EXPECT_EQ(out.text,
              std::string("Precede user program execution. Write flag.\n"
                          "Flash-ROM write buffer address = 0000FC00\n"
                          "Flash-ROM program/data address = 0000F780  size = 00000040\n") +
                  c.message + "Fail to write flag.\n");
    EXPECT_EQ(ram(kBuffer, 128), flagBlock);
  }
}

TEST_F(FlashTest, UserFlagRefusesOversizedProgrammingArea) {
  board.progSize = 0x1000;
  usrCommand(mon, out, *state);
  std::vector<uint8_t> codes = board.codes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), MEM_WRITE), 0);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), FLASH_WRITE), 0);
  EXPECT_EQ(out.text,
            "Precede user program execution. Write flag.\n"
            "Flash-ROM write buffer address = 0000FC00\n"
            "Flash-ROM program/data area too large to save: size = 00001000 (limit 00000800)\n"
            "Fail to write flag.\n");
}

TEST_F(FlashTest, UserFlagWithoutUserDataArea) {
  board.failOn(USER_DATA_AREA, Fault::WrongCode);
  EXPECT_EQ(writeUserFlag(mon, out, *state), 0);
  EXPECT_EQ(board.requests, (std::vector<Bytes>{request(USER_DATA_AREA)}));
  EXPECT_EQ(out.text,
            "Error at getting User Data area.\n"
            "Can't read Target buffer RAM address\n");
}

// --- FE -------------------------------------------------------------------------------------

TEST_F(FlashTest, EraseSendsEraseBlockFourQuietly) {
  feCommand(mon, out);
  EXPECT_EQ(board.requests, (std::vector<Bytes>{request(FLASH_ERASE, {4})}));
  EXPECT_EQ(out.text, "");
}

TEST_F(FlashTest, EraseReportsMissingOrWrongReply) {
  board.failOn(FLASH_ERASE, Fault::Silence);
  feCommand(mon, out);
  EXPECT_EQ(out.take(), "Error waiting packet receive.\nError at Flash-ROM erase\n");
  board.failOn(FLASH_ERASE, Fault::WrongCode);
  feCommand(mon, out);
  EXPECT_EQ(out.take(), "Error at Flash-ROM erase\n");
  board.clearLog();
  board.failOn(FLASH_ERASE, Fault::Restart);
  feCommand(mon, out);
  EXPECT_EQ(out.take(), "Tareget board ReStarted\nError at Flash-ROM erase\n");
  EXPECT_EQ(board.codes(), (std::vector<uint8_t>{FLASH_ERASE, VERSION}));
}

// --- FW -------------------------------------------------------------------------------------

struct FlashWriteTest : ::testing::Test {
  FakeBoard board;
  StringOutput out;
  Link link{board, out};
  Monitor mon{link};
  std::unique_ptr<SymbolTable> symbols = std::make_unique<SymbolTable>();
  Evaluator eval{mon, *symbols, out};

  FlashWriteTest() { link.comTimeout = 3; }

  // FW with its words; the user data area starts at 0xFC00 unless said otherwise.
  std::string fw(const char* buffer, const char* target, uint32_t userStart = kBuffer) {
    int argc = buffer == nullptr ? 0 : target == nullptr ? 1 : 2;
    fwCommand(mon, eval, out, userStart, argc, buffer, target);
    return out.take();
  }
};

TEST_F(FlashWriteTest, SendsBufferAndFlashAddressAndPrintsNothing) {
  EXPECT_EQ(fw("FE00", "0x1000"), "");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{flashWriteRequest(0xFE00, 0x1000)}));
}

TEST_F(FlashWriteTest, FewerThanTwoOperandsSendNothing) {
  EXPECT_EQ(fw(nullptr, nullptr), "Error FlashROM address missing\n");
  EXPECT_EQ(fw("FE00", nullptr), "Error FlashROM address missing\n");
  EXPECT_TRUE(board.sent.empty());
}

TEST_F(FlashWriteTest, BufferAddressRange) {
  EXPECT_EQ(fw("FC00", "0x1000"), "");  // the start of the user data area itself
  EXPECT_EQ(fw("FF00", "0x1000"), "");
  EXPECT_EQ(fw("FF01", "0x1000"), "Error. Bad write-buffer address.\n");
  EXPECT_EQ(fw("FBFF", "0x1000"), "Error. Bad write-buffer address.\n");
  EXPECT_EQ(fw("100", "0x1000", 0), "");  // start-up could not ask: 0 is the lower bound
  EXPECT_EQ(board.requests, (std::vector<Bytes>{flashWriteRequest(0xFC00, 0x1000),
                                                flashWriteRequest(0xFF00, 0x1000),
                                                flashWriteRequest(100, 0x1000)}));
}

TEST_F(FlashWriteTest, BadBufferAddressLeavesFlashWordUnevaluated) {
  // Evaluating @PC sends REG_READ: it must not happen after a refused buffer address.
  board.regs[REG_PC] = 0x1234;
  EXPECT_EQ(fw("FF01", "@PC"), "Error. Bad write-buffer address.\n");
  EXPECT_TRUE(board.sent.empty());
  EXPECT_EQ(fw("FE00", "@PC"), "Error. Bad flash-ROM address.\n");
  EXPECT_EQ(board.codes(), (std::vector<uint8_t>{REG_READ}));
}

TEST_F(FlashWriteTest, FlashAddressMustBeAlignedInsideUserAreaBelowFlagBlock) {
  for (const char* bad : {"7F80", "0x1040", "0F80", "0x8000", "0x1001"}) {
    EXPECT_EQ(fw("FE00", bad), "Error. Bad flash-ROM address.\n") << bad;
  }
  EXPECT_TRUE(board.sent.empty());
  EXPECT_EQ(fw("FE00", "7F00"), "");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{flashWriteRequest(0xFE00, 0x7F00)}));
}

TEST_F(FlashWriteTest, FailedExpressionsAreRejectedByTheRangeTests) {
  EXPECT_EQ(fw("nosuch", "0x1000"), "Error. Bad write-buffer address.\n");
  EXPECT_EQ(fw("FE00", "nosuch"), "Error. Bad flash-ROM address.\n");
  EXPECT_TRUE(board.sent.empty());
}

TEST_F(FlashWriteTest, AcceptsSymbolsAndArithmetic) {
  symbols->addSymbol("_buffer", 0xFD00);
  EXPECT_EQ(fw("_buffer+0x80", "0x1000+0x80*3"), "");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{flashWriteRequest(0xFD80, 0x1180)}));
}

TEST_F(FlashWriteTest, StatusByteIsNotRead) {
  board.failOn(FLASH_WRITE, Fault::StatusNG);
  EXPECT_EQ(fw("FE00", "0x2000"), "");
}

TEST_F(FlashWriteTest, MissingOrWrongReplyIsReported) {
  board.failOn(FLASH_WRITE, Fault::Silence);
  EXPECT_EQ(fw("FE00", "0x2000"), "Error waiting packet receive.\nError at Flash-ROM write\n");
  board.failOn(FLASH_WRITE, Fault::WrongCode);
  EXPECT_EQ(fw("FE00", "0x2000"), "Error at Flash-ROM write\n");
  board.clearLog();
  board.failOn(FLASH_WRITE, Fault::Restart);
  EXPECT_EQ(fw("FE00", "0x2000"), "Tareget board ReStarted\nError at Flash-ROM write\n");
  EXPECT_EQ(board.codes(), (std::vector<uint8_t>{FLASH_WRITE, VERSION}));
}

}  // namespace
