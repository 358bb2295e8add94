/// gen_tree: writes a deterministic tree of realistic C sources (one subfolder per module) and a
/// scan configuration for it, for timing scans of large projects.
///
///   gen_tree [--lines N] [--modules M] [--seed S] OUT_DIR
///
/// The same arguments always give the same bytes. The sources follow the layout the scanner
/// relies on (a function header line, then "{" in column 0, the body ending at "}" in column 0)
/// and mix in what real projects hold: calls within and between modules, SendMsg/timer/mutex
/// API calls, comments, preprocessor lines, static helpers, names that repeat (init in many
/// files) or contain each other (init/reinit, Read/ReadFrame), some CR LF files, some lines
/// longer than the scanner's 2047-character pieces, and a few functions in styles the scanner
/// does not recognise (brace on the header line, header split over two lines).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// splitmix64: tiny, fast and the same on every platform (the standard distributions are not).
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  /// A number in [0, n).
  int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  /// A number in [lo, hi].
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  bool Percent(int p) { return Below(100) < p; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Below(static_cast<int>(items.size())))];
  }

 private:
  uint64_t state_;
};

const std::vector<std::string> kModuleNames = {
    "os",  "app",    "comm",  "drivers", "net",  "storage", "sensor", "power",
    "ui",  "crypto", "audio", "motor",   "diag", "config",  "boot",   "radio"};
const std::vector<std::string> kVerbs = {
    "Init",  "Reinit", "Start",  "Stop",    "Read",  "ReadAll", "Write", "WriteBlock",
    "Send",  "Get",    "Set",    "Update",  "Process", "Handle", "Check", "Reset",
    "Open",  "Close",  "Poll",   "Flush",   "Parse", "Encode",  "Decode", "Register"};
const std::vector<std::string> kNouns = {
    "",       "Config",  "State",  "Buffer", "Queue",   "Header", "Frame",  "Channel",
    "Event",  "Entry",   "Status", "Counter", "Table",  "Request", "Reply", "Sensor",
    "Block",  "Page",    "Packet", "Slot",    "Window", "Limit"};
const std::vector<std::string> kFileTopics = {
    "core", "io", "state", "proto", "util", "hw", "cache", "task", "table", "events"};
// Static helpers whose names repeat across files and contain each other.
const std::vector<std::string> kSharedHelpers = {"init", "reinit", "crc8", "clamp", "swap16"};
const std::vector<std::string> kTypes = {"void", "int", "uint8_t", "uint16_t", "uint32_t",
                                         "bool", "int32_t", "size_t"};
const std::vector<std::string> kParams = {
    "void", "int id", "uint8_t channel", "const uint8_t *buf, uint16_t len",
    "uint32_t value", "int id, uint32_t flags", "void *ctx", "uint16_t index, int32_t delta"};
const std::vector<std::string> kArgs = {"id", "len", "buf", "value", "0u", "flags", "ctx",
                                        "index", "&state", "NULL", "1u", "delta"};
constexpr int kTimers = 16;

std::string Capitalized(const std::string& s) {
  std::string r = s;
  if (!r.empty() && r[0] >= 'a' && r[0] <= 'z') r[0] = static_cast<char>(r[0] - 'a' + 'A');
  return r;
}

std::string Lower(const std::string& s) {
  std::string r = s;
  for (char& c : r) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return r;
}

std::string Upper(const std::string& s) {
  std::string r = s;
  for (char& c : r) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return r;
}

struct Module {
  std::string name;
  std::string prefix;               // "Comm_"
  std::vector<std::string> api;     // public functions, known before any body is written
  size_t nextApi = 0;               // the next API function to define
  std::vector<std::string> defined; // public functions defined so far
  std::vector<std::string> files;   // paths relative to the output folder
  std::vector<std::string> messages;
};

struct Options {
  long lines = 100000;
  int modules = 8;
  uint64_t seed = 1;
  std::string outDir;
};

