/// Call graph models for the tests of reachability, call rules and their reports, written as
/// text: a line per source, "file.c: f -> g h; static g -> i; k", each call on a line of its own.
#pragma once

#include <string>
#include <string_view>

#include "model/graph_model.h"
#include "text/text_utils.h"

namespace quillmap {

inline CallGraphModel BuildTestModel(std::string_view text) {
  CallGraphModel model;
  int32_t line = 0;
  const auto words = [](std::string_view part) {
    std::vector<std::string> found;
    std::string word;
    for (const char c : std::string(part) + " ") {
      if (c == ' ') {
        if (!word.empty()) found.push_back(word);
        word.clear();
      } else {
        word += c;
      }
    }
    return found;
  };
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view source = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const size_t colon = source.find(':');
    model.sources.push_back({std::string(source.substr(0, colon)), true, ""});
    source.remove_prefix(colon + 1);
    while (!source.empty()) {
      const size_t semicolon = source.find(';');
      const std::string_view definition = source.substr(0, semicolon);
      source =
          semicolon == std::string_view::npos ? std::string_view{} : source.substr(semicolon + 1);
      const size_t arrow = definition.find("->");
      std::vector<std::string> head = words(definition.substr(0, arrow));
      const std::string name = head.back();
      const std::string header =
          (head.size() > 1 ? "static " : "") + std::string("void ") + name + "(void)";
      model.AddFunction(name, header, 0, line, line + 1);
      ++line;
      if (arrow == std::string_view::npos) continue;
      for (const std::string& callee : words(definition.substr(arrow + 2))) {
        model.AddCall(callee, callee, 0, {}, ++line);
      }
    }
  }
  return model;
}

}  // namespace quillmap
