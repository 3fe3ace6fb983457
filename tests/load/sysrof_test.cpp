#include "load/sysrof.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

struct LoadSysrofTest : ::testing::Test {
  StringOutput out;
  std::unique_ptr<MemImage> image = std::make_unique<MemImage>();

  LoadSysrofTest() { image->fill(0xEE); }

  int load(const SysrofWriter& w, uint32_t base = 0x1000, uint32_t limit = 0x8000) {
    std::string path = scratchPath("in.abs");
    EXPECT_TRUE(w.save(path));
    int r = loadSysrof(path.c_str(), image->data(), base, limit, out);
    remove(path.c_str());
    return r;
  }
  uint8_t at(uint32_t address) const { return (*image)[address - 0x1000]; }
};

// Opens a file holding `bytes` for readRecord tests.
struct FileOf {
  explicit FileOf(const SysrofWriter::Bytes& bytes) {
    path = scratchPath("rec.abs");
    SysrofWriter w;
    w.raw(bytes);
    EXPECT_TRUE(w.save(path));
    file = fopen(path.c_str(), "rb");
  }
  ~FileOf() {
    if (file) fclose(file);
    remove(path.c_str());
  }
  std::string path;
  FILE* file = nullptr;
};

TEST(ReadRecord, ReadsTypeLengthAndBodyAndGivesLength) {
  FileOf f({0x1A, 0x06, 0x00, 0x01, 0x00, 0x02, 0xFF, 0x02});
  uint8_t rec[256];
  memset(rec, 0xAA, sizeof rec);
  EXPECT_EQ(readRecord(f.file, rec), 6);
  EXPECT_EQ(0, memcmp(rec, "\x1A\x06\x00\x01\x00\x02", 6));
  EXPECT_EQ(rec[6], 0xAA);  // nothing past the record is touched
  EXPECT_EQ(readRecord(f.file, rec), 2);
  EXPECT_EQ(rec[0], 0xFF);
  EXPECT_EQ(readRecord(f.file, rec), -1);
}

TEST(ReadRecord, LengthsBelowThreeReadOnlyTheHeader) {
  FileOf f({0x1C, 0x00, 0x1C, 0x01, 0x1C, 0x02, 0x7F, 0x05, 1, 2, 3});
  uint8_t rec[256];
  EXPECT_EQ(readRecord(f.file, rec), 0);
  EXPECT_EQ(readRecord(f.file, rec), 1);
  EXPECT_EQ(readRecord(f.file, rec), 2);
  EXPECT_EQ(readRecord(f.file, rec), 5);
  EXPECT_EQ(rec[0], 0x7F);
  EXPECT_EQ(rec[4], 3);
}

TEST(ReadRecord, CutFileGivesMinusOneAtEveryPoint) {
  uint8_t rec[256];
  FileOf empty({});
  EXPECT_EQ(readRecord(empty.file, rec), -1);
  FileOf typeOnly({0x1C});
  EXPECT_EQ(readRecord(typeOnly.file, rec), -1);
  FileOf shortBody({0x1C, 0x0A, 0, 0, 0, 0x10});
  EXPECT_EQ(readRecord(shortBody.file, rec), -1);
}

TEST(ReadRecord, TakesTheLongestRecord) {
  SysrofWriter::Bytes b{0x1C, 0xFF};
  for (int i = 2; i < 255; i++) b.push_back(uint8_t(i));
  FileOf f(b);
  uint8_t rec[256] = {};
  EXPECT_EQ(readRecord(f.file, rec), 255);
  EXPECT_EQ(rec[254], 254);
}

TEST_F(LoadSysrofTest, CopiesObjectDataAtAddressMinusBase) {
  SysrofWriter w;
  w.unit("main", 1, 0, 2).section(0x1000, 4, "P").sectionHeader(1, 1);
  w.objectData(0x1234, {0xDE, 0xAD, 0xBE}).end();
  EXPECT_EQ(load(w), 1);
  EXPECT_EQ(at(0x1233), 0xEE);
  EXPECT_EQ(at(0x1234), 0xDE);
  EXPECT_EQ(at(0x1236), 0xBE);
  EXPECT_EQ(at(0x1237), 0xEE);
  EXPECT_EQ(out.text, "");
}

TEST_F(LoadSysrofTest, WindowAcceptsRunEndingExactlyAtLimit) {
  SysrofWriter w;
  w.objectData(0x7F80, SysrofWriter::Bytes(128, 0x5A)).end();
  EXPECT_EQ(load(w), 1);
  EXPECT_EQ(at(0x7F80), 0x5A);
  EXPECT_EQ(at(0x7FFF), 0x5A);
  EXPECT_EQ(at(0x8000), 0xEE);
}

