/// Test fixture of the module graph tests: a configuration folder on disk, the real profile
/// reader, an in-memory line writer and a recorded activity log around one module table.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/profile_reader.h"
#include "modgraph/module_table.h"
#include "outputs/line_writer.h"
#include "context/scan_context.h"
#include "support/test_support.h"

namespace quillmap::testing {

/// Keeps every output file's bytes in memory; paths in `unwritable` fail.
class MemoryLineWriter : public LineWriter {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> unwritable;

  /// The lines of an output file, without their CR LF.
  std::vector<std::string> Lines(const std::string& path) const {
    const auto it = files.find(path);
    return it == files.end() ? std::vector<std::string>() : CrLfLines(it->second);
  }

 protected:
  bool PrepareTarget(const std::string& path, bool, OutputTarget& target) override {
    target = OutputTarget{};
    target.writePath = path;
    return true;
  }
  bool WriteLineTo(Output& output, std::string_view text, bool truncate) override {
    const std::string& path = *output.path;
    if (unwritable.count(path) != 0) return false;
    std::string& contents = files[path];
    if (truncate) contents.clear();
    contents += OnDiskLine(text);
    return true;
  }
};

class RecordingLog : public ActivityLog {
 public:
  void AppendLog(const std::string& text, bool replace) override {
    if (replace) entries.clear();
    if (!replace || !text.empty()) entries.push_back(text);
  }
  std::vector<std::string> entries;
};

/// The 59 asterisks, spelled out so that a changed constant shows.
inline const std::string kStars = std::string(59, '*');

class ModuleGraphTest : public ::testing::Test {
 protected:
  /// Writes the configuration "scan.cfg" with the given section "modules" body.
  std::string WriteConfig(const std::string& modulesBody) {
    cfgPath = dir.Write("scan.cfg", "[modules]\n" + modulesBody);
    return cfgPath;
  }
  std::string Path(const std::string& name) const { return dir / name; }

  int Read() {
    settings = ReadScanSettings(profile, cfgPath);
    return ReadModuleConfig(context, *table, cfgPath);
  }
  std::vector<std::string> LogLines() const { return writer.Lines(table->moduleLogPath); }
  std::vector<std::string> DotLines() const { return writer.Lines(table->moduleDotPath); }

  TempDir dir;
  std::string cfgPath;
  RereadingProfileReader profile;
  ScanSettings settings;
  MemoryLineWriter writer;
  RecordingLog log;
  ScanContext context{settings, writer, log};
  std::unique_ptr<ModuleTable> table = std::make_unique<ModuleTable>();
};

}  // namespace quillmap::testing
