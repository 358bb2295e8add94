#include "lsp/language_server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "lsp/document_uri.h"
#include "lsp/fuzzy_match.h"
#include "lsp/source_positions.h"
#include "support/test_support.h"

namespace quillmap::lsp {
namespace {

using quillmap::testing::TempDir;

// Keeps what the server sends; runs the whole scan at once, or when told to.
class RecordingHost : public ServerHost {
 public:
  void Send(const Json& message) override { sent.push_back(message); }
  void StartScan(std::function<WorkspaceScanResult()> scan) override {
    if (deferScan) {
      pendingScan = std::move(scan);
    } else {
      server->OnScanFinished(scan());
    }
  }
  void FinishScan() { server->OnScanFinished(pendingScan()); }
  // The answer to request `id`, or null.
  Json Answer(const Json& id) const {
    for (const Json& message : sent) {
      if (message.contains("id") && message["id"] == id && !message.contains("method")) {
        return message;
      }
    }
    return nullptr;
  }

  LanguageServer* server = nullptr;
  bool deferScan = false;
  std::function<WorkspaceScanResult()> pendingScan;
  std::vector<Json> sent;
};

Json Request(int id, const std::string& method, Json params) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
}
Json Notification(const std::string& method, Json params) {
  return {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

constexpr const char* kMain = R"(#include "lib.h"

static int helper(int x)
{
  return x + 1;
}

int main(void)
{
  helper(1);
  log_value(helper(2));
  return 0;
}
)";
constexpr const char* kLib = R"(#include <stdio.h>

static int helper(int x) { return x; }

void log_value(int v)
{
  printf("%d\n", helper(v));
}
)";

// A server initialized on a small workspace: app/main.c and lib/lib.c, each with a static
// helper of its own.
class ServerFixture {
 public:
  explicit ServerFixture(bool deferScan = false) {
    mainPath = dir.Write("app/main.c", kMain);
    libPath = dir.Write("lib/lib.c", kLib);
    host.server = &server;
    host.deferScan = deferScan;
    server.HandleMessage(Request(1, "initialize",
                                 {{"rootUri", UriOfPath(dir.path())},
                                  {"capabilities", Json::object()},
                                  {"initializationOptions", {{"graphFolder", dir / "graphs"}}}}));
    server.HandleMessage(Notification("initialized", Json::object()));
  }
  // The result of one request.
  Json Ask(const std::string& method, Json params) {
    const int id = nextId++;
    server.HandleMessage(Request(id, method, std::move(params)));
    const Json answer = host.Answer(id);
    return answer.is_null() ? answer : answer.value("result", Json());
  }
  Json At(const std::string& path, int line, int character) {
    return {{"textDocument", {{"uri", UriOfPath(path)}}},
            {"position", {{"line", line}, {"character", character}}}};
  }

