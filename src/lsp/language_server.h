/// The language server's dispatcher and request handlers: JSON-RPC 2.0 messages of the
/// Language Server Protocol 3.17 in, responses and notifications out through a host. The
/// server answers call hierarchy, definition, references and symbol requests from its call
/// index, which a whole scan fills once the client is initialized and scans of single files
/// keep current.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "lsp/call_index.h"
#include "lsp/file_excerpts.h"
#include "lsp/json_writer.h"
#include "lsp/source_positions.h"
#include "lsp/symbol_search.h"
#include "lsp/workspace_scan.h"

namespace quillmap::lsp {

using Json = nlohmann::json;

/// JSON-RPC and protocol error codes.
enum ErrorCode : int {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kInternalError = -32603,
  kServerNotInitialized = -32002,
  kRequestCancelled = -32800,
  kServerCancelled = -32802,
};

/// The command of workspace/executeCommand that draws a function's focused call graph.
inline constexpr const char* kCallGraphCommand = "quillmap.callGraphSvg";

/// Where the server lives: how its messages leave, and how it runs the whole scan.
class ServerHost {
 public:
  virtual ~ServerHost() = default;
  /// Sends one message; may be called from the scan's thread (for progress).
  virtual void Send(const Json& message) = 0;
  /// Sends one message written as JSON text already (a large answer), given in pieces that
  /// follow each other; a host that keeps documents reads it back.
  virtual void SendText(std::vector<std::string> pieces) {
    std::string message;
    for (const std::string& piece : pieces) message += piece;
    Send(Json::parse(message));
  }
  /// Runs `scan` (on another thread, or at once) and then hands its result to the server's
  /// OnScanFinished on the thread that handles messages.
  virtual void StartScan(std::function<WorkspaceScanResult()> scan) = 0;
};

class LanguageServer {
 public:
  explicit LanguageServer(ServerHost& host);
  ~LanguageServer();

  /// One message's content as it came: malformed JSON is answered with a parse error.
  void HandleContent(std::string_view content);
  /// A framing fault of the stream (answered like malformed JSON).
  void HandleFault(std::string_view why);
  /// One parsed message.
  void HandleMessage(const Json& message);
  /// A request is cancelled before it is handled (the host sees cancellations early).
  void Cancel(const Json& id);
  /// The whole scan ended.
  void OnScanFinished(WorkspaceScanResult result);

  /// True after "exit" (or when the client went away: then call ClientGone first).
  bool exited() const { return exited_; }
  /// The process's exit status: 0 after shutdown then exit, 1 otherwise.
  int exitStatus() const { return shutdown_ ? 0 : 1; }
  void ClientGone() { exited_ = true; stop_ = true; }
  /// Set when the scan is to stop early (shutdown, exit, the client gone).
  const std::atomic<bool>& stopRequested() const { return stop_; }

  const CallIndex& index() const { return index_; }
  bool scanned() const { return scanState_ == ScanState::kReady; }

 private:
  enum class ScanState { kNotStarted, kScanning, kReady };
  using Handler = Json (LanguageServer::*)(const Json& params);
  // A handler that writes its result as text (the answers that can be large).
  using Writer = void (LanguageServer::*)(const Json& params, JsonWriter& result);
  struct Method {
    Handler handler = nullptr;
    Writer writer = nullptr;
    bool needsIndex = false;
  };
  struct HeldDocument {
    std::shared_ptr<const SourceLines> text;
    int64_t version = 0;
  };
  struct FileStamp {
    int64_t modified = 0;
    int64_t size = -1;
    bool operator==(const FileStamp&) const = default;
  };

  void Reply(const Json& id, Json result);
  void ReplyError(const Json& id, int code, const std::string& message);
  void Notify(const std::string& method, Json params);
  void LogMessage(int type, const std::string& text);
  void HandleRequest(const Json& id, const std::string& method, const Json& params);
  void HandleNotification(const std::string& method, const Json& params);
  void RunRequest(const Json& id, const Method& method, const Json& params);