// Collects one file's lines and writes them with LF or CR LF line ends.
class SourceFile {
 public:
  void Line(const std::string& text) { lines_.push_back(text); }
  size_t LineCount() const { return lines_.size(); }
  bool Write(const fs::path& path, bool crlf) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines_) out << line << (crlf ? "\r\n" : "\n");
    return static_cast<bool>(out);
  }

 private:
  std::vector<std::string> lines_;
};

class TreeGenerator {
 public:
  explicit TreeGenerator(const Options& options) : options_(options), rng_(options.seed) {}

  bool Run() {
    PlanModules();
    const fs::path root(options_.outDir);
    for (const Module& module : modules_) fs::create_directories(root / module.name);
    fs::create_directories(root / "out");

    if (!WriteModuleHeaders(root)) return false;
    if (!WriteKernelFile(root)) return false;
    // Source files, round robin over the modules, until the line budget is spent.
    std::vector<int> fileCount(modules_.size(), 0);
    size_t m = 0;
    while (totalLines_ < options_.lines) {
      Module& module = modules_[m];
      const std::string topic =
          kFileTopics[static_cast<size_t>(fileCount[m]) % kFileTopics.size()] +
          (fileCount[m] >= static_cast<int>(kFileTopics.size())
               ? std::to_string(fileCount[m] / static_cast<int>(kFileTopics.size()))
               : std::string());
      ++fileCount[m];
      const std::string relative = module.name + "/" + module.name + "_" + topic + ".c";
      if (!WriteSourceFile(root, module, relative)) return false;
      m = (m + 1) % modules_.size();
    }
    return WriteConfiguration(root);
  }

  long totalLines() const { return totalLines_; }
  int fileTotal() const { return fileTotal_; }
  int functionTotal() const { return functionTotal_; }

 private:
  void PlanModules() {
    for (int i = 0; i < options_.modules; ++i) {
      Module module;
      module.name = static_cast<size_t>(i) < kModuleNames.size()
                        ? kModuleNames[static_cast<size_t>(i)]
                        : "mod" + std::to_string(i);
      module.prefix = Capitalized(module.name) + "_";
      // The public API: enough names that the calls between modules spread out; about one
      // public function per 60 lines of the module.
      const long perModule = options_.lines / options_.modules;
      const int apiCount = static_cast<int>(std::max(6L, perModule / 60));
      for (int n = 0; n < apiCount * 4 && static_cast<int>(module.api.size()) < apiCount; ++n) {
        const std::string name = module.prefix + rng_.Pick(kVerbs) + rng_.Pick(kNouns);
        if (usedNames_.insert(name).second) module.api.push_back(name);
      }
      for (int n = 0; n < 4; ++n) {
        module.messages.push_back("MSG_" + Upper(module.name) + "_" + Upper(rng_.Pick(kNouns)) +
                                  std::to_string(n));
      }
      modules_.push_back(module);
    }
  }

  // Return types and parameters are drawn once per name, so that prototypes and definitions
  // agree.
  std::string Signature(const std::string& name) {
    const auto [it, added] = signatures_.emplace(name, std::string());
    if (added) it->second = rng_.Pick(kTypes) + " " + name + "(" + rng_.Pick(kParams) + ")";
    return it->second;
  }

