#include <gtest/gtest.h>

#include <algorithm>

#include "console_fixture.h"
#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

constexpr uint32_t kBuffer = 0xFC00, kProg = 0xF780;  // the RAM areas the board reports
const Bytes kErase{FLASH_ERASE, 4};

Bytes flashWrite(uint32_t from, uint32_t to) { return cat({{FLASH_WRITE}, be32(from), be32(to)}); }
// The MEM_READ or MEM_WRITE requests that move `data` (16 bytes at a time) at `address`.
void addMem(std::vector<Bytes>& v, uint8_t code, uint32_t address, const Bytes& data) {
  for (size_t at = 0; at < data.size(); at += 16) {
    Bytes chunk = code == MEM_WRITE ? Bytes(&data[at], &data[at] + 16) : Bytes();
    v.push_back(cat({{code}, be32(address + at), {16}, chunk}));
  }
}

struct FlashTest : Session {
  // The board's user data area starts at 0xFC00; a reply that never comes fails at once.
  FlashTest() { dbg->console.link.comTimeout = 3; }
  FlashState& state() { return dbg->flash.state(); }
};

// LO and USR: how far each gets and what it sends and prints. A failure stops at once: nothing
// more is sent and the saved RAM is not written back.
TEST_F(FlashTest, LoadAndUserFlagRunUntilAStepFails) {
  // The largest area saved: all of RAM, the write buffer inside it.
  const Bytes bufferRam(128, 0x11);
  Bytes progRam(0x800, 0x22);
  std::copy(bufferRam.begin(), bufferRam.end(), progRam.begin() + (kBuffer - kProg));
  auto area = [&](uint32_t size) {
    board.replies[FLASH_PROG_AREA] = cat({be32(kProg), be32(size)});
  };
  area(0x800), board.setMem(kProg, progRam);
  // A block of 0xFF with `b` at 0x7F: USR programs 0x7F80 with only the flag byte 0x7FFF clear.
  auto top = [](uint8_t b) { return cat({Bytes(127, 0xFF), {b}}); };
  // Blank blocks are not programmed.
  const std::string path = saveFile(cat({obj(0x1000, Bytes(128, 1)), obj(0x1080, Bytes(128, 2)),
                                         obj(0x2000, Bytes(128, 0xFF)), obj(0x7FFF, {0x12}), END}));
  const bool LO = true, USR = false;
  // What the complete runs send.
  std::vector<Bytes> loSent{{USER_DATA_AREA}}, usrSent;
  addMem(loSent, MEM_READ, kBuffer, bufferRam), loSent.push_back({FLASH_PROG_AREA});
  addMem(loSent, MEM_READ, kProg, progRam), usrSent = loSent, loSent.push_back(kErase);
  for (auto [to, block] :
       {std::pair{0x1000u, Bytes(128, 1)}, {0x1080u, Bytes(128, 2)}, {0x7F80u, top(0x12)}})
    addMem(loSent, MEM_WRITE, kBuffer, block), loSent.push_back(flashWrite(kBuffer, to));
  addMem(usrSent, MEM_WRITE, kBuffer, top(0)), usrSent.push_back(flashWrite(kBuffer, 0x7F80));
  for (auto* v : {&loSent, &usrSent})
    addMem(*v, MEM_WRITE, kBuffer, bufferRam), addMem(*v, MEM_WRITE, kProg, progRam);
  // What they print, step by step.
  const std::string tooLarge = "Flash-ROM program/data area too large to save: size = ",
                    buf = "Flash-ROM write buffer address = 0000FC00\n",
                    saved = buf + "Flash-ROM program/data address = 0000F780  size = 00000800\n",
                    cleared = saved + "memImage cleared. load from file " + path + "\n",
                    loaded = cleared + "finished to load " + path + ". Erase flash-ROM\n",
                    block = "FlashWrite:Source Address = 0000FC00 : Target Address=0000",
                    writes = loaded + "finished to erase. write to Flash-ROM\n" + block + "1000\r",
                    usrSaved = "Precede user program execution. Write flag.\n" + saved;
  // Runs LO or USR once with each of `faults` on the reply to the last request sent and expects
  // `sent` requests of the complete run (0: all of them) and `text`, then on a failure the
  // command's closing line.
  auto check = [&](bool lo, size_t sent, const std::string& text,
                   std::vector<std::optional<Fault>> faults = {std::nullopt}) {
    const std::vector<Bytes>& all = lo ? loSent : usrSent;
    const std::string closing = lo ? "Error loading " + path + "\n" : "Fail to write flag.\n";
    sent = sent ? sent : all.size();
    for (std::optional<Fault> fault : faults) {
      out.flushes = 0, board.setMem(kBuffer, bufferRam);
      if (fault) board.failOn(all[sent - 1][0], *fault);
      std::string printed = Session::run(lo ? "LO " + path : "USR");
      EXPECT_EQ(board.requests, std::vector<Bytes>(all.begin(), all.begin() + sent));
      EXPECT_EQ(printed, text + (sent < all.size() ? closing : ""));
      // Each progress line shows at once (a silent board's wait flushes once more).
      EXPECT_GE(out.flushes, std::count(printed.begin(), printed.end(), '\r'));
    }
  };
  // Without a file name nothing is sent and the image is not cleared.
  state().memImage[5] = 0;
  EXPECT_EQ(run("LO"),
            "loadFile:Error no file name. Usage: LO filename\nError loading (no file name)\n");
  EXPECT_TRUE(board.sent.empty() && state().memImage[5] == 0);
  // Requests sent: 1 USER_DATA_AREA; 10 with the write buffer's 8 MEM_READs and FLASH_PROG_AREA;
  // 138 with the programming area's 128 MEM_READs; 139 with FLASH_ERASE; 9 more for a block
  // (8 MEM_WRITEs and FLASH_WRITE). Both RAM areas are restored after a complete run only.
  // clang-format off
  check(LO, 0, writes + block + "1080\r" + block + "7F80\r\nFinished to load " + path + "\n");
  check(LO, 1, "Error at getting User Data area.\nCan't read Target buffer RAM address\n",
      {Fault::WrongCode});
  check(LO, 10, buf + "Error at getting Flash-ROM program area.\n"
                    "Can't read Target Flash-ROM programming RAM address\n", {Fault::WrongCode});
  check(LO, 139, loaded + "loadFile:Error at FlashROM Erase\n", {Fault::Silence});
  // A bad reply to FLASH_ERASE: no VERSION handshake after a RESTART.
  check(LO, 139, loaded + "loadFile:Error Bad responce packet\n", {Fault::Restart, Fault::WrongCode});
  check(LO, 148, writes + "loadFile:Error at FlashROM Writting address=00001000\n", {Fault::Silence});
  check(LO, 148, writes + "loadFile:Error Bad responce packet\n", {Fault::Restart, Fault::WrongCode});
  check(LO, 148, writes + "loadFile:Error FlashROM write NG address=00001000\n", {Fault::StatusNG});
  // A refused buffer write fails the block: stale RAM is never programmed.
  const std::string ng = "writeMem:Error.Responce of MEM_WRITE =NG\n";
  check(LO, 140, writes + ng, {Fault::StatusNG});
  check(USR, 0, usrSaved + "Succeed.\n");
  check(USR, 139, usrSaved + ng, {Fault::StatusNG});
  check(USR, 147, usrSaved + "Error. No responce.\n", {Fault::Silence});
  check(USR, 147, usrSaved + "Error Bad responce packet\n", {Fault::Restart, Fault::WrongCode});
  check(USR, 147, usrSaved + "Error FlashROM write NG.\n", {Fault::StatusNG});
  saveFile(obj(0xFFF, {1}));  // at `path`: a file the loader refuses
  check(LO, 138, cleared + "SYSROF file " + path + ": object data at 00000FFF - 00000FFF lies "
      "outside 00001000 - 00007FFF\nloadFile:Error at load SYSROF file " + path + "\n");
  // A RAM area that cannot be saved stops the command before anything is erased or written.
  const std::string unsaved = "Can't save Target RAM 0000FC00 - 0000FC7F: nothing erased or written\n";
  check(LO, 2, buf + "readMem:Error.Responce is not MEM_READ. 126\n" + unsaved, {Fault::WrongCode});
  check(USR, 2, "Precede user program execution. Write flag.\n" + buf +
      "readMem:Error receivePacket()=-1\n" + unsaved, {Fault::Silence});
  area(0x801), check(LO, 10, buf + tooLarge + "00000801 (limit 00000800)\n");
  // Not taken modulo 65,536.
  area(0x10010), check(LO, 10, buf + tooLarge + "00010010 (limit 00000800)\n");
  // clang-format on
}

