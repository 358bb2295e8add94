// The fast engines against the reference engines on generated trees: the program is run on
// each tree once with QUILLMAP_ENGINE=reference and once with its default (fast) engines, and
// the exit status, stdout, stderr and every file of the tree afterwards must be the same bytes
// (apart from the time in the DOT header lines).
//
// The trees are random C-like sources made of what the scanners treat specially: function
// headers in the styles that are and are not recognised, calls between and within modules, names
// that contain each other (init, reinit) or repeat, comments, preprocessor lines, string
// literals, lines longer than the 2047-byte pieces (some with a brace where a piece starts), CR LF
// and lone CR line ends, NUL bytes; and configurations with several modules (files shared by
// modules, gaps that end the lists), filters with node and edge styles (with "$N" arguments in
// plain, quoted and HTML labels), reject lists, missing sources, outputs that share one file and
// outputs that name an input of the run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

class TreeGenerator {
 public:
  explicit TreeGenerator(uint32_t seed) : random_(seed) {}

  // Writes a tree (sources and "scan.cfg") into `dir`.
  void Write(const TempDir& dir) {
    const int files = 2 + Below(9);
    for (int f = 0; f < files; ++f) {
      sources_.push_back("src/f" + std::to_string(f) + ".c");
      dir.Write(sources_.back(), Source());
    }
    mkdir((dir / "out").c_str(), 0700);
    dir.Write("scan.cfg", Config());
  }