TEST_F(LoadSysrofTest, WindowRefusesRunOneByteTooHigh) {
  SysrofWriter w;
  w.objectData(0x7F81, SysrofWriter::Bytes(128, 0x5A)).end();
  EXPECT_EQ(load(w), 0);
  EXPECT_EQ(at(0x7FFF), 0xEE);
  EXPECT_EQ(out.text, "");
}

TEST_F(LoadSysrofTest, WindowRefusesRunBelowBase) {
  SysrofWriter w;
  w.objectData(0x0FFF, {0x11}).end();
  EXPECT_EQ(load(w), 0);
  EXPECT_EQ(out.text, "");
}

TEST_F(LoadSysrofTest, AddressNearTopDoesNotWrapIntoWindow) {
  SysrofWriter w;
  w.objectData(0xFFFFFFF8, SysrofWriter::Bytes(16, 0x11)).end();
  EXPECT_EQ(load(w, 0x1000, 0xFFFFFFFF), 0);
}

TEST_F(LoadSysrofTest, RecordOutsideWindowStopsReadingButKeepsEarlierBytes) {
  SysrofWriter w;
  w.objectData(0x2000, {1, 2}).objectData(0x9000, {3}).objectData(0x3000, {4}).end();
  EXPECT_EQ(load(w), 0);
  EXPECT_EQ(at(0x2000), 1);
  EXPECT_EQ(at(0x3000), 0xEE);
}

TEST_F(LoadSysrofTest, LaterRecordsOverwriteEarlierOnes) {
  SysrofWriter w;
  w.objectData(0x2000, {1, 2, 3, 4}).objectData(0x2002, {9, 8, 7}).end();
  EXPECT_EQ(load(w), 1);
  EXPECT_EQ(at(0x2000), 1);
  EXPECT_EQ(at(0x2001), 2);
  EXPECT_EQ(at(0x2002), 9);
  EXPECT_EQ(at(0x2004), 7);
}

TEST_F(LoadSysrofTest, TopBitOfTypeIsIgnored) {
  SysrofWriter w;
  w.objectData(0x2000, {0x42}, 0x9C).end();
  EXPECT_EQ(load(w), 1);
  EXPECT_EQ(at(0x2000), 0x42);
}

TEST_F(LoadSysrofTest, EndRecordWith7FStopsLikeFF) {
  for (uint8_t endType : {uint8_t(0x7F), uint8_t(0xFF)}) {
    image->fill(0xEE);
    SysrofWriter w;
    w.objectData(0x2000, {1}).end(endType).objectData(0x2001, {2});
    EXPECT_EQ(load(w), 1) << int(endType);
    EXPECT_EQ(at(0x2001), 0xEE) << int(endType);
  }
}

TEST_F(LoadSysrofTest, EmptyFileAndHeaderOnlyFileGiveZero) {
  EXPECT_EQ(load(SysrofWriter()), 0);
  SysrofWriter w;
  w.unit("u", 1, 0, 0).section(0x1000, 0, "P").sectionHeader(1, 1).end();
  EXPECT_EQ(load(w), 0);
  EXPECT_EQ(out.text, "");
}

TEST_F(LoadSysrofTest, EmptyObjectRecordCountsAsLoaded) {
  SysrofWriter w;
  w.objectData(0x8000, {}).end();
  EXPECT_EQ(load(w), 1);
}

TEST_F(LoadSysrofTest, FileCutWithoutEndRecordKeepsItsResult) {
  SysrofWriter w;
  w.objectData(0x2000, {5, 6});
  EXPECT_EQ(load(w), 1);
  SysrofWriter cut;
  cut.objectData(0x2000, {5, 6}).raw({0x1C, 0x0C, 0x00, 0x00, 0x00});
  EXPECT_EQ(load(cut), 1);
  SysrofWriter cutFirst;
  cutFirst.raw({0x1C, 0x0C, 0x00, 0x00, 0x00, 0x20, 0x00, 0x04, 1});
  EXPECT_EQ(load(cutFirst), 0);
  EXPECT_EQ(out.text, "");
}

TEST_F(LoadSysrofTest, OtherRecordsAreSkippedWhateverTheirLength) {
  SysrofWriter w;
  w.raw({0x30, 0x00, 0x31, 0x01, 0x0A, 0x02}).record(0x44, {1, 2, 3});
  w.objectData(0x2000, {7}).end();
  EXPECT_EQ(load(w), 1);
  EXPECT_EQ(at(0x2000), 7);
}

