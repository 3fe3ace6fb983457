#include "sim/board.h"

#include <gtest/gtest.h>

#include "common/bigendian.h"
#include "sim_support.h"

using namespace h8;
using simtest::Bytes;

namespace {

Bytes block(uint8_t value) { return Bytes(FLASH_BLOCK_SIZE, value); }

Bytes pattern(uint8_t seed) {
  Bytes b(FLASH_BLOCK_SIZE);
  for (size_t i = 0; i < b.size(); i++) b[i] = uint8_t(seed + i * 7);
  return b;
}

Bytes flashBytes(const Board& board, uint32_t address, uint32_t count) {
  Bytes b;
  for (uint32_t i = 0; i < count; i++) b.push_back(board.read(address + i));
  return b;
}

}  // namespace

TEST(BoardMemoryMap, UserFlashStartsErased) {
  Board board;
  EXPECT_EQ(flashBytes(board, 0x1000, 4), Bytes(4, 0xFF));
  EXPECT_EQ(board.read(0x7FFF), 0xFF);
}

TEST(BoardMemoryMap, MonitorVectorsPointIntoTheMonitor) {
  Board board;
  uint8_t raw[2] = {board.read(0), board.read(1)};
  EXPECT_EQ(load16(raw), 0x0100u);  // reset entry
  for (uint32_t v = 0; v < 26; v++) {
    uint8_t entry[2] = {board.read(2 * v), board.read(2 * v + 1)};
    EXPECT_LT(load16(entry), MONITOR_END) << "vector " << v;
  }
}

TEST(BoardMemoryMap, RamAndIoAreWritableFlashAndHolesAreNot) {
  Board board;
  EXPECT_TRUE(board.writable(RAM_START, RAM_END - RAM_START));
  EXPECT_TRUE(board.writable(IO_LOW_START, 0x80));
  EXPECT_TRUE(board.writable(IO_HIGH_START, 0x80));
  EXPECT_FALSE(board.writable(0x0000, 1));
  EXPECT_FALSE(board.writable(0x1000, 1));
  EXPECT_FALSE(board.writable(0x8000, 1));
  EXPECT_FALSE(board.writable(0xF6FF, 1));
  EXPECT_FALSE(board.writable(0x10000, 1));
  EXPECT_FALSE(board.writable(0xFFFFFFFF, 2));  // wraps to 0
}

TEST(BoardMemoryMap, UnmappedAddressesReadFF) {
  Board board;
  EXPECT_EQ(board.read(0x8000), 0xFF);
  EXPECT_EQ(board.read(0xF6FF), 0xFF);
  EXPECT_EQ(board.read(0x10000), 0xFF);  // only the low 64 KiB exist
  EXPECT_EQ(board.read(0x0100FF80), 0xFF);
}

TEST(BoardMemoryMap, WriteReachesRamAndIoRegisters) {
  Board board;
  const uint8_t data[] = {0x12, 0x34};
  ASSERT_TRUE(board.write(0xFF7E, data, 2));
  EXPECT_EQ(board.read(0xFF7E), 0x12);
  EXPECT_EQ(board.read(0xFF7F), 0x34);
  ASSERT_TRUE(board.write(0xF700, data, 1));
  EXPECT_EQ(board.read(0xF700), 0x12);
}

TEST(BoardMemoryMap, WritePartlyOutsideTheMapChangesNothing) {
  Board board;
  const uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_FALSE(board.write(0xFFFE, data, 4));  // I/O, then past 0xFFFF
  EXPECT_EQ(board.read(0xFFFE), 0x00);
  EXPECT_FALSE(board.write(0xF6FE, data, 4));  // a hole, then I/O
  EXPECT_EQ(board.read(0xF700), 0x00);
  EXPECT_TRUE(board.write(0xF77E, data, 4));  // I/O, then RAM
  EXPECT_EQ(board.read(0xF781), 4);
}

TEST(BoardReset, RegistersTakeTheirDocumentedValues) {
  Board board;
  for (int r = 0; r < 7; r++) board.setReg(r, 0x11111111u * uint32_t(r + 1));
  board.setReg(7, 0);
  board.setReg(8, 0);
  board.setReg(9, 0x2000);
  board.breakpointSet = true;
  board.breakpoint = 0x1234;
  board.reset();
  for (int r = 0; r < 7; r++) EXPECT_EQ(board.reg(r), 0u) << "ER" << r;
  EXPECT_EQ(board.reg(7), 0xFF7Cu);
  EXPECT_EQ(board.reg(8), 0x80u);
  EXPECT_EQ(board.reg(9), 0x1000u);
  EXPECT_FALSE(board.breakpointSet);
}