  // The functions behind the message, timer and mutex API that every module calls.
  bool WriteKernelFile(const fs::path& root) {
    Module& os = modules_.front();
    SourceFile f;
    f.Line("/*");
    f.Line(" * " + os.name + "_kernel.c - message queue, software timers and mutexes.");
    f.Line(" */");
    f.Line("#include <string.h>");
    f.Line("#include \"" + os.name + ".h\"");
    f.Line("");
    f.Line("#define QUEUE_LEN 64u");
    f.Line("");
    f.Line("static struct { MsgId id; uint16_t len; uint8_t data[32]; } queue[QUEUE_LEN];");
    f.Line("static volatile uint32_t head, tail, ticks[" + std::to_string(kTimers) + "];");
    f.Line("");
    f.Line("int SendMsg(MsgId id, uint16_t len, const void *data)");
    f.Line("{");
    f.Line("    uint32_t next = (head + 1u) % QUEUE_LEN;");
    f.Line("");
    f.Line("    if (next == tail || len > sizeof(queue[0].data)) {");
    f.Line("        return -1;");
    f.Line("    }");
    f.Line("    queue[head].id = id;");
    f.Line("    queue[head].len = len;");
    f.Line("    memcpy(queue[head].data, data, len);");
    f.Line("    head = next;");
    f.Line("    return 0;");
    f.Line("}");
    f.Line("");
    f.Line("void Timer_Start(int timer, uint32_t periodMs)");
    f.Line("{");
    f.Line("    ticks[timer] = periodMs;");
    f.Line("}");
    f.Line("");
    f.Line("void Timer_Stop(int timer)");
    f.Line("{");
    f.Line("    ticks[timer] = 0u;");
    f.Line("}");
    f.Line("");
    f.Line("void Mutex_Lock(Mutex *m)");
    f.Line("{");
    f.Line("    while (m->owner != 0 && m->depth > 0) {");
    f.Line("        /* spin: single core, the owner runs in an interrupt */");
    f.Line("    }");
    f.Line("    m->owner = 1;");
    f.Line("    m->depth++;");
    f.Line("}");
    f.Line("");
    f.Line("void Mutex_Unlock(Mutex *m)");
    f.Line("{");
    f.Line("    if (--m->depth == 0) {");
    f.Line("        m->owner = 0;");
    f.Line("    }");
    f.Line("}");
    const std::string relative = os.name + "/" + os.name + "_kernel.c";
    if (!Emit(root, relative, f, false)) return false;
    os.files.push_back(relative);
    functionTotal_ += 5;
    return true;
  }

  bool WriteModuleHeaders(const fs::path& root) {
    for (Module& module : modules_) {
      SourceFile h;
      const std::string guard = Upper(module.name) + "_H";
      h.Line("/*");
      h.Line(" * " + module.name + ".h - public interface of the " + module.name + " module.");
      h.Line(" * Generated test input.");
      h.Line(" */");
      h.Line("#ifndef " + guard);
      h.Line("#define " + guard);
      h.Line("");
      h.Line("#include <stdint.h>");
      h.Line("#include <stddef.h>");
      h.Line("#include <stdbool.h>");
      h.Line("");
      if (&module == &modules_.front()) {
        h.Line("typedef enum");
        h.Line("{");
        for (const Module& other : modules_) {
          for (const std::string& msg : other.messages) h.Line("    " + msg + ",");
        }
        h.Line("    MSG_COUNT");
        h.Line("} MsgId;");
        h.Line("");
        h.Line("typedef struct { volatile int owner; volatile int depth; } Mutex;");
        h.Line("");
        h.Line("int SendMsg(MsgId id, uint16_t len, const void *data);");
        h.Line("void Timer_Start(int timer, uint32_t periodMs);");
        h.Line("void Timer_Stop(int timer);");
        h.Line("void Mutex_Lock(Mutex *m);");
        h.Line("void Mutex_Unlock(Mutex *m);");
      }
      h.Line("#define " + Upper(module.name) + "_VERSION 0x0102u");
      for (const std::string& name : module.api) h.Line(Signature(name) + ";");
      h.Line("");
      h.Line("#endif /* " + guard + " */");
      const std::string relative = module.name + "/" + module.name + ".h";
      if (!Emit(root, relative, h, false)) return false;
      module.files.push_back(relative);
    }
    return true;
  }

