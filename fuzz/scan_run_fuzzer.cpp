// A whole scan run, as the batch mode runs it, on a configuration and sources taken from the
// input: both DOT files must pass the DOT syntax check and end complete, the CSV rows keep their
// 32 fields, the run reports an error exactly when it met one, the summary counts every byte and
// line of the sources, no function or call is claimed that the sources do not hold, and the
// reference engines (configuration parsed per lookup, a file opening per output line, modules
// scanned pair by pair, sources read line by line) give the same log and output bytes.
//
// Input: parts separated by a line "%%": the "calls" entries (one a line), the "reject" entries,
// the module names, then the sources. The configuration's paths and DOT attribute texts are
// fixed and plain; everything else comes from the input.
#include <string>

#include "dialog/scan_dialog.h"
#include "files/source_reader.h"
#include "fuzz_support.h"

namespace quillmap::fuzz {
namespace {

constexpr size_t kMaxEntries = 12;
constexpr size_t kMaxFuzzedModules = 4;
constexpr size_t kMaxFuzzedSources = 5;
constexpr const char* kDotSection =
    "[dot]\n"
    "graph_cfg0=rankdir=LR\n"
    "graph_cfg1=node [fontname=\"Courier\"]\n"
    "node_cfgfn=[shape=box]\n"
    "node_cfgq=[label=\"q\", color=red]\n"
    "call_cfg=[style=dashed]\n"
    "call_cfgmsg=[label=$0]\n"
    "call_cfgq=[label=\"arg $1 of the call\"]\n"
    "call_cfgd=[taillabel=$2, headlabel=\"$0\"]\n";

std::vector<std::string> Entries(const std::string& part) {
  std::vector<std::string> entries = SplitLines(part);
  if (entries.size() > kMaxEntries) entries.resize(kMaxEntries);
  return entries;
}

std::string Configuration(const std::vector<std::string>& calls,
                          const std::vector<std::string>& rejects,
                          const std::vector<std::string>& modules, size_t sources) {
  std::string cfg = "[files]\ndot=out.dot\ncsv=out.csv\n";
  for (size_t s = 0; s < sources; ++s) {
    cfg += "file" + std::to_string(s) + "=src" + std::to_string(s) + ".c\n";
  }
  cfg += "[calls]\n";
  for (size_t n = 0; n < calls.size(); ++n) cfg += std::to_string(n) + "=" + calls[n] + "\n";
  cfg += "[reject]\n";
  for (size_t n = 0; n < rejects.size(); ++n) cfg += std::to_string(n) + "=" + rejects[n] + "\n";
  cfg += kDotSection;
  cfg += "[modules]\nlog=mod.log\ndot=mod.dot\ngraph_cfg0=rankdir=LR\n";
  for (size_t i = 0; i < modules.size(); ++i) {
    const std::string mod = "mod_" + std::to_string(i);
    cfg += mod + "=" + modules[i] + "\n" + mod + "_dot_node=shape=box\n" + mod +
           "_dot_call=[color=blue]\n" + mod + "_file_0=src" + std::to_string(i % sources) + ".c\n";
  }
  return cfg;
}

// The pieces in which the scanner reads a source: CR LF becomes LF, and a line longer than the
// line buffer arrives in several pieces.
std::vector<std::string> Pieces(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    end = std::min(end, start + kMaxLinePiece);
    pieces.push_back(text.substr(start, end - start));
    start = end;
  }
  return pieces;
}

// A piece as the scanner compares it: cut at a "//" after its first character, then trimmed.
std::string Cleaned(const std::string& piece) {
  const size_t comment = piece.find("//");
  return Trim(comment != std::string::npos && comment > 0 ? piece.substr(0, comment) : piece);
}

// Checks the log entries of the call-graph scan against the sources: every ">> Z:n, header"
// stands at a "{" in column 0 after that header line, every "     --> call" follows the
// "  C: line" it was found on. Returns the number of definitions.
int CheckClaims(const std::vector<std::string>& log,
                const std::vector<std::vector<std::string>>& pieces) {
  int functions = 0;
  int file = -1;
  std::string lastLine;
  for (const std::string& entry : log) {
    if (entry.starts_with("IN[")) {
      file = std::stoi(entry.substr(3));
      continue;
    }
    if (entry.starts_with("\r\n>> Z:")) {
      FUZZ_CHECK(file >= 0, entry);
      ++functions;
      const size_t comma = entry.find(", ");
      const size_t z = std::stoul(entry.substr(7, comma - 7));
      const std::string header = entry.substr(comma + 2);
      const auto& own = pieces[static_cast<size_t>(file)];
      FUZZ_CHECK(z < own.size() && own[z][0] == '{', entry);
      std::string previous;
      if (z > 0) {
        previous = Cleaned(own[z - 1]);
      } else {
        // The last line read before, in the nearest earlier file that has lines.
        for (int f = file - 1; f >= 0; --f) {
          const auto& earlier = pieces[static_cast<size_t>(f)];
          if (earlier.empty()) continue;
          previous = Cleaned(earlier.back());
          break;
        }
      }
      FUZZ_CHECK(header == previous, entry + " after " + previous);
    } else if (entry.starts_with("  C: ")) {
      lastLine = entry.substr(5);
    } else if (entry.starts_with("     --> ")) {
      const std::string call = entry.substr(9);
      const std::string name = call.substr(0, call.find('('));
      FUZZ_CHECK(lastLine.find(name) != std::string::npos, call + " not in " + lastLine);
    }
  }
  return functions;
}

void CheckCsv(const std::string& csv) {
  size_t start = 0;
  while (start < csv.size()) {
    const size_t end = csv.find("\r\n", start);
    FUZZ_CHECK(end != std::string::npos, "CSV row without its line end");
    size_t semicolons = 0;
    for (size_t i = start; i < end; ++i) semicolons += csv[i] == ';';
    FUZZ_CHECK(semicolons >= 31,
               "CSV row with fewer than 32 fields: " + csv.substr(start, end - start));
    start = end + 2;
  }
}

constexpr const char* kOutputs[] = {"out.dot", "out.csv", "mod.dot", "mod.log"};

// An output file's bytes with the time of the DOT header line left out (two runs may not share
// it); "-" for a file that does not exist.
std::string OutputBytes(const ScratchDir& dir, const char* name) {
  bool exists = false;
  std::string bytes = ReadFileBytes(dir / name, &exists);
  if (!exists) return "-";
  const std::string prefix = "// crated on: ";
  if (bytes.starts_with(prefix)) {
    const size_t with = bytes.find(" with ");
    if (with != std::string::npos) bytes.erase(prefix.size(), with - prefix.size());
  }
  return bytes;
}

// The same run with the reference engines: the same log entries and output bytes.
void CheckReferenceEngines(const ScratchDir& dir, const std::string& cfgPath,
                           const std::vector<std::string>& entries) {
  std::vector<std::string> fast;
  for (const char* name : kOutputs) {
    fast.push_back(OutputBytes(dir, name));
    dir.Remove(name);
  }
  FuzzWindow window;
  ScanDialog dialog(window);
  dialog.UseReferenceEngines();
  window.SetItemText(kPathEdit, cfgPath);
  dialog.RunScan();
  FUZZ_CHECK(window.entries == entries, "the reference engines log differently");
  for (size_t i = 0; i < fast.size(); ++i) {
    FUZZ_CHECK(OutputBytes(dir, kOutputs[i]) == fast[i],
               std::string("the reference engines write another ") + kOutputs[i]);
  }
}

}  // namespace
}  // namespace quillmap::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmap;
  using namespace quillmap::fuzz;
  std::vector<std::string> parts =
      SplitParts(std::string_view(reinterpret_cast<const char*>(data), size));
  parts.resize(std::max<size_t>(parts.size(), 4));
  const std::vector<std::string> calls = Entries(parts[0]);
  const std::vector<std::string> rejects = Entries(parts[1]);
  std::vector<std::string> modules = Entries(parts[2]);
  if (modules.size() > kMaxFuzzedModules) modules.resize(kMaxFuzzedModules);
  std::vector<std::string> sources(parts.begin() + 3, parts.end());
  if (sources.size() > kMaxFuzzedSources) sources.resize(kMaxFuzzedSources);

  const ScratchDir& dir = ScratchDir::Get();
  for (const char* output : kOutputs) dir.Remove(output);
  std::vector<std::vector<std::string>> pieces;
  for (size_t s = 0; s < sources.size(); ++s) {
    dir.Write("src" + std::to_string(s) + ".c", sources[s]);
    pieces.push_back(Pieces(sources[s]));
  }
  const std::string cfgPath =
      dir.Write("scan.cfg", Configuration(calls, rejects, modules, sources.size()));

  FuzzWindow window;
  ScanDialog dialog(window);
  window.SetItemText(kPathEdit, cfgPath);
  dialog.RunScan();
  const RunOutcome& outcome = dialog.lastRun();
  FUZZ_CHECK(outcome.finished && !outcome.fileError, cfgPath);
  const bool filtersRead = !dialog.callsList().empty();
  FUZZ_CHECK(outcome.errorReported == !filtersRead, "error reported: " + window.entries.back());

  bool exists = false;
  const std::string callGraph = ReadFileBytes(dir / "out.dot", &exists);
  FUZZ_CHECK(exists == filtersRead, "call graph written without filters, or missing");
  if (exists) {
    const std::string problem = DotFileProblem(callGraph);
    FUZZ_CHECK(problem.empty(), problem);
    CheckCsv(ReadFileBytes(dir / "out.csv"));
  }
  const std::string moduleGraph = ReadFileBytes(dir / "mod.dot", &exists);
  FUZZ_CHECK(exists == (dialog.moduleTable().moduleCount > 0), "module graph");
  if (exists) {
    const std::string problem = DotFileProblem(moduleGraph);
    FUZZ_CHECK(problem.empty(), problem);
  }

  CheckReferenceEngines(dir, cfgPath, window.entries);

  if (!filtersRead) return 0;
  int lines = 0;
  long long chars = 0;
  for (const auto& own : pieces) {
    lines += static_cast<int>(own.size());
    for (const std::string& piece : own) chars += static_cast<long long>(piece.size());
  }
  const int functions = CheckClaims(window.entries, pieces);
  const std::string summary = "\r\n" + std::to_string(lines) + " lines, " + std::to_string(chars) +
                              " chars, " + std::to_string(functions) + " fcts";
  FUZZ_CHECK(window.entries.back() == summary, window.entries.back() + " expected " + summary);
  return 0;
}
