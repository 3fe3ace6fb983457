#include "load/sysrof_list.h"

#include "common/input_file.h"
#include "load/sysrof.h"

namespace h8 {

namespace {

constexpr int SYSROF_HEADER = 0x04;

// Reads the fields of one record front to back without leaving its first `end` bytes.
class FieldReader {
 public:
  FieldReader(const uint8_t* record, int position)
      : record_(record), position_(position), end_(record[1]) {}

  int remaining() const { return end_ - position_; }

  uint32_t take(int width) {
    uint32_t value = 0;
    for (int i = 0; i < width; i++) {
      value = (value << 8) | (position_ < end_ ? record_[position_] : 0);
      position_++;
    }
    return value;
  }

  // A fixed-length character field; what is not printable shows as '.'.
  void takeChars(char* text, int n) {
    for (int i = 0; i < n; i++) {
      uint32_t c = take(1);
      text[i] = c >= 0x20 && c <= 0x7E ? char(c) : '.';
    }
    text[n] = '\0';
  }

  // A counted string: a length byte of 128 or more gives an empty name and consumes only
  // itself; a name that runs past the record is cut at its end.
  int takeName(char name[SYSROF_RECORD_SIZE]) {
    int length = int(take(1));
    if (length >= 128) length = 0;
    int available = end_ - position_;
    if (length > available) length = available > 0 ? available : 0;
    for (int i = 0; i < length; i++) name[i] = char(record_[position_ + i]);
    name[length] = '\0';
    position_ += length;
    return length;
  }

