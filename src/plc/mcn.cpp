#include "plc/mcn.h"

#include "base/textio.h"

namespace qxr {

namespace {

// How the 6 bytes of an instruction are laid out in the file.
enum McnLayout {
  mlOpcodeOnly,  // opcode, 5 zeros
  mlByte2,       // opcode, byte 2, 4 zeros
  mlFourBytes,   // opcode, bytes 2-5, zero (CNT, SFT)
  mlWide,        // opcode, byte 2, bytes 4-7 (DW, DEM, DEMB)
  mlDefault,     // opcode, byte 2, bytes 4-5, 2 zeros
};

bool isOpcodeOnly(std::uint8_t op) {
  switch (op) {
    case 0x00: case 0x07: case 0x08: case 0x1D: case 0x1E: case 0x1F:
    case 0x74: case 0x76: case 0x7D: case 0x7E: case 0x7F:
    case 0xB4: case 0xB7: case 0xB8: case 0xF4: case 0xF7: case 0xF8:
      return true;
    default:
      return false;
  }
}

// Writing puts the ATM family (except ATM itself) as opcode only; reading
// takes every ATM opcode by the default layout. The bytes are the same, as
// the compiled ATM instructions carry nothing but the opcode.
McnLayout layoutOf(std::uint8_t op, bool writing) {
  if (isOpcodeOnly(op) || (writing && op >= 0x50 && op <= 0x55)) return mlOpcodeOnly;
  switch (op) {
    case 0x10: case 0x14: case 0x70: case 0x71: case 0x72:
    case 0xB0: case 0xB1: case 0xB2: case 0xB3: case 0xF0: case 0xF1: case 0xF2: case 0xF3:
      return mlByte2;
    case 0x13: case 0x15:
      return mlFourBytes;
    case 0x60: case 0xA0: case 0xA1: case 0xE0: case 0xE1:
      return mlWide;
    default:
      return mlDefault;
  }
}

// Instruction bytes in file order, per layout; the count of data bytes
// that follow the opcode (the rest is padding).
struct LayoutSlots {
  int slots[5];
  int dataBytes;
};
LayoutSlots slotsOf(McnLayout layout) {
  switch (layout) {
    case mlOpcodeOnly: return {{-1, -1, -1, -1, -1}, 0};
    case mlByte2: return {{2, -1, -1, -1, -1}, 1};
    case mlFourBytes: return {{2, 3, 4, 5, -1}, 4};
    case mlWide: return {{2, 4, 5, 6, 7}, 5};
    case mlDefault: break;
  }
  return {{2, 4, 5, -1, -1}, 3};
}

int hexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string mcnPathFor(const std::string& plcFilePath, const std::string& startDir) {
  const std::size_t nameStart = plcFilePath.find_last_of('/') + 1;  // npos + 1 == 0
  const std::size_t dot = plcFilePath.find_last_of('.');
  std::string path = (dot != std::string::npos && dot >= nameStart) ? plcFilePath.substr(0, dot) : plcFilePath;
  path += ".mcn";
  if (!path.empty() && path[0] != '/') path = joinPath(startDir, path);
  return path;
}

std::array<std::uint8_t, kMcnInstructionBytes> mcnInstructionBytes(const PlcInstruction& in) {
  std::array<std::uint8_t, kMcnInstructionBytes> out{};
  out[0] = in.opcode();
  const LayoutSlots layout = slotsOf(layoutOf(in.opcode(), true));
  for (int i = 0; i < layout.dataBytes; ++i) out[1 + i] = in.bytes[layout.slots[i]];
  return out;
}

std::vector<std::uint8_t> mcnBytes(const PlcTables& tables, const std::vector<PlcInstruction>& instructions) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kMcnHeaderBytes + kMcnInstructionBytes * instructions.size());
  for (std::uint16_t preset : tables.presets) {
    bytes.push_back(static_cast<std::uint8_t>(preset & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(preset >> 8));
  }
  for (const TimingRecord& record : tables.timing) bytes.insert(bytes.end(), record.bytes.begin(), record.bytes.end());
  for (const PlcInstruction& in : instructions) {
    const auto six = mcnInstructionBytes(in);
    bytes.insert(bytes.end(), six.begin(), six.end());
  }
  return bytes;
}

std::string mcnText(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2 + bytes.size() / kMcnBytesPerLine * 2);
  std::size_t count = 0;
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
    if (++count % kMcnBytesPerLine == 0) text += "\r\n";
  }
  return text;
}

