#include "controller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/frames.h"

namespace qxremu {

namespace fr = qxr::frames;

namespace {

// A frame longer than this without LF or ETX is dropped as noise.
constexpr std::size_t kMaxFrame = 1024;
// Bytes of compiled PLC data per record on the way out.
constexpr std::size_t kRecordBytes = 16;
// An empty PLC program: presets and timing block, all zero.
constexpr std::size_t kEmptyPlcBytes = 160;

const std::string kAck = std::string(1, fr::STX) + fr::ACK + fr::ETX;
const std::string kNak = std::string(1, fr::STX) + fr::NAK + fr::ETX;

std::string stx(const std::string& text) { return std::string(1, fr::STX) + text + fr::ETX; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string trimRight(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

std::string hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

// A data record as the controller sends it.
std::string makeRecord(const std::string& data) {
  unsigned sum = static_cast<unsigned>(data.size() / 2);
  for (std::size_t i = 0; i + 1 < data.size(); i += 2)
    sum += static_cast<unsigned>(hexValue(data[i]) * 16 + hexValue(data[i + 1]));
  return stx(hex2(static_cast<unsigned>(data.size() / 2)) + "00" + data + hex2(~sum));
}

void writeWhole(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::rename(temporary.c_str(), path.c_str());
}

}  // namespace

std::string noiseBytes(std::size_t count, unsigned& seed, bool manyLineEnds) {
  std::string bytes;
  bytes.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    const unsigned value = (seed >> 16) & 0xFFu;
    bytes += static_cast<char>(manyLineEnds && value % 8 == 0 ? '\n' : value);
  }
  return bytes;
}

Controller::Controller(Config config) : config_(std::move(config)) {}

std::string Controller::takeOutput() {
  std::string out;
  out.swap(output_);
  return out;
}

void Controller::note(const std::string& text) {
  if (onNote) onNote(text);
}

void Controller::reply(std::string bytes) {
  if (hangupDue_) return;
  if (config_.silentAfterReplies >= 0 && replies_ >= config_.silentAfterReplies) {
    note("silent");
    return;
  }
  ++replies_;
  if (config_.hangupAfterReplies >= 0 && replies_ >= config_.hangupAfterReplies) hangupDue_ = true;
  if (config_.garbage) bytes = std::string("\x8f\x00\x13\xff\x15\x07garbage\r\n", 15);
  if ((config_.crCrLf || config_.nulPadding) && bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0) {
    if (config_.nulPadding) bytes.insert(bytes.size() - 2, std::string(2, '\0'));
    if (config_.crCrLf) bytes.insert(bytes.size() - 2, 1, '\r');
  }
  if (config_.overlong) bytes = std::string(100, 'Z') + bytes;
  for (long at : config_.nulAt)
    if (at == replies_) {
      note("NUL byte in reply " + std::to_string(replies_));
      bytes.insert(bytes.size() / 2, 1, '\0');
    }
  for (long at : config_.noiseAt)
    if (at == replies_) {
      note("noise before reply " + std::to_string(replies_));
      bytes = noiseBytes(400, noiseSeed_, true) + bytes;
    }
  if (onTraffic) onTraffic("out", bytes);
  output_ += bytes;
}

void Controller::consent(const std::string& frame) {
  reply(config_.echoData ? frame : std::string(fr::kAckLine));
}

void Controller::receive(std::string_view bytes) {
  if (config_.echo) output_ += bytes;  // back as it came, before any frame is cut
  for (char c : bytes) {
    if (hangupDue_) return;
    pending_ += c;
    if (c == fr::LF || c == fr::ETX) {
      std::string whole;
      whole.swap(pending_);
      frame(whole);
    } else if (pending_.size() > kMaxFrame) {
      note("dropped " + std::to_string(pending_.size()) + " bytes without a frame end");
      pending_.clear();
    }
  }
}

bool Controller::isRefused(const std::string& content) const {
  for (long at : config_.refusedAt)
    if (at == frames_) return true;
  for (const std::string& pattern : config_.refused) {
    if (!pattern.empty() && pattern.back() == '*') {
      if (content.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0) return true;
    } else if (content == pattern) {
      return true;
    }
  }
  return false;
}

void Controller::frame(const std::string& bytes) {
  ++frames_;
  if (onTraffic) onTraffic("in", bytes);
  if (config_.silentAfter >= 0 && frames_ > config_.silentAfter) {
    note("silent");
    return;
  }
  if (config_.echo) {
    note("echoed, no answer");
    return;
  }
  for (long at : config_.droppedAt)
    if (at == frames_) {
      note("missed frame " + std::to_string(frames_) + " as configured");
      return;
    }
  const bool stxFamily = bytes.back() == fr::ETX;
  std::string content;
  if (stxFamily) {
    const std::size_t start = bytes.find(fr::STX);
    content = start == std::string::npos ? bytes.substr(0, bytes.size() - 1)
                                         : bytes.substr(start + 1, bytes.size() - start - 2);
  } else {
    content = bytes.substr(0, bytes.size() - 1);
    if (!content.empty() && content.back() == fr::CR) content.pop_back();
  }

  if (isRefused(content)) {
    note("refused as configured");
    // A refused record spoils the PLC write it belongs to.
    if (stxFamily && state_ == State::PlcWrite && content != "LOF") plcFault_ = true;
    reply(std::string(fr::kRefusalLine));
  } else if (stxFamily && state_ == State::PlcWrite && content != "LOF") {
    plcRecord(content);
  } else if (stxFamily) {
    stxFrame(content);
  } else {
    lineFrame(bytes, content);
  }
  if (config_.hangupAfter >= 0 && frames_ >= config_.hangupAfter) hangupDue_ = true;
}

std::optional<int> Controller::programNumber(const std::string& content) const {
  if (content.size() != 2 || !std::isdigit(static_cast<unsigned char>(content[0])) ||
      !std::isdigit(static_cast<unsigned char>(content[1])))
    return std::nullopt;
  const int number = (content[0] - '0') * 10 + (content[1] - '0');
  if (number < 1) return std::nullopt;
  return number;
}

void Controller::lineFrame(const std::string& bytes, const std::string& content) {
  const std::string ackLine(fr::kAckLine);
  if (bytes == fr::kAttention) {
    state_ = State::Idle;
    pieceAcks_ = 0;
    reply(std::string(config_.attentionAck ? fr::kAckLine : fr::kAttention));
    return;
  }
  if (bytes == fr::kLookUp || bytes == fr::kDelete || bytes == fr::kStore || bytes == fr::kParamWrite ||
      bytes == fr::kParamRead) {
    state_ = bytes == fr::kLookUp      ? State::LookUpNumber
             : bytes == fr::kDelete    ? State::DeleteNumber
             : bytes == fr::kStore     ? State::StoreNumber
             : bytes == fr::kParamWrite ? State::ParameterWrite
                                        : State::ParameterRead;
    reply(ackLine);
    return;
  }
  if (bytes == fr::kAckLine) {
    if (pieceAcks_ > 0) {
      // The PC acknowledges each piece of a long line; the next line waits
      // for the last of them.
      --pieceAcks_;
      note("piece acknowledged");
    } else if (state_ == State::Output && !outputQueue_.empty()) {
      std::string next = outputQueue_.front();
      outputQueue_.erase(outputQueue_.begin());
      if (outputQueue_.empty()) state_ = State::Idle;  // that was the attention line: the end
      pieceAcks_ = (next.size() + kReplyPiece - 1) / kReplyPiece - 1;
      reply(next);
    } else if (state_ == State::ParameterValue) {
      state_ = State::ParameterRead;
      reply(parameterValue(parameterNumber_) + "\r\n");
    } else {
      // An acknowledgement with nothing to fetch (after the end) gets no answer.
      note("unanswered: nothing to fetch");
    }
    return;
  }

  switch (state_) {
    case State::LookUpNumber: {
      const auto number = programNumber(content);
      if (!number || !programs.count(*number)) {
        state_ = State::Idle;
        reply(std::string(fr::kRefusalLine));
        return;
      }
      const Program& program = programs[*number];
      outputQueue_.clear();
      if (config_.namedPrograms) outputQueue_.push_back(program.name + "\r\n");
      for (const std::string& line : program.lines) outputQueue_.push_back(line + "\r\n");
      outputQueue_.push_back(std::string(fr::kAttention));
      state_ = State::Output;
      pieceAcks_ = 0;
      consent(bytes);
      return;
    }
    case State::DeleteNumber: {
      const auto number = programNumber(content);
      if (!number || !programs.count(*number)) {
        state_ = State::Idle;
        reply(std::string(fr::kRefusalLine));
        return;
      }
      current_ = *number;
      state_ = State::DeleteName;
      consent(bytes);
      return;
    }
    case State::DeleteName: {
      state_ = State::Idle;
      const std::string given = trimRight(content.substr(0, fr::kProgramNameLength));
      const std::string& held = programs[current_].name;
      if (given.empty() || held.empty() || given == held) {
        programs.erase(current_);
        removeProgram(current_);
        reply(std::string(fr::kDeleted));
      } else {
        note("delete of " + std::to_string(current_) + ": name " + given + " is not " + held);
        reply(ackLine);
      }
      return;
    }
    case State::StoreNumber: {
      const auto number = programNumber(content);
      if (!number) {
        state_ = State::Idle;
        reply(std::string(fr::kRefusalLine));
        return;
      }
      current_ = *number;
      programs[current_] = Program{};
      saveProgram(current_);
      state_ = config_.namedPrograms ? State::StoreName : State::StoreLines;
      consent(bytes);
      return;
    }
    case State::StoreName:
      programs[current_].name = trimRight(content.substr(0, fr::kProgramNameLength));
      saveProgram(current_);
      state_ = State::StoreLines;
      consent(bytes);
      return;
    case State::StoreLines:
      programs[current_].lines.push_back(content);
      appendProgramLine(current_, content);
      consent(bytes);
      return;
    case State::ParameterWrite: {
      const std::size_t equals = content.find('=');
      if (equals == std::string::npos) {
        reply(std::string(fr::kRefusalLine));
        return;
      }
      setParameter(content.substr(0, equals), content.substr(equals + 1));
      consent(bytes);
      return;
    }
    case State::ParameterRead:
      parameterNumber_ = content;
      state_ = State::ParameterValue;
      consent(bytes);
      return;
    default:
      reply(std::string(fr::kRefusalLine));
      return;
  }
}

void Controller::stxFrame(const std::string& content) {
  if (content == "LON") {
    state_ = State::Idle;
    reply(kAck);
  } else if (content == "LOF") {
    const bool failed = state_ == State::PlcWrite || plcFault_;
    if (failed) note("PLC write incomplete or damaged: link-off refused");
    state_ = State::Idle;
    plcFault_ = false;
    reply(failed ? std::string(fr::kRefusalLine) : kAck);
  } else if (content == "QXR") {
    reply(stx(config_.designation));
  } else if (content == "VER") {
    reply(stx(config_.versionText));
  } else if (content == "SQW") {
    state_ = State::PlcWrite;
    incomingRecords_.clear();
    plcFault_ = false;
    reply(kAck);
  } else if (content == "SQR") {
    state_ = State::Idle;
    const std::vector<std::string> data = plcData();
    // The first record comes with a leading acknowledgement in one reply,
    // the others follow unasked, one reply each, then the end of data.
    reply(std::string(1, fr::ACK) + makeRecord(data.front()));
    for (std::size_t i = 1; i < data.size(); ++i) reply(makeRecord(data[i]));
    reply(std::string(fr::kEndOfData));
  } else if (content == "APR" || content == "MRD" || content == "BLW" || content == "N3" || content == "BLR") {
    reply(kAck);
  } else if (content == "0001FE") {
    // An end of data outside a PLC write: nothing to end.
    note("unanswered: no PLC write to end");
  } else {
    reply(kNak);
  }
}

void Controller::plcRecord(const std::string& content) {
  if (content == "0001FE") {
    state_ = State::Idle;
    if (plcFault_) return;  // link-off will refuse
    plcRecords = incomingRecords_;
    savePlc();
    note("PLC program stored: " + std::to_string(plcRecords.size()) + " records");
    return;
  }
  // "LL00" + data + checksum.
  bool good = content.size() >= 6 && content.compare(2, 2, "00") == 0;
  std::string data;
  if (good) {
    const int high = hexValue(content[0]), low = hexValue(content[1]);
    data = content.substr(4, content.size() - 6);
    const int checkHigh = hexValue(content[content.size() - 2]), checkLow = hexValue(content[content.size() - 1]);
    good = high >= 0 && low >= 0 && checkHigh >= 0 && checkLow >= 0;
    const unsigned count = static_cast<unsigned>(high * 16 + low);
    if (good) good = (data.size() + 1) / 2 == count;
    unsigned sum = count;
    for (std::size_t i = 0; good && i < data.size(); i += 2) {
      const int a = hexValue(data[i]);
      const int b = i + 1 < data.size() ? hexValue(data[i + 1]) : -1;
      if (a < 0) {
        good = false;
      } else if (b < 0) {
        sum += static_cast<unsigned>(a);
        if (i + 1 < data.size()) good = false;
      } else {
        sum += static_cast<unsigned>(a * 16 + b);
      }
    }
    if (good) good = ((~sum) & 0xFFu) == static_cast<unsigned>(checkHigh * 16 + checkLow);
  }
  if (!good) {
    plcFault_ = true;
    note("bad PLC record " + std::to_string(incomingRecords_.size() + 1) + ": " + content);
    return;
  }
  incomingRecords_.push_back(data);
}

std::vector<std::string> Controller::plcData() const {
  if (!plcRecords.empty()) return plcRecords;
  std::vector<std::string> empty;
  for (std::size_t done = 0; done < kEmptyPlcBytes; done += kRecordBytes)
    empty.push_back(std::string(kRecordBytes * 2, '0'));
  return empty;
}

std::string Controller::parameterValue(const std::string& number) const {
  for (const auto& [key, value] : parameters)
    if (key == number) return value;
  return "0";
}

void Controller::setParameter(const std::string& number, const std::string& value) {
  bool found = false;
  for (auto& [key, held] : parameters)
    if (key == number) {
      held = value;
      found = true;
    }
  if (!found) parameters.emplace_back(number, value);
  saveParameters();
}

// --- the store directory mirrors what the controller holds ---

namespace {
std::string programFileName(int number) {
  char name[16];
  std::snprintf(name, sizeof name, "P%02d.nc", number);
  return name;
}
}  // namespace

void Controller::saveProgram(int number) {
  if (config_.storeDir.empty()) return;
  const Program& program = programs[number];
  std::string bytes = std::to_string(number) + "\r\n";
  if (config_.namedPrograms) bytes += program.name + "\r\n";
  for (const std::string& line : program.lines) bytes += line + "\r\n";
  writeWhole(config_.storeDir + "/" + programFileName(number), bytes);
}

void Controller::appendProgramLine(int number, const std::string& line) {
  if (config_.storeDir.empty()) return;
  // Appending keeps a long store linear; the file always holds exactly the
  // lines acknowledged so far.
  const std::string path = config_.storeDir + "/" + programFileName(number);
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const std::string bytes = line + "\r\n";
  [[maybe_unused]] const auto written = ::write(fd, bytes.data(), bytes.size());
  ::close(fd);
}

void Controller::removeProgram(int number) {
  if (config_.storeDir.empty()) return;
  std::remove((config_.storeDir + "/" + programFileName(number)).c_str());
}

void Controller::saveParameters() {
  if (config_.storeDir.empty()) return;
  std::string bytes;
  for (const auto& [key, value] : parameters) bytes += key + "=" + value + "\r\n";
  writeWhole(config_.storeDir + "/parameters.txt", bytes);
}

void Controller::savePlc() {
  if (config_.storeDir.empty()) return;
  std::string bytes;
  for (const std::string& record : plcRecords) bytes += record + "\r\n";
  writeWhole(config_.storeDir + "/plc.mcn", bytes);
}

void Controller::saveAll() {
  if (config_.storeDir.empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(config_.storeDir, ignored);
  for (const auto& entry : programs) saveProgram(entry.first);
  saveParameters();
  if (!plcRecords.empty()) savePlc();
}

std::optional<std::pair<int, Program>> readProgramFile(const std::string& path, bool named) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (lines.empty()) return std::nullopt;
  std::size_t at = 0;
  const std::string& numberLine = lines[at++];
  std::size_t digit = numberLine.find_first_not_of(" \t");
  int number = 0;
  while (digit < numberLine.size() && std::isdigit(static_cast<unsigned char>(numberLine[digit])))
    number = number * 10 + (numberLine[digit++] - '0');
  if (number < 1 || number > 99) return std::nullopt;
  Program program;
  if (named && at < lines.size()) program.name = trimRight(lines[at++].substr(0, fr::kProgramNameLength));
  for (; at < lines.size(); ++at)
    if (lines[at].find(' ') != std::string::npos) program.lines.push_back(lines[at]);
  return std::make_pair(number, program);
}

}  // namespace qxremu