 private:
  const uint8_t* record_;
  int position_;
  int end_;
};

void printTitle(const char* title, Output& out) {
  out.printf("    **************************  %-23s**********************\n", title);
}

void listUnit(const uint8_t* record, Output& out) {
  char name[SYSROF_RECORD_SIZE];
  FieldReader fields(record, 3);
  uint32_t sections = fields.take(2);
  uint32_t externals = fields.take(2);
  uint32_t defined = fields.take(2);
  fields.takeName(name);
  printTitle("Unit Information", out);
  out.printf("        Unit name : %s\n", name);
  out.printf(
      "        Number of section = %ld  External reference symbol = %ld  Defined sybmol = %ld\n",
      long(sections), long(externals), long(defined));
  // The tool and linker with their dates, where the record goes on past the unit name (and its
  // checksum byte).
  if (fields.remaining() > 1) {
    char tool[SYSROF_RECORD_SIZE], linker[SYSROF_RECORD_SIZE], toolDate[13], linkerDate[13];
    fields.takeName(tool);
    fields.takeChars(toolDate, 12);
    fields.takeName(linker);
    fields.takeChars(linkerDate, 12);
    out.printf("        Tool=%s %s,Linker=%s %s\n", tool, toolDate, linker, linkerDate);
  }
}

// The module header was always listed as other data; its fields follow the dump.
void listHeader(const uint8_t* record, Output& out) {
  printTitle("Other data", out);
  dumpRecord(record, out);
  char date[13], version[5], os[SYSROF_RECORD_SIZE], system[SYSROF_RECORD_SIZE],
      module[SYSROF_RECORD_SIZE], cpu[SYSROF_RECORD_SIZE];
  FieldReader fields(record, 2);
  uint32_t type = fields.take(1) >> 4;
  fields.takeChars(date, 12);
  uint32_t units = fields.take(2);
  fields.take(1);  // code
  fields.takeChars(version, 4);
  fields.take(1);  // address update
  uint32_t layout = fields.take(1);
  int addressLength = int((layout >> 3) & 0x0F);
  fields.take(1);  // space size
  int segmentSize = int(fields.take(1));
  fields.take(1);  // segment shift
  bool entry = fields.take(1) != 0;
  uint32_t address = 0;
  if (entry) {
    if (type != 0) fields.take(4);  // unit and section numbers of a relocatable module
    if (layout & 0x80) fields.take(segmentSize);
    address = fields.take(addressLength);
  }
  fields.takeName(os);
  fields.takeName(system);
  fields.takeName(module);
  fields.takeName(cpu);
  out.printf("        Header:Type=%lX,Date=%s,Units=%ld,Version=%s,AddressLength=%d\n",
             (unsigned long)type, date, long(units), version, addressLength);
  if (entry) {
    out.printf("        Header:Entry=%08lX,", (unsigned long)address);
  } else {
    out.puts("        Header:Entry=none,");
  }
  out.printf("OS=%s,System=%s,Module=%s,CPU=%s\n", os, system, module, cpu);
}

void listSection(const uint8_t* record, Output& out) {
  char name[SYSROF_RECORD_SIZE];
  FieldReader fields(record, 3);
  uint32_t address = fields.take(4);
  uint32_t size = fields.take(4);
  FieldReader nameField(record, 18);
  nameField.takeName(name);
  printTitle("Section Information", out);
  out.printf("        Section:Adrs=%08lX,size=%08lX:%s\n", (unsigned long)address,
             (unsigned long)size, name);
}

void listImport(const uint8_t* record, Output& out) {
  char name[SYSROF_RECORD_SIZE];
  printTitle("Import symbol", out);
  out.puts("        type:name\n");
  FieldReader entries(record, 2);
  while (entries.remaining() > 1) {
    uint32_t type = entries.take(1);
    entries.takeName(name);
    out.printf("        %02X:", unsigned(type));
    out.printf("%s\n", name);
  }
}

void listExport(const uint8_t* record, Output& out) {
  char name[SYSROF_RECORD_SIZE];
  printTitle("Export symbol", out);
  out.puts("        secNo:T:Offset:name\n");
  FieldReader entries(record, 2);
  while (entries.remaining() > 1) {
    uint32_t section = entries.take(2);
    uint32_t type = entries.take(1);
    uint32_t offset = entries.take(4);
    entries.takeName(name);
    out.printf("        %04lX:%02lX:%08lX:%s\n", (unsigned long)section, (unsigned long)type,
               (unsigned long)offset, name);
  }
}

void listSectionHeader(const uint8_t* record, Output& out) {
  FieldReader fields(record, 2);
  uint32_t unit = fields.take(2);
  uint32_t section = fields.take(2);
  printTitle("Section Header", out);
  out.printf("        Unit=%04lX:Section=%04lX\n", (unsigned long)unit, (unsigned long)section);
}

void listObjectData(const uint8_t* record, Output& out) {
  FieldReader fields(record, OBJECT_ADDRESS);
  uint32_t address = fields.take(4);
  uint32_t count = fields.take(1);
  printTitle("Object data", out);
  // The end address wraps at 32 bits so the line reads the same where long is 32 bits.
  out.printf("        Adrs=%08lX : EndAdrs=%08lX : (size=%ld)\n", (unsigned long)address,
             (unsigned long)uint32_t(address + count), long(count));
}

void printCharacters(const uint8_t* bytes, int n, Output& out) {
  for (int i = 0; i < n; i++) out.put(bytes[i] >= 0x20 && bytes[i] <= 0x7E ? char(bytes[i]) : '.');
}

}  // namespace

void dumpRecord(const uint8_t* record, Output& out) {
  out.printf("%02X %02X : ", record[0], record[1]);
  int remaining = record[1] - 2;
  if (remaining <= 0) return;
  const uint8_t* p = record + 2;
  while (remaining > 16) {
    for (int i = 0; i < 16; i++) out.printf("%02X ", p[i]);
    printCharacters(p, 16, out);
    out.puts("\n        ");
    p += 16;
    remaining -= 16;
  }
  for (int i = 0; i < remaining; i++) out.printf("%02X ", p[i]);
  for (int i = remaining; i < 16; i++) out.puts("   ");
  printCharacters(p, remaining, out);
  out.put('\n');
}

int listSysrofStream(FILE* file, Output& out) {
  uint8_t record[SYSROF_RECORD_SIZE];
  int last = 0;
  for (;;) {
    last = readRecord(file, record);
    if (last < 0) break;
    switch (sysrofType(record)) {
      case SYSROF_HEADER:
        listHeader(record, out);
        break;
      case SYSROF_UNIT:
        listUnit(record, out);
        break;
      case SYSROF_SECTION:
        listSection(record, out);
        break;
      case SYSROF_IMPORT:
        listImport(record, out);
        break;
      case SYSROF_EXPORT:
        listExport(record, out);
        break;
      case SYSROF_SECTION_HEADER:
        listSectionHeader(record, out);
        break;
      case SYSROF_OBJECT_DATA:
        listObjectData(record, out);
        break;
      default:
        printTitle("Other data", out);
        dumpRecord(record, out);
        break;
    }
    // Only 0xFF ends the listing; 0x7F is listed and passed over.
    if (record[0] == 0xFF) break;
  }
  if (last < 0) {
    out.puts("Abnormal termination of SYSROF file.\n");
    return 0;
  }
  return 1;
}

void listSysrof(const char* path, Output& out) {
  if (const char* problem = inputFileProblem(path)) {
    out.printf("Can't open file %s: %s\n", path, problem);
    return;
  }
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    out.printf("Can't open file %s\n", path);
    return;
  }
  listSysrofStream(file, out);
  fclose(file);
}

}  // namespace h8