TEST_F(FlashTest, EraseAndFlashWriteCommands) {
  board.setReg(REG_PC, 0x1040);  // not a multiple of 128
  const std::string erase = "Error at Flash-ROM erase\n", write = "Error at Flash-ROM write\n";
  const Bytes fw = flashWrite(0xFE00, 0x2000);
  // FW's operand words (none: FE), the fault on the reply, what is printed and sent, and the
  // user data area's start as start-up found it.
  auto check = [&](const char* buffer, const char* target, std::optional<Fault> fault,
                   const std::string& text, std::vector<Bytes> sent, uint32_t userStart = kBuffer) {
    if (fault) board.failOn(buffer ? FLASH_WRITE : FLASH_ERASE, *fault);
    dbg->flash.userDataStart = userStart;
    std::string line = buffer ? std::string("FW ") + buffer + " " + target : "FE";
    EXPECT_EQ(run(line), text) << line;
    EXPECT_EQ(board.requests, sent) << line;
  };
  // clang-format off
  check(nullptr, nullptr, {}, "", {kErase});
  check(nullptr, nullptr, Fault::Silence, "Error waiting packet receive.\n" + erase, {kErase});
  check(nullptr, nullptr, Fault::WrongCode, erase, {kErase});
  check(nullptr, nullptr, Fault::Restart, "Tareget board ReStarted\n" + erase, {kErase, {VERSION}});
  check("FE00", "0x2000", Fault::StatusNG, "", {fw});  // FW does not read the status
  check("FE00", "0x2000", Fault::Silence, "Error waiting packet receive.\n" + write, {fw});
  check("FE00", "0x2000", Fault::WrongCode, write, {fw});
  check("FE00", "", {}, "Error FlashROM address missing\n", {});  // one operand word
  check("FC00", "0x1000", {}, "", {flashWrite(0xFC00, 0x1000)});  // the area's start
  check("FF00", "7F00", {}, "", {flashWrite(0xFF00, 0x7F00)});    // both upper bounds
  check("100", "0x1000", {}, "", {flashWrite(100, 0x1000)}, 0);  // start-up could not ask
  check("FBFF", "0x1000", {}, "Error. Bad write-buffer address.\n", {});
  check("FF01", "@PC", {}, "Error. Bad write-buffer address.\n", {});  // @PC is not evaluated
  check("nosuch", "0x1000", {}, "Error. Bad write-buffer address.\n", {});  // 0xFFFFFFFF
  check("FE00", "@PC", {}, "Error. Bad flash-ROM address.\n", {{REG_READ, REG_PC}});
  check("FE00", "7F80", {}, "Error. Bad flash-ROM address.\n", {});  // the flag block
  check("FE00", "0F80", {}, "Error. Bad flash-ROM address.\n", {});
  // clang-format on
}

}  // namespace
