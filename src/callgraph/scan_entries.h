/// The activity log entries of the call graph scan and the small rules that both of its engines
/// (line by line, and whole files) share, so that each text stands in one place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/text_utils.h"

namespace quillmap {

/// "\r\n>> Z:%d, %s": a selected definition, with the index of its "{" line and its header.
inline std::string DefinitionEntry(int lineIndex, std::string_view header) {
  std::string entry = "\r\n>> Z:" + std::to_string(lineIndex) + ", ";
  entry += header;
  return entry;
}

/// "<< Z:%d", followed by ", calls: %d" when the body recorded calls.
inline std::string FunctionEndEntry(int lineIndex, size_t callCount) {
  std::string entry = "<< Z:" + std::to_string(lineIndex);
  if (callCount > 0) entry += ", calls: " + std::to_string(callCount);
  return entry;
}

/// The body line of a recorded call, made in `entry` (a buffer kept from call to call).
inline const std::string& CallLineEntry(std::string_view line, std::string& entry) {
  return entry.assign("  C: ").append(line);
}
inline std::string CallLineEntry(std::string_view line) {
  std::string entry;
  return CallLineEntry(line, entry);
}

/// The call text of a recorded call, made in `entry`.
inline const std::string& CallTextEntry(std::string_view callText, std::string& entry) {
  return entry.assign("     --> ").append(callText);
}
inline std::string CallTextEntry(std::string_view callText) {
  std::string entry;
  return CallTextEntry(callText, entry);
}

/// The reject entries as they are searched for: as configured, with the line feeds that the list
/// reader made of their commas turned back into commas.
inline StringList RejectTexts(const StringList& rejectList) {
  StringList texts;
  for (std::string text : rejectList) {
    for (char& c : text) {
      if (c == '\n') c = ',';
    }
    texts.push_back(std::move(text));
  }
  return texts;
}

/// Counters are 32-bit as reported; they wrap instead of overflowing on huge trees.
inline void AddWrapping(int32_t& counter, uint32_t amount) {
  counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + amount);
}

}  // namespace quillmap
