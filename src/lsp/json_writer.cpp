#include "lsp/json_writer.h"

namespace quillmap::lsp {

namespace {

// The length of the well-formed UTF-8 sequence at `at` (Unicode's table of well-formed byte
// sequences), 0 when there is none.
size_t SequenceAt(std::string_view text, size_t at) {
  const auto byte = [&text](size_t k) {
    return k < text.size() ? static_cast<unsigned char>(text[k]) : 0;
  };
  const auto within = [](unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
  };
  const unsigned char lead = byte(at);
  const unsigned char second = byte(at + 1);
  if (lead < 0x80) return 1;
  if (within(lead, 0xC2, 0xDF)) return within(second, 0x80, 0xBF) ? 2 : 0;
  size_t length = 0;
  if (lead == 0xE0) {
    length = within(second, 0xA0, 0xBF) ? 3 : 0;
  } else if (within(lead, 0xE1, 0xEC) || within(lead, 0xEE, 0xEF)) {
    length = within(second, 0x80, 0xBF) ? 3 : 0;
  } else if (lead == 0xED) {
    length = within(second, 0x80, 0x9F) ? 3 : 0;
  } else if (lead == 0xF0) {
    length = within(second, 0x90, 0xBF) ? 4 : 0;
  } else if (within(lead, 0xF1, 0xF3)) {
    length = within(second, 0x80, 0xBF) ? 4 : 0;
  } else if (lead == 0xF4) {
    length = within(second, 0x80, 0x8F) ? 4 : 0;
  }
  for (size_t k = 2; k < length; ++k) {
    if (!within(byte(at + k), 0x80, 0xBF)) return 0;
  }
  return length;
}

// A string that JSON holds as it is: well-formed UTF-8 without control characters, quotes or
// backslashes.
bool IsPlain(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == '"' || byte == '\\') return false;
    const size_t length = SequenceAt(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// A piece is put aside at its first value past this size; its room is reserved once.
constexpr size_t kPieceBytes = size_t{1} << 20;
constexpr size_t kPieceRoom = kPieceBytes + (size_t{64} << 10);

}  // namespace

std::string JsonWriter::text() const {
  std::string whole;
  for (const std::string& piece : pieces_) whole += piece;
  return whole + out_;
}

std::vector<std::string> JsonWriter::TakePieces() {
  std::vector<std::string> pieces = std::move(pieces_);
  pieces_.clear();
  if (!out_.empty()) pieces.push_back(std::move(out_));
  out_.clear();
  return pieces;
}

void JsonWriter::EndPiece() {
  if (out_.size() < kPieceBytes) return;
  pieces_.push_back(std::move(out_));
  out_ = std::string();
  out_.reserve(kPieceRoom);
}

void JsonWriter::Separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (opened_.empty()) return;
  if (opened_.back()) out_ += ',';
  opened_.back() = true;
}

JsonWriter& JsonWriter::BeginObject() {
  Separate();
  out_ += '{';
  opened_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  out_ += '}';
  opened_.pop_back();
  EndPiece();
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  Separate();
  out_ += '[';
  opened_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  out_ += ']';
  opened_.pop_back();
  EndPiece();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  String(key);
  out_ += ':';
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  if (!IsPlain(text)) return Value(nlohmann::json(text));
  Separate();
  out_ += '"';
  out_ += text;
  out_ += '"';
  EndPiece();
  return *this;
}

JsonWriter& JsonWriter::Int(int64_t value) {
  Separate();
  out_ += std::to_string(value);
  EndPiece();
  return *this;
}

JsonWriter& JsonWriter::Null() {
  Separate();
  out_ += "null";
  EndPiece();
  return *this;
}

JsonWriter& JsonWriter::Value(const nlohmann::json& value) {
  Separate();
  out_ += value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  EndPiece();
  return *this;
}

}  // namespace quillmap::lsp
