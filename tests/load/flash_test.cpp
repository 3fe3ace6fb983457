#include "load/flash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "load/sysrof_writer.h"
#include "support/fake_board.h"

using namespace h8;
using namespace h8test;

namespace {

constexpr uint32_t kBuffer = 0xFC00, kProg = 0xF000, kProgSize = 0x800;  // the largest area saved
const Bytes kErase{FLASH_ERASE, 4};

Bytes flashWrite(uint32_t from, uint32_t to) { return cat({{FLASH_WRITE}, be32(from), be32(to)}); }
// The MEM_READ or MEM_WRITE exchanges that move `data` at `address`, 16 bytes at a time.
void addMem(std::vector<Bytes>& v, uint8_t code, uint32_t address, const Bytes& data) {
  for (size_t done = 0; done < data.size(); done += 16) {
    size_t n = std::min<size_t>(16, data.size() - done);
    v.push_back(cat({{code}, be32(address + uint32_t(done)), {uint8_t(n)}}));
    if (code == MEM_WRITE) v.back().insert(v.back().end(), &data[done], &data[done] + n);
  }
}

struct FlashTest : ::testing::Test {
  FakeBoard board;  // its user data area starts at 0xFC00
  StringOutput out;
  Link link{board, out};
  Monitor mon{link};
  std::unique_ptr<FlashState> state = std::make_unique<FlashState>();
  const Bytes bufferRam = Bytes(128, 0x11), progRam = Bytes(kProgSize, 0x22);

