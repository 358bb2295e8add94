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

}  // namespace

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
  return *this;
}

JsonWriter& JsonWriter::Int(int64_t value) {
  Separate();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Null() {
  Separate();
  out_ += "null";
  return *this;
}

JsonWriter& JsonWriter::Value(const nlohmann::json& value) {
  Separate();
  out_ += value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return *this;
}

}  // namespace quillmap::lsp
