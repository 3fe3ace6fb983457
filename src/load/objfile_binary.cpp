// COFF (coff-h8300) and ELF32 big-endian (EM_H8_300) readers for ProgramImage.
#include <string>

#include "common/bigendian.h"
#include "load/objfile.h"

namespace h8 {

namespace {

// The file's bytes with every access bounds-checked first through has(); offsets and lengths
// are 64-bit so that a count times an entry size cannot wrap.
class FileBytes {
 public:
  explicit FileBytes(const std::vector<uint8_t>& bytes) : b_(bytes) {}
  bool has(uint64_t offset, uint64_t length) const {
    return offset <= b_.size() && length <= b_.size() - offset;
  }
  uint32_t u8(uint64_t offset) const { return b_[size_t(offset)]; }
  uint32_t u16(uint64_t offset) const { return load16(b_.data() + offset); }
  uint32_t u32(uint64_t offset) const { return load32(b_.data() + offset); }
  std::vector<uint8_t> range(uint64_t offset, uint64_t length) const {
    return std::vector<uint8_t>(b_.begin() + long(offset), b_.begin() + long(offset + length));
  }
  // Characters from `offset` up to a NUL, or up to `end` (a table's end) where none comes first;
  // at most NAME_MAX of them.
  std::string text(uint64_t offset, uint64_t end) const {
    std::string s;
    for (uint64_t i = offset; i < end && i < b_.size() && b_[size_t(i)] != 0; i++) {
      if (s.size() == NAME_MAX) break;
      s += char(b_[size_t(i)]);
    }
    return s;
  }

  // Every section's contents and every symbol's name is a copy: a file whose headers point many
  // times at the same bytes could otherwise make far more of them than it holds. Legitimate
  // sections never share bytes, and names add up to less than the file.
  bool spend(uint64_t n) {
    copied_ += n;
    return copied_ <= b_.size() + MAX_INPUT_SIZE;
  }

  static constexpr size_t NAME_MAX = 1024;  // a longer name is left out