 private:
  int Below(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Below(static_cast<int>(items.size())))];
  }
  std::string Name() { return Pick(names_); }

  std::string LineEnd() {
    if (crlf_) return Chance(97) ? "\r\n" : "\n";
    return Chance(98) ? "\n" : (Chance(50) ? "\r" : "\r\n");
  }

  std::string Header(const std::string& name) {
    const std::string args = Pick<std::string>({"void", "int x", "char *s, int n", ""});
    switch (Below(10)) {
      case 0:
        return "static int " + name + "(" + args + ")";
      case 1:
        return "char *" + name + "(" + args + ")";
      case 2:
        return "int\t" + name + "(" + args + ")";  // a tab: not selected
      case 3:
        return "void " + name + "(" + args + "); /* note */";
      case 4:
        return name + "(" + args + ")";  // no blank before the name
      default:
        return Pick<std::string>({"int ", "void ", "uint8_t "}) + name + "(" + args + ")";
    }
  }

  std::string BodyLine() {
    const std::string call =
        Name() + "(" + Pick<std::string>({"", "a", "a, b", "MSG_X, f(y)", "\"s,t\"", "(c)"}) + ")";
    switch (Below(14)) {
      case 0:
        return "#define M " + call;
      case 1:
        return "// " + call;
      case 2:
        return "  x = 1; // " + call;
      case 3:
        return "  /* " + call + " */";
      case 4:
        return "  printf(\"%d\", " + call + ");";
      case 5:
        return "  LOG_DEBUG(" + call + ");";
      case 6:
        return "  if (x) " + call + "; else " + Name() + "();";
      case 7:
        return std::string(static_cast<size_t>(2040 + Below(12)), ' ') + call + ";";
      case 8:
        return "  " + std::string(1, '\0') + call;
      case 9:
        return std::string(Chance(50) ? "\0" : "x\0", Chance(50) ? 1 : 2) + call;
      case 10:
        return "";
      case 11:
        return "  struct s {";
      default:
        return "  " + call + "; " + (Chance(30) ? Name() + "(b);" : "");
    }
  }

  std::string Source() {
    crlf_ = Chance(20);
    std::string text;
    // A body at the very start: its header is the last line of the file scanned before.
    if (Chance(25)) text += "{" + LineEnd() + BodyLine() + LineEnd() + "}" + LineEnd();
    const int functions = Below(8);
    for (int f = 0; f < functions; ++f) {
      if (Chance(20)) text += "#include \"x.h\"" + LineEnd();
      text += Header(Name());
      switch (Below(12)) {
        case 0:
          text += " {" + LineEnd();  // the brace on the header line: not a body
          break;
        case 1:
          text += LineEnd() + LineEnd() + "{" + LineEnd();  // a blank line before the brace
          break;
        case 2:
          text += LineEnd() + "// comment" + LineEnd() + "{" + LineEnd();
          break;
        case 3:
          text += LineEnd() + " {" + LineEnd();  // an indented brace
          break;
        case 4:  // a brace that begins the second piece of a long line
          text += LineEnd() + std::string(2047, '/') + "{" + LineEnd();
          break;
        default:
          text += LineEnd() + "{" + LineEnd();
          break;
      }
      const int lines = Below(9);
      for (int l = 0; l < lines; ++l) text += BodyLine() + LineEnd();
      if (Chance(10)) text += "}" + LineEnd();  // a struct's end ends the body
      if (Chance(5)) text += std::string(2047, ' ') + "}" + LineEnd();
      text += Pick<std::string>({"}", "}", "}", " }", "};"}) + LineEnd();
    }
    if (Chance(30)) text += Header(Name());  // a header whose brace is in the next file
    return text;
  }

  std::string SourcePath(int index) const { return sources_[static_cast<size_t>(index)]; }

  std::string Config() {
    std::string ini = Chance(10) ? "\xEF\xBB\xBF" : "";
    const std::string end = Chance(20) ? "\r\n" : "\n";
    const auto line = [&](const std::string& text) { ini += text + end; };
    const int files = static_cast<int>(sources_.size());

    // Outputs: usually their own files; sometimes two share one, or one names an input.
    std::vector<std::string> outputs{"out/calls.dot", "out/calls.csv", "out/mod.dot",
                                     "out/mod.log"};
    if (Chance(15)) outputs[Below(4)] = outputs[Below(4)];
    if (Chance(10)) outputs[Below(4)] = Chance(50) ? "scan.cfg" : SourcePath(Below(files));
    if (Chance(5)) outputs[Below(4)] = "missing/out.txt";

    line("[files]");
    if (Chance(85)) line("dot=" + outputs[0]);
    if (Chance(85)) line("csv=" + outputs[1]);
    const int listed = Below(files + 1);
    for (int n = 0; n < listed; ++n) {
      line("file" + std::to_string(n) + "=" +
           (Chance(5) ? "src/missing.c" : SourcePath(Below(files))));
    }
    if (Chance(20)) line("file" + std::to_string(listed + 1) + "=" + SourcePath(0));  // after a gap

    line("[calls]");
    const int filters = 1 + Below(6);
    for (int n = 0; n < filters; ++n) {
      std::string filter = Pick(patterns_);
      if (Chance(70)) filter += "," + Pick<std::string>({"fn", "msg", "", "none"});
      if (Chance(60)) filter += "," + Pick<std::string>({"msg", "arg", "html", "", "none"});
      line(std::to_string(n) + "=" + filter);
    }
    if (Chance(50)) {
      line("[reject]");
      const int rejects = 1 + Below(3);
      for (int n = 0; n < rejects; ++n) {
        line(std::to_string(n) + "=" +
             Pick<std::string>({"LOG_DEBUG", "printf", "s,t", "else", "x = 1"}));
      }
    }
    line("[dot]");
    line("graph_cfg0=rankdir=LR");
    if (Chance(50)) line("graph_cfg1=node [fontsize=9]");
    line("node_cfgfn=[shape=box]");
    line("node_cfgmsg=[shape=ellipse]");
    line("call_cfgmsg=[label=$0]");
    line("call_cfgarg=[label=\"$1\", color=red]");
    line("call_cfghtml=[label=<$0<br/>$12>]");
    if (Chance(50)) line("call_cfg=[style=dashed]");

    line("[modules]");
    line("log=" + outputs[3]);
    if (Chance(90)) line("dot=" + outputs[2]);
    if (Chance(50)) line("graph_cfg0=rankdir=LR");
    const int modules = 1 + Below(6);
    for (int m = 0; m < modules; ++m) {
      const std::string key = "mod_" + std::to_string(m);
      if (Chance(4)) continue;  // a gap ends the module list
      line(key + "=" + Pick<std::string>({"app", "lib", "os", "net", "io", "app"}) +
           std::to_string(m));
      if (Chance(40)) line(key + "_dot_clu_0=color=blue;");
      if (Chance(40)) line(key + "_dot_node=shape=box");
      if (Chance(50)) line(key + "_dot_call=[color=red]");
      const int count = Below(4);  // a module without files also ends the list
      for (int n = 0; n < count; ++n) {
        line(key + "_file_" + std::to_string(n) + "=" +
             (Chance(5) ? "src/missing.c" : SourcePath(Below(files))));
      }
    }
    return ini;
  }

  std::mt19937 random_;
  bool crlf_ = false;
  std::vector<std::string> sources_;
  const std::vector<std::string> names_{"init", "reinit", "Init",    "SendMsg",    "Send",
                                        "foo",  "foo2",   "bar",     "get",        "get_all",
                                        "a",    "it",     "obj.get", "mutex_lock", "lock"};
  const std::vector<std::string> patterns_{"init", "Send", "foo", "bar", "get", "it",
                                           "lock", ".get", "(",   "Msg", "x"};
};

