#include "disasm/decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/bigendian.h"
#include "disasm/listing.h"

using namespace h8;

namespace {

using Bytes = std::vector<uint8_t>;
using Buffer = std::array<uint8_t, INSTRUCTION_BYTES>;

Buffer pad(const Bytes& bytes) {
  Buffer b{};
  std::copy(bytes.begin(), bytes.end(), b.begin());
  return b;
}

int comparedWords(const Instruction& e) { return e.mask[1] == 0 ? 1 : e.mask[2] == 0 ? 2 : 3; }

bool isAlias(const Instruction& e) {
  return !std::strncmp(e.mnemonic, "PUSH.", 5) || !std::strncmp(e.mnemonic, "POP.", 4);
}

// Random bytes with the bits that the entry compares set to its values.
Buffer sample(const Instruction& e, std::mt19937& rng) {
  Buffer b;
  for (uint8_t& x : b) x = uint8_t(rng());
  for (int j = 0; j < comparedWords(e); j++) {
    b[2 * j] = uint8_t((b[2 * j] & ~(e.mask[j] >> 8)) | (e.value[j] >> 8));
    b[2 * j + 1] = uint8_t((b[2 * j + 1] & ~e.mask[j]) | e.value[j]);
  }
  return b;
}

}  // namespace

TEST(InstructionTable, EntriesAreWellFormedAndLongEnoughForTheirOperands) {
  ASSERT_EQ(INSTRUCTION_COUNT, 268);
  EXPECT_EQ(instructionTable[INSTRUCTION_COUNT].mask[0], 0);
  Buffer ones;
  ones.fill(0xFF);
  for (int i = 0; i < INSTRUCTION_COUNT; i++) {
    const Instruction& e = instructionTable[i];
    SCOPED_TRACE(testing::Message() << "entry " << i + 1 << " " << e.mnemonic << " " << e.format);
    EXPECT_NE(e.mask[0], 0);
    EXPECT_FALSE(e.mask[1] == 0 && e.mask[2] != 0);
    for (int j = 0; j < 3; j++) EXPECT_EQ(e.value[j] & ~e.mask[j], 0);
    EXPECT_TRUE(e.length >= comparedWords(e) && e.length <= 5);
    EXPECT_LE(std::strlen(e.mnemonic), 8u);
    // Every directive is known, and none reads past the instruction's length.
    const std::string text = formatOperands(e.format, ones.data(), 0, nullptr);
    EXPECT_EQ(text.find('%'), std::string::npos) << text;
    const Buffer cut = pad(Bytes(ones.begin(), ones.begin() + 2 * e.length));
    EXPECT_EQ(formatOperands(e.format, cut.data(), 0, nullptr), text);
  }
}

// Every first word with tails that exercise the aliases and the three-word entries, then random
// bytes shaped to each entry: the chosen entry always matches, and every entry is chosen except
// the four aliases, which earlier MOV forms shadow.
TEST(InstructionTable, WalkOfAllFirstWordsChoosesEveryEntryButTheAliases) {
  const uint16_t tails[][2] = {{0x0000, 0x0000}, {0xFFFF, 0xFFFF}, {0x6D72, 0x0000},
                               {0x6DF3, 0x0000}, {0x6D7F, 0x6B20}, {0x7800, 0x6B20},
                               {0x7880, 0x6BA0}, {0x5A5A, 0xA5A5}};
  std::vector<int> chosen(INSTRUCTION_COUNT, 0);
  auto choose = [&](const Buffer& b) {
    const Instruction* e = findInstruction(b.data());
    if (!e) return;
    chosen[e - instructionTable]++;
    for (int j = 0; j < comparedWords(*e); j++)
      ASSERT_EQ(load16(&b[2 * j]) & e->mask[j], e->value[j]) << std::hex << load16(&b[0]);
  };
  for (uint32_t w0 = 0; w0 < 0x10000; w0++)
    for (const auto& t : tails)
      choose(pad({uint8_t(w0 >> 8), uint8_t(w0), uint8_t(t[0] >> 8), uint8_t(t[0]),
                  uint8_t(t[1] >> 8), uint8_t(t[1])}));
  std::mt19937 rng(3664);
  for (int i = 0; i < INSTRUCTION_COUNT; i++)
    for (int k = 0; k < 64; k++) choose(sample(instructionTable[i], rng));
  for (int i = 0; i < INSTRUCTION_COUNT; i++)
    EXPECT_EQ(chosen[i] > 0, !isAlias(instructionTable[i])) << "entry " << i + 1;
}

