// The macro expander on arbitrary bytes: the directives of the input make the table, and the
// facts of the input read with it must stay within their bounds; each expansion ends within
// its limits, and the same input read twice gives the same macro uses (each source starts clean).
//
// Input: the source text itself (its directives and its bodies).
#include <string>
#include <vector>

#include "csource/c_source_scanner.h"
#include "fuzz_support.h"
#include "resolve/c_facts.h"
#include "resolve/macro_table.h"

namespace quillmap::fuzz {
namespace {

class Ranges : public CSourceVisitor {
 public:
  explicit Ranges(std::string_view text) : text_(text) {}
  void OnFunctionStart(const CFunction&) override {}
  void OnCall(const CFunction&, const CCall&) override {}
  void OnFunctionEnd(const CFunction& f) override {
    ranges.push_back({static_cast<size_t>(f.name.data() - text_.data()), f.headerStart,
                      f.bodyStart, f.bodyEnd});
  }
  std::vector<CDefinitionRange> ranges;

 private:
  std::string_view text_;
};

std::vector<std::string> Uses(const CFileFacts& facts) {
  std::vector<std::string> uses;
  for (const CMacroUse& use : facts.macroUses) {
    std::string line = std::to_string(use.offset) + use.macro;
    for (const std::string& callee : use.callees) (line += ' ') += callee;
    uses.push_back(std::move(line));
  }
  return uses;
}

}  // namespace
}  // namespace quillmap::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmap;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  MacroTable headers;
  headers.Read(text);
  CSourceScanner scanner;
  fuzz::Ranges visitor(text);
  scanner.Scan(text, visitor);
  const std::vector<MacroNameRule> rules = BuiltInMacroNameRules();
  CFileFacts first, second;
  ReadCFileFacts(text, visitor.ranges, first, &headers, &rules);
  ReadCFileFacts(text, visitor.ranges, second, &headers, &rules);
  FUZZ_CHECK(fuzz::Uses(first) == fuzz::Uses(second), "a second reading of the same text differs");
  for (const CMacroUse& use : first.macroUses) {
    FUZZ_CHECK(use.offset < size && use.line >= 1, "a macro use outside the text");
  }
  return 0;
}