TEST_F(LoadSysrofTest, CountBeyondRecordLengthIsCorrupt) {
  // L = 10 holds 2 data bytes, but K says 3: the third would come from outside the record.
  SysrofWriter w;
  w.objectData(0x2000, {1}).raw({0x1C, 0x0A, 0x00, 0x00, 0x00, 0x30, 0x00, 0x03, 0xAA, 0xBB});
  w.objectData(0x3000, {2}).end();
  std::string path = scratchPath("in.abs");
  ASSERT_TRUE(w.save(path));
  EXPECT_EQ(loadSysrof(path.c_str(), image->data(), 0x1000, 0x8000, out), 0);
  EXPECT_EQ(out.text,
            "Corrupt SYSROF file " + path + ": object data record of 10 bytes is too short\n");
  EXPECT_EQ(at(0x2000), 1);
  EXPECT_EQ(at(0x3000), 0xEE);
  EXPECT_EQ(at(0x3001), 0xEE);
  remove(path.c_str());
}

TEST_F(LoadSysrofTest, RecordTooShortForItsFieldsIsCorrupt) {
  // A full record first leaves plausible bytes in the record buffer; the short one must not
  // reuse them.
  for (uint8_t length : {0, 1, 2, 5, 7}) {
    SysrofWriter w;
    w.objectData(0x2000, {1, 2, 3});
    SysrofWriter::Bytes shortRecord{0x1C, length};
    for (int i = 2; i < length; i++) shortRecord.push_back(0);
    w.raw(shortRecord).end();
    out.text.clear();
    EXPECT_EQ(load(w), 0) << int(length);
    EXPECT_NE(out.text.find("Corrupt SYSROF file "), std::string::npos) << int(length);
    EXPECT_NE(out.text.find("of " + std::to_string(length) + " bytes is too short\n"),
              std::string::npos);
  }
}

TEST_F(LoadSysrofTest, CountExactlyFillingRecordIsAccepted) {
  SysrofWriter w;
  w.raw({0x1C, 0x0A, 0x00, 0x00, 0x00, 0x30, 0x00, 0x02, 0xAA, 0xBB}).end();
  EXPECT_EQ(load(w), 1);
  EXPECT_EQ(at(0x3001), 0xBB);
}

TEST_F(LoadSysrofTest, MissingFileIsReported) {
  std::string path = scratchPath("missing.abs");
  EXPECT_EQ(loadSysrof(path.c_str(), image->data(), 0x1000, 0x8000, out), 0);
  EXPECT_EQ(out.text, "Can't open file " + path + "\n");
}

// Files of random records, mostly object data near a small window: whatever the lengths and
// counts, nothing outside the window may change.
TEST_F(LoadSysrofTest, RandomRecordsNeverWriteOutsideTheWindow) {
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  int loaded = 0;
  for (int file = 0; file < 300; file++) {
    image->fill(0xEE);
    SysrofWriter w;
    int records = int(next() % 6) + 1;
    for (int r = 0; r < records; r++) {
      SysrofWriter::Bytes rec{uint8_t(next() % 3 == 0 ? next() : (next() & 0x80) | 0x1C),
                              uint8_t(next() % 40)};
      uint32_t address = 0x2000 - 0x20 + next() % 0x140;
      SysrofWriter::Bytes fields{0,
                                 uint8_t(address >> 24),
                                 uint8_t(address >> 16),
                                 uint8_t(address >> 8),
                                 uint8_t(address),
                                 uint8_t(next() % 40)};
      for (int i = 2; i < rec[1]; i++) rec.push_back(i - 2 < 6 ? fields[i - 2] : uint8_t(next()));
      if (next() % 8 == 0) rec.resize(rec.size() / 2);  // cut short
      w.raw(rec);
    }
    std::string path = scratchPath("random.abs");
    ASSERT_TRUE(w.save(path));
    int result = loadSysrof(path.c_str(), image->data() + 0x100, 0x2000, 0x2100, out);
    remove(path.c_str());
    EXPECT_TRUE(result == 0 || result == 1);
    loaded += result;
    for (uint32_t i = 0; i < 0x100; i++) ASSERT_EQ((*image)[i], 0xEE) << file << " " << i;
    for (uint32_t i = 0x200; i < 0x400; i++) ASSERT_EQ((*image)[i], 0xEE) << file << " " << i;
  }
}

}  // namespace
