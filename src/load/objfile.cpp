#include "load/objfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/input_file.h"
#include "common/scan.h"

namespace h8 {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The pieces' bytes as runs: sorted by load address, every byte laid over the run that holds
// it. Each piece is compared only with the run being built (earlier runs end before it starts),
// so the work is linear in the bytes however the pieces overlap. False when a piece gives an
// address already held a different byte; `conflict` is that address.
struct Run {
  uint32_t start;
  std::vector<uint8_t> bytes;
};
bool buildRuns(const std::vector<const ImageSection*>& pieces, std::vector<Run>& runs,
               uint32_t& conflict) {
  std::vector<const ImageSection*> sorted = pieces;
  std::stable_sort(sorted.begin(), sorted.end(), [](const ImageSection* a, const ImageSection* b) {
    return a->loadAddress < b->loadAddress;
  });
  for (const ImageSection* p : sorted) {
    uint64_t start = p->loadAddress;
    uint64_t runEnd = runs.empty() ? 0 : runs.back().start + uint64_t(runs.back().bytes.size());
    if (runs.empty() || start > runEnd) {
      runs.push_back({p->loadAddress, p->data});
      continue;
    }
    Run& run = runs.back();
    size_t offset = size_t(start - run.start);
    size_t common = std::min(p->data.size(), run.bytes.size() - offset);
    for (size_t i = 0; i < common; i++) {
      if (run.bytes[offset + i] != p->data[i]) {
        conflict = uint32_t(start + i);
        return false;
      }
    }
    run.bytes.insert(run.bytes.end(), p->data.begin() + long(common), p->data.end());
  }
  return true;
}

bool parseHex32(const std::string& text, uint32_t& value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (hexDigit(c) < 0) return false;
    v = v * 16 + uint64_t(hexDigit(c));
    if (v > 0xFFFFFFFFu) return false;
  }
  value = uint32_t(v);
  return true;
}

// The nm symbol types this reads, and whether each is code: T text, W weak (functions, mostly),
// D B R G S V data, A absolute. Lower case is a local symbol; W and V are global either way.
bool nmType(char type, bool& global, bool& code) {
  const char* kept = strchr("TtWwDdBbRrGgSsVvAa", type);
  if (type == '\0' || kept == nullptr) return false;
  global = (type >= 'A' && type <= 'Z') || type == 'w' || type == 'v';
  code = type == 'T' || type == 't' || type == 'W' || type == 'w';
  return true;
}

}  // namespace

std::string hexAddress(uint32_t address) {
  char text[16];
  snprintf(text, sizeof text, "0x%04lX", (unsigned long)address);
  return text;
}

ObjectFormat detectFormat(const uint8_t* b, size_t n) {
  if (n >= 4 && b[0] == 0x7F && b[1] == 'E' && b[2] == 'L' && b[3] == 'F') return ObjectFormat::ELF;
  // coff-h8300 magics: 0x8300 H8/300, 8301 H8/300H, 8302 H8S, 8303 H8/300H and 8304 H8S in
  // normal mode.
  if (n >= 2 && b[0] == 0x83 && b[1] <= 0x04) return ObjectFormat::COFF;
  if (n >= 2 && b[0] == 'S' && b[1] >= '0' && b[1] <= '9') return ObjectFormat::SREC;
  if (n >= 2 && b[0] == ':' && hexDigit(char(b[1])) >= 0) return ObjectFormat::IHEX;
  return ObjectFormat::NONE;
}

const char* formatName(ObjectFormat format) {
  switch (format) {
    case ObjectFormat::COFF:
      return "COFF";
    case ObjectFormat::ELF:
      return "ELF";
    case ObjectFormat::SREC:
      return "S-record";
    case ObjectFormat::IHEX:
      return "Intel HEX";
    case ObjectFormat::NONE:
      break;
  }
  return "SYSROF";
}

ObjectFormat peekFormat(const std::string& path) {
  // What is not a regular file is left to the SYSROF reader, which refuses it.
  if (inputFileProblem(path.c_str()) != nullptr) return ObjectFormat::NONE;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return ObjectFormat::NONE;
  uint8_t head[4];
  size_t n = fread(head, 1, sizeof head, file);
  fclose(file);
  return detectFormat(head, n);
}

