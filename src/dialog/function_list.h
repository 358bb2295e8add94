/// The dialog's function list, free of any toolkit: every function of the last run, filtered by
/// what the user types, with the texts of its columns, and the function the user chose.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialog/function_filter.h"
#include "model/graph_model.h"
#include "query/function_index.h"

namespace quillmap {

/// The columns of the function list, in their order.
enum class FunctionColumn { kName, kFile, kLine, kModule, kCallers, kCallees };
inline constexpr const char* kFunctionColumnTitles[] = {"function", "file",    "line",
                                                       "module",   "callers", "callees"};

class FunctionList {
 public:
  /// Lists the functions of `model`, which stays until Clear.
  void TakeRun(const GraphModel& model);
  /// Forgets the run (a new one started).
  void Clear();
  bool empty() const { return rows() == 0; }

  /// Filters by `typed` (see FunctionFilter).
  void SetFilter(const std::string& typed);
  /// The rows shown now, and the function of a row (none past the end).
  size_t rows() const { return filter_ ? filter_->matches().size() : 0; }
  std::optional<uint32_t> FunctionAt(size_t row) const;
  /// The text of a row's cell; "" past the end.
  std::string CellText(size_t row, FunctionColumn column) const;

  /// The index of the run's functions; only while the list is not empty of a run.
  const FunctionIndex* index() const { return index_.get(); }
  /// The module a function belongs to ("" for none).
  std::string ModuleOf(uint32_t function) const;

 private:
  const GraphModel* model_ = nullptr;
  std::unique_ptr<FunctionIndex> index_;
  std::unique_ptr<FunctionFilter> filter_;
};

}  // namespace quillmap
