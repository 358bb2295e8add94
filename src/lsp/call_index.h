/// The language server's index of the call graph: every definition and every call site by
/// file, with the lookups the requests need (definitions of a name, call sites of a name,
/// the definitions of a file) kept up to date when one file is scanned again.
///
/// A call site carries its kind and, for a call through a function pointer, the dispatch it goes
/// through ("via", such as "ops->open"); a scan without resolution records direct calls only.
/// A whole tree holds millions of calls: a call is 12 bytes and a reference to it 8; names are
/// held once, in a NameTable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/graph_model.h"
#include "model/name_table.h"

namespace quillmap::lsp {

using NameId = int32_t;
inline constexpr NameId kNoName = -1;
/// A byte offset in a file that is not known.
inline constexpr uint32_t kNoOffset = UINT32_MAX;

enum class CallKind : uint8_t { kCallDirect, kCallPointer };
/// The kind as the requests show it ("direct", "pointer").
std::string_view CallKindName(CallKind kind);

/// What one scan found in one file, before it enters the index.
struct ScannedFunction {
  std::string name;
  int32_t line = 0;       // 1-based line of its header
  int32_t braceLine = 0;  // 0-based line of its body's "{"
};
struct ScannedCall {
  std::string callee;
  int32_t function = 0;  // index into ScannedFile::functions
  int32_t line = 0;      // 1-based
  CallKind kind = CallKind::kCallDirect;
  std::string via;  // the dispatch of a call through a pointer
};
struct ScannedFile {
  std::vector<ScannedFunction> functions;
  std::vector<ScannedCall> calls;  // grouped by function, in the order found
};

/// Hands each source of a scanned call graph model that could be opened to `take`, in order,
/// with what was found in it (one file's findings held at a time). The model is used up on the
/// way: its functions and calls, and the details read of them, are let go once handed over, so
/// that the index that `take` fills grows in the room they leave. `names`: where the model's
/// names are read when its name table went to the index already (see CallIndex(NameTable)).
void DrainScannedFiles(CallGraphModel&& model,
                       const std::function<void(const std::string&, const ScannedFile&)>& take,
                       const NameTable* names = nullptr);

/// The name a node of the model is known by in the editor: the last C identifier of the node
/// name (the line mode's nodes may be whole header texts such as "static int foo").
std::string_view SymbolNameOf(std::string_view nodeName);

struct IndexedFunction {
  NameId name = kNoName;
  int32_t line = 0;       // 1-based header line
  int32_t braceLine = 0;  // 0-based
  int32_t lastLine = 0;   // 1-based: its last call or its "{", whichever is later
  uint32_t firstCall = 0;
  uint32_t callCount = 0;
  // Where its header line starts in the text scanned: a request reads the function's part of
  // the file, not the whole file.
  uint32_t offset = kNoOffset;
};
struct IndexedCall {
  NameId callee = kNoName;
  int32_t line = 0;     // 1-based
  NameId via = kNoName;  // a call through a pointer: its dispatch; kNoName for a direct call
  CallKind kind() const { return via == kNoName ? CallKind::kCallDirect : CallKind::kCallPointer; }
};

/// A definition or a call site: its file and its index there.
struct SiteRef {
  int32_t file = 0;
  int32_t index = 0;
  bool operator==(const SiteRef&) const = default;
};

/// The sites of one name, in the order added. Most names have one definition and many have
/// one caller: a list of one is held in place, a longer one on the heap (a list of hundreds of
/// thousands of names costs no heap block per name).
class SiteList {
 public:
  const SiteRef* begin() const { return more_ ? more_->data() : &one_; }
  const SiteRef* end() const { return begin() + size(); }
  size_t size() const { return more_ ? more_->size() : (one_.file >= 0 ? 1 : 0); }
  bool empty() const { return size() == 0; }
  const SiteRef& front() const { return *begin(); }
  void push_back(const SiteRef& site);
  /// Drops the sites in `file`.
  void RemoveFile(int32_t file);

 private:
  SiteRef one_{-1, 0};  // the only site when `more_` is not there; file -1: none
  std::unique_ptr<std::vector<SiteRef>> more_;
};

class CallIndex {
 public:
  CallIndex() = default;
  /// An empty index whose names start as `names`, such as a scanned model's table: the names
  /// are not held twice, and the model's ids of names are the index's.
  explicit CallIndex(NameTable names);
  const NameTable& names() const { return names_; }

  /// Replaces everything known of `path` by what a scan of its text `text` found (an empty
  /// text: where its functions start is not known).
  void ReplaceFile(const std::string& path, const ScannedFile& scanned, std::string_view text = {});
  /// Forgets what is known of `path` (it was deleted).
  void RemoveFile(const std::string& path) { ReplaceFile(path, {}); }

  /// -1 when the name or path was never seen.
  NameId FindName(std::string_view name) const;
  int32_t FindFile(std::string_view path) const;
  std::string_view NameOf(NameId name) const { return names_[static_cast<quillmap::NameId>(name)]; }
  const std::string& PathOf(int32_t file) const { return files_[static_cast<size_t>(file)].path; }
  int32_t fileCount() const { return static_cast<int32_t>(files_.size()); }

  const std::vector<IndexedFunction>& FunctionsIn(int32_t file) const {
    return files_[static_cast<size_t>(file)].functions;
  }
  const std::vector<IndexedCall>& CallsIn(int32_t file) const {
    return files_[static_cast<size_t>(file)].calls;
  }
  const IndexedFunction& Function(SiteRef ref) const {
    return files_[static_cast<size_t>(ref.file)].functions[static_cast<size_t>(ref.index)];
  }
  const IndexedCall& Call(SiteRef ref) const {
    return files_[static_cast<size_t>(ref.file)].calls[static_cast<size_t>(ref.index)];
  }
  /// The index in its file's functions of the function that makes a call.
  int32_t CallerOf(SiteRef call) const;
  /// Where the part of the file that holds a function ends at the latest: where the header of
  /// the next function starts, or kNoOffset (the end of the file).
  uint32_t PartEnd(SiteRef function) const;

  /// The definitions of a name, in file order of first indexing.
  const SiteList& DefinitionsOf(NameId name) const;
  /// The call sites that call a name.
  const SiteList& CallsTo(NameId name) const;
  /// Every name that was ever defined, once, for symbol searches (in no particular order);
  /// DefinitionsOf tells those defined now.
  const std::vector<NameId>& EverDefinedNames() const { return everDefined_; }

  size_t functionCount() const { return functionCount_; }
  size_t callCount() const { return callCount_; }

 private:
  struct FileEntry {
    std::string path;
    std::vector<IndexedFunction> functions;
    std::vector<IndexedCall> calls;
  };
  NameId Intern(std::string_view name);
  int32_t FileOf(const std::string& path);

  NameTable names_;
  std::vector<FileEntry> files_;
  std::unordered_map<std::string, int32_t> fileIds_;
  // By name: names are dense, so a list is found without hashing.
  std::vector<SiteList> definitions_;
  std::vector<SiteList> callers_;
  // Every name that was ever defined, once: a symbol search walks these, not all names.
  std::vector<NameId> everDefined_;
  std::vector<char> wasDefined_;  // by name
  size_t functionCount_ = 0;
  size_t callCount_ = 0;
};

}  // namespace quillmap::lsp