  TempDir dir;
  std::string mainPath;
  std::string libPath;
  RecordingHost host;
  LanguageServer server{host};
  int nextId = 100;
};

// "line:begin-end" of each range, for short expectations.
std::string Ranges(const Json& ranges) {
  std::string text;
  for (const Json& range : ranges) {
    text += (text.empty() ? "" : " ") + std::to_string(range["start"]["line"].get<int>()) + ":" +
            std::to_string(range["start"]["character"].get<int>()) + "-" +
            std::to_string(range["end"]["character"].get<int>());
  }
  return text;
}

// The names of call hierarchy items (prepare), callers (incoming) or callees (outgoing), with
// the file name of each and the ranges of the calls.
std::string Summary(const Json& answer) {
  if (!answer.is_array()) return answer.dump();
  std::string text;
  for (const Json& entry : answer) {
    const Json& item = entry.contains("from") ? entry["from"]
                       : entry.contains("to") ? entry["to"]
                                              : entry;
    const std::string path = PathOfUri(item.value("uri", entry.value("uri", "")));
    text += (text.empty() ? "" : "; ") + item.value("name", std::string()) + "@" +
            path.substr(path.rfind('/') + 1);
    if (entry.contains("fromRanges")) text += " " + Ranges(entry["fromRanges"]);
    if (entry.contains("range") && !entry.contains("name")) text += " " + Ranges(Json::array({entry["range"]}));
  }
  return text;
}

TEST(LanguageServer, AnswersTheRequestsFromTheIndex) {
  ServerFixture f;
  ASSERT_TRUE(f.server.scanned());
  ASSERT_EQ(f.server.index().functionCount(), 4u) << f.host.sent.back().dump();
  const Json mainHelper = f.Ask("textDocument/prepareCallHierarchy", f.At(f.mainPath, 9, 3))[0];
  const Json libHelper = f.Ask("textDocument/prepareCallHierarchy", f.At(f.libPath, 6, 18))[0];
  const Json logValue = f.Ask("textDocument/prepareCallHierarchy", f.At(f.mainPath, 10, 4))[0];
  struct Case {
    const char* what;
    std::function<Json()> ask;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"prepare on a call: its file's namesake first",
       [&] { return f.Ask("textDocument/prepareCallHierarchy", f.At(f.mainPath, 9, 3)); },
       "helper@main.c; helper@lib.c"},
      {"prepare on a name defined nowhere",
       [&] { return f.Ask("textDocument/prepareCallHierarchy", f.At(f.libPath, 6, 3)); },
       "printf@lib.c"},
      {"prepare off any name",
       [&] { return f.Ask("textDocument/prepareCallHierarchy", f.At(f.mainPath, 1, 0)); },
       "null"},
      {"incoming: every call site in the caller, namesakes' own files left out",
       [&] { return f.Ask("callHierarchy/incomingCalls", {{"item", mainHelper}}); },
       "main@main.c 9:2-8 10:12-18"},
      {"incoming of the other namesake",
       [&] { return f.Ask("callHierarchy/incomingCalls", {{"item", libHelper}}); },
       "log_value@lib.c 6:17-23"},
      {"incoming across files",
       [&] { return f.Ask("callHierarchy/incomingCalls", {{"item", logValue}}); },
       "main@main.c 10:2-11"},
      {"an item whole, read from its part of the file: the body to its end, the name selected",
       [&] {
         const Json from = f.Ask("callHierarchy/incomingCalls", {{"item", logValue}})[0]["from"];
         const Json main = f.Ask("textDocument/prepareCallHierarchy", f.At(f.mainPath, 7, 5))[0];
         const Json to = f.Ask("callHierarchy/outgoingCalls", {{"item", main}})[0]["to"];
         std::string text;
         for (const Json& item : {from, to}) {
           text += item["name"].get<std::string>() + " " +
                   Ranges(Json::array({item["range"], item["selectionRange"]})) + " end line " +
                   std::to_string(item["range"]["end"]["line"].get<int>()) + " " +
                   item["detail"].get<std::string>() + " line " + item["data"]["line"].dump() +
                   (item["data"]["path"] == f.mainPath ? " in main.c; " : " elsewhere; ");
         }
         return Json(text);
       },
       "\"main 7:0-1 7:4-8 end line 12 app/main.c:8 · direct line 8 in main.c; "
       "helper 2:0-1 2:11-17 end line 5 app/main.c:3 · direct line 3 in main.c; \""},
      {"outgoing: the caller's own namesake, and names defined nowhere",
       [&] { return f.Ask("callHierarchy/outgoingCalls", {{"item", logValue}}); },
       "printf@lib.c 6:2-8; helper@lib.c 6:17-23"},
      {"definition: every namesake",
       [&] { return f.Ask("textDocument/definition", f.At(f.mainPath, 10, 13)); },
       "@main.c 2:11-17; @lib.c 2:11-17"},
      {"references: the call sites",
       [&] {
         Json params = f.At(f.mainPath, 10, 4);
         params["context"] = {{"includeDeclaration", true}};
         return f.Ask("textDocument/references", params);
       },
       "@lib.c 4:5-14; @main.c 10:2-11"},
      {"document symbols with whole bodies",
       [&] {
         Json symbols = f.Ask("textDocument/documentSymbol",
                              {{"textDocument", {{"uri", UriOfPath(f.mainPath)}}}});
         std::string text;
         for (const Json& s : symbols) {
           text += s["name"].get<std::string>() + " " + std::to_string(s["range"]["start"]["line"].get<int>()) +
                   "-" + std::to_string(s["range"]["end"]["line"].get<int>()) + " ";
         }
         return Json(text);
       },
       "\"helper 2-5 main 7-12 \""},
      {"workspace symbols ranked",
       [&] {
         Json symbols = f.Ask("workspace/symbol", {{"query", "lv"}});
         return Json(symbols.size() == 1 ? symbols[0]["name"] : Json(nullptr));
       },
       "\"log_value\""},
  };
  for (const Case& c : cases) {
    try {
      EXPECT_EQ(Summary(c.ask()), c.expected) << c.what;
    } catch (const Json::exception& error) {
      ADD_FAILURE() << c.what << ": " << error.what() << "\n" << f.host.sent.back().dump();
    }
  }
}

