/// What one C source says about where function pointers come from and where they are called:
/// the linkage and parameters of its definitions, its struct definitions with their members in
/// order, its typedefs, and, read from the initialisers, assignments, arguments and calls of the
/// file, the flows of function names into slots (struct members, variables, parameters) and the
/// dispatch sites that call through a slot. Nothing here knows other files: a struct's members or
/// a member's type may stand in a file read later, so the slots are paths that the resolver walks
/// when every file is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "resolve/macro_table.h"

namespace quillmap {

/// A place that can hold a function: a struct member reached from a typed base, a variable of a
/// function, a parameter (by the function's name and position), a file-scope variable, or a
/// function name (a flow's source only).
struct CSlot {
  enum class Kind : uint8_t { kNone, kMember, kLocal, kParameter, kGlobal, kName };
  Kind kind = Kind::kNone;
  std::string type;                  // kMember: the base's struct or typedef name ("" unknown)
  std::vector<std::string> members;  // kMember: member names from the base, "#k" by position
  std::string name;  // kLocal, kGlobal, kName: the identifier; kParameter: the function's name
  int32_t index = 0;  // kParameter: the position; kLocal: the function within its file

  bool valid() const { return kind != Kind::kNone; }
};

/// A value flows from `from` into `to` (an initialiser, an assignment, an argument).
struct CFlow {
  CSlot to;
  CSlot from;
};

/// A call through a slot inside a function's body.
struct CDispatch {
  int32_t function = 0;  // index into CFileFacts::functions
  size_t offset = 0;     // of the last identifier of the called expression
  size_t open = 0;       // of the "(" of the arguments
  int line = 0;
  int arguments = 0;
  bool named = false;  // the identifier is followed by "(" (the scanner reports it as a call)
  std::string via;     // the called expression as written, white space dropped ("ops->open")
  CSlot slot;
  /// The arguments that may be functions, by position: they flow into the parameters of the
  /// functions the dispatch binds to.
  std::vector<std::pair<int32_t, CSlot>> passed;
};

/// A use of a macro inside a body and the functions its expansion calls.
struct CMacroUse {
  int32_t function = 0;  // index into CFileFacts::functions
  size_t offset = 0;     // of the macro's name
  int line = 0;
  bool named = false;  // "(" follows the name: the scanner reports the use as a call
  std::string macro;  // "": a call the scanner took for a declaration ("AS_TEXT text_dup(v)")
  std::vector<std::string> callees;  // in the order of the expansion
};

/// A member of a struct, in the order of its definition.
struct CMember {
  std::string name;
  std::string type;  // its struct or typedef name, "" for a plain type
  bool array = false;
};

struct CStruct {
  std::string name;  // the tag, or the typedef name of an untagged struct
  std::vector<CMember> members;
};

/// A function definition as the scanner delimits it.
struct CDefinitionRange {
  size_t nameOffset = 0;
  size_t headerStart = 0;
  size_t bodyStart = 0;  // the "{"
  size_t bodyEnd = 0;    // just after the "}"
};

struct CDefinitionFacts {
  bool isStatic = false;
  int parameters = 0;  // -1 when the list cannot be read ("...", K&R)
  /// With a macro table: the name a macro in the name's place makes ("IMPL(copy)" ->
  /// "fast_copy"), "" where the name stands as written.
  std::string name;
};

struct CFileFacts {
  std::vector<CDefinitionFacts> functions;  // as the ranges given
  std::vector<CStruct> structs;
  std::vector<std::pair<std::string, std::string>> typedefs;  // alias, struct or typedef name
  std::vector<CFlow> flows;
  std::vector<CDispatch> dispatches;  // in text order
  std::vector<CMacroUse> macroUses;   // in text order; with a macro table only
  /// Ranges of the text that the build's names decide are not compiled (see
  /// SourceMacros::dead); with a macro table only. Nothing in them is read.
  std::vector<std::pair<size_t, size_t>> dead;
};

/// Reads the facts of one source whose definitions the scanner found at `ranges` (in text
/// order). Linear in the text; malformed code yields fewer facts, never a failure. With
/// `headers`, the uses of macros (the file's own and those of `headers`) are expanded into
/// macroUses.
/// `defines` are the names the source's own build defines beyond the headers' (see SourceMacros).
void ReadCFileFacts(std::string_view text, const std::vector<CDefinitionRange>& ranges,
                    CFileFacts& facts, const MacroTable* headers = nullptr,
                    const std::vector<MacroNameRule>* nameRules = nullptr,
                    const std::vector<std::string>* defines = nullptr);

}  // namespace quillmap