bool readInputFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  if (const char* problem = inputFileProblem(path.c_str())) {
    error = path + ": " + problem;
    return false;
  }
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = path + ": can't open: " + strerror(errno);
    return false;
  }
  // Read at most one byte past the bound, so an oversized file is known without reading it all.
  bytes.clear();
  uint8_t chunk[65536];
  size_t n = 0;
  while (bytes.size() <= MAX_INPUT_SIZE && (n = fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  bool failed = ferror(file) != 0;
  fclose(file);
  if (failed) {
    error = path + ": read error";
    return false;
  }
  if (bytes.size() > MAX_INPUT_SIZE) {
    error = path + ": larger than " + std::to_string(MAX_INPUT_SIZE >> 20) +
            " MiB, too large for a program of the 28 KiB user flash";
    return false;
  }
  return true;
}

bool readProgramBytes(const std::string& path, const std::vector<uint8_t>& file,
                      ProgramImage& image, std::string& error) {
  image = ProgramImage();
  image.format = detectFormat(file.data(), file.size());
  switch (image.format) {
    case ObjectFormat::COFF:
      return readCoff(path, file, image, error);
    case ObjectFormat::ELF:
      return readElf(path, file, image, error);
    case ObjectFormat::SREC:
      return readSrec(path, file, image, error);
    case ObjectFormat::IHEX:
      return readIhex(path, file, image, error);
    case ObjectFormat::NONE:
      break;
  }
  error = path + (file.empty() ? ": empty file" : ": not a COFF, ELF, S-record or Intel HEX file");
  return false;
}

bool readProgram(const std::string& path, ProgramImage& image, std::string& error) {
  std::vector<uint8_t> file;
  return readInputFile(path, file, error) && readProgramBytes(path, file, image, error);
}

ReadResult readObjectSymbols(const std::string& path, ProgramImage& image, std::string& error) {
  ObjectFormat format = peekFormat(path);
  if (format != ObjectFormat::COFF && format != ObjectFormat::ELF) return ReadResult::NOT_OBJECT;
  return readProgram(path, image, error) ? ReadResult::READ : ReadResult::FAILED;
}

bool readNmSymbols(const std::string& path, std::vector<ImageSymbol>& symbols, std::string& error) {
  std::vector<uint8_t> file;
  if (!readInputFile(path, file, error)) return false;
  symbols.clear();
  std::string text(file.begin(), file.end());
  size_t lineNumber = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    lineNumber++;
    // Up to four blank-separated fields (start, end); the name is the rest of the line from the
    // field after the type, so a name with blanks (nm -C) stays whole.
    std::vector<std::pair<size_t, size_t>> fields;
    for (size_t p = 0; fields.size() < 4;) {
      while (p < line.size() && isBlank(line[p])) p++;
      if (p >= line.size()) break;
      size_t q = p;
      while (q < line.size() && !isBlank(line[q])) q++;
      fields.push_back({p, q});
      p = q;
    }
    auto field = [&](size_t i) {
      return line.substr(fields[i].first, fields[i].second - fields[i].first);
    };
    if (fields.empty() || (fields.size() == 1 && line[fields[0].second - 1] == ':')) continue;
    // "U name": an undefined symbol has no address.
    if (fields.size() == 2 && field(0).size() == 1) continue;
    uint32_t address = 0, size = 0;
    bool withSize = fields.size() == 4 && field(2).size() == 1 && parseHex32(field(1), size);
    size_t type = withSize ? 2 : 1;
    if (fields.size() <= type + 1 || field(type).size() != 1 || !parseHex32(field(0), address)) {
      error = path + ":" + std::to_string(lineNumber) + ": not an nm line (ADDRESS TYPE NAME)";
      return false;
    }
    size_t nameEnd = line.size();
    while (nameEnd > fields[type + 1].first && isBlank(line[nameEnd - 1])) nameEnd--;
    std::string symbol = line.substr(fields[type + 1].first, nameEnd - fields[type + 1].first);
    bool global = false, code = false;
    if (!nmType(line[fields[type].first], global, code)) continue;
    // Section symbols (.text, .data) are local names that begin with a dot.
    if (!global && symbol[0] == '.') continue;
    symbols.push_back({symbol, address, global, code});
  }
  return true;
}

bool checkProgram(const std::string& path, const ProgramImage& image, uint32_t base, uint32_t limit,
                  std::string& error) {
  std::vector<const ImageSection*> pieces;
  for (const ImageSection& s : image.sections) {
    if (s.data.empty()) continue;
    uint64_t end = uint64_t(s.loadAddress) + s.data.size();
    if (s.loadAddress < base || end > limit) {
      bool named = image.format == ObjectFormat::COFF || image.format == ObjectFormat::ELF;
      error = path + ": data at " + hexAddress(s.loadAddress) + "-" +
              hexAddress(uint32_t(end - 1)) + (named ? " (" + s.name + ")" : "") +
              " lies outside the user flash " + hexAddress(base) + "-" + hexAddress(limit - 1);
      return false;
    }
    pieces.push_back(&s);
  }
  if (pieces.empty()) {
    error = path + ": no data to load";
    return false;
  }
  std::vector<Run> runs;
  uint32_t conflict = 0;
  if (!buildRuns(pieces, runs, conflict)) {
    error = path + ": overlapping data with different bytes at " + hexAddress(conflict);
    return false;
  }
  return true;
}

bool mergePieces(const std::string& path, std::vector<ImageSection>& pieces, ProgramImage& image,
                 std::string& error) {
  std::vector<const ImageSection*> all;
  for (const ImageSection& p : pieces) all.push_back(&p);
  std::vector<Run> runs;
  uint32_t conflict = 0;
  if (!buildRuns(all, runs, conflict)) {
    error = path + ": overlapping data with different bytes at " + hexAddress(conflict);
    return false;
  }
  for (Run& run : runs) {
    if (run.bytes.empty()) continue;
    ImageSection s;
    s.name = ".sec" + std::to_string(image.sections.size() + 1);
    s.address = s.loadAddress = run.start;
    s.size = uint32_t(run.bytes.size());
    s.data = std::move(run.bytes);
    image.sections.push_back(std::move(s));
  }
  return true;
}

std::vector<ImageSymbol> orderSymbols(const std::vector<ImageSymbol>& symbols) {
  std::vector<ImageSymbol> ordered = symbols;
  std::stable_sort(ordered.begin(), ordered.end(), [](const ImageSymbol& a, const ImageSymbol& b) {
    if (a.global != b.global) return a.global;
    return a.address < b.address;
  });
  return ordered;
}

}  // namespace h8