TEST(BoardReset, Sci3RegistersTakeTheirResetValuesAndRamIsKept) {
  Board board;
  const uint8_t data[] = {0x5A};
  board.write(SCI3_SSR, data, 1);
  board.write(0xF800, data, 1);
  board.sciInput.push_back('k');
  board.sciOutput.push_back('o');
  board.reset();
  EXPECT_EQ(board.read(SCI3_SSR), 0x84);
  EXPECT_EQ(board.read(SCI3_BRR), 0xFF);
  EXPECT_EQ(board.read(SCI3_SCR3), 0x00);
  EXPECT_EQ(board.read(0xF800), 0x5A);
  EXPECT_TRUE(board.sciInput.empty());
  EXPECT_TRUE(board.sciOutput.empty());
}

TEST(BoardRegisters, CcrKeepsEightBitsAndPcTwentyFour) {
  Board board;
  EXPECT_TRUE(board.setReg(8, 0x12345685));
  EXPECT_EQ(board.reg(8), 0x85u);
  EXPECT_TRUE(board.setReg(9, 0xAB123456));
  EXPECT_EQ(board.reg(9), 0x123456u);
  EXPECT_TRUE(board.setReg(7, 0xDEADBEEF));
  EXPECT_EQ(board.reg(7), 0xDEADBEEFu);
  EXPECT_FALSE(board.setReg(10, 1));
  EXPECT_FALSE(board.setReg(-1, 1));
}

TEST(BoardFlash, EraseBlockFourClearsTheUserAreaOnly) {
  Board board;
  board.programBlock(0x1000, pattern(1).data());
  board.programBlock(0x7F80, pattern(2).data());
  uint8_t monitorByte = board.read(0x0000);
  ASSERT_TRUE(board.eraseFlash(4));
  EXPECT_EQ(flashBytes(board, 0x1000, FLASH_BLOCK_SIZE), block(0xFF));
  EXPECT_EQ(flashBytes(board, 0x7F80, FLASH_BLOCK_SIZE), block(0xFF));
  EXPECT_EQ(board.read(0x0000), monitorByte);
}

TEST(BoardFlash, EraseOfOtherBlocksIsRefused) {
  Board board;
  Bytes monitor = flashBytes(board, 0, MONITOR_END);
  for (int b : {0, 1, 2, 3, 5, 255}) EXPECT_FALSE(board.eraseFlash(b)) << b;
  EXPECT_EQ(flashBytes(board, 0, MONITOR_END), monitor);
}

TEST(BoardFlash, ProgrammingErasedFlashStoresTheData) {
  Board board;
  Bytes data = pattern(3);
  EXPECT_EQ(board.programBlock(0x1080, data.data()), FLASH_OK);
  EXPECT_EQ(flashBytes(board, 0x1080, FLASH_BLOCK_SIZE), data);
  EXPECT_EQ(board.read(0x107F), 0xFF);
  EXPECT_EQ(board.read(0x1100), 0xFF);
}

TEST(BoardFlash, ProgrammingOnlyClearsBitsAndVerifyReportsMissingOnes) {
  Board board;
  ASSERT_EQ(board.programBlock(0x2000, block(0xF0).data()), FLASH_OK);
  EXPECT_EQ(board.programBlock(0x2000, block(0x3C).data()), FLASH_VERIFY_FAILED);
  EXPECT_EQ(flashBytes(board, 0x2000, FLASH_BLOCK_SIZE), block(0x30));  // 0xF0 AND 0x3C
  // Clearing further bits of what is there verifies.
  EXPECT_EQ(board.programBlock(0x2000, block(0x10).data()), FLASH_OK);
  EXPECT_EQ(flashBytes(board, 0x2000, FLASH_BLOCK_SIZE), block(0x10));
}

TEST(BoardFlash, ProgramDestinationMustBeAnAlignedUserBlock) {
  Board board;
  Bytes data = block(0);
  EXPECT_EQ(board.programBlock(0x0F80, data.data()), FLASH_BAD_DESTINATION);
  EXPECT_EQ(board.programBlock(0x1040, data.data()), FLASH_BAD_DESTINATION);
  EXPECT_EQ(board.programBlock(0x8000, data.data()), FLASH_BAD_DESTINATION);
  EXPECT_EQ(board.programBlock(0xFFFFFF80, data.data()), FLASH_BAD_DESTINATION);
  EXPECT_EQ(board.programBlock(0x7F80, data.data()), FLASH_OK);
  EXPECT_EQ(board.read(0x0F80), 0xFF);
}