  FlashTest() {
    link.comTimeout = 3;  // a reply that never comes fails at once
    board.progStart = kProg, board.setMem(kProg, progRam);
    std::fill_n(state->memImage, sizeof state->memImage, 0x55);  // left by an earlier command
  }
};

// LO and USR: how far each gets and what it sends and prints. A failure stops at once: nothing
// more is sent and the saved RAM is not written back.
TEST_F(FlashTest, LoadAndUserFlagRunUntilAStepFails) {
  Bytes last(128, 0xFF), flag(128, 0xFF);
  last[0x7F] = 0x12, flag[0x7F] = 0;  // USR programs 0x7F80 with only the flag byte 0x7FFF clear
  const std::pair<uint32_t, Bytes> loBlocks[] = {
      {0x1000, Bytes(128, 1)}, {0x1080, Bytes(128, 2)}, {0x7F80, last}};
  // Blank blocks are not programmed.
  const Bytes file = cat({obj(0x1000, Bytes(128, 1)), obj(0x1080, Bytes(128, 2)),
                          obj(0x2000, Bytes(128, 0xFF)), obj(0x7FFF, {0x12}), END});
  const std::string path = saveFile(file), bad = "Error Bad responce packet\n",
                    fail = "Fail to write flag.\n",
                    tooLarge = "Flash-ROM program/data area too large to save: size = ";
  const struct {
    const char* command;
    int stage;  // 0 user data area asked for; 1 write buffer saved, programming area asked for;
                // 2 that area saved; 3 file loaded; 4 flash erased; 5 first block written;
                // 6 all blocks written and the RAM restored
    std::string message;              // LO's failures then print "Error loading"
    std::optional<Fault> fault = {};  // on the reply to the stage's request
    Bytes file = {};                  // empty: the file above
    uint32_t progSize = kProgSize;
  } cases[] = {
      // clang-format off
      {"LO", 6, "\nFinished to load " + path + "\n"},
      {"LO", 0, "Error at getting User Data area.\nCan't read Target buffer RAM address\n",
       Fault::WrongCode},
      {"LO", 1, "Error at getting Flash-ROM program area.\n"
                "Can't read Target Flash-ROM programming RAM address\n", Fault::WrongCode},
      {"LO", 1, tooLarge + "00000801 (limit 00000800)\n", {}, {}, 0x801},
      {"LO", 1, tooLarge + "00010010 (limit 00000800)\n", {}, {}, 0x10010},  // not modulo 65,536
      {"LO", 3, "loadFile:Error at load SYSROF file " + path + "\n", {}, obj(0xFFF, {1})},
      {"LO", 4, "loadFile:Error at FlashROM Erase\n", Fault::Silence},
      {"LO", 4, "loadFile:" + bad, Fault::Restart},  // a bad reply here: no VERSION handshake
      {"LO", 4, "loadFile:" + bad, Fault::WrongCode},
      {"LO", 5, "loadFile:Error at FlashROM Writting address=00001000\n", Fault::Silence},
      {"LO", 5, "loadFile:" + bad, Fault::Restart},
      {"LO", 5, "loadFile:" + bad, Fault::WrongCode},
      {"LO", 5, "loadFile:Error FlashROM write NG address=00001000\n", Fault::StatusNG},
      {"USR", 6, "Succeed.\n"},
      {"USR", 5, "Error. No responce.\n" + fail, Fault::Silence},
      {"USR", 5, bad + fail, Fault::Restart},
      {"USR", 5, bad + fail, Fault::WrongCode},
      {"USR", 5, "Error FlashROM write NG.\n" + fail, Fault::StatusNG},
      // clang-format on
  };
  const uint8_t request[] = {USER_DATA_AREA, FLASH_PROG_AREA, 0, 0, FLASH_ERASE, FLASH_WRITE};
  const std::string opening[] = {"Flash-ROM write buffer address = 0000FC00\n",
                                 "Flash-ROM program/data address = 0000F000  size = 00000800\n",
                                 "memImage cleared. load from file " + path + "\n",
                                 "finished to load " + path + ". Erase flash-ROM\n",
                                 "finished to erase. write to Flash-ROM\n"};
  for (const auto& c : cases) {
    bool lo = c.command[0] == 'L';
    board.clearLog(), out.text.clear(), out.flushes = 0;
    board.setMem(kBuffer, bufferRam), board.progSize = c.progSize;
    if (c.fault) board.failOn(request[c.stage], *c.fault);
    saveFile(c.file.empty() ? file : c.file);  // at `path`
    lo ? loCommand(mon, out, *state, 1, path.c_str()) : usrCommand(mon, out, *state);

    std::vector<Bytes> expected{{USER_DATA_AREA}};
    if (c.stage >= 1)
      addMem(expected, MEM_READ, kBuffer, bufferRam), expected.push_back({FLASH_PROG_AREA});
    if (c.stage >= 2) addMem(expected, MEM_READ, kProg, progRam);
    if (c.stage >= 4 && lo) expected.push_back(kErase);
    StringOutput text;
    if (!lo) text.puts("Precede user program execution. Write flag.\n");
    for (int i = 0; i < std::min(c.stage, lo ? 5 : 2); i++) text.puts(opening[i]);
    for (int i = 0; i < (c.stage < 5 ? 0 : c.stage == 5 || !lo ? 1 : 3); i++) {
      auto [target, block] = lo ? loBlocks[i] : std::pair{0x7F80u, flag};
      addMem(expected, MEM_WRITE, kBuffer, block), expected.push_back(flashWrite(kBuffer, target));
      if (lo) text.printf("FlashWrite:Source Address = 0000FC00 : Target Address=%08X\r", target);
    }
    if (c.stage == 6)
      addMem(expected, MEM_WRITE, kBuffer, bufferRam), addMem(expected, MEM_WRITE, kProg, progRam);
    text.puts(c.message + (lo && c.stage < 6 ? "Error loading " + path + "\n" : ""));
    EXPECT_EQ(board.requests, expected) << c.command << " " << c.message;
    EXPECT_EQ(out.text, text.text);
    // Each progress line shows at once.
    EXPECT_EQ(out.flushes, std::count(text.text.begin(), text.text.end(), '\r'));
  }
  EXPECT_EQ(Bytes(state->memImage, state->memImage + 128), flag);
}

TEST_F(FlashTest, FailedBufferWriteStillProgramsTheBlock) {
  board.failOn(MEM_WRITE, Fault::StatusNG);
  loCommand(mon, out, *state, 1, saveFile(cat({obj(0x1000, {1}), obj(0x1080, {2})})).c_str());
  EXPECT_NE(out.text.find("=00001000\rwriteMem:Error.Responce of MEM_WRITE =NG\nFlashWrite:"),
            std::string::npos);
  EXPECT_EQ(std::count(board.requests.begin(), board.requests.end(), flashWrite(kBuffer, 0x1000)),
            1);
}

TEST_F(FlashTest, LoadWithoutFileNameIsRefusedBeforeAnythingIsSent) {
  loCommand(mon, out, *state, 0, nullptr);
  EXPECT_EQ(out.text,
            "loadFile:Error no file name. Usage: LO filename\nError loading (no file name)\n");
  EXPECT_TRUE(board.sent.empty());
  EXPECT_EQ(state->memImage[5], 0x55);
}

TEST_F(FlashTest, EraseAndFlashWriteCommands) {
  auto symbols = std::make_unique<SymbolTable>();
  Evaluator eval{mon, *symbols, out};
  board.regs[REG_PC] = 0x1040;  // not a multiple of 128
  const std::string lost = "Error waiting packet receive.\n",
                    restarted = "Tareget board ReStarted\n", erase = "Error at Flash-ROM erase\n",
                    write = "Error at Flash-ROM write\n";
  const Bytes fw = flashWrite(0xFE00, 0x2000);
  const struct {
    std::optional<Fault> fault;  // on the reply
    std::string text;
    std::vector<Bytes> requests;
    const char* buffer = nullptr;  // FW's operand words; none: FE
    const char* target = nullptr;
    uint32_t userStart = kBuffer;  // as start-up found it
  } cases[] = {
      // clang-format off
      {{}, "", {kErase}},
      {Fault::Silence, lost + erase, {kErase}},
      {Fault::WrongCode, erase, {kErase}},
      {Fault::Restart, restarted + erase, {kErase, {VERSION}}},
      {Fault::StatusNG, "", {fw}, "FE00", "0x2000"},  // FW does not read the status
      {Fault::Silence, lost + write, {fw}, "FE00", "0x2000"},
      {Fault::WrongCode, write, {fw}, "FE00", "0x2000"},
      {Fault::Restart, restarted + write, {fw, {VERSION}}, "FE00", "0x2000"},
      {{}, "Error FlashROM address missing\n", {}, "FE00", ""},  // one operand word
      {{}, "", {flashWrite(0xFC00, 0x1000)}, "FC00", "0x1000"},  // the user data area's start
      {{}, "", {flashWrite(0xFF00, 0x7F00)}, "FF00", "7F00"},    // both upper bounds
      {{}, "", {flashWrite(100, 0x1000)}, "100", "0x1000", 0},   // start-up could not ask
      {{}, "Error. Bad write-buffer address.\n", {}, "FBFF", "0x1000"},
      {{}, "Error. Bad write-buffer address.\n", {}, "FF01", "@PC"},  // @PC is not evaluated
      {{}, "Error. Bad write-buffer address.\n", {}, "nosuch", "0x1000"},  // 0xFFFFFFFF
      {{}, "Error. Bad flash-ROM address.\n", {{REG_READ, REG_PC}}, "FE00", "@PC"},
      {{}, "Error. Bad flash-ROM address.\n", {}, "FE00", "7F80"},
      {{}, "Error. Bad flash-ROM address.\n", {}, "FE00", "0F80"},
      // clang-format on
  };
  for (const auto& c : cases) {
    board.clearLog();
    if (c.fault) board.failOn(c.buffer ? FLASH_WRITE : FLASH_ERASE, *c.fault);
    if (c.buffer) fwCommand(mon, eval, out, c.userStart, *c.target ? 2 : 1, c.buffer, c.target);
    if (!c.buffer) feCommand(mon, out);
    EXPECT_EQ(out.take(), c.text) << c.buffer << " " << c.target;
    EXPECT_EQ(board.requests, c.requests) << c.buffer << " " << c.target;
  }
}

}  // namespace
