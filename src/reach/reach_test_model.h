/// Call graph models for the tests of reachability, call rules and their reports, written as
/// text: a line per source, "file.c: f -> g h; static g -> i; k", each call on a line of its own.
/// In a resolved model a call through a pointer is written "VIA=callee" ("o->write=uart_write").
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
      for (const std::string& word : words(definition.substr(arrow + 2))) {
        // "VIA=callee": a call through a pointer, written as its dispatch expression.
        const size_t via = word.find('=');
        const std::string callee = via == std::string::npos ? word : word.substr(via + 1);
        model.AddCall(word.substr(0, via), callee, 0, {}, ++line);
      }
    }
  }
  return model;
}

/// The model of BuildTestModel as the resolution leaves it: each call bound to the first
/// definition of its callee (none for a library name), direct or, for "VIA=callee", through a
/// pointer.
inline CallGraphModel BuildResolvedTestModel(std::string_view text) {
  const CallGraphModel bare = BuildTestModel(text);
  std::vector<std::string_view> vias(bare.calls.size());
  for (const auto& [call, written] : bare.writtenNames) vias[call] = bare.NameOf(written);
  CallGraphModel model;
  model.resolved = true;
  model.sources = bare.sources;
  for (const FunctionRecord& function : bare.functions) {
    const FunctionDetails details = bare.DetailsOf(function);
    FunctionRecord copy;
    copy.name = model.names.Intern(bare.NameOf(function.name));
    copy.file = function.file;
    copy.isStatic = details.header.starts_with("static ");
    const uint32_t numbers[] = {static_cast<uint32_t>(details.line),
                                static_cast<uint32_t>(details.braceLine), 1};
    copy.details = model.functionDetails.Add(details.header, numbers);
    model.functions.push_back(copy);
  }
  for (size_t f = 0; f < bare.functions.size(); ++f) {
    model.functions[f].firstCall = static_cast<uint32_t>(model.calls.size());
    for (const uint32_t c : bare.CallsOf(bare.functions[f])) {
      const std::string_view callee = bare.NameOf(bare.calls[c].callee);
      CallDetails details;
      details.line = bare.DetailsOf(bare.calls[c]).line;
      details.filter = 0;
      for (size_t d = 0; d < bare.functions.size() && details.calleeIndex < 0; ++d) {
        if (bare.NameOf(bare.functions[d].name) == callee)
          details.calleeIndex = static_cast<int32_t>(d);
      }
      if (!vias[c].empty()) {
        details.kind = CallKind::kPointer;
        details.via = model.names.Intern(vias[c]);
      }
      const NameId name = model.names.Intern(callee);
      model.AddResolvedCall(name, name, details, {});
      ++model.functions[f].callCount;
    }
  }
  return model;
}

}  // namespace quillmap
