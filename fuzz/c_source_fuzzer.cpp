// The C recogniser on arbitrary bytes: what it reports must lie where it says, in text order,
// nested as C nests it, and the same twice over (each scan starts clean).
//
// Input: the source text itself.
#include <algorithm>
#include <string>
#include <vector>

#include "csource/c_source_scanner.h"
#include "fuzz_support.h"

namespace quillmap::fuzz {
namespace {

// As GCC reads identifiers: '$' may stand in them.
bool IsIdentifier(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return IsIdentifierChar(c) || c == '$'; });
}

// Checks every event against the text as it arrives and records it for the second scan.
class CheckingVisitor : public CSourceVisitor {
 public:
  explicit CheckingVisitor(std::string_view text) : text_(text) {
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') lineFeeds_.push_back(i);
    }
  }

  void OnFunctionStart(const CFunction& function) override {
    FUZZ_CHECK(!open_, "a function starts inside another");
    open_ = true;
    FUZZ_CHECK(function.headerStart >= lastEnd_, "functions overlap or go back");
    FUZZ_CHECK(function.headerStart <= function.headerEnd &&
                   function.headerEnd <= function.bodyStart && function.bodyStart < text_.size(),
               "header and body out of order");
    FUZZ_CHECK(text_[function.bodyStart] == '{', "a body that does not open with {");
    FUZZ_CHECK(IsIdentifier(function.name), std::string(function.name));
    FUZZ_CHECK(Within(function.name, function.headerStart, function.headerEnd),
               "the name is not in its header");
    FUZZ_CHECK(function.braceLine == LineOf(function.bodyStart), "wrong line of the {");
    FUZZ_CHECK(function.nameLine == LineOf(Offset(function.name)), "wrong line of the name");
    FUZZ_CHECK(function.headerLine <= function.nameLine, "header after its name");
    const std::string header = CHeaderText(text_, function);
    // One line; white space inside literals stays as written, so runs of blanks may remain.
    FUZZ_CHECK(header.find_first_of("\r\n") == std::string::npos, header);
    events_.push_back("F" + std::string(function.name) + std::to_string(function.bodyStart));
  }

  void OnCall(const CFunction& function, const CCall& call) override {
    FUZZ_CHECK(open_, "a call outside a body");
    FUZZ_CHECK(call.offset > function.bodyStart && call.offset >= lastCall_,
               "a call before its body or before the previous call");
    lastCall_ = call.offset;
    FUZZ_CHECK(IsIdentifier(call.name), std::string(call.name));
    FUZZ_CHECK(Offset(call.name) == call.offset, "the name is not at its offset");
    FUZZ_CHECK(call.open > call.offset && call.open < text_.size() && text_[call.open] == '(',
               "no ( after the call's name");
    FUZZ_CHECK(call.line == LineOf(call.offset), "wrong line of a call");
    FUZZ_CHECK(CLineText(text_, call).find('\n') == std::string::npos, "line text with a LF");
    StringList args;
    const int count = CCallArguments(text_, call, args);
    FUZZ_CHECK(count < 0 || static_cast<size_t>(count) == args.size(), "argument count");
    events_.push_back("C" + std::string(call.name) + std::to_string(call.offset));
  }

  void OnFunctionEnd(const CFunction& function) override {
    FUZZ_CHECK(open_, "an end without a start");
    open_ = false;
    FUZZ_CHECK(function.bodyEnd > function.bodyStart && function.bodyEnd <= text_.size(),
               "body end out of the text");
    FUZZ_CHECK(!function.closed || text_[function.bodyEnd - 1] == '}', "closed without }");
    FUZZ_CHECK(function.closed || function.bodyEnd == text_.size(),
               "an open body that ends before the text");
    FUZZ_CHECK(function.endLine >= function.braceLine, "end before the {");
    FUZZ_CHECK(lastCall_ < function.bodyEnd, "a call after its body");
    lastEnd_ = function.bodyEnd;
    events_.push_back("E" + std::to_string(function.bodyEnd));
  }

  bool open() const { return open_; }
  const std::vector<std::string>& events() const { return events_; }

 private:
  size_t Offset(std::string_view piece) const {
    return static_cast<size_t>(piece.data() - text_.data());
  }
  bool Within(std::string_view piece, size_t begin, size_t end) const {
    return piece.data() >= text_.data() + begin &&
           piece.data() + piece.size() <= text_.data() + end;
  }
  int LineOf(size_t offset) const {
    return static_cast<int>(std::lower_bound(lineFeeds_.begin(), lineFeeds_.end(), offset) -
                            lineFeeds_.begin()) +
           1;
  }

  std::string_view text_;
  std::vector<size_t> lineFeeds_;
  std::vector<std::string> events_;
  bool open_ = false;
  size_t lastEnd_ = 0;
  size_t lastCall_ = 0;
};

}  // namespace
}  // namespace quillmap::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmap;
  using namespace quillmap::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);
  CSourceScanner scanner;
  CheckingVisitor first(text);
  const int lines = scanner.Scan(text, first);
  FUZZ_CHECK(!first.open(), "a body left without its end");
  const auto lineFeeds = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  FUZZ_CHECK(lines == lineFeeds + (text.empty() || text.back() == '\n' ? 0 : 1), "line count");
  CheckingVisitor second(text);
  scanner.Scan(text, second);
  FUZZ_CHECK(first.events() == second.events(), "a second scan of the same text differs");
  return 0;
}
