#include "lsp/json_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace quillmap::lsp {
namespace {

using Json = nlohmann::json;

// The server's messages leave as documents dumped with invalid UTF-8 replaced: a string the
// writer writes must read the same.
std::string Dumped(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

TEST(JsonWriter, StringsAreWrittenAsTheDocumentsDumpThem) {
  std::vector<std::string> texts = {
      "", "plain name", "quote \" and backslash \\", "tab\tnewline\ncontrol\x01\x1f del\x7f",
      "\xc3\xa4 two bytes", "\xe2\x80\xa2 three", "\xf0\x9f\x98\x80 four", "\xc2\xb7 middle dot",
      "stray \xff byte", "cut \xe2\x80", "overlong \xc0\xaf", "\xe0\x80\x80 overlong three",
      "surrogate \xed\xa0\x80", "\xf4\x90\x80\x80 past U+10FFFF", "\xf5\x80\x80\x80",
      "lone continuation \x80", std::string("nul \0 inside", 12)};
  // And random bytes, biased to the high half where the sequences are.
  std::mt19937 random(7);
  for (int k = 0; k < 2000; ++k) {
    std::string text(random() % 8, '\0');
    for (char& c : text) c = static_cast<char>(random() % 2 ? 0x80 + random() % 0x80 : random() % 0x100);
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    JsonWriter out;
    out.String(text);
    ASSERT_EQ(out.text(), Dumped(Json(text))) << Json(text).dump(-1, ' ', true, Json::error_handler_t::replace);
  }
}

TEST(JsonWriter, SeparatesMembersAndElements) {
  struct Case {
    const char* what;
    std::function<void(JsonWriter&)> write;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"an empty array", [](JsonWriter& w) { w.BeginArray().EndArray(); }, "[]"},
      {"an empty object", [](JsonWriter& w) { w.BeginObject().EndObject(); }, "{}"},
      {"values of every kind",
       [](JsonWriter& w) {
         w.BeginArray().Int(-3).Null().String("a").Value(Json{{"b", true}}).Int(0).EndArray();
       },
       R"([-3,null,"a",{"b":true},0])"},
      {"members, nested",
       [](JsonWriter& w) {
         w.BeginObject().Key("a").BeginArray().BeginObject().Key("x").Int(1).EndObject();
         w.BeginObject().EndObject().EndArray().Key("b").BeginObject().Key("y").Null();
         w.Key("z").String("q").EndObject().EndObject();
       },
       R"({"a":[{"x":1},{}],"b":{"y":null,"z":"q"}})"},
      {"a key that needs escaping",
       [](JsonWriter& w) { w.BeginObject().Key("a\"b").Int(1).EndObject(); },
       R"({"a\"b":1})"},
      {"a lone value", [](JsonWriter& w) { w.Int(42); }, "42"},
  };
  for (const Case& c : cases) {
    JsonWriter out;
    c.write(out);
    EXPECT_EQ(out.text(), c.expected) << c.what;
    EXPECT_TRUE(Json::accept(out.text())) << c.what;
  }
}

// A large answer is held in pieces of about a megabyte, which follow each other as its text.
TEST(JsonWriter, ALargeAnswerComesInPiecesThatMakeItsText) {
  JsonWriter out;
  Json document = Json::array();
  out.BeginArray();
  for (int k = 0; k < 40000; ++k) {
    const std::string name = "caller_" + std::to_string(k) + std::string(k % 50, 'x');
    // The members in the order of the document's keys, which it dumps sorted.
    out.BeginObject().Key("line").Int(k).Key("name").String(name).EndObject();
    document.push_back({{"name", name}, {"line", k}});
  }
  out.EndArray();
  const std::string whole = out.text();
  EXPECT_TRUE(whole == Dumped(document));  // (megabytes: not printed when they differ)
  const std::vector<std::string> pieces = out.TakePieces();
  EXPECT_GT(pieces.size(), 1u);
  std::string joined;
  for (const std::string& piece : pieces) {
    EXPECT_LT(piece.size(), size_t{2} << 20);
    joined += piece;
  }
  EXPECT_TRUE(joined == whole);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(out.TakePieces().empty());
}

}  // namespace
}  // namespace quillmap::lsp