TEST(BoardFlash, ProgramSourceMustLieInRam) {
  Board board;
  Bytes data = pattern(9);
  ASSERT_TRUE(board.write(0xFF00, data.data(), FLASH_BLOCK_SIZE));
  EXPECT_EQ(board.programFlash(0xFF01, 0x1000), FLASH_BAD_SOURCE);  // runs into I/O
  EXPECT_EQ(board.programFlash(0xF700, 0x1000), FLASH_BAD_SOURCE);
  EXPECT_EQ(board.programFlash(0x1000, 0x1000), FLASH_BAD_SOURCE);
  EXPECT_EQ(board.read(0x1000), 0xFF);
  EXPECT_EQ(board.programFlash(0xFF00, 0x1000), FLASH_OK);
  EXPECT_EQ(flashBytes(board, 0x1000, FLASH_BLOCK_SIZE), data);
}

TEST(BoardFlashImage, SavedImageLoadsIntoAFreshBoard) {
  simtest::TempDir dir;
  std::string path = dir.file("flash.bin");
  Board board;
  board.programBlock(0x1000, pattern(4).data());
  board.programBlock(0x7F80, pattern(5).data());
  std::string error;
  ASSERT_TRUE(saveFlashImage(path, board, error)) << error;
  Bytes file = simtest::readFile(path);
  ASSERT_EQ(file.size(), FLASH_SIZE);
  EXPECT_EQ(Bytes(file.begin() + 0x1000, file.begin() + 0x1080), pattern(4));

  Board again;
  ASSERT_TRUE(loadFlashImage(path, again, error)) << error;
  EXPECT_EQ(again.flash(), board.flash());
}

TEST(BoardFlashImage, LoadingKeepsTheMonitorArea) {
  simtest::TempDir dir;
  std::string path = dir.file("flash.bin");
  Bytes image(FLASH_SIZE, 0x00);
  simtest::writeFile(path, image);
  Board board;
  Bytes monitor = flashBytes(board, 0, MONITOR_END);
  std::string error;
  ASSERT_TRUE(loadFlashImage(path, board, error)) << error;
  EXPECT_EQ(flashBytes(board, 0, MONITOR_END), monitor);
  EXPECT_EQ(board.read(0x1000), 0x00);
  EXPECT_EQ(board.read(0x7FFF), 0x00);
}

TEST(BoardFlashImage, FileOfTheWrongSizeIsRefused) {
  simtest::TempDir dir;
  std::string path = dir.file("short.bin");
  simtest::writeFile(path, Bytes(100, 0));
  Board board;
  std::string error;
  EXPECT_FALSE(loadFlashImage(path, board, error));
  EXPECT_EQ(error, path + ": not a flash image (32768 bytes expected)");
  simtest::writeFile(path, Bytes(FLASH_SIZE + 1, 0));
  EXPECT_FALSE(loadFlashImage(path, board, error));
  EXPECT_EQ(board.read(0x1000), 0xFF);
}

TEST(BoardFlashImage, MissingFileIsReported) {
  Board board;
  std::string error;
  EXPECT_FALSE(loadFlashImage("/nonexistent/flash.bin", board, error));
  EXPECT_EQ(error, "/nonexistent/flash.bin: No such file or directory");
}

TEST(BoardDownload, SysrofProgramIsErasedAndProgrammedIntoFlash) {
  simtest::TempDir dir;
  std::string path = dir.file("prog.abs");
  Bytes code = pattern(6);
  code.resize(300, 0x5A);
  simtest::writeFile(path, simtest::sysrofImage(0x1000, code));
  Board board;
  board.programBlock(0x4000, block(0x00).data());  // an old program elsewhere
  StringOutput out;
  ASSERT_TRUE(programSysrof(path, board, out)) << out.text;
  EXPECT_EQ(out.text, "");
  EXPECT_EQ(flashBytes(board, 0x1000, 300), code);
  EXPECT_EQ(board.read(0x1000 + 300), 0xFF);
  EXPECT_EQ(board.read(0x4000), 0xFF);
}

TEST(BoardDownload, FileOutsideTheUserAreaLeavesFlashAlone) {
  simtest::TempDir dir;
  std::string path = dir.file("low.abs");
  simtest::writeFile(path, simtest::sysrofImage(0x0F00, Bytes(16, 0)));
  Board board;
  board.programBlock(0x1000, block(0x00).data());
  StringOutput out;
  EXPECT_FALSE(programSysrof(path, board, out));
  EXPECT_EQ(out.text, "h8sim: " + path +
                          ": no program loaded (not a SYSROF file, or data outside 1000..7FFF)\n");
  EXPECT_EQ(board.read(0x1000), 0x00);
}

TEST(BoardDownload, MissingFileIsReported) {
  Board board;
  StringOutput out;
  EXPECT_FALSE(programSysrof("/nonexistent.abs", board, out));
  EXPECT_EQ(out.text.rfind("Can't open file /nonexistent.abs\n", 0), 0u) << out.text;
}