  bool WriteSourceFile(const fs::path& root, Module& module, const std::string& relative) {
    SourceFile f;
    f.Line("/*");
    f.Line(" * " + fs::path(relative).filename().string() + " - part of the " + module.name +
           " module.");
    f.Line(" *");
    f.Line(" * Generated test input: realistic shapes, no real behaviour.");
    f.Line(" */");
    f.Line("#include <string.h>");
    f.Line("#include \"" + modules_.front().name + ".h\"");
    f.Line("#include \"" + module.name + ".h\"");
    const Module& neighbour = modules_[static_cast<size_t>(rng_.Below(static_cast<int>(modules_.size())))];
    if (&neighbour != &module) f.Line("#include \"../" + neighbour.name + "/" + neighbour.name + ".h\"");
    f.Line("");
    f.Line("#define LOG_DEBUG(...) ((void)0)");
    f.Line("#define ASSERT(x) do { if (!(x)) { for (;;) { } } } while (0)");
    f.Line("");
    f.Line("static Mutex " + module.name + "_lock;");
    f.Line("static uint32_t state;");
    if (rng_.Percent(30)) {
      // A lookup table on one line, longer than the scanner's 2047-character pieces.
      std::string table = "static const uint16_t " + module.name + "_table[] = {";
      for (int n = 0; n < 420; ++n) {
        table += ' ';
        table += std::to_string((n * 7919 + 13) % 65536);
        table += "u,";
      }
      table += " 0u };";
      f.Line(table);
    }
    f.Line("");

    // The module's own functions in this file: static helpers and public API.
    const int functions = rng_.Between(8, 22);
    std::vector<std::string> local;
    for (int n = 0; n < functions && totalLines_ + static_cast<long>(f.LineCount()) < options_.lines;
         ++n) {
      std::string name;
      bool isStatic = false;
      const int kind = rng_.Below(100);
      const auto isLocal = [&](const std::string& candidate) {
        return std::find(local.begin(), local.end(), candidate) != local.end();
      };
      std::string helper;
      if (kind < 12) {
        helper = rng_.Pick(kSharedHelpers);  // repeats across files on purpose
      } else if (kind < 25) {
        // File-local helpers: reinit, read, readall... contain each other's names.
        helper = module.name + "_" + Lower(rng_.Pick(kVerbs)) + std::to_string(rng_.Below(50));
      }
      if (!helper.empty() && !isLocal(helper)) {
        name = helper;
        isStatic = true;
      } else if (kind < 27 && !module.defined.empty()) {
        name = rng_.Pick(module.defined);  // defined a second time (a board variant)
      } else if (module.nextApi < module.api.size()) {
        name = module.api[module.nextApi++];
      } else {
        // The API is defined: more public functions that only the module itself calls.
        name = module.prefix + rng_.Pick(kVerbs) + rng_.Pick(kNouns) + std::to_string(++extraNames_);
      }
      WriteFunction(f, module, name, isStatic, local);
      local.push_back(name);
      if (!isStatic) module.defined.push_back(name);
      ++functionTotal_;
    }
    if (!Emit(root, relative, f, rng_.Percent(20))) return false;
    module.files.push_back(relative);
    return true;
  }

  void WriteFunction(SourceFile& f, const Module& module, const std::string& name, bool isStatic,
                     const std::vector<std::string>& local) {
    f.Line("/**");
    f.Line(" * " + name + ": " + rng_.Pick(kVerbs) + " the " + module.name + " " +
           Upper(rng_.Pick(kNouns)) + " (generated).");
    f.Line(" */");
    const int style = rng_.Below(100);
    const std::string plain = Signature(name);
    const std::string sig = (isStatic ? "static " : "") + plain;
    if (style < 3) {
      f.Line(sig + " {");  // brace on the header line: not recognised by the scanner
    } else if (style < 6) {
      const size_t paren = sig.find('(');
      f.Line(sig.substr(0, paren + 1) + "int first,");  // header split over two lines
      f.Line(std::string(paren + 1, ' ') + "int second)");
      f.Line("{");
    } else {
      f.Line(sig);
      f.Line("{");
    }
    // Body length: short bodies are common, a few are long.
    const int target = rng_.Percent(10) ? rng_.Between(40, 90) : rng_.Between(3, 24);
    f.Line("    int rc = 0;");
    f.Line("    uint32_t flags = state;");
    f.Line("    uint8_t i = 0u;");
    int written = 0;
    while (written < target) written += Statement(f, module, local, 1);
    f.Line(plain.rfind("void ", 0) == 0 ? "    return;" : "    return (rc);");
    f.Line("}");
    f.Line("");
  }

