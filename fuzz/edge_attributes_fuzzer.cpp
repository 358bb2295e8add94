// The argument splitter and the "$N" substitution of edge attributes, and the DOT form of node
// names: the arguments are trimmed pieces of the line, and an edge attribute text that is plain
// DOT stays DOT that Graphviz reads after any argument was put into it.
//
// Input: a selector byte, the called name, the attribute template, then the source line.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <string>

#include "dot/dot_text.h"
#include "dot_syntax.h"
#include "files/source_reader.h"
#include "fuzz_support.h"
#include "model/edge_style.h"
#include "text/text_utils.h"

namespace quillmap::fuzz {
namespace {

// Edge styles as configurations write them; "$N" stands as an ID or inside a quoted string.
constexpr std::array<const char*, 8> kTemplates = {
    "[label=$0]",
    "[label=\"$1\"]",
    "[label=\"call $0 now\", color=red]",
    "[style=dashed, label=$2]",
    "[taillabel=\"\\\"$0\\\"\"]",
    "[label=$0; headlabel=x]",
    "[label=\"a\\\\\" $0=b]",
    "[label=$123456]",
};

std::string EdgeGraph(const std::string& attributes) {
  return "digraph G\r\n{\r\n  a -> b " + attributes + "\r\n}\r\n";
}

// A character that can continue a DOT ID or number next to it.
bool IsIdCharacter(char c) {
  return IsIdentifierChar(c) || c == '.' || c == '-' || static_cast<unsigned char>(c) >= 0x80;
}

// True when the "$N" of a template stands outside strings right next to a character that would
// join the argument into a longer ID or number ("[label=v$0]", "$0px"): such a template builds
// IDs of its own, and what they read as depends on the argument.
bool GluesTheArgument(const std::string& attributes) {
  const size_t dollar = attributes.find('$');
  if (DotContextAt(attributes, dollar) != DotTextContext::kBare) return false;
  size_t after = dollar + 1;
  // The digits that the substitution removes with the "$" (at most five).
  while (after < attributes.size() && after - dollar - 1 < 5 && attributes[after] >= '0' &&
         attributes[after] <= '9') {
    ++after;
  }
  return IsIdCharacter(attributes[dollar - 1]) ||
         (after < attributes.size() && IsIdCharacter(attributes[after]));
}

// A template counts as plain DOT when it reads as DOT both with an argument that needs quoting
// and with one that does not (the substitution then decides how the argument is written), does
// not glue the argument to other ID characters, and holds no block comment (whose end an
// argument could bring along; line comments are safe, as an argument holds no line feed).
bool IsPlainTemplate(const std::string& attributes) {
  if (attributes.find("/*") != std::string::npos || GluesTheArgument(attributes)) return false;
  std::string ignored;
  const StringList plainArguments(10, "x");
  return IsValidDot(EdgeGraph(SubstituteArgument(attributes, {}, ignored))) &&
         IsValidDot(EdgeGraph(SubstituteArgument(attributes, plainArguments, ignored)));
}

void CheckSplit(const std::string& line, const std::string& call, StringList& args) {
  const int result = SplitArguments(line, call, args);
  const size_t k = call.find('(');
  const bool callable = k != std::string::npos && k > 0;
  if (!callable || line.find(call.substr(0, k + 1)) == std::string::npos) {
    FUZZ_CHECK(result == -1 && args.empty(), line + " / " + call);
    return;
  }
  FUZZ_CHECK(result == -1 || result == static_cast<int>(args.size()), line + " / " + call);
  // The arguments are trimmed, disjoint pieces of the line after the call's "(".
  const size_t after = line.find(call.substr(0, k + 1)) + k + 1;
  size_t total = 0;
  for (const std::string& arg : args) {
    FUZZ_CHECK(arg == Trim(arg), "untrimmed argument in " + line);
    FUZZ_CHECK(line.find(arg, after) != std::string::npos, "argument not in " + line);
    total += arg.size();
  }
  FUZZ_CHECK(total <= line.size() - after, line + " / " + call);
}

void CheckSubstitution(const std::string& attributes, const StringList& args) {
  std::string argument;
  const std::string result = SubstituteArgument(attributes, args, argument);
  const size_t dollar = attributes.find('$');
  if (dollar == std::string::npos || dollar == 0) {
    FUZZ_CHECK(result == attributes && argument.empty(), attributes);
    return;
  }
  bool known = argument == "#?#";
  for (const std::string& arg : args) known = known || arg == argument;
  FUZZ_CHECK(known, "argument " + argument + " from " + attributes);
  FUZZ_CHECK(result.substr(0, dollar) == attributes.substr(0, dollar), attributes);
  if (IsPlainTemplate(attributes)) {
    const std::string problem = DotFileProblem(EdgeGraph(result));
    FUZZ_CHECK(problem.empty(), "template " + attributes + "\n" + problem);
  }
}

void CheckNodeName(const std::string& text) {
  const std::string name = NodeNameOf(text);
  FUZZ_CHECK(name.size() <= text.size(), text);
  const std::string id = DotId(name);
  FUZZ_CHECK(IsPlainDotId(name) == (id == name), name);
  const std::string problem =
      DotFileProblem("digraph G\r\n{\r\n  " + id + " -> " + id + "\r\n}\r\n");
  FUZZ_CHECK(problem.empty(), problem);
}

}  // namespace
}  // namespace quillmap::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmap;
  using namespace quillmap::fuzz;
  FuzzedDataProvider provider(data, size);
  const uint8_t selector = provider.ConsumeIntegral<uint8_t>();
  std::string name = provider.ConsumeRandomLengthString(64);
  // A configured value is one line of the INI file: it holds no line feed.
  std::string fuzzedTemplate = provider.ConsumeRandomLengthString(256);
  std::erase(fuzzedTemplate, '\n');
  // A source line as the scanner hands it on: no line feed inside, at most one piece long.
  std::string line = provider.ConsumeRemainingBytesAsString();
  line = line.substr(0, std::min(line.find('\n'), kMaxLinePiece));

  // The call as the scanner passes it (a name and "("), and as arbitrary text.
  StringList args;
  CheckSplit(line, name + "(", args);
  StringList rawArgs;
  CheckSplit(line, name, rawArgs);

  const std::string attributes =
      (selector & 0x80) ? fuzzedTemplate : std::string(kTemplates[selector % kTemplates.size()]);
  CheckSubstitution(attributes, args);
  CheckSubstitution(attributes, rawArgs);
  CheckNodeName(line);
  CheckNodeName(name + "(" + (args.empty() ? std::string() : args[0]) + ")");
  return 0;
}
