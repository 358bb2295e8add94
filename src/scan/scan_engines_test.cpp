// The engines of a scan run: the fast ones by default and the reference ones on request give
// the same log and files; outputs that name an input of the run are not written under either;
// an output file is opened once per run; lines held back reach their files when a run ends in a
// file error.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "dialog/scan_dialog.h"
#include "outputs/buffered_line_writer.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::MemoryWindow;
using testing::ReadFile;
using testing::TempDir;

// Counts the opens of each output file (a temporary file counts for the output it replaces).
class CountingWriter : public BufferedLineWriter {
 public:
  explicit CountingWriter(std::map<std::string, int>& opens) : opens_(opens) {}

 protected:
  int OpenFile(const OutputTarget& target, bool truncate) override {
    const std::string& path = target.writePath;
    const size_t slash = path.rfind('/') + 1;
    const size_t mark = path.find(".quillmap-", slash);
    ++opens_[mark == std::string::npos
                 ? path
                 : path.substr(0, slash) + path.substr(slash + 1, mark - slash - 1)];
    return BufferedLineWriter::OpenFile(target, truncate);
  }

 private:
  std::map<std::string, int>& opens_;
};

const char* const kConfig =
    "[files]\ndot=out/calls.dot\ncsv=out/calls.csv\nfile0=src/a.c\nfile1=src/b.c\n"
    "[calls]\n0=foo,fn\n1=Send,msg,msg\n2=bar\n"
    "[dot]\nnode_cfgfn=[shape=box]\ncall_cfgmsg=[label=$0]\n"
    "[modules]\nlog=out/mod.log\ndot=out/mod.dot\n"
    "mod_0=app\nmod_0_file_0=src/a.c\nmod_1=lib\nmod_1_file_0=src/b.c\nmod_1_file_1=src/c.c\n";

class ScanEnginesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("src/a.c", "int foo(int a)\n{\n  SendMsg(MSG_START, a);\n  bar();\n}\n");
    dir.Write("src/b.c", "int bar(void)\n{\n  foo(1);\n}\n");
    dir.Write("src/c.c", "int baz(void)\n{\n  foo(2);\n}\n");
    mkdir((dir / "out").c_str(), 0700);
  }
  // Runs the configuration; `reference` picks the reference engines.
  std::vector<std::string> Run(const std::string& config, bool reference,
                               std::map<std::string, int>* opens = nullptr) {
    const std::string cfg = dir.Write("scan.cfg", config);
    MemoryWindow window;
    ScanDialog dialog(window);
    if (reference) dialog.UseReferenceEngines();
    if (opens != nullptr) dialog.scanRun().SetLineWriter(std::make_unique<CountingWriter>(*opens));
    window.texts[kPathEdit] = cfg;
    dialog.RunScan();
    errorReported = dialog.lastRun().errorReported;
    return window.entries;
  }
  std::string Output(const std::string& name) const {
    std::string bytes = ReadFile(dir / name);
    // The header's timestamp is the only text that two runs may not share.
    if (bytes.starts_with("// crated on: ")) bytes.erase(0, bytes.find(" with "));
    return bytes;
  }

  TempDir dir;
  bool errorReported = false;
};

TEST_F(ScanEnginesTest, FastAndReferenceEnginesLogAndWriteTheSame) {
  const auto reference = Run(kConfig, true);
  std::map<std::string, std::string> referenceFiles;
  for (const char* name : {"out/calls.dot", "out/calls.csv", "out/mod.dot", "out/mod.log"}) {
    referenceFiles[name] = Output(name);
    std::remove((dir / name).c_str());
  }
  EXPECT_EQ(Run(kConfig, false), reference);
  for (const auto& [name, bytes] : referenceFiles) EXPECT_EQ(Output(name), bytes) << name;
  EXPECT_NE(referenceFiles["out/mod.dot"].find("app_foo -> lib_bar;"), std::string::npos);
}

TEST_F(ScanEnginesTest, EveryOutputFileIsOpenedOncePerRun) {
  std::map<std::string, int> opens;
  Run(kConfig, false, &opens);
  EXPECT_EQ(opens, (std::map<std::string, int>{{dir / "out/calls.dot", 1},
                                               {dir / "out/calls.csv", 1},
                                               {dir / "out/mod.dot", 1},
                                               {dir / "out/mod.log", 1}}));
}

TEST(EngineChoice, NamesAllPartsOrTheListedOnes) {
  EXPECT_EQ(ParseEngineChoice("reference"), (ReferenceParts{true, true, true, true}));
  EXPECT_EQ(ParseEngineChoice("reference-writer"), (ReferenceParts{false, true, false, false}));
  EXPECT_EQ(ParseEngineChoice("reference-modules,reference-reader"),
            (ReferenceParts{true, false, true, false}));
  EXPECT_EQ(ParseEngineChoice("reference-sources,"), (ReferenceParts{false, false, false, true}));
  // Anything else keeps the fast engines: unknown words, near misses, nothing at all.
  for (const char* value :
       {"", "fast", "Reference", "reference-", "reference-writer ", "reference-readers"}) {
    const ReferenceParts parts = ParseEngineChoice(value);
    EXPECT_EQ(parts, ReferenceParts{}) << value;
  }
  EXPECT_EQ(ParseEngineChoice("reference,reference-reader"),
            (ReferenceParts{true, false, false, false}));
}

