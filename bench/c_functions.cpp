// Lists what the C recogniser finds in the files named on stdin (one path a line), for the
// comparison with Universal Ctags and cscope in c_syntax_bench.sh:
//   F <TAB> path <TAB> name <TAB> name line <TAB> header line <TAB> "{" line <TAB> end line
//     <TAB> header start, end, body start, end (byte offsets) <TAB> closed (1 or 0)
//   C <TAB> path <TAB> caller <TAB> callee <TAB> line <TAB> name, "(", code start (offsets)
// With --count it prints only the totals (files, bytes, functions, calls), to time the scan alone;
// with --reference it scans with the recogniser's reference loop (ScanReference), so that the two
// listings of a tree can be compared.
#include <cstdio>
#include <iostream>
#include <string>

#include "csource/c_source_scanner.h"
#include "files/source_text.h"

namespace {

class Printer : public quillmap::CSourceVisitor {
 public:
  std::string path;
  bool print = true;
  long long functions = 0;
  long long calls = 0;

  void OnFunctionStart(const quillmap::CFunction&) override { ++functions; }
  void OnCall(const quillmap::CFunction& f, const quillmap::CCall& c) override {
    ++calls;
    if (!print) return;
    std::printf("C\t%s\t%.*s\t%.*s\t%d\t%zu\t%zu\t%zu\n", path.c_str(),
                static_cast<int>(f.name.size()), f.name.data(), static_cast<int>(c.name.size()),
                c.name.data(), c.line, c.offset, c.open, c.codeStart);
  }
  void OnFunctionEnd(const quillmap::CFunction& f) override {
    if (!print) return;
    std::printf("F\t%s\t%.*s\t%d\t%d\t%d\t%d\t%zu\t%zu\t%zu\t%zu\t%d\n", path.c_str(),
                static_cast<int>(f.name.size()), f.name.data(), f.nameLine, f.headerLine,
                f.braceLine, f.endLine, f.headerStart, f.headerEnd, f.bodyStart, f.bodyEnd,
                f.closed ? 1 : 0);
  }
};

}  // namespace

int main(int argc, char** argv) {
  Printer printer;
  bool reference = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--count") {
      printer.print = false;
    } else if (option == "--reference") {
      reference = true;
    } else {
      std::fprintf(stderr, "c_functions: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  quillmap::SourceText source;
  quillmap::CSourceScanner scanner;
  long long files = 0;
  long long bytes = 0;
  while (std::getline(std::cin, printer.path)) {
    if (!source.Load(printer.path)) {
      std::fprintf(stderr, "c_functions: cannot open %s\n", printer.path.c_str());
      continue;
    }
    ++files;
    bytes += static_cast<long long>(source.text().size());
    if (reference) {
      scanner.ScanReference(source.text(), printer);
    } else {
      scanner.Scan(source.text(), printer);
    }
  }
  if (!printer.print) {
    std::printf("%lld files, %lld bytes, %lld functions, %lld calls\n", files, bytes,
                printer.functions, printer.calls);
  }
  return 0;
}