  std::string CallTo(const Module& module, const std::vector<std::string>& local) {
    const int kind = rng_.Below(100);
    std::string callee;
    if (kind < 35 && !local.empty()) {
      callee = rng_.Pick(local);
    } else if (kind < 70) {
      callee = rng_.Pick(module.api);
    } else {
      callee = rng_.Pick(modules_[static_cast<size_t>(rng_.Below(static_cast<int>(modules_.size())))].api);
    }
    std::string args;
    const int argc = rng_.Below(4);
    for (int a = 0; a < argc; ++a) args += (a ? ", " : "") + rng_.Pick(kArgs);
    return callee + "(" + args + ")";
  }

  std::string Message() {
    return rng_.Pick(modules_[static_cast<size_t>(rng_.Below(static_cast<int>(modules_.size())))].messages);
  }

  // Writes one statement at the given depth; returns the number of lines written.
  int Statement(SourceFile& f, const Module& module, const std::vector<std::string>& local,
                int depth) {
    const std::string in(static_cast<size_t>(depth) * 4, ' ');
    const std::string lock = "&" + module.name + "_lock";
    const int kind = rng_.Below(100);
    if (kind < 30) {
      f.Line(in + (rng_.Percent(50) ? "rc = " : "") + CallTo(module, local) + ";");
      return 1;
    }
    if (kind < 40) {
      f.Line(in + "SendMsg(" + Message() + ", " + rng_.Pick(kArgs) + ", " + rng_.Pick(kArgs) +
             ");");
      return 1;
    }
    if (kind < 45) {
      f.Line(in + (rng_.Percent(70) ? "Timer_Start(" : "Timer_Stop(") + "TIMER_" +
             std::to_string(rng_.Below(kTimers)) + (rng_.Percent(70) ? ", 250u" : "") + ");");
      return 1;
    }
    if (kind < 50) {
      f.Line(in + "Mutex_Lock(" + lock + ");");
      f.Line(in + "state = state + 1u;");
      f.Line(in + CallTo(module, local) + ";");
      f.Line(in + "Mutex_Unlock(" + lock + ");");
      return 4;
    }
    if (kind < 60 && depth < 3) {
      f.Line(in + "if (" + CallTo(module, local) + " != 0) {");
      int n = 2 + Statement(f, module, local, depth + 1);
      if (rng_.Percent(40)) {
        f.Line(in + "} else {");
        n += 1 + Statement(f, module, local, depth + 1);
      }
      f.Line(in + "}");
      return n;
    }
    if (kind < 65 && depth < 3) {
      f.Line(in + "for (i = 0u; i < 8u; i++) {");
      const int n = 2 + Statement(f, module, local, depth + 1);
      f.Line(in + "}");
      return n;
    }
    if (kind < 68 && depth < 3) {
      f.Line(in + "switch (rc) {");
      int n = 2;
      const int cases = rng_.Between(2, 4);
      for (int c = 0; c < cases; ++c) {
        f.Line(in + "case " + std::to_string(c) + ":");
        n += 2 + Statement(f, module, local, depth + 1);
        f.Line(in + "    break;");
      }
      f.Line(in + "default:");
      f.Line(in + "    break;");
      f.Line(in + "}");
      return n + 3;
    }
    if (kind < 74) {
      f.Line(in + "// " + rng_.Pick(kVerbs) + " before " + rng_.Pick(module.api) + "() runs");
      return 1;
    }
    if (kind < 77) {
      f.Line(in + "/* The " + rng_.Pick(kNouns) + " may change here; see");
      f.Line(in + " * " + rng_.Pick(module.api) + " (value) for the rules.");
      f.Line(in + " */");
      return 3;
    }
    if (kind < 81) {
      f.Line(in + "rc += " + std::to_string(rng_.Below(100)) + "; // then " + CallTo(module, local));
      return 1;
    }
    if (kind < 84) {
      f.Line("#if defined(" + Upper(module.name) + "_TRACE)");
      f.Line(in + "LOG_DEBUG(\"" + CallTo(module, local) + " rc=%d\\n\", rc);");
      f.Line("#endif");
      return 3;
    }
    if (kind < 86) {
      f.Line(in + "printf(\"%s: " + rng_.Pick(module.api) + "(%u)\\n\", __func__, state);");
      return 1;
    }
    if (kind < 88) {
      f.Line(in + "ASSERT(" + rng_.Pick(kArgs) + " != 0);");
      return 1;
    }
    if (kind < 89) {
      // A line longer than the scanner's 2047-character pieces.
      std::string line = in + "flags = flags";
      while (line.size() < 2600) line += " ^ (state << " + std::to_string(rng_.Below(31)) + ")";
      f.Line(line + ";");
      return 1;
    }
    if (kind < 93) {
      f.Line(in + "flags = (flags << 1) | (uint32_t)(rc & 1);");
      return 1;
    }
    f.Line(in + "state = state ^ flags;");
    return 1;
  }

