/// modgraph_bench: times the module graph (reading the section "modules", both passes of the
/// inter-module call scan and the output) on a generated module tree or on a given configuration.
///
///   modgraph_bench [--modules M] [--files F] [--functions K] [--body L] [--runs R] [--keep DIR]
///   modgraph_bench --cfg FILE [--runs R]
///
/// The generated tree is the same for the same arguments: M modules of F files, each file with
/// K functions of L body lines; about a third of the body lines call a function of another
/// module, another third one of the same module. Function names have a fixed width, so no name
/// is part of another and every match is a real call. Without --keep the tree goes to a
/// temporary folder that is removed afterwards. The scan runs in-process with the real
/// configuration reader and line writer (one open, write and close per output line).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "outputs/line_writer.h"
#include "files/paths.h"
#include "config/profile_reader.h"
#include "config/scan_settings.h"
#include "context/scan_context.h"
#include "modgraph/module_graph_output.h"
#include "modgraph/module_scan.h"
#include "modgraph/module_table.h"

namespace {

namespace fs = std::filesystem;
using quillmap::ModuleTable;

struct TreeShape {
  int modules = 20;
  int files = 5;
  int functions = 10;
  int body = 8;
};

// splitmix64: the same sequence on every platform.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  int Below(int n) {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<int>(z % static_cast<uint64_t>(n));
  }

 private:
  uint64_t state_;
};

std::string Padded(int number, int width) {
  std::string text = std::to_string(number);
  return std::string(std::max(0, width - static_cast<int>(text.size())), '0') + text;
}

std::string FunctionName(int module, int file, int function) {
  return "mod" + Padded(module, 3) + "_f" + Padded(file, 3) + "_fn" + Padded(function, 3);
}

// Writes the tree and its configuration "modules.cfg" into `dir`; returns the number of lines.
long WriteTree(const fs::path& dir, const TreeShape& shape) {
  Rng rng(42);
  long lines = 0;
  fs::create_directories(dir / "out");
  std::ofstream cfg(dir / "modules.cfg", std::ios::binary);
  cfg << "[modules]\nlog=out/modules.log\ndot=out/modules.dot\ngraph_cfg0=rankdir=LR\n";
  for (int m = 0; m < shape.modules; ++m) {
    const std::string module = "mod" + Padded(m, 3);
    fs::create_directories(dir / module);
    cfg << "mod_" << m << "=" << module << "\n";
    cfg << "mod_" << m << "_dot_clu_0=style=filled;\n";
    cfg << "mod_" << m << "_dot_node=shape=box\n";
    cfg << "mod_" << m << "_dot_call=[color=blue]\n";
    for (int f = 0; f < shape.files; ++f) {
      const std::string name = module + "/file" + Padded(f, 3) + ".c";
      cfg << "mod_" << m << "_file_" << f << "=" << name << "\n";
      std::ofstream source(dir / name, std::ios::binary);
      source << "/* " << name << " */\n#include \"" << module << ".h\"\n\n";
      lines += 3;
      for (int k = 0; k < shape.functions; ++k) {
        source << "int " << FunctionName(m, f, k) << "(int x)\n{\n";
        for (int l = 0; l < shape.body; ++l) {
          const int kind = rng.Below(3);
          const int target = kind == 0 && shape.modules > 1
                                 ? (m + 1 + rng.Below(shape.modules - 1)) % shape.modules
                                 : m;
          if (kind == 2) {
            source << "    x = x * " << l + 2 << " + 1;\n";
          } else {
            source << "    x += "
                   << FunctionName(target, rng.Below(shape.files), rng.Below(shape.functions))
                   << "(x);\n";
          }
        }
        source << "    return x;\n}\n\n";
        lines += shape.body + 5;
      }
    }
  }
  return lines;
}

class DiscardingLog : public quillmap::ActivityLog {
 public:
  void AppendLog(const std::string&, bool) override {}
};

struct RunResult {
  double seconds = 0;
  int modules = 0;
  size_t functions = 0;
  size_t edges = 0;
};

RunResult TimeModuleGraph(const std::string& cfgPath) {
  quillmap::RereadingProfileReader profile;
  quillmap::PerLineWriter writer;
  DiscardingLog log;
  const quillmap::ScanSettings settings = quillmap::ReadScanSettings(profile, cfgPath);
  quillmap::ScanContext context(settings, writer, log);
  auto table = std::make_unique<ModuleTable>();
  quillmap::RereadingModuleScan engine;

  const auto start = std::chrono::steady_clock::now();
  RunResult result;
  if (quillmap::ReadModuleConfig(context, *table, cfgPath) != 0) {
    result.modules = quillmap::WriteModuleGraph(context, *table, engine);
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (int k = 0; k < table->moduleCount; ++k) {
    result.functions += table->modules[k].definedFunctions.size();
  }
  result.edges = table->calls.size();
  for (const std::string& failed : writer.FailedPaths()) {
    std::cerr << "error writing: " << failed << "\n";
  }
  return result;
}

int Usage() {
  std::cerr << "usage: modgraph_bench [--modules M] [--files F] [--functions K] [--body L]"
               " [--runs R] [--keep DIR]\n       modgraph_bench --cfg FILE [--runs R]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  TreeShape shape;
  int runs = 3;
  std::string cfgPath;
  std::string keepDir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--modules") {
      shape.modules = std::clamp(std::atoi(value.c_str()), 1, quillmap::kMaxModules);
    } else if (arg == "--files") {
      shape.files = std::max(1, std::atoi(value.c_str()));
    } else if (arg == "--functions") {
      shape.functions = std::max(1, std::atoi(value.c_str()));
    } else if (arg == "--body") {
      shape.body = std::max(0, std::atoi(value.c_str()));
    } else if (arg == "--runs") {
      runs = std::max(1, std::atoi(value.c_str()));
    } else if (arg == "--cfg") {
      cfgPath = value;
    } else if (arg == "--keep") {
      keepDir = value;
    } else {
      return Usage();
    }
  }
  quillmap::SetWorkPath(quillmap::CurrentDirectoryPath());

  fs::path tempDir;
  if (cfgPath.empty()) {
    fs::path dir = keepDir;
    if (dir.empty()) {
      std::string pattern = (fs::temp_directory_path() / "modgraph-bench-XXXXXX").string();
      if (mkdtemp(pattern.data()) == nullptr) return 1;
      dir = tempDir = pattern;
    }
    const long lines = WriteTree(dir, shape);
    cfgPath = fs::absolute(dir / "modules.cfg").string();
    std::cout << "tree: " << shape.modules << " modules, " << shape.modules * shape.files
              << " files, " << shape.modules * shape.files * shape.functions << " functions, "
              << lines << " lines\n";
  } else {
    cfgPath = fs::absolute(cfgPath).string();
    std::cout << "configuration: " << cfgPath << "\n";
  }

  std::vector<double> times;
  RunResult last;
  for (int r = 0; r < runs; ++r) {
    last = TimeModuleGraph(cfgPath);
    times.push_back(last.seconds);
    std::printf("run %d: %.4f s\n", r + 1, last.seconds);
  }
  std::sort(times.begin(), times.end());
  std::printf(
      "module graph (reference engine): %d modules, %zu functions, %zu edges; "
      "min %.4f s, median %.4f s over %d runs\n",
      last.modules, last.functions, last.edges, times.front(), times[times.size() / 2], runs);
  if (!tempDir.empty()) fs::remove_all(tempDir);
  return 0;
}
