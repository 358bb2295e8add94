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

// What a visitor sees of the texts made ahead, beside what the text itself gives.
class TextsListing : public CSourceVisitor {
 public:
  explicit TextsListing(const CSourcePipeline& pipeline, std::string_view text)
      : pipeline_(pipeline), text_(text) {}
  void OnFunctionStart(const CFunction& f) override {
    std::string_view header;
    if (pipeline_.HeaderText(header)) {
      EXPECT_EQ(header, CHeaderText(text_, f)) << f.name;
      out.append("H ").append(header) += '\n';
    }
  }
  void OnCall(const CFunction&, const CCall& c) override {
    CSourcePipeline::CallTexts texts;
    if (!pipeline_.Texts(texts)) {
      out.append(" -").append(c.name) += '\n';
      return;
    }
    StringList args;
    CCallArguments(text_, c, args);
    EXPECT_EQ(texts.line, CLineText(text_, c)) << c.name;
    EXPECT_EQ(StringList(texts.arguments.begin(), texts.arguments.end()), args) << c.name;
    out.append(" ").append(c.name).append(": ").append(texts.line).append(" |");
    for (const std::string_view arg : texts.arguments) out.append(arg) += '|';
    out += '\n';
  }
  void OnFunctionEnd(const CFunction&) override {}
  std::string out;

 private:
  const CSourcePipeline& pipeline_;
  std::string_view text_;
};

TEST(CSourcePipeline, MakesTheTextsOfWantedCallsAhead) {
  struct Case {
    const char* source;
    const char* expected;  // with the texts wanted for names without "skip"
  };
  const Case cases[] = {
      {"int f(int a)\n{ g(a, /* two */ b); h(); }\n",
       "H int f(int a)\n g: { g(a, b); h(); } |a|b|\n h: { g(a, b); h(); } |\n"},
      {"static void\nf(void) {\n  x = g(\"a,b\", (c, d), e[1,2]);\n}\n",
       "H static void f(void)\n g: x = g(\"a,b\", (c, d), e[1,2]); |\"a,b\"|(c, d)|e[1,2]|\n"},
      {"void f(void) { skip_me(1); g(skip_me(2)); }\n",
       "H void f(void)\n -skip_me\n g: void f(void) { skip_me(1); g(skip_me(2)); } |skip_me(2)|\n -skip_me\n"},
      {"void skip_f(void) { g(1); }\nvoid k(void) { g(\n  2,\n  3); }\n",
       " -g\nH void k(void)\n g: void k(void) { g( |2|3|\n"},
      {"void f(void) { g(unterminated, ", "H void f(void)\n g: void f(void) { g(unterminated, |unterminated|\n"},
  };
  testing::TempDir dir;
  std::vector<std::string> paths;
  for (size_t i = 0; i < std::size(cases); ++i) {
    paths.push_back(dir.Write(SourceName(static_cast<int>(i)), cases[i].source));
  }
  const auto wanted = [](std::string_view name) { return name.find("skip") == name.npos; };
  for (const unsigned workers : {0u, 2u}) {
    CSourcePipeline pipeline(paths, workers, nullptr, nullptr, wanted);
    for (const Case& c : cases) {
      const CSourcePipeline::Source& source = pipeline.Next();
      TextsListing listing(pipeline, source.text);
      pipeline.Replay(listing);
      EXPECT_EQ(listing.out, c.expected) << c.source << " with " << workers << " workers";
    }
  }
  // Without the hook nothing is made ahead.
  CSourcePipeline plain(paths, 2);
  const CSourcePipeline::Source& source = plain.Next();
  TextsListing listing(plain, source.text);
  plain.Replay(listing);
  EXPECT_EQ(listing.out, " -g\n -h\n");
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