TEST(LanguageServer, EditsAndSavesOnDiskReachTheNextRequest) {
  ServerFixture f;
  const auto callersOfLogValue = [&f] {
    const Json item = f.Ask("textDocument/prepareCallHierarchy", f.At(f.libPath, 4, 6))[0];
    return Summary(f.Ask("callHierarchy/incomingCalls", {{"item", item}}));
  };
  const std::string uri = UriOfPath(f.mainPath);
  const std::string edited = std::string(kMain).replace(std::string(kMain).find("helper(1)"), 9,
                                                        "log_value(1)");
  struct Step {
    const char* what;
    std::function<void()> act;
    std::string callers;
  };
  const std::vector<Step> steps = {
      {"as scanned", [] {}, "main@main.c 10:2-11"},
      {"opened with unsaved changes",
       [&] {
         f.server.HandleMessage(Notification(
             "textDocument/didOpen",
             {{"textDocument", {{"uri", uri}, {"version", 1}, {"languageId", "c"}, {"text", edited}}}}));
       },
       "main@main.c 9:2-11 10:2-11"},
      {"a change of a range",
       [&] {
         f.server.HandleMessage(Notification(
             "textDocument/didChange",
             {{"textDocument", {{"uri", uri}, {"version", 2}}},
              {"contentChanges",
               {{{"range", {{"start", {{"line", 10}, {"character", 2}}},
                            {"end", {{"line", 10}, {"character", 11}}}}},
                 {"text", "helper"}}}}}));
       },
       "main@main.c 9:2-11"},
      {"closed: the disk's text counts again",
       [&] {
         f.server.HandleMessage(
             Notification("textDocument/didClose", {{"textDocument", {{"uri", uri}}}}));
       },
       "main@main.c 10:2-11"},
      {"saved on disk by another program",
       [&] { quillmap::testing::WriteFile(f.mainPath, std::string("\n\n") + kMain); },
       "main@main.c 12:2-11"},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(callersOfLogValue(), step.callers) << step.what;
  }
}