  bool Emit(const fs::path& root, const std::string& relative, const SourceFile& f, bool crlf) {
    if (!f.Write(root / relative, crlf)) {
      std::cerr << "gen_tree: cannot write " << (root / relative).string() << '\n';
      return false;
    }
    totalLines_ += static_cast<long>(f.LineCount());
    ++fileTotal_;
    return true;
  }

  // Configured paths use '/', every seventh one '\' (the scanner turns it into '/').
  static std::string ConfigPath(const std::string& relative, int n) {
    if (n % 7 != 6) return relative;
    std::string r = relative;
    for (char& c : r) {
      if (c == '/') c = '\\';
    }
    return r;
  }

  bool WriteConfiguration(const fs::path& root) {
    std::ofstream cfg(root / "scan.cfg", std::ios::binary | std::ios::trunc);
    cfg << "; Scan configuration of a generated tree (gen_tree --lines " << options_.lines
        << " --modules " << options_.modules << " --seed " << options_.seed << ").\n"
        << "; Outputs go to out/, which gen_tree created.\n\n";
    cfg << "[files]\ndot=out/callgraph.dot\ncsv=out/report.csv\n";
    int n = 0;
    for (const Module& module : modules_) {
      for (const std::string& file : module.files) {
        cfg << "file" << n << "=" << ConfigPath(file, n) << "\n";
        ++n;
      }
    }
    cfg << "\n[calls]\n";
    int c = 0;
    cfg << c++ << "=SendMsg,msg,msg\n";
    cfg << c++ << "=Timer_,os,tmr\n";
    cfg << c++ << "=Mutex_,lock,lock\n";
    for (size_t i = 0; i < modules_.size(); ++i) {
      cfg << c++ << "=" << modules_[i].prefix << ",m" << i % 4 << ",m" << i % 4 << "\n";
    }
    cfg << c++ << "=init,helper\n";
    cfg << c++ << "=crc8\n";
    cfg << "\n[reject]\n0=LOG_DEBUG\n1=printf\n2=ASSERT\n";
    cfg << "\n[dot]\n"
        << "graph_cfg0=rankdir=LR\n"
        << "graph_cfg1=node [fontname=Helvetica, fontsize=9]\n"
        << "node_cfgmsg=[shape=ellipse, style=filled, fillcolor=orange]\n"
        << "node_cfgos=[shape=box, style=filled, fillcolor=lightgrey]\n"
        << "node_cfglock=[shape=octagon]\n"
        << "node_cfghelper=[shape=note]\n"
        << "node_cfgm0=[shape=box, color=blue]\n"
        << "node_cfgm1=[shape=box, color=darkgreen]\n"
        << "node_cfgm2=[shape=box, color=goldenrod]\n"
        << "node_cfgm3=[shape=box, color=purple]\n"
        << "call_cfgmsg=[label=$0, color=orangered]\n"
        << "call_cfgtmr=[color=darkgreen, style=dashed]\n"
        << "call_cfglock=[color=red, style=dotted]\n"
        << "call_cfgm0=[color=blue]\n"
        << "call_cfgm1=[color=darkgreen]\n"
        << "call_cfgm2=[color=goldenrod]\n"
        << "call_cfgm3=[color=purple]\n"
        << "call_cfg=[style=dashed]\n";
    cfg << "\n[modules]\nlog=out/modules.log\ndot=out/modules.dot\n"
        << "graph_cfg0=rankdir=LR\ngraph_cfg1=node [shape=box, fontsize=9]\n";
    for (size_t i = 0; i < modules_.size() && i < 200; ++i) {
      const Module& module = modules_[i];
      cfg << "mod_" << i << "=" << module.name << "\n";
      cfg << "mod_" << i << "_dot_clu_0=style=filled;\n";
      cfg << "mod_" << i << "_dot_clu_1=fillcolor=" << (i % 2 ? "aliceblue" : "lightyellow")
          << ";\n";
      cfg << "mod_" << i << "_dot_node=style=filled, fillcolor=white\n";
      if (i % 3 != 2) cfg << "mod_" << i << "_dot_call=[color=" << (i % 3 ? "blue" : "gray40") << "]\n";
      int k = 0;
      for (const std::string& file : module.files) {
        cfg << "mod_" << i << "_file_" << k << "=" << ConfigPath(file, k) << "\n";
        ++k;
      }
    }
    if (!cfg) {
      std::cerr << "gen_tree: cannot write " << (root / "scan.cfg").string() << '\n';
      return false;
    }
    return true;
  }