// Every file under `dir`, by its path inside it, with the DOT header times made equal.
std::map<std::string, std::string> TreeFiles(const TempDir& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    if (!entry.is_regular_file()) continue;
    const std::string path = entry.path().string();
    files[path.substr(dir.path().size())] =
        testing::WithoutDotTimes(testing::ReadFile(path));
  }
  return files;
}

struct TreeRun {
  testing::ProgramResult result;
  std::map<std::string, std::string> files;
};

TreeRun RunOnTree(uint32_t seed, bool reference) {
  TempDir dir;
  TreeGenerator(seed).Write(dir);
  if (reference) setenv("QUILLMAP_ENGINE", "reference", 1);
  TreeRun run{testing::RunQuillmap({"-cfg", "scan.cfg"}, dir.path()), {}};
  unsetenv("QUILLMAP_ENGINE");
  // The folder's name differs between the two runs; the paths in the log name it.
  for (std::string* text : {&run.result.out, &run.result.err}) {
    for (size_t at = 0; (at = text->find(dir.path(), at)) != std::string::npos;) {
      text->replace(at, dir.path().size(), "<dir>/");
    }
  }
  run.files = TreeFiles(dir);
  for (auto& [name, bytes] : run.files) {
    for (size_t at = 0; (at = bytes.find(dir.path(), at)) != std::string::npos;) {
      bytes.replace(at, dir.path().size(), "<dir>/");
    }
  }
  return run;
}

// The 80 trees in four groups of 20 seeds, so that the groups run side by side.
constexpr uint32_t kSeedsPerGroup = 20;

class EngineDifferential : public ::testing::TestWithParam<uint32_t> {};

TEST_P(EngineDifferential, FastAndReferenceEnginesWriteTheSameBytesOnGeneratedTrees) {
  uint32_t failedRuns = 0;
  const uint32_t first = GetParam() * kSeedsPerGroup + 1;
  for (uint32_t seed = first; seed < first + kSeedsPerGroup; ++seed) {
    SCOPED_TRACE("tree seed " + std::to_string(seed));
    const TreeRun reference = RunOnTree(seed, true);
    const TreeRun fast = RunOnTree(seed, false);
    EXPECT_EQ(fast.result.status, reference.result.status);
    EXPECT_EQ(fast.result.out, reference.result.out);
    EXPECT_EQ(fast.result.err, reference.result.err);
    EXPECT_EQ(fast.files, reference.files);
    if (reference.result.status != 0) ++failedRuns;
  }
  // The trees reach the error paths, but not only them.
  EXPECT_GT(failedRuns, 0u);
  EXPECT_LT(failedRuns, kSeedsPerGroup);
}

INSTANTIATE_TEST_SUITE_P(SeedGroups, EngineDifferential, ::testing::Range(0u, 4u));

}  // namespace
}  // namespace quillmap