TEST(FindInstruction, PicksTheFirstMatchingEntryOrNone) {
  // clang-format off
  const std::pair<Bytes, int> cases[] = {  // bytes, 1-based entry or 0 for none
      // The listing's golden lines show many more; these are the ones they leave out.
      // One word, then two words compared: what follows is free.
      {{0x54, 0x70, 0xFF, 0xFF, 0xFF, 0xFF}, 133}, {{0x78, 0x10, 0x6A, 0x2C, 0xAB, 0xCD}, 205},
      {{0x76, 0x9A}, 202}, {{0xD5, 0x12}, 264}, {{0xB5, 0x12}, 265}, {{0x7B, 0x00}, 0},
      {{0x7B, 0x5C, 0x59, 0x8E}, 0},              // the second word decides
      {{0x01, 0x00, 0x78, 0x10, 0x6A, 0x22}, 0},  // a three-word entry fails on its third
      {{0x01, 0x00, 0x78, 0x10, 0x6B, 0xA4}, 0},  // store with bit 7 of byte 3 clear
  };
  // clang-format on
  for (const auto& [bytes, entry] : cases) {
    const Instruction* e = findInstruction(pad(bytes).data());
    EXPECT_EQ(e ? int(e - instructionTable) + 1 : 0, entry) << "expected entry " << entry;
  }
}

// ---- Oracle: GNU binutils for the H8 ----
//
// Known differences: objdump calls the byte INC "inc", refuses odd branch displacements (code
// never holds them), and sees other forms where entry 260 ignores the low nibble of byte 3.

namespace {

std::string run(const std::string& cmd) {
  std::string text;
  if (FILE* pipe = popen((cmd + " 2>&1").c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
    pclose(pipe);
  }
  return text;
}

// The GNU H8 tools are looked up through a POSIX shell; a Windows build has none to ask.
bool have(const std::string& tool) {
#ifdef _WIN32
  (void)tool;
  return false;
#else
  return run("command -v " + tool + " >/dev/null && echo yes").find("yes") == 0;
#endif
}

}  // namespace

TEST(ObjdumpOracle, AgreesOnLengthAndMnemonicForEveryEntry) {
  if (!have("h8300-hms-objdump")) GTEST_SKIP() << "h8300-hms-objdump not installed";
  constexpr size_t SLOT = 32;  // one encoding per zero-filled slot, so objdump keeps in step
  std::vector<const Instruction*> decoded;
  std::string image;
  std::mt19937 rng(0x3664);
  for (int i = 0; i < INSTRUCTION_COUNT; i++)
    for (int k = 0; k < 3; k++) {
      Buffer b = sample(instructionTable[i], rng);
      if (std::strstr(instructionTable[i].format, "%P81")) b[1] &= 0xFE;
      if (std::strstr(instructionTable[i].format, "%PW2")) b[3] &= 0xFE;
      if (i == 259) b[3] &= 0xF0;
      decoded.push_back(findInstruction(b.data()));
      ASSERT_NE(decoded.back(), nullptr) << "entry " << i + 1;
      const size_t length = 2 * decoded.back()->length;
      image.append((const char*)b.data(), length).append(SLOT - length, '\0');
    }
  EXPECT_EQ(std::set<const Instruction*>(decoded.begin(), decoded.end()).size(),
            size_t(INSTRUCTION_COUNT - 4));
  const std::string bin = H8_BUILD_DIR "/disasm_oracle.bin";
  std::ofstream(bin, std::ios::binary) << image;
  // objdump's lines read "  addr:\tbytes \tmnemonic\toperands"; continuations hold bytes only.
  // awk keeps the address, the mnemonic and the register names among the operands, in order
  // (objdump writes its numbers with 0x, and some in other widths than ours).
  std::istringstream listing(
      run("h8300-hms-objdump -z -D -b binary -m h8300h " + bin +
          " | awk -F'\\t' 'NF > 2 { n = split(toupper($4), t, /[^0-9A-Z]+/); r = \"\";"
          " for (i = 1; i <= n; i++) if (t[i] ~ /^(E?R[0-7][HL]?|E[0-7])$/) r = r t[i] \" \";"
          " print $1, toupper($3), r }'"));
  std::map<unsigned long, std::string> at;  // mnemonic and registers
  unsigned long address;
  char colon;
  for (std::string mnemonic, registers;
       listing >> std::hex >> address >> colon >> mnemonic && std::getline(listing, registers);)
    at[address] = mnemonic + registers;
  for (size_t c = 0; c < decoded.size(); c++) {
    const auto it = at.find(c * SLOT);
    ASSERT_NE(it, at.end()) << "objdump skipped slot " << c;
    const std::string mnemonic = decoded[c]->mnemonic, format = decoded[c]->format;
    std::string ours = (mnemonic == "INC.B" ? "INC" : mnemonic) + " ";
    const auto* bytes = reinterpret_cast<const uint8_t*>(&image[c * SLOT]);
    for (size_t p = format.find("%R"); p != std::string::npos; p = format.find("%R", p + 1))
      ours += formatOperands(format.substr(p, 5).c_str(), bytes, 0, nullptr) + " ";
    EXPECT_EQ(it->second, ours) << format << " slot " << c;
    EXPECT_EQ(std::next(it)->first - it->first, 2u * decoded[c]->length) << mnemonic << " " << c;
  }
}
