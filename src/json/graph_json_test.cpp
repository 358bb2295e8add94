// The JSON export parsed back and checked against its schema (with a validator of the schema's
// keywords below), on a model with names that need escaping: quotes, control bytes and bytes
// that are not UTF-8.
#include "json/graph_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/test_support.h"

namespace quillmap::testing {
namespace {

using nlohmann::json;

// The keywords the schema uses: type (one or a list), const, required, properties,
// additionalProperties (false), items and minimum. Adds a failure naming the place for each
// mismatch.
void Validate(const json& value, const json& schema, const std::string& at) {
  if (schema.contains("const")) {
    EXPECT_EQ(value, schema["const"]) << at;
  }
  if (schema.contains("type")) {
    const json types = schema["type"].is_array() ? schema["type"] : json::array({schema["type"]});
    bool matches = false;
    for (const std::string type : types) {
      matches |= (type == "object" && value.is_object()) || (type == "array" && value.is_array()) ||
                 (type == "string" && value.is_string()) ||
                 (type == "integer" && value.is_number_integer()) ||
                 (type == "boolean" && value.is_boolean()) || (type == "null" && value.is_null());
    }
    EXPECT_TRUE(matches) << at << " is not " << types.dump();
  }
  if (schema.contains("minimum") && value.is_number()) {
    EXPECT_GE(value.get<double>(), schema["minimum"].get<double>()) << at;
  }
  if (value.is_object()) {
    for (const std::string key : schema.value("required", json::array())) {
      EXPECT_TRUE(value.contains(key)) << at << " lacks " << key;
    }
    const json properties = schema.value("properties", json::object());
    for (const auto& [key, item] : value.items()) {
      if (properties.contains(key)) {
        Validate(item, properties[key], at + "." + key);
      } else {
        EXPECT_TRUE(schema.value("additionalProperties", true)) << at << " has " << key;
      }
    }
  }
  if (value.is_array() && schema.contains("items")) {
    for (size_t i = 0; i < value.size(); ++i) {
      Validate(value[i], schema["items"], at + "[" + std::to_string(i) + "]");
    }
  }
}

json ParseFile(const std::string& path) { return json::parse(ReadFile(path)); }

GraphModel ModelWithAwkwardNames() {
  GraphModel model;
  CallGraphModel& graph = model.callGraph;
  graph.sources = {{"src/a \"b\".c", true, ""}, {"gone.c", false, "error opening: gone.c"}};
  graph.edgeStyles.emplace_back("[label=$0]");
  graph.AddFunction(std::string("f\x01\tq\"\\", 6), "int f(char \xff\xfe x)", 0, 2, 3);
  graph.functions.back().file = 0;
  graph.functions.back().module = 0;
  graph.AddCall("Send\xc3", "Send\xc3", 0, {"MSG_\x80", "\"s\""}, 4);
  graph.AddFunction("orphan", "", -1, 0, 0);
  graph.functions.back().file = -1;
  model.moduleGraph.modules = {{"app", {"src/a \"b\".c"}, {"f"}}, {"lib\x7f", {"l.c"}, {"g"}}};
  model.moduleGraph.calls = {{0, 1, "f", "g", "src/a \"b\".c", 7}};
  return model;
}

TEST(WriteGraphJson, AwkwardNamesGiveValidJsonThatTheSchemaAccepts) {
  TempDir dir;
  const GraphModel model = ModelWithAwkwardNames();
  const std::vector<RuleViolation> violations{
      {"rule violated: app !-> lib\x7f: f (x:7) calls g", {0}, "rule_0"}};
  ASSERT_TRUE(WriteGraphJson(dir / "g.json", model, violations, {"error opening: gone.c"}));
  const json graph = ParseFile(dir / "g.json");
  Validate(graph, ParseFile(QUILLMAP_GRAPH_SCHEMA), "$");

  EXPECT_EQ(graph["version"], kGraphJsonVersion);
  EXPECT_EQ(graph["functions"][0]["name"], std::string("f\x01\tq\"\\", 6));
  EXPECT_EQ(graph["functions"][0]["header"], "int f(char \xef\xbf\xbd\xef\xbf\xbd x)");
  EXPECT_EQ(graph["functions"][0]["module"], "app");
  EXPECT_EQ(graph["functions"][1]["file"], nullptr);
  EXPECT_EQ(graph["functions"][1]["module"], nullptr);
  EXPECT_EQ(graph["calls"][0]["caller"], graph["functions"][0]["name"]);
  EXPECT_EQ(graph["calls"][0]["callee"], "Send\xef\xbf\xbd");
  EXPECT_EQ(graph["calls"][0]["arguments"], json::array({"MSG_\xef\xbf\xbd", "\"s\""}));
  EXPECT_EQ(graph["calls"][0]["callText"], "Send\xef\xbf\xbd(MSG_\xef\xbf\xbd)");
  EXPECT_EQ(graph["calls"][0]["edgeStyle"], "[label=\"MSG_\xef\xbf\xbd\"]");
  EXPECT_EQ(graph["calls"][0]["file"], "src/a \"b\".c");
  EXPECT_EQ(graph["moduleCalls"][0]["to"], "lib\x7f");
  EXPECT_EQ(graph["violations"][0]["moduleCalls"], json::array({0}));
  EXPECT_EQ(graph["errors"], json::array({"error opening: gone.c"}));
  EXPECT_EQ(graph["sources"][1]["opened"], false);
}

TEST(WriteGraphJson, AnEmptyModelAndAMissingFolder) {
  TempDir dir;
  ASSERT_TRUE(WriteGraphJson(dir / "e.json", GraphModel(), {}, {}));
  const json graph = ParseFile(dir / "e.json");
  Validate(graph, ParseFile(QUILLMAP_GRAPH_SCHEMA), "$");
  EXPECT_EQ(graph["functions"], json::array());
  EXPECT_FALSE(WriteGraphJson(dir / "missing/e.json", GraphModel(), {}, {}));
}

TEST(WriteGraphJson, AppendJsonString_WritesTheBytesTheLibraryWrites) {
  const std::vector<std::string> texts = {"",
                                          "plain_name",
                                          "say \"hi\"",
                                          "back\\slash\\",
                                          "tab\there",
                                          "\x01\x1f",
                                          "del\x7f",
                                          "caf\xc3\xa9",
                                          "\xe2\x82\xac",
                                          "\xff\xfe",
                                          "trunc\xc3",
                                          "\xf0\x9f\x98\x80 ok",
                                          "mix \"\xc3\" \\",
                                          std::string("nul\0byte", 8)};
  for (const std::string& text : texts) {
    std::string written = "x", expected = "x";
    AppendJsonString(written, text);
    expected += json(text).dump(-1, ' ', false, json::error_handler_t::replace);
    EXPECT_EQ(written, expected) << text;
  }
}

}  // namespace
}  // namespace quillmap::testing