  Options options_;
  Rng rng_;
  std::vector<Module> modules_;
  std::set<std::string> usedNames_;
  std::map<std::string, std::string> signatures_;
  int extraNames_ = 0;
  long totalLines_ = 0;
  int fileTotal_ = 0;
  int functionTotal_ = 0;
};

constexpr const char* kUsage =
    "usage: gen_tree [--lines N] [--modules M] [--seed S] OUT_DIR\n"
    "Writes a deterministic tree of about N lines of C (default 100000) in M modules\n"
    "(default 8, at most 200), one subfolder each, and OUT_DIR/scan.cfg to scan it;\n"
    "the scan writes into OUT_DIR/out/. OUT_DIR must be missing or empty.\n";

bool ParseNumber(const char* text, long long min, long long max, long long& value) {
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || v < min || v > max) return false;
  value = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    long long value = 0;
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if ((arg == "--lines" || arg == "--modules" || arg == "--seed") && i + 1 < argc) {
      const char* text = argv[++i];
      const bool ok = arg == "--lines"     ? ParseNumber(text, 100, 100000000, value)
                      : arg == "--modules" ? ParseNumber(text, 1, 200, value)
                                           : ParseNumber(text, 0, INT64_MAX, value);
      if (!ok) {
        std::cerr << "gen_tree: bad value for " << arg << ": " << text << '\n' << kUsage;
        return 2;
      }
      if (arg == "--lines") options.lines = static_cast<long>(value);
      if (arg == "--modules") options.modules = static_cast<int>(value);
      if (arg == "--seed") options.seed = static_cast<uint64_t>(value);
    } else if (!arg.empty() && arg[0] != '-' && options.outDir.empty()) {
      options.outDir = arg;
    } else {
      std::cerr << "gen_tree: unexpected argument: " << arg << '\n' << kUsage;
      return 2;
    }
  }
  if (options.outDir.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  std::error_code error;
  if (fs::exists(options.outDir, error) && !fs::is_empty(options.outDir, error)) {
    std::cerr << "gen_tree: " << options.outDir << " is not empty\n";
    return 1;
  }
  TreeGenerator generator(options);
  try {
    if (!generator.Run()) return 1;
  } catch (const fs::filesystem_error& e) {
    std::cerr << "gen_tree: " << e.what() << '\n';
    return 1;
  }
  std::cout << "gen_tree: " << generator.fileTotal() << " files, " << generator.totalLines()
            << " lines, " << generator.functionTotal() << " functions in " << options.modules
            << " modules; scan with: quillmap -cfg " << (fs::path(options.outDir) / "scan.cfg").string()
            << '\n';
  return 0;
}