TEST(LanguageServer, DrawsTheFocusedCallGraphAndForgetsDeletedFiles) {
  ServerFixture f;
  const Json svg = f.Ask("workspace/executeCommand",
                         {{"command", kCallGraphCommand}, {"arguments", {"log_value", "callers"}}});
  ASSERT_TRUE(svg.is_string()) << f.host.sent.back().dump();
  EXPECT_EQ(svg.get<std::string>(), f.dir / "graphs/log_value.svg");
  const std::string dot = quillmap::testing::ReadFile(f.dir / "graphs/log_value.dot");
  EXPECT_NE(dot.find("main -> log_value;"), std::string::npos) << dot;
  EXPECT_EQ(dot.find("printf"), std::string::npos) << dot;
  EXPECT_NE(quillmap::testing::ReadFile(svg.get<std::string>()).find("<svg"), std::string::npos);
  f.server.HandleMessage(Request(7, "workspace/executeCommand",
                                 {{"command", kCallGraphCommand}, {"arguments", {"nothing_here"}}}));
  EXPECT_EQ(f.host.Answer(7)["error"]["code"], kInvalidParams);

  std::remove(f.libPath.c_str());
  f.server.HandleMessage(Notification(
      "workspace/didChangeWatchedFiles", {{"changes", {{{"uri", UriOfPath(f.libPath)}, {"type", 3}}}}}));
  EXPECT_EQ(Summary(f.Ask("textDocument/definition", f.At(f.mainPath, 10, 13))), "@main.c 2:11-17");
}

TEST(LanguageServer, AnswersHostileAndOutOfOrderMessagesPerTheProtocol) {
  struct Case {
    const char* what;
    std::vector<std::string> contents;  // sent in order to a fresh server
    std::string lastAnswer;             // "error CODE" or "result" of the last message sent
    int exitStatus;                     // after the messages, -1: not exited
  };
  const TempDir empty;
  const std::string init =
      R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{},"rootUri":")" +
      UriOfPath(empty.path()) + "\"}}";
  const std::string initialized = R"({"jsonrpc":"2.0","method":"initialized","params":{}})";
  const std::string shutdown = R"({"jsonrpc":"2.0","id":8,"method":"shutdown"})";
  const std::string exit = R"({"jsonrpc":"2.0","method":"exit"})";
  const std::vector<Case> cases = {
      {"request before initialize",
       {R"({"jsonrpc":"2.0","id":2,"method":"workspace/symbol","params":{"query":""}})"},
       "2 error -32002", -1},
      {"malformed JSON", {"{\"jsonrpc\":"}, "null error -32700", -1},
      {"not an object", {"5"}, "null error -32600", -1},
      {"empty batch", {"[]"}, "null error -32600", -1},
      {"no jsonrpc member", {R"({"id":3,"method":"initialize"})"}, "3 error -32600", -1},
      {"method not a string", {R"({"jsonrpc":"2.0","id":3,"method":7})"}, "3 error -32600", -1},
      {"id of another type", {R"({"jsonrpc":"2.0","id":{},"method":"initialize"})"},
       "null error -32600", -1},
      {"initialize", {init}, "1 result", -1},
      {"initialize twice", {init, init}, "1 error -32600", -1},
      {"unknown method", {init, R"({"jsonrpc":"2.0","id":"x","method":"foo/bar"})"},
       "\"x\" error -32601", -1},
      {"bad params",
       {init, initialized,
        R"({"jsonrpc":"2.0","id":4,"method":"textDocument/definition","params":{}})"},
       "4 error -32602", -1},
      {"params of another type",
       {init, R"({"jsonrpc":"2.0","id":4,"method":"textDocument/definition","params":3})"},
       "4 error -32600", -1},
      {"request after shutdown",
       {init, shutdown, R"({"jsonrpc":"2.0","id":9,"method":"workspace/symbol","params":{"query":""}})"},
       "9 error -32600", -1},
      {"shutdown then exit", {init, shutdown, exit}, "8 result", 0},
      {"exit without shutdown", {init, exit}, "1 result", 1},
      {"exit before initialize", {exit}, "none", 1},
      {"notifications before initialize are dropped",
       {R"({"jsonrpc":"2.0","method":"initialized"})"}, "none", -1},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    LanguageServer server(host);
    host.server = &server;
    for (const std::string& content : c.contents) server.HandleContent(content);
    std::string last = "none";
    for (const Json& message : host.sent) {
      if (message.contains("method")) continue;
      last = message["id"].dump() + (message.contains("error")
                                         ? " error " + message["error"]["code"].dump()
                                         : std::string(" result"));
    }
    EXPECT_EQ(last, c.lastAnswer) << c.what;
    EXPECT_EQ(server.exited() ? server.exitStatus() : -1, c.exitStatus) << c.what;
  }
}

