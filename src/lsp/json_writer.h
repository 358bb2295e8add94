/// JSON text written as it goes, for answers too large to be held as a document first (the
/// callers of a much-called function: tens of thousands of items, whose document takes ten
/// times the room of its text and most of the time of the answer). The text is held in pieces
/// of about a megabyte, so that a large answer never stands in memory twice while it grows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace quillmap::lsp {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  /// The key of the next member of the object being written.
  JsonWriter& Key(std::string_view key);
  /// A string; bytes that are no UTF-8 are written as U+FFFD, as the server's messages are.
  JsonWriter& String(std::string_view text);
  JsonWriter& Int(int64_t value);
  JsonWriter& Null();
  /// A value held as a document (a small one: it is written whole).
  JsonWriter& Value(const nlohmann::json& value);

  /// True when nothing was written yet.
  bool empty() const { return pieces_.empty() && out_.empty(); }
  /// The text written, whole.
  std::string text() const;
  /// The text written, in its pieces (in order); the writer holds none afterwards.
  std::vector<std::string> TakePieces();

 private:
  // The comma before a value or key, where one is due.
  void Separate();
  // Puts the piece being written aside once it is full.
  void EndPiece();

  std::vector<std::string> pieces_;  // full ones
  std::string out_;                  // the one being written
  std::vector<bool> opened_;  // per open object or array: has it a member yet
  bool afterKey_ = false;
};

}  // namespace quillmap::lsp