  // Lifecycle and documents.
  Json Initialize(const Json& params);
  Json Shutdown(const Json& params);
  void StartWholeScan();
  void OnProgressAccepted();
  void DidOpen(const Json& params);
  void DidChange(const Json& params);
  void DidSave(const Json& params);
  void DidClose(const Json& params);
  void DidChangeWatchedFiles(const Json& params);
  void RescanFile(const std::string& path, std::string_view text);
  void RescanFromDisk(const std::string& path);
  // Scans again the files that changed on disk since they were read: `path` (the request's
  // document) always, and of the others a share per request.
  void RefreshStaleFiles(const std::string& path);
  bool IsStale(const std::string& path);

  // Requests on the index.
  void PrepareCallHierarchy(const Json& params, JsonWriter& result);
  void IncomingCalls(const Json& params, JsonWriter& result);
  void OutgoingCalls(const Json& params, JsonWriter& result);
  Json Definition(const Json& params);
  void References(const Json& params, JsonWriter& result);
  Json WorkspaceSymbol(const Json& params);
  Json DocumentSymbol(const Json& params);
  Json ExecuteCommand(const Json& params);

  // Texts and positions.
  std::shared_ptr<const SourceLines> TextOf(const std::string& path);
  // The text that holds a function: the part of its file from its header to the next
  // function's, or the whole text where the editor holds it or it was read whole.
  std::shared_ptr<const SourceLines> FunctionTextOf(SiteRef function);
  NameId NameAt(const Json& params, std::string& path);
  // The ranges of every call of `callee` in the body of `caller`, which ends on 0-based line
  // `bodyEndLine` (the model records a call text once per body), or of the recorded lines when
  // the text shows none.
  std::vector<TextRange> CallRanges(const SourceLines& text, const IndexedFunction& caller,
                                    int bodyEndLine, NameId callee,
                                    const std::vector<SiteRef>& recorded) const;
  // A call hierarchy item of a definition, whose text is `text`; `kinds` (when not empty) the
  // kinds of the calls it stands for. Gives the 0-based line its body ends on.
  int WriteItem(JsonWriter& out, SiteRef function, const SourceLines& text,
                 std::string_view kinds);
  // An item of a name defined nowhere, at its call on 1-based line `line` of `file`.
  void WriteUndefinedItem(JsonWriter& out, NameId name, int32_t file, const SourceLines& text,
                          int line, std::string_view kinds);
  std::optional<SiteRef> FunctionOfItem(const Json& item);
  Json LocationOf(int32_t file, const Json& range);

  ServerHost& host_;
  std::map<std::string, Method> requests_;
  bool initialized_ = false;  // "initialize" answered
  bool shutdown_ = false;
  bool exited_ = false;
  std::atomic<bool> stop_{false};
  bool progressSupported_ = false;
  int nextServerRequest_ = 1;
  // The scan's progress is reported once the client accepted its token (answered the create
  // request); the scan's thread reads `progressBegun_`.
  std::string progressRequest_;
  std::atomic<bool> progressBegun_{false};

  std::string root_;
  std::string configSetting_;
  std::string graphFolder_;
  int graphDepth_ = 2;
  std::unique_ptr<WorkspaceConfig> config_;
  ScanState scanState_ = ScanState::kNotStarted;
  std::list<Json> waiting_;  // requests that need the index, in order of arrival
  std::set<std::string> cancelled_;  // ids (as JSON text) cancelled before they were handled

  CallIndex index_;
  std::unordered_map<std::string, HeldDocument> documents_;
  std::unordered_map<std::string, FileStamp> stamps_;  // of files read from disk
  // The ever defined names, in the order of EverDefinedNames, for symbol searches.
  SymbolSearch symbols_;
  std::vector<std::string> sweepOrder_;  // the files read from disk, looked at in turn
  size_t sweepNext_ = 0;
  // Texts of files read from disk for their columns, the most recent first, and where each
  // stands in that list.
  using DiskText = std::pair<std::string, std::shared_ptr<const SourceLines>>;
  std::list<DiskText> diskTexts_;
  std::unordered_map<std::string, std::list<DiskText>::iterator> diskTextPlaces_;
  FileExcerpts excerpts_;  // the functions' parts of files, while a request reads them
};

}  // namespace quillmap::lsp
