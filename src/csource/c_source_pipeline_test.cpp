#include "csource/c_source_pipeline.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quillmap {
namespace {

// "s<i>.c", appended: GCC 12 warns falsely on 'literal + std::string' in Release builds.
std::string SourceName(int i) {
  std::string name = "s";
  name.append(std::to_string(i)).append(".c");
  return name;
}

// What a visitor is given: functions with their lines, calls with their offsets.
class Listing : public CSourceVisitor {
 public:
  void OnFunctionStart(const CFunction& f) override {
    out.append("F ").append(f.name).append(" ").append(std::to_string(f.braceLine)) += '\n';
  }
  void OnCall(const CFunction& f, const CCall& c) override {
    out.append(" ").append(f.name).append(">").append(c.name).append("@");
    out.append(std::to_string(c.offset)) += '\n';
  }
  void OnFunctionEnd(const CFunction& f) override {
    out.append("E ").append(std::to_string(f.endLine)).append(f.closed ? "" : "?") += '\n';
  }
  std::string out;
};

TEST(CSourcePipeline, GivesEverySourceInOrderWhateverTheWorkers) {
  testing::TempDir dir;
  std::vector<std::string> paths;
  std::string expected;
  CSourceScanner scanner;
  for (int i = 0; i < 40; ++i) {
    std::string text;
    for (int f = 0; f <= i % 5; ++f) {
      text += "int f" + std::to_string(i) + "_" + std::to_string(f) + "(void) {\n";
      for (int c = 0; c < i; ++c) text += "  g" + std::to_string(c) + "(x);\n";
      text += "}\n";
    }
    if (i % 7 == 3) text += "int open(void) {\n";
    paths.push_back(dir.Write(SourceName(i), text));
    if (i % 9 == 4) paths.push_back(dir / "missing.c");  // cannot be opened
    if (i % 13 == 6) paths.push_back(dir.path());        // a folder
  }
  for (const std::string& path : paths) {
    const std::string text = testing::ReadFile(path);
    Listing listing;
    const bool file = testing::FileExists(path) && path != dir.path();
    const int lines = file ? scanner.Scan(text, listing) : 0;
    expected += file ? listing.out + std::to_string(lines) + " lines\n" : "not opened\n";
  }

  for (const unsigned workers : {0u, 1u, 3u}) {
    CSourcePipeline pipeline(paths, workers);
    std::string got;
    for (size_t i = 0; i < paths.size(); ++i) {
      const CSourcePipeline::Source& source = pipeline.Next();
      Listing listing;
      pipeline.Replay(listing);
      got +=
          source.opened ? listing.out + std::to_string(source.lines) + " lines\n" : "not opened\n";
      if (source.opened) {
        EXPECT_EQ(source.text, testing::ReadFile(paths[i]));
      }
    }
    EXPECT_EQ(got, expected) << workers << " workers";
    EXPECT_FALSE(pipeline.Next().opened);  // past the end
  }

  // Only the calls of the functions wanted are kept; every function is still given.
  std::string wanted;
  for (size_t at = 0; at < expected.size();) {
    const size_t end = expected.find('\n', at) + 1;
    const std::string line = expected.substr(at, end - at);
    if (line[0] != ' ' || line.find("_0>") != std::string::npos) wanted += line;
    at = end;
  }
  CSourcePipeline pipeline(paths, 2, [](std::string_view name) { return name.ends_with("_0"); });
  std::string got;
  for (size_t i = 0; i < paths.size(); ++i) {
    const CSourcePipeline::Source& source = pipeline.Next();
    Listing listing;
    pipeline.Replay(listing);
    got += source.opened ? listing.out + std::to_string(source.lines) + " lines\n" : "not opened\n";
  }
  EXPECT_EQ(got, wanted);
}

TEST(CSourcePipeline, StopsWhenLeftPartWay) {
  testing::TempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 100; ++i) paths.push_back(dir.Write(SourceName(i), "int f(void) { g(); }\n"));
  for (const size_t used : {0u, 1u, 7u, 99u}) {
    CSourcePipeline pipeline(paths, 2);
    for (size_t i = 0; i < used; ++i) EXPECT_TRUE(pipeline.Next().opened);
  }  // each destructor ends its workers: no hang, no leak (ASan)
}

}  // namespace
}  // namespace quillmap