 private:
  const std::vector<uint8_t>& b_;
  uint64_t copied_ = 0;
};

const char* const OVERLAID = "corrupt: its headers point at the same bytes over and over";

bool fail(std::string& error, const std::string& path, const std::string& problem) {
  error = path + ": " + problem;
  return false;
}

const char* const NOT_H8300H = "built for the H8S; the board's CPU is an H8/300H";
const char* const RELOCATABLE = "a relocatable object, not a linked program";

// COFF as binutils writes it for the H8/300 family: a 20-byte file header, the optional
// (a.out) header, 40-byte section headers, 18-byte symbol entries, then the string table.
constexpr uint32_t COFF_F_EXEC = 0x0002;
constexpr uint32_t COFF_SECTION_SIZE = 40;
constexpr uint32_t COFF_SYMBOL_SIZE = 18;
constexpr uint32_t STYP_TEXT = 0x20;
constexpr uint32_t STYP_BSS = 0x80;
// DSECT, NOLOAD, PAD, INFO, OVER, LIB: never loaded.
constexpr uint32_t STYP_NOT_LOADED = 0x01 | 0x02 | 0x08 | 0x200 | 0x400 | 0x800;
constexpr uint32_t C_EXT = 2, C_STAT = 3, C_LABEL = 6, C_WEAKEXT = 127;
constexpr uint32_t COFF_DT_MASK = 0x30, COFF_DT_FCN = 0x20;

// ELF32 constants the reader needs.
constexpr uint32_t ET_REL = 1, ET_EXEC = 2;
constexpr uint32_t EM_H8_300 = 46;
constexpr uint32_t E_H8_MACH_MASK = 0x00FF0000;
constexpr uint32_t PT_LOAD = 1, PF_X = 1;
constexpr uint32_t SHT_SYMTAB = 2, SHT_NOBITS = 8;
constexpr uint32_t SHF_ALLOC = 2, SHF_EXECINSTR = 4;
constexpr uint32_t SHN_ABS = 0xFFF1, SHN_LORESERVE = 0xFF00;
constexpr uint32_t STT_NOTYPE = 0, STT_FUNC = 2;
constexpr uint32_t STB_LOCAL = 0, STB_GLOBAL = 1, STB_WEAK = 2;

struct ElfSection {
  uint32_t nameOffset, type, flags, addr, offset, size, link, align;
  std::string name;
};

}  // namespace

bool readCoff(const std::string& path, const std::vector<uint8_t>& file, ProgramImage& image,
              std::string& error) {
  FileBytes b(file);
  if (!b.has(0, 20)) return fail(error, path, "truncated: the COFF file header is cut short");
  uint32_t magic = b.u16(0), sections = b.u16(2), optional = b.u16(16), flags = b.u16(18);
  uint64_t symbolTable = b.u32(8), symbols = b.u32(12);
  if (magic == 0x8302 || magic == 0x8304) return fail(error, path, NOT_H8300H);
  if ((flags & COFF_F_EXEC) == 0) return fail(error, path, RELOCATABLE);
  // The a.out header's entry field lies 16 bytes in.
  if (optional >= 20 && b.has(20, 20)) {
    image.hasEntry = true;
    image.entry = b.u32(20 + 16);
  }
  uint64_t table = 20 + uint64_t(optional);
  if (!b.has(table, sections * COFF_SECTION_SIZE)) {
    return fail(error, path, "truncated: the section table runs past the end of the file");
  }
  std::vector<bool> codeSection(sections);
  for (uint32_t i = 0; i < sections; i++) {
    uint64_t h = table + i * COFF_SECTION_SIZE;
    ImageSection s;
    s.name = b.text(h, h + 8);
    s.loadAddress = b.u32(h + 8);
    s.address = b.u32(h + 12);
    s.size = b.u32(h + 16);
    uint32_t contents = b.u32(h + 20), sectionFlags = b.u32(h + 36);
    s.code = codeSection[i] = (sectionFlags & STYP_TEXT) != 0;
    s.align = 2;  // coff-h8300 aligns every section to 2**1
    if (s.size == 0 || (sectionFlags & STYP_NOT_LOADED) != 0) continue;
    if ((sectionFlags & STYP_BSS) == 0 && contents != 0) {
      if (!b.has(contents, s.size)) {
        return fail(
            error, path,
            "truncated: the contents of section " + s.name + " run past the end of the file");
      }
      if (!b.spend(s.size)) return fail(error, path, OVERLAID);
      s.data = b.range(contents, s.size);
    }
    image.sections.push_back(std::move(s));
  }
  if (symbols == 0) return true;
  if (!b.has(symbolTable, symbols * COFF_SYMBOL_SIZE)) {
    return fail(error, path, "truncated: the symbol table runs past the end of the file");
  }
  // The string table follows the symbols: its 4-byte size counts itself. A file that ends with
  // the symbols has none.
  uint64_t strings = symbolTable + symbols * COFF_SYMBOL_SIZE, stringsEnd = strings;
  if (b.has(strings, 4) && b.u32(strings) >= 4) {
    if (!b.has(strings, b.u32(strings))) {
      return fail(error, path, "truncated: the string table runs past the end of the file");
    }
    stringsEnd = strings + b.u32(strings);
  }
  for (uint64_t i = 0; i < symbols;) {
    uint64_t e = symbolTable + i * COFF_SYMBOL_SIZE;
    uint32_t auxiliaries = b.u8(e + 17);
    i += 1 + auxiliaries;
    std::string name;
    if (b.u32(e) == 0) {
      uint64_t offset = b.u32(e + 4);
      if (offset < 4 || strings + offset >= stringsEnd) {
        return fail(error, path,
                    "corrupt: a symbol name lies outside the string table (entry " +
                        std::to_string(e) + ")");
      }
      name = b.text(strings + offset, stringsEnd);
    } else {
      name = b.text(e, e + 8);
    }
    uint32_t value = b.u32(e + 8), type = b.u16(e + 14), storage = b.u8(e + 16);
    int section = int(int16_t(uint16_t(b.u16(e + 12))));
    bool global = storage == C_EXT || storage == C_WEAKEXT;
    if (!global && storage != C_STAT && storage != C_LABEL) continue;  // debugging entries
    // Undefined or common (0), debugging (-2), or a section the file does not have.
    if (section == 0 || section < -1 || section > int(sections) || name.empty()) continue;
    if (storage == C_STAT && auxiliaries > 0 && name[0] == '.') continue;  // a section's symbol
    if (name.size() == FileBytes::NAME_MAX) continue;
    if (!b.spend(name.size())) return fail(error, path, OVERLAID);
    bool code = (type & COFF_DT_MASK) == COFF_DT_FCN ||
                (type == 0 && section > 0 && codeSection[size_t(section - 1)]);
    image.symbols.push_back({name, value, global, code});
  }
  return true;
}

bool readElf(const std::string& path, const std::vector<uint8_t>& file, ProgramImage& image,
             std::string& error) {
  FileBytes b(file);
  if (!b.has(0, 52)) return fail(error, path, "truncated: the ELF header is cut short");
  if (b.u8(4) != 1 || b.u8(5) != 2) {
    return fail(error, path, "not a 32-bit big-endian ELF file, as the H8/300 family's are");
  }
  uint32_t type = b.u16(16), machine = b.u16(18), flags = b.u32(36);
  if (machine != EM_H8_300) {
    return fail(
        error, path,
        "an ELF file for machine " + std::to_string(machine) + ", not for the H8/300 family (46)");
  }
  if (type == ET_REL) return fail(error, path, RELOCATABLE);
  if (type != ET_EXEC) return fail(error, path, "not an executable ELF file");
  // e_flags name the machine: 0x82.. H8S, 0x84.. H8S normal, 0x85.. and 0x86.. H8SX.
  uint32_t mach = flags & E_H8_MACH_MASK;
  if (mach == 0x820000 || mach == 0x840000 || mach == 0x850000 || mach == 0x860000) {
    return fail(error, path, NOT_H8300H);
  }
  image.hasEntry = true;
  image.entry = b.u32(24);
  uint64_t phoff = b.u32(28), shoff = b.u32(32);
  uint32_t phsize = b.u16(42), phnum = b.u16(44), shsize = b.u16(46), shnum = b.u16(48);
  uint32_t shstrndx = b.u16(50);

  std::vector<ElfSection> sections;
  if (shnum > 0) {
    if (shsize < 40 || !b.has(shoff, uint64_t(shnum) * shsize)) {
      return fail(error, path, "truncated: the section header table runs past the end of the file");
    }
    for (uint32_t i = 0; i < shnum; i++) {
      uint64_t h = shoff + uint64_t(i) * shsize;
      sections.push_back({b.u32(h), b.u32(h + 4), b.u32(h + 8), b.u32(h + 12), b.u32(h + 16),
                          b.u32(h + 20), b.u32(h + 24), b.u32(h + 32), ""});
    }
    bool named = shstrndx < shnum && sections[shstrndx].type != SHT_NOBITS &&
                 b.has(sections[shstrndx].offset, sections[shstrndx].size);
    for (ElfSection& s : sections) {
      const ElfSection& names = sections[shstrndx];
      if (named && s.nameOffset < names.size) {
        s.name = b.text(uint64_t(names.offset) + s.nameOffset, uint64_t(names.offset) + names.size);
      }
    }
  }
  auto contentsOf = [&](const ElfSection& s) {
    return (s.flags & SHF_ALLOC) != 0 && s.type != SHT_NOBITS && s.size > 0;
  };

  if (phnum > 0 && (phsize < 32 || !b.has(phoff, uint64_t(phnum) * phsize))) {
    return fail(error, path, "truncated: the program header table runs past the end of the file");
  }
  bool segments = false;
  for (uint32_t i = 0; i < phnum; i++) {
    uint64_t h = phoff + uint64_t(i) * phsize;
    uint32_t offset = b.u32(h + 4), filesz = b.u32(h + 16);
    if (b.u32(h) != PT_LOAD) continue;
    segments = true;
    if (filesz == 0) continue;
    if (!b.has(offset, filesz)) {
      return fail(error, path,
                  "truncated: segment " + std::to_string(i) + " runs past the end of the file");
    }
    // A segment is named after the first section whose contents it holds.
    ImageSection s;
    s.name = "segment" + std::to_string(i);
    const ElfSection* first = nullptr;
    for (const ElfSection& e : sections) {
      if (contentsOf(e) && e.offset >= offset && e.offset - offset < filesz &&
          (first == nullptr || e.offset < first->offset)) {
        first = &e;
      }
    }
    if (first != nullptr && !first->name.empty()) s.name = first->name;
    if (first != nullptr && first->align > 1) s.align = first->align;
    s.address = b.u32(h + 8);
    s.loadAddress = b.u32(h + 12);
    s.size = filesz;
    s.code = (b.u32(h + 24) & PF_X) != 0;
    if (!b.spend(filesz)) return fail(error, path, OVERLAID);
    s.data = b.range(offset, filesz);
    image.sections.push_back(std::move(s));
  }
  for (const ElfSection& e : sections) {
    bool space = (e.flags & SHF_ALLOC) != 0 && e.type == SHT_NOBITS && e.size > 0;
    if (!space && (segments || !contentsOf(e))) continue;
    if (!space && !b.has(e.offset, e.size)) {
      return fail(error, path,
                  "truncated: the contents of section " + e.name + " run past the end of the file");
    }
    ImageSection s;
    s.name = e.name;
    s.address = s.loadAddress = e.addr;
    s.size = e.size;
    s.align = e.align > 1 ? e.align : 1;
    s.code = (e.flags & SHF_EXECINSTR) != 0;
    if (!space && !b.spend(e.size)) return fail(error, path, OVERLAID);
    if (!space) s.data = b.range(e.offset, e.size);
    image.sections.push_back(std::move(s));
  }

  for (const ElfSection& table : sections) {
    if (table.type != SHT_SYMTAB) continue;
    if (!b.has(table.offset, table.size) || table.link >= sections.size() ||
        !b.has(sections[table.link].offset, sections[table.link].size)) {
      return fail(error, path, "truncated: the symbol table runs past the end of the file");
    }
    uint64_t names = sections[table.link].offset, namesEnd = names + sections[table.link].size;
    for (uint64_t e = table.offset + 16; e + 16 <= uint64_t(table.offset) + table.size; e += 16) {
      uint32_t name = b.u32(e), value = b.u32(e + 4), info = b.u8(e + 12), index = b.u16(e + 14);
      uint32_t bind = info >> 4, kind = info & 0x0F;
      if (bind != STB_LOCAL && bind != STB_GLOBAL && bind != STB_WEAK) continue;
      if (kind != STT_NOTYPE && kind != STT_FUNC && kind != 1) continue;  // 1: STT_OBJECT
      if (index == 0 || (index >= SHN_LORESERVE && index != SHN_ABS)) continue;
      if (names + name >= namesEnd) continue;
      std::string text = b.text(names + name, namesEnd);
      if (text.empty() || text.size() == FileBytes::NAME_MAX) continue;
      if (!b.spend(text.size())) return fail(error, path, OVERLAID);
      bool code = kind == STT_FUNC || (kind == STT_NOTYPE && index < sections.size() &&
                                       (sections[index].flags & SHF_EXECINSTR) != 0);
      image.symbols.push_back({text, value, bind != STB_LOCAL, code});
    }
    break;
  }
  return true;
}

}  // namespace h8
