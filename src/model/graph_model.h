/// The graph a scan run finds, held whole before anything is written: the call graph's source
/// files, function definitions and calls in the order found, and the modules with the calls
/// between them. The writers (DOT, CSV, module graph, JSON), the queries and the rules read it;
/// nothing in it depends on how it will be shown.
///
/// A whole tree has millions of calls, so the call graph keeps no string per record: names are
/// interned, header and argument texts stand in compressed text stores, and what a call's edge
/// and call text show is derived from its arguments and its filter's edge style when written.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/edge_style.h"
#include "model/name_table.h"
#include "model/text_store.h"
#include "text/packed_strings.h"

namespace quillmap {

/// A source of the call graph, in file-list order.
struct SourceRecord {
  std::string path;
  bool opened = false;  // false: it could not be opened (then `failure` says so)
  /// "error opening: PATH" or "error reading: PATH" (reading failed part way); empty otherwise.
  std::string failure;
};

/// A function definition that a call filter selected.
struct FunctionRecord {
  NameId name = 0;         // the node name ("foo")
  int32_t file = -1;       // index into CallGraphModel::sources
  int32_t module = -1;     // index into ModuleModel::modules, -1 when in no module
  uint32_t firstCall = 0;  // its calls: CallGraphModel::calls[firstCall, firstCall + callCount)
  uint32_t callCount = 0;  // in the order found
  bool closed = false;     // its body ended within its file
  bool isStatic = false;   // resolved models: it has internal linkage
  TextRef details = 0;     // in CallGraphModel::functionDetails (see FunctionDetails)
};

/// What a function record keeps in the model's text store, where it takes far less room.
struct FunctionDetails {
  int32_t line = 0;         // 1-based line where the header starts
  int32_t braceLine = 0;    // 0-based index of the line that opens the body ("Z:" of the log)
  int32_t filter = -1;      // index of the call filter that selected it
  std::string_view header;  // on one line, as the activity log shows it
};

/// A call inside a selected function's body that a call filter selected. Calls with the same
/// call text in one body are recorded once.
struct CallRecord {
  NameId callee = 0;  // the called name ("bar"), as its node name
  /// Where its details stand in CallGraphModel::callDetails (see CallDetails), in two halves so
  /// that a record takes 12 bytes. Its caller is the function whose calls include it.
  uint32_t detailsLow = 0;
  uint32_t detailsHigh = 0;

  TextRef details() const { return (TextRef{detailsHigh} << 32) | detailsLow; }
};

/// How a call reaches its callee (resolved models only).
enum class CallKind : uint8_t {
  kDirect,   // by its name
  kPointer,  // through a function pointer: a struct member, a variable or a parameter
  kMacro,    // in the expansion of a macro used in the body
};

/// What a call record keeps in the model's text store, where it takes far less room.
struct CallDetails {
  int32_t line = 0;     // 1-based line of the call
  int32_t filter = -1;  // index of the call filter that selected it
  TextList arguments;   // as written
  // Resolved models only:
  CallKind kind = CallKind::kDirect;
  int32_t calleeIndex = -1;  // the callee's definition (index into functions), -1 unresolved
  NameId via = 0;  // kPointer: the dispatch expression ("ops->open"); kMacro: the macro's name
};

/// A run of call indexes, first to last (exclusive).
struct CallIndexes {
  struct Iterator {
    uint32_t index;
    uint32_t operator*() const { return index; }
    Iterator& operator++() {
      ++index;
      return *this;
    }
    bool operator==(const Iterator&) const = default;
  };
  uint32_t first = 0;
  uint32_t last = 0;
  Iterator begin() const { return {first}; }
  Iterator end() const { return {last}; }
};

/// Everything the call graph scan found, in the order found. Records are added through
/// AddFunction and AddCall, which keep each function's calls together: the functions' calls,
/// one function after the other, are all calls in order.
struct CallGraphModel {
  std::vector<SourceRecord> sources;
  std::deque<FunctionRecord> functions;  // a deque: growing never copies what is there
  std::deque<CallRecord> calls;
  std::vector<EdgeStyle> edgeStyles;  // by call filter; empty attributes without a DOT file
  NameTable names;
  TextStore functionDetails{TextPacking::kCompressed};  // read in function order
  TextStore callDetails{TextPacking::kCompressed};      // read in call order
  /// The calls whose name as written is not their node name (a '.' in a line-mode name), with
  /// that name, in call order.
  std::vector<std::pair<uint32_t, NameId>> writtenNames;
  /// Resolved: each call names its callee definition, its kind and its dispatch expression, and
  /// function names may be file-qualified ("helper@dir/file.c", see PlainName).
  bool resolved = false;

