/// The inter-module call scan: finds the functions that each module's files define (pass 1) and
/// the calls from one module's functions into another module's functions (pass 2), by plain
/// line-oriented text matching, and records both in the module table and the module log.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "modgraph/module_table.h"
#include "context/scan_context.h"

namespace quillmap {

// The texts that the scan writes to the module log and the activity log.
inline constexpr const char* kScanningCallsFrom = "scanning calls from ";
inline constexpr const char* kActivityTargets = " to:";
inline constexpr const char* kFirstTargetSeparator = " ";
inline constexpr const char* kNextTargetSeparator = " ,";
inline constexpr const char* kSignatureLine = " ";
inline constexpr const char* kTargetLine = " to:";
inline constexpr const char* kFileLine = " in:";
inline constexpr const char* kBodyStartLine = " -> ";
inline constexpr const char* kCallLine = "  - ";
inline constexpr const char* kBodyEndLine = " <-";

/// The text of a piece as a C line buffer holds it: it ends at the first NUL byte, so a piece
/// that begins with one is a line of length 0.
std::string_view LineText(const std::string& piece);

/// A line read as the header of a function definition.
struct FunctionHeader {
  std::string signature;  // the trimmed line up to and including its first ")"
  std::string name;       // the text between the first blank and the first "(", trimmed
};

/// Reads `line` as a function header: after trimming, its first blank must stand after the first
/// character, its first "(" after that blank and its first ")" after that "(", and the name
/// between blank and "(" must not be empty. Returns false (leaving `header` as it was) otherwise.
bool ParseFunctionHeader(std::string_view line, FunctionHeader& header);

/// The module stage's progress, counted in the files of the valid modules over both passes (each
/// file once a pass), so that the host's gauge moves with the files read and a stop is taken at
/// every file rather than between modules.
class ModuleProgress {
 public:
  /// `pass` is 0 (the functions) or 1 (the calls).
  ModuleProgress(ScanContext& context, const ModuleTable& table, int pass);
  /// The pass reaches its next `files` files; true when the run is to stop.
  bool NextFiles(size_t files = 1);

 private:
  ScanContext& context_;
  size_t done_ = 0;
  size_t total_ = 0;
};

/// The two passes as one exchangeable engine. Every engine leaves the same table contents and
/// writes the same module log lines and activity log entries.
class ModuleScanEngine {
 public:
  virtual ~ModuleScanEngine() = default;
  /// Pass 1: empties `definedFunctions` and `linkedFunctions` of records 0 to moduleCount - 1
  /// and fills `definedFunctions` of the valid ones. Returns the number of valid modules.
  virtual int CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) = 0;
  /// Pass 2: fills `edgeLines` with their `calls` and the valid records' `linkedFunctions`.
  virtual void ScanAllModuleCalls(ScanContext& context, ModuleTable& table) = 0;
};

/// The straightforward engine: every module's files are read once in pass 1 and once more for
/// every other module in pass 2, and each body line is searched for every function name of the
/// other module. It stays as the reference that faster engines are compared with.
class RereadingModuleScan : public ModuleScanEngine {
 public:
  int CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) override;
  void ScanAllModuleCalls(ScanContext& context, ModuleTable& table) override;
};

// The steps of the straightforward engine.

/// Pass 1 as described at ModuleScanEngine. A source file that cannot be opened is reported once
/// per path as "error opening: %s" in the activity log, one whose reading fails as "error
/// reading: %s" in the activity log and the module log; either counts as an error of the run.
int CollectAllModuleFunctions(ScanContext& context, ModuleTable& table);
/// How reading a module source went.
enum class SourceReading { kRead, kNotOpened, kFailed };
/// Appends to `functions` the name of every function defined in the file at `path`, logging each
/// signature. kFailed: reading stopped at an I/O error (the lines before it count).
SourceReading CollectModuleFunctions(ScanContext& context, const ModuleTable& table,
                                     const std::string& path, PackedStrings& functions);
/// Reports a module source whose reading failed, once per path and run (`reported` holds the
/// paths reported so far): "error reading: %s" in the activity log and the module log, and an
/// error of the run.
void ReportModuleReadFailure(ScanContext& context, const ModuleTable& table,
                             const std::string& path, std::unordered_set<std::string>& reported);
/// Pass 2: scans every valid module against all other valid modules.
void ScanAllModuleCalls(ScanContext& context, ModuleTable& table);
/// Scans `from` against each of `others` in order, then reports the module in the activity log.
/// `edgeLines` are the lines of the table's calls, which it extends with theirs.
void ScanCallsFromModule(ScanContext& context, ModuleTable& table, ModuleRecord& from,
                         const std::vector<ModuleRecord*>& others, StringList& edgeLines);
/// Scans the function bodies in `from`'s files for the names of `into`'s functions.
void ScanCallsInto(ScanContext& context, ModuleTable& table, ModuleRecord& from, ModuleRecord& into,
                   StringList& edgeLines);

}  // namespace quillmap
