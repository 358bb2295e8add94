// The language server's framing and dispatch on arbitrary bytes: the input is cut into pieces
// (at every kPartSeparator) that reach the framer one after the other, as reads of a stream
// would; every frame goes to a server that was initialized on a small scanned workspace.
//
// Properties: every message the server sends is a JSON-RPC 2.0 object; a response carries
// either a result or an error; the framer never holds more than a header block and one
// message's content; nothing throws or crashes.
#include <string>
#include <vector>

#include "lsp/document_uri.h"
#include "lsp/language_server.h"
#include "lsp/message_framing.h"
#include "fuzz_support.h"

namespace quillmap::fuzz {
namespace {

using lsp::Json;

class CheckingHost : public lsp::ServerHost {
 public:
  void Send(const Json& message) override {
    FUZZ_CHECK(message.is_object() && message.value("jsonrpc", "") == "2.0", message.dump());
    if (!message.contains("method")) {
      FUZZ_CHECK(message.contains("result") != message.contains("error"), message.dump());
    }
  }
  void StartScan(std::function<lsp::WorkspaceScanResult()> scan) override {
    server->OnScanFinished(scan());
  }
  lsp::LanguageServer* server = nullptr;
};

// The workspace every run scans: one source with two functions.
const std::string& WorkspaceUri() {
  static const std::string uri = [] {
    ScratchDir::Get().Write("main.c", "static int f(int x)\n{\n  return g(x);\n}\n\nint main(void)\n{\n  return f(1);\n}\n");
    return lsp::UriOfPath(ScratchDir::Get().path());
  }();
  return uri;
}

// Seeds name the workspace "/WS/" (in paths and in "file:///WS/..." URIs).
std::string InWorkspace(std::string content) {
  const std::string& folder = ScratchDir::Get().path();
  for (size_t at = content.find("/WS/"); at != std::string::npos;
       at = content.find("/WS/", at + folder.size())) {
    content.replace(at, 4, folder);
  }
  return content;
}

// Drawing a picture starts a process per request; the harness leaves the command out.
bool DrawsPicture(const std::string& content) {
  return content.find("executeCommand") != std::string::npos;
}

}  // namespace
}  // namespace quillmap::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmap;
  using namespace quillmap::fuzz;
  CheckingHost host;
  lsp::LanguageServer server(host);
  host.server = &server;
  WorkspaceUri();
  server.HandleMessage({{"jsonrpc", "2.0"},
                        {"id", 0},
                        {"method", "initialize"},
                        {"params", {{"rootUri", WorkspaceUri()}, {"capabilities", Json::object()}}}});
  server.HandleMessage({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", Json::object()}});
  lsp::MessageFramer framer;
  size_t longest = 0;
  for (const std::string& piece :
       SplitParts(std::string_view(reinterpret_cast<const char*>(data), size))) {
    framer.Push(piece);
    longest = std::max(longest, piece.size());
    for (lsp::Frame frame = framer.Next(); frame.kind != lsp::Frame::Kind::kNeedMore;
         frame = framer.Next()) {
      if (server.exited()) break;
      if (frame.kind == lsp::Frame::Kind::kFault) {
        server.HandleFault(frame.content);
      } else if (!DrawsPicture(frame.content)) {
        server.HandleContent(InWorkspace(frame.content));
      }
    }
    FUZZ_CHECK(framer.held() <= lsp::kMaxHeaderBytes + longest + lsp::kMaxContentBytes,
               std::to_string(framer.held()));
  }
  return 0;
}