TEST(LanguageServer, RequestsWaitForTheScanAndCanBeCancelled) {
  ServerFixture f(/*deferScan=*/true);
  f.server.HandleMessage(Request(5, "workspace/symbol", {{"query", "main"}}));
  f.server.HandleMessage(Request(6, "workspace/symbol", {{"query", "helper"}}));
  f.server.HandleMessage(Notification("$/cancelRequest", {{"id", 6}}));
  EXPECT_TRUE(f.host.Answer(5).is_null());
  EXPECT_EQ(f.host.Answer(6)["error"]["code"], kRequestCancelled);
  f.host.FinishScan();
  EXPECT_EQ(f.host.Answer(5)["result"][0]["name"], "main");
}

TEST(LanguageServer, ReportsProgressOnceTheClientAcceptedTheToken) {
  TempDir dir;
  dir.Write("a.c", "int a(void)\n{\n  return b();\n}\n");
  RecordingHost host;
  LanguageServer server(host);
  host.server = &server;
  host.deferScan = true;
  server.HandleMessage(Request(1, "initialize",
                               {{"rootUri", UriOfPath(dir.path())},
                                {"capabilities", {{"window", {{"workDoneProgress", true}}}}}}));
  server.HandleMessage(Notification("initialized", Json::object()));
  const auto kinds = [&host] {
    std::string text;
    for (const Json& m : host.sent) {
      if (m.value("method", "") == "window/workDoneProgress/create") text += "create ";
      if (m.value("method", "") == "$/progress") text += m["params"]["value"]["kind"].get<std::string>() + " ";
    }
    return text;
  };
  EXPECT_EQ(kinds(), "create ");
  const Json create = host.sent.back();
  server.HandleMessage({{"jsonrpc", "2.0"}, {"id", create["id"]}, {"result", nullptr}});
  EXPECT_EQ(kinds(), "create begin ");
  host.FinishScan();
  EXPECT_EQ(kinds(), "create begin report report end ");  // the reports: sources 0 and 1 of 1
}

TEST(SourcePositions, ColumnsNamesAndBodies) {
  // UTF-16 columns: "ä" is one unit, an emoji two, a stray byte one.
  const std::string line = "\xc3\xa4 \xf0\x9f\x98\x80 \xff x";
  EXPECT_EQ(Utf16Column(line, line.size()), 8);
  EXPECT_EQ(ByteOfColumn(line, 5), line.find('\xff'));
  struct NameCase {
    std::string line;
    std::string name;
    size_t begin;
  };
  for (const NameCase& c : std::vector<NameCase>{{"a = foo_x + foo (1);", "foo", 12},
                                                 {"int foo;", "foo", 4},
                                                 {"xfoo(foo)", "foo", 5},
                                                 {"bar();", "foo", 0}}) {
    EXPECT_EQ(FindName(c.line, c.name).begin, c.begin) << c.line;
  }
  EXPECT_EQ(CallsOfName("f(f(1)) + ff(2) + f (3)", "f").size(), 3u);
  const std::string body = "int f()\n{\n  s = \"}\"; /* } */ // }\n  c = '}';\n}\nint g;\n";
  int endLine = -1;
  size_t endByte = 0;
  ASSERT_TRUE(FindBodyEnd(SourceLines(body), 1, endLine, endByte));
  EXPECT_EQ(SourceLines(body).Line(2), "  s = \"}\"; /* } */ // }");
  EXPECT_EQ(SourceLines("a\r\nb").Line(0), "a");
  EXPECT_EQ(endLine, 4);
  EXPECT_EQ(endByte, 1u);
}

