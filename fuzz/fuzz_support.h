/// What the fuzz harnesses share: splitting an input into parts, a scratch folder for the files
/// of a run, an in-memory window and line writer, and the check that stops a run with a report.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/window_system.h"
#include "outputs/line_writer.h"

namespace quillmap::fuzz {

/// The line that separates the parts of a harness input ("%%" alone on a line).
inline constexpr std::string_view kPartSeparator = "\n%%\n";

/// `input` cut at every kPartSeparator (at least one part, possibly empty).
std::vector<std::string> SplitParts(std::string_view input);
/// `text` cut at every line feed; a final empty piece after a last line feed is dropped.
std::vector<std::string> SplitLines(std::string_view text);

/// Prints the failed property with the detail and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* property, const std::string& detail);
#define FUZZ_CHECK(condition, detail)                               \
  do {                                                              \
    if (!(condition)) ::quillmap::fuzz::Fail(#condition, (detail)); \
  } while (false)

/// A folder of this process under /dev/shm (or $TMPDIR, or /tmp), removed at exit.
class ScratchDir {
 public:
  /// The one folder of the process.
  static ScratchDir& Get();
  /// The folder's path, ending in "/".
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }
  /// Writes `contents` to `name` in the folder and returns the path.
  std::string Write(const std::string& name, std::string_view contents) const;
  /// Removes `name` when it exists.
  void Remove(const std::string& name) const;

 private:
  ScratchDir();
  std::string path_;
};

/// The whole file, or "" when it cannot be read; `exists` tells the two apart.
std::string ReadFileBytes(const std::string& path, bool* exists = nullptr);

/// The window system of a run without a screen: the controls in memory, every log entry kept.
class FuzzWindow : public WindowSystem {
 public:
  FuzzWindow();
  bool HasItem(int id) const override { return texts_.count(id) != 0; }
  std::string GetItemText(int id) const override;
  bool SetItemText(int id, const std::string& text) override;
  /// The log's text is not kept (the entries are), so that long runs stay linear.
  bool AppendItemText(int id, const std::string& text) override;
  bool IsItemTextEmpty(int id) const override;
  void EnableItem(int, bool) override {}
  void SetTitle(const std::string&) override {}
  void ShowFileError(const FileError& error) override { fileErrors.push_back(error.what()); }
  void ShowMessage(const std::string&) override {}
  void RequestClose() override {}
  void OnLogEntry(const std::string& text, bool replace) override;

  std::vector<std::string> entries;
  std::vector<std::string> fileErrors;

 private:
  std::map<int, std::string> texts_;
  bool logEmpty_ = true;
};

/// Keeps each output file's bytes in memory, as a stream would take them.
class MemoryLineWriter : public LineWriter {
 public:
  std::map<std::string, std::string> files;

 protected:
  bool PrepareTarget(const std::string& path, bool keepContents, OutputTarget& target) override;
  bool WriteLineTo(Output& output, std::string_view text, bool truncate) override;
};

/// A DOT file's verdict: "" when the syntax check accepts it and it ends in "}" and CR LF,
/// otherwise what is wrong, with the file.
std::string DotFileProblem(const std::string& contents);

}  // namespace quillmap::fuzz