  /// A definition in the last source.
  void AddFunction(std::string_view name, std::string_view header, int32_t filter,
                   int32_t braceLine, int32_t line);
  /// A call of the last function: `writtenName` as it stands before its "(", `callee` its node
  /// name.
  void AddCall(std::string_view writtenName, std::string_view callee, int32_t filter,
               const std::vector<std::string>& callArguments, int32_t line);

  /// A call of a resolved model (see CallDetails), appended to the calls; the resolution that
  /// writes them sets each function's run of calls. `callArguments` may be read from another
  /// model's store.
  void AddResolvedCall(NameId writtenName, NameId callee, const CallDetails& details,
                       const TextList& callArguments);

  std::string_view NameOf(NameId name) const { return names[name]; }
  /// The name as C writes it: a file-qualified node name without its file.
  std::string_view PlainNameOf(NameId name) const {
    const std::string_view text = names[name];
    return resolved ? text.substr(0, text.find(kFileQualifier)) : text;
  }
  /// Between a name and its file in the node name of a static function that has namesakes.
  static constexpr char kFileQualifier = '@';
  /// Its header is valid until the next details are read.
  FunctionDetails DetailsOf(const FunctionRecord& function) const;
  /// Its arguments are valid until the next details are read.
  CallDetails DetailsOf(const CallRecord& call) const;
  /// The indexes of a function's calls.
  CallIndexes CallsOf(const FunctionRecord& function) const {
    return {function.firstCall, function.firstCall + function.callCount};
  }
  /// The argument that a call's edge and call text show (see EdgeStyle::ArgumentOf).
  std::string_view ShownArgumentOf(const CallDetails& details) const;
  /// "bar(ARG)": the called name as written, with the argument its edge style names, if any.
  std::string CallTextOf(size_t call) const;
  /// The DOT edge attributes of a call: its filter's edge style with the argument put in.
  std::string EdgeStyleOf(const CallRecord& call) const;
  /// The same for a call whose details were read already.
  std::string EdgeStyleOf(const CallDetails& details) const;
};

/// The member or variable a dispatch expression calls through: "ops->open", "(*p->f)" and
/// "tab[i]" give "open", "f" and "tab".
std::string_view DispatchMemberOf(std::string_view via);

/// A call from a function of one module into a function of another, as its finder gives it.
struct ModuleCallText {
  int32_t fromModule = -1;  // indexes into ModuleModel::modules
  int32_t toModule = -1;
  std::string_view caller;
  std::string_view callee;
  std::string_view file;  // where the call stands
  int32_t line = 0;       // 1-based
};

/// The same call as the module calls hold it: the names and the file are ids in the names of
/// the ModuleCalls it belongs to (see CallerOf, CalleeOf and FileOf).
struct ModuleCallRecord {
  int32_t fromModule = -1;
  int32_t toModule = -1;
  NameId caller = 0;
  NameId callee = 0;
  NameId file = 0;
  int32_t line = 0;
};

/// The module calls of a run, in the order found. A large tree has hundreds of thousands that
/// share a few hundred thousand names and paths, so each is 24 bytes with the texts interned.
class ModuleCalls {
 public:
  ModuleCalls() = default;
  ModuleCalls(std::initializer_list<ModuleCallText> calls) {
    for (const ModuleCallText& call : calls) Add(call);
  }

  void Add(const ModuleCallText& call) {
    records_.push_back({call.fromModule, call.toModule, names_.Intern(call.caller),
                        names_.Intern(call.callee), names_.Intern(call.file), call.line});
  }
  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const ModuleCallRecord& operator[](size_t i) const { return records_[i]; }
  std::deque<ModuleCallRecord>::const_iterator begin() const { return records_.begin(); }
  std::deque<ModuleCallRecord>::const_iterator end() const { return records_.end(); }
  void clear() { *this = ModuleCalls(); }

  std::string_view CallerOf(const ModuleCallRecord& call) const { return names_[call.caller]; }
  std::string_view CalleeOf(const ModuleCallRecord& call) const { return names_[call.callee]; }
  std::string_view FileOf(const ModuleCallRecord& call) const { return names_[call.file]; }

 private:
  std::deque<ModuleCallRecord> records_;  // a deque grows without copying or a spare half
  NameTable names_;
};

struct ModuleInfo {
  std::string name;
  std::vector<std::string> files;
  PackedStrings definedFunctions;  // in the order found, duplicates kept
};

/// The modules and the calls between them, in the order the module scan found them.
struct ModuleModel {
  std::vector<ModuleInfo> modules;
  ModuleCalls calls;
};

/// What one scan run found.
struct GraphModel {
  CallGraphModel callGraph;
  ModuleModel moduleGraph;
};

}  // namespace quillmap
