// Motorola S-record and Intel HEX readers for ProgramImage. Each data record becomes a piece;
// mergePieces joins them into runs. Reading stops at the end record, which must be there: a file
// without one was cut short.
#include <cstdio>
#include <functional>
#include <string>

#include "common/scan.h"
#include "load/objfile.h"

namespace h8 {

namespace {

// Calls `take(number, line)` for each line without its CR and trailing blanks, blank lines left
// out; stops when it returns false and gives that.
bool forEachLine(const std::vector<uint8_t>& file,
                 const std::function<bool(size_t, const std::string&)>& take) {
  size_t number = 0;
  for (size_t at = 0; at < file.size();) {
    size_t end = at;
    while (end < file.size() && file[end] != '\n') end++;
    std::string line(file.begin() + long(at), file.begin() + long(end));
    at = end + 1;
    number++;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.pop_back();
    }
    if (!line.empty() && !take(number, line)) return false;
  }
  return true;
}

// Hexadecimal pairs from `from` to the end of the line; false on any other character.
bool hexBytes(const std::string& line, size_t from, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if ((line.size() - from) % 2 != 0) return false;
  for (size_t i = from; i < line.size(); i += 2) {
    int high = hexDigit(line[i]), low = hexDigit(line[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(uint8_t(high * 16 + low));
  }
  return true;
}

uint32_t bigEndian(const std::vector<uint8_t>& bytes, size_t from, size_t n) {
  uint32_t value = 0;
  for (size_t i = 0; i < n; i++) value = (value << 8) | bytes[from + i];
  return value;
}

std::string hexByte(uint32_t value) {
  char text[8];
  snprintf(text, sizeof text, "0x%02X", unsigned(value & 0xFF));
  return text;
}

}  // namespace

bool readSrec(const std::string& path, const std::vector<uint8_t>& file, ProgramImage& image,
              std::string& error) {
  // Address bytes of S0..S9 (S4 is reserved: 0).
  static const size_t ADDRESS_BYTES[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
  std::vector<ImageSection> pieces;
  uint32_t dataRecords = 0;
  bool ended = false;
  std::vector<uint8_t> bytes;
  bool read = forEachLine(file, [&](size_t number, const std::string& line) {
    auto bad = [&](const std::string& problem) {
      error = path + ":" + std::to_string(number) + ": " + problem;
      return false;
    };
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
      return bad("not an S-record");
    }
    int type = line[1] - '0';
    if (type == 4) return bad("S4 is not a record type");
    if (!hexBytes(line, 2, bytes) || bytes.empty()) return bad("not hexadecimal pairs");
    size_t count = bytes[0], addressBytes = ADDRESS_BYTES[type];
    if (bytes.size() - 1 < count) return bad("truncated: shorter than its count says");
    if (bytes.size() - 1 > count) return bad("longer than its count says");
    if (count < addressBytes + 1) return bad("too short for its address");
    uint32_t sum = 0;
    for (size_t i = 0; i < count; i++) sum += bytes[i];
    if (uint8_t(~sum) != bytes[count]) {
      return bad("bad checksum " + hexByte(bytes[count]) + " (the record needs " + hexByte(~sum) +
                 ")");
    }
    uint32_t address = bigEndian(bytes, 1, addressBytes);
    if (type >= 1 && type <= 3) {
      ImageSection piece;
      piece.address = piece.loadAddress = address;
      piece.data.assign(bytes.begin() + long(1 + addressBytes), bytes.begin() + long(count));
      pieces.push_back(std::move(piece));
      dataRecords++;
    } else if (type == 5 || type == 6) {
      uint32_t counted = type == 5 ? dataRecords & 0xFFFF : dataRecords & 0xFFFFFF;
      if (address != counted) {
        return bad("counts " + std::to_string(address) + " data records; the file has " +
                   std::to_string(counted));
      }
    } else if (type >= 7) {
      image.hasEntry = true;
      image.entry = address;
      ended = true;
      return false;
    }
    return true;
  });
  if (!read && !ended) return false;
  if (!ended) {
    error = path + ": truncated: no S7, S8 or S9 end record";
    return false;
  }
  return mergePieces(path, pieces, image, error);
}

bool readIhex(const std::string& path, const std::vector<uint8_t>& file, ProgramImage& image,
              std::string& error) {
  std::vector<ImageSection> pieces;
  uint32_t base = 0;
  bool ended = false;
  std::vector<uint8_t> bytes;
  bool read = forEachLine(file, [&](size_t number, const std::string& line) {
    auto bad = [&](const std::string& problem) {
      error = path + ":" + std::to_string(number) + ": " + problem;
      return false;
    };
    if (line[0] != ':') return bad("not an Intel HEX record");
    if (!hexBytes(line, 1, bytes)) return bad("not hexadecimal pairs");
    if (bytes.size() < 5 || bytes.size() < size_t(bytes[0]) + 5) {
      return bad("truncated: shorter than its count says");
    }
    size_t count = bytes[0];
    if (bytes.size() > count + 5) return bad("longer than its count says");
    uint32_t sum = 0;
    for (size_t i = 0; i < count + 4; i++) sum += bytes[i];
    if (uint8_t(-sum) != bytes[count + 4]) {
      return bad("bad checksum " + hexByte(bytes[count + 4]) + " (the record needs " +
                 hexByte(0u - sum) + ")");
    }
    uint32_t offset = bigEndian(bytes, 1, 2), type = bytes[3];
    auto sized = [&](size_t n) {
      return count == n || bad("record type " + hexByte(type) + " of " + std::to_string(count) +
                               " bytes, not " + std::to_string(n));
    };
    switch (type) {
      case 0x00: {
        ImageSection piece;
        piece.address = piece.loadAddress = base + offset;
        piece.data.assign(bytes.begin() + 4, bytes.begin() + long(4 + count));
        pieces.push_back(std::move(piece));
        return true;
      }
      case 0x01:
        ended = true;
        return false;
      case 0x02:  // extended segment address: a paragraph number
        if (!sized(2)) return false;
        base = bigEndian(bytes, 4, 2) << 4;
        return true;
      case 0x04:  // extended linear address: the upper 16 bits
        if (!sized(2)) return false;
        base = bigEndian(bytes, 4, 2) << 16;
        return true;
      case 0x03:  // start segment address CS:IP
        if (!sized(4)) return false;
        image.hasEntry = true;
        image.entry = (bigEndian(bytes, 4, 2) << 4) + bigEndian(bytes, 6, 2);
        return true;
      case 0x05:  // start linear address
        if (!sized(4)) return false;
        image.hasEntry = true;
        image.entry = bigEndian(bytes, 4, 4);
        return true;
      default:
        return bad("unknown record type " + hexByte(type));
    }
  });
  if (!read && !ended) return false;
  if (!ended) {
    error = path + ": truncated: no end record (type 01)";
    return false;
  }
  return mergePieces(path, pieces, image, error);
}

}  // namespace h8