bool WriteMcnFile(const std::string& mcnPath, const PlcTables& tables,
                  const std::vector<PlcInstruction>& instructions, FileError* error) {
  const FileError result = saveFile(mcnPath, mcnText(mcnBytes(tables, instructions)));
  if (error) *error = result;
  return result == FileError::kNone;
}

int McnReader::nextChar() {
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (c == '\n' || (c == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n')) {
      ++pos_;
      continue;
    }
    ++pos_;
    return static_cast<unsigned char>(c);
  }
  return -1;
}

bool McnReader::readByte(std::uint8_t& byte) {
  const int high = hexValue(nextChar());
  if (high < 0) return false;
  const int low = hexValue(nextChar());
  if (low < 0) return false;
  byte = static_cast<std::uint8_t>(high * 16 + low);
  return true;
}

bool McnReader::atEnd() {
  const std::size_t saved = pos_;
  const bool end = nextChar() < 0;
  pos_ = saved;
  return end;
}

bool ReadMcnHeader(McnReader& reader, PlcTables& tables) {
  for (std::uint16_t& entry : tables.presets) {
    std::uint8_t low = 0, high = 0;
    if (!reader.readByte(low) || !reader.readByte(high)) return false;
    entry = static_cast<std::uint16_t>(low | (high << 8));
  }
  return true;
}

bool ReadMcnTimingBlock(McnReader& reader, PlcTables& tables) {
  for (TimingRecord& record : tables.timing)
    for (std::uint8_t& byte : record.bytes)
      if (!reader.readByte(byte)) return false;
  return true;
}

McnInstructionRead ReadMcnInstruction(McnReader& reader, const PlcTables& tables) {
  McnInstructionRead result;
  // Only the true end of the data ends the program; a damaged character
  // where an opcode is due must not pass for the end and hide the rest.
  if (reader.atEnd()) {
    result.status = psEnd;
    return result;
  }
  std::uint8_t opcode = 0;
  if (!reader.readByte(opcode)) {
    result.status = psTruncated;
    return result;
  }
  result.instruction.bytes[0] = opcode;
  const LayoutSlots layout = slotsOf(layoutOf(opcode, false));
  for (int i = 0; i < kMcnInstructionBytes - 1; ++i) {
    std::uint8_t byte = 0;
    const bool read = reader.readByte(byte);
    if (i < layout.dataBytes) {
      if (!read) {
        result.status = psTruncated;
        return result;
      }
      result.instruction.bytes[layout.slots[i]] = byte;
    }
  }
  const FormattedInstruction formatted = FormatInstruction(result.instruction, tables);
  result.status = formatted.status;
  result.text = formatted.text;
  return result;
}

McnListing listMcnText(std::string text, PlcTables& tables) {
  McnListing listing;
  McnReader reader(std::move(text));
  if (!ReadMcnHeader(reader, tables)) {
    listing.outcome = McnListing::loHeaderDamaged;
    return listing;
  }
  if (!ReadMcnTimingBlock(reader, tables)) {
    listing.outcome = McnListing::loTimingDamaged;
    return listing;
  }
  for (int number = 1;; ++number) {
    McnInstructionRead read = ReadMcnInstruction(reader, tables);
    if (read.status == psOk) {
      listing.lines.push_back(std::move(read.text));
      continue;
    }
    listing.status = read.status;
    if (read.status != psEnd) {
      listing.outcome = McnListing::loBadInstruction;
      listing.commandNumber = number;
    }
    return listing;
  }
}

}  // namespace qxr
