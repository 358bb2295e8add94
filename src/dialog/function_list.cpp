#include "dialog/function_list.h"

namespace quillmap {

void FunctionList::TakeRun(const GraphModel& model) {
  Clear();
  model_ = &model;
  index_ = std::make_unique<FunctionIndex>(model.callGraph);
  filter_ = std::make_unique<FunctionFilter>(*index_);
}

void FunctionList::Clear() {
  filter_.reset();
  index_.reset();
  model_ = nullptr;
}

void FunctionList::SetFilter(const std::string& typed) {
  if (filter_) filter_->SetText(typed);
}

std::optional<uint32_t> FunctionList::FunctionAt(size_t row) const {
  if (row >= rows()) return std::nullopt;
  return filter_->matches()[row];
}

std::string FunctionList::ModuleOf(uint32_t function) const {
  const int32_t module = model_->callGraph.functions[function].module;
  const std::vector<ModuleInfo>& modules = model_->moduleGraph.modules;
  if (module < 0 || static_cast<size_t>(module) >= modules.size()) return {};
  return modules[module].name;
}

std::string FunctionList::CellText(size_t row, FunctionColumn column) const {
  const std::optional<uint32_t> function = FunctionAt(row);
  if (!function) return {};
  switch (column) {
    case FunctionColumn::kName:
      return std::string(index_->NameOf(*function));
    case FunctionColumn::kFile:
      return std::string(index_->FileOf(*function));
    case FunctionColumn::kLine:
      return std::to_string(index_->LineOf(*function));
    case FunctionColumn::kModule:
      return ModuleOf(*function);
    case FunctionColumn::kCallers:
      return std::to_string(index_->CallerCount(*function));
    case FunctionColumn::kCallees:
      return std::to_string(index_->CalleeCount(*function));
  }
  return {};
}

}  // namespace quillmap