TEST_F(ScanEnginesTest, TheEnvironmentChoosesTheReferenceEngines) {
  // The reference writer opens the file for every line: a counting writer is not needed to
  // see it, the engines are told apart by what they are.
  setenv(kEngineVariable, "reference", 1);
  MemoryWindow window;
  ScanDialog referenceDialog(window);
  unsetenv(kEngineVariable);
  ScanDialog fastDialog(window);
  const std::string cfg = dir.Write("scan.cfg", kConfig);
  window.texts[kPathEdit] = cfg;
  referenceDialog.RunScan();
  const auto referenceEntries = window.entries;
  fastDialog.RunScan();
  EXPECT_EQ(window.entries, referenceEntries);
}

// The mend: an output that names the configuration or a source of the run would destroy it
// with its first line. It is not written; the run reports it as an output it could not write.
class InputProtectionTest : public ScanEnginesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(InputProtectionTest, OutputsNamingInputsAreNotWrittenButReported) {
  const bool reference = GetParam();
  // The call graph into the configuration (spelt another way), its CSV report into a source of
  // the call graph, the module graph into a module source that no [files] entry names and the
  // module log through a link to a source.
  symlink((dir / "src/a.c").c_str(), (dir / "link.c").c_str());
  std::string config = kConfig;
  const auto replace = [&](const std::string& from, const std::string& to) {
    config.replace(config.find(from), from.size(), to);
  };
  replace("dot=out/calls.dot", "dot=out/../scan.cfg");
  replace("csv=out/calls.csv", "csv=src/b.c");
  replace("dot=out/mod.dot", "dot=src/c.c");
  replace("log=out/mod.log", "log=link.c");
  const std::string a = ReadFile(dir / "src/a.c");
  const std::string b = ReadFile(dir / "src/b.c");
  const std::string c = ReadFile(dir / "src/c.c");

  const auto entries = Run(config, reference);
  EXPECT_EQ(ReadFile(dir / "scan.cfg"), config);
  EXPECT_EQ(ReadFile(dir / "src/a.c"), a);
  EXPECT_EQ(ReadFile(dir / "src/b.c"), b);
  EXPECT_EQ(ReadFile(dir / "src/c.c"), c);
  ASSERT_GE(entries.size(), 5u);
  // In the order of their first lines: the module log, the module graph, the call graph, the
  // CSV report; then the run's summary.
  EXPECT_EQ(std::vector<std::string>(entries.end() - 5, entries.end() - 1),
            (std::vector<std::string>{
                "error writing: " + dir / "link.c", "error writing: " + dir / "src/c.c",
                "error writing: " + dir / "out/../scan.cfg", "error writing: " + dir / "src/b.c"}));
  EXPECT_EQ(entries.back(), "\r\n9 lines, 81 chars, 2 fcts");
  EXPECT_TRUE(errorReported);
}

INSTANTIATE_TEST_SUITE_P(BothEngines, InputProtectionTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Reference" : "Fast"; });

// A writer that removes the configuration when the module graph's DOT file gets its first line,
// so that the call graph scan, which comes next, raises the file error after the module graph
// was written.
class VanishingConfigWriter : public BufferedLineWriter {
 public:
  explicit VanishingConfigWriter(std::string cfg) : cfg_(std::move(cfg)) {}

 protected:
  bool PrepareTarget(const std::string& path, bool keepContents, OutputTarget& target) override {
    if (path.ends_with("/out/mod.dot")) std::remove(cfg_.c_str());
    return BufferedLineWriter::PrepareTarget(path, keepContents, target);
  }

 private:
  std::string cfg_;
};

TEST_F(ScanEnginesTest, LinesHeldBackReachTheirFilesWhenTheRunEndsInAFileError) {
  const std::string cfg = dir.Write("scan.cfg", kConfig);
  MemoryWindow window;
  ScanDialog dialog(window);
  dialog.scanRun().SetLineWriter(std::make_unique<VanishingConfigWriter>(cfg));
  window.texts[kPathEdit] = cfg;
  dialog.OnScanClicked();
  EXPECT_EQ(window.fileErrors.size(), 1u);
  EXPECT_TRUE(ReadFile(dir / "out/mod.dot").ends_with("  lib_baz -> app_foo;\r\n}\r\n"))
      << ReadFile(dir / "out/mod.dot");
  EXPECT_FALSE(ReadFile(dir / "out/mod.log").empty());
}

}  // namespace
}  // namespace quillmap