TEST(FuzzyScore, RanksWholeNamesPrefixesWordsAndScatteredLetters) {
  const std::vector<std::string> ranked = {"scan", "scan_file", "do_scan", "rescan", "sxcxaxn"};
  for (size_t k = 0; k + 1 < ranked.size(); ++k) {
    EXPECT_GT(FuzzyScore("scan", ranked[k]), FuzzyScore("scan", ranked[k + 1])) << ranked[k];
  }
  EXPECT_EQ(FuzzyScore("scan", "snac"), kNoMatch);
  EXPECT_GT(FuzzyScore("SCAN", "scan"), kNoMatch);
}

TEST(DocumentUri, PathsAndUrisRoundTrip) {
  for (const std::string path : {"/a/b.c", "/with space/%x.c", "/\xc3\xa4/x#y.c"}) {
    EXPECT_EQ(PathOfUri(UriOfPath(path)), path);
  }
  EXPECT_EQ(PathOfUri("file:///a%2Fb"), "/a/b");
  EXPECT_EQ(PathOfUri("file://localhost/x"), "/x");
  EXPECT_EQ(PathOfUri("file://other/x"), "");
  EXPECT_EQ(PathOfUri("untitled:1"), "");
  EXPECT_EQ(PathOfUri("file:///a%00b"), "");
}

}  // namespace
}  // namespace quillmap::lsp

namespace quillmap::lsp {
namespace {

// With the resolution of the starting configuration, a call through a function pointer reaches
// the registered function, and the editor is told how.
TEST(LanguageServer, CallsThroughPointersShowTheirKindAndDispatch) {
  ServerFixture f;
  const std::string path = f.dir.Write("app/drv.c", "");
  const std::string text =
      "struct ops { void (*write)(int c); };\n"
      "static void uart_write(int c) { (void)c; }\n"
      "static const struct ops uart_ops = { .write = uart_write };\n"
      "void isr_tx(const struct ops *o) { o->write(1); }\n";
  f.server.HandleMessage(Notification(
      "textDocument/didOpen",
      {{"textDocument",
        {{"uri", UriOfPath(path)}, {"version", 1}, {"languageId", "c"}, {"text", text}}}}));
  const Json isr = f.Ask("textDocument/prepareCallHierarchy", f.At(path, 3, 6))[0];
  const Json outgoing = f.Ask("callHierarchy/outgoingCalls", {{"item", isr}});
  ASSERT_EQ(outgoing.size(), 1u) << outgoing.dump();
  EXPECT_EQ(outgoing[0]["to"]["name"], "uart_write");
  EXPECT_NE(outgoing[0]["to"]["detail"].get<std::string>().find("pointer via o->write"),
            std::string::npos)
      << outgoing.dump();
}

}  // namespace
}  // namespace quillmap::lsp

namespace quillmap::lsp {
namespace {

// A didOpen without its text is an error and holds nothing: the callers in that file are still
// read from the disk.
TEST(LanguageServer, ADidOpenWithoutItsTextHoldsNothing) {
  ServerFixture f;
  f.server.HandleMessage(Notification(
      "textDocument/didOpen",
      {{"textDocument", {{"uri", UriOfPath(f.mainPath)}, {"version", 1}, {"languageId", "c"}}}}));
  const Json items = f.Ask("textDocument/prepareCallHierarchy", f.At(f.libPath, 4, 6));
  ASSERT_EQ(items.size(), 1u) << items.dump();
  const Json incoming = f.Ask("callHierarchy/incomingCalls", {{"item", items[0]}});
  ASSERT_EQ(incoming.size(), 1u) << incoming.dump();
  EXPECT_EQ(incoming[0]["from"]["name"], "main");
}

}  // namespace
}  // namespace quillmap::lsp
