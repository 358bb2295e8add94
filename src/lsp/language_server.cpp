#include "lsp/language_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "config/app_identity.h"
#include "config/profile_reader.h"
#include "dot/dot_text.h"
#include "lsp/document_uri.h"
#include "lsp/fuzzy_match.h"
#include "lsp/source_positions.h"
#include "query/graph_query.h"
#include "query/model_query.h"
#include "render/graph_renderer.h"
#include "render/render_settings.h"

namespace quillmap::lsp {

namespace {

constexpr int kSymbolKindFunction = 12;
constexpr int kMessageError = 1;
constexpr int kMessageInfo = 3;
constexpr const char* kProgressToken = "quillmap/scan";
constexpr size_t kMaxWorkspaceSymbols = 200;
constexpr size_t kDiskTextsKept = 256;
constexpr size_t kMaxCancelledKept = 1024;
// The files read from disk that are looked at before each request (all of them in a smaller
// workspace); in a large tree a change is noticed after a few requests, or at once through
// didChangeWatchedFiles.
constexpr size_t kFilesCheckedPerRequest = 500;
constexpr int kDefaultGraphDepth = 2;

constexpr const char* kNotDefinedHere = "not defined in the scanned sources";
constexpr const char* kNotInitialized = "the server is not initialized";
constexpr const char* kShutDown = "the server is shut down";
constexpr const char* kInitializedTwice = "initialize was received already";
constexpr const char* kUnknownMethod = "unknown method: ";
constexpr const char* kCancelled = "request cancelled";
constexpr const char* kShuttingDown = "the server shuts down";
constexpr const char* kBadMessage = "not a JSON-RPC 2.0 message";
constexpr const char* kBadParams = "invalid params: ";
constexpr const char* kUnknownCommand = "unknown command: ";
constexpr const char* kScanning = "scanning with ";
constexpr const char* kScanFailed = "the scan failed: ";

// The option names of initializationOptions.
constexpr const char* kConfigurationOption = "configuration";
constexpr const char* kGraphFolderOption = "graphFolder";
constexpr const char* kGraphDepthOption = "graphDepth";

// The key by which an id is remembered: its JSON text (1 and "1" are different ids).
std::string IdKey(const Json& id) { return id.dump(); }

bool IsValidId(const Json& id) { return id.is_string() || id.is_number_integer(); }

std::string StringOption(const Json& options, const char* key) {
  if (!options.is_object()) return {};
  const auto it = options.find(key);
  return it != options.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The modification time (nanoseconds) and size of a file; size -1 when it is gone.
void StatFile(const std::string& path, int64_t& modified, int64_t& size) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    modified = 0;
    size = -1;
    return;
  }
  modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  size = static_cast<int64_t>(st.st_size);
}

Json Position(int line, int character) { return {{"line", line}, {"character", character}}; }
Json Range(int line, int begin, int endLine, int end) {
  return {{"start", Position(line, begin)}, {"end", Position(endLine, end)}};
}

// The path of a request's text document.
std::string DocumentPath(const Json& params) {
  return PathOfUri(params.at("textDocument").at("uri").get<std::string>());
}

// The text after `root`, or the path itself outside it.
std::string ShownPath(const std::string& path, const std::string& root) {
  return path.starts_with(root) ? path.substr(root.size()) : path;
}

// Tells the client how far the whole scan is, as work done progress, and stops it on request.
class ScanProgress : public RunObserver {
 public:
  ScanProgress(ServerHost& host, const std::atomic<bool>& report, const std::atomic<bool>& stop)
      : host_(host), report_(report), stop_(stop) {}
  void OnProgress(std::string_view stage, size_t done, size_t total) override {
    if (!report_.load() || total == 0) return;
    const int percentage = static_cast<int>(done * 100 / total);
    if (percentage == lastPercentage_ && stage == lastStage_) return;
    lastPercentage_ = percentage;
    lastStage_ = stage;
    host_.Send({{"jsonrpc", "2.0"},
                {"method", "$/progress"},
                {"params",
                 {{"token", kProgressToken},
                  {"value",
                   {{"kind", "report"},
                    {"message", std::string(stage) + " " + std::to_string(done) + "/" +
                                    std::to_string(total)},
                    {"percentage", percentage}}}}}});
  }
  bool StopRequested() override { return stop_.load(); }

 private:
  ServerHost& host_;
  const std::atomic<bool>& report_;  // the client accepted the token
  const std::atomic<bool>& stop_;
  int lastPercentage_ = -1;
  std::string lastStage_;
};

// A content change of didChange applied to a text: a whole new text, or a range replaced.
void ApplyChange(std::string& text, const Json& change) {
  const std::string& replacement = change.at("text").get_ref<const std::string&>();
  const auto range = change.find("range");
  if (range == change.end()) {
    text = replacement;
    return;
  }
  const auto offsetOf = [&text](const Json& position) {
    const int line = position.at("line").get<int>();
    const int character = position.at("character").get<int>();
    size_t start = 0;
    for (int k = 0; k < line; ++k) {
      const size_t feed = text.find('\n', start);
      if (feed == std::string::npos) return text.size();
      start = feed + 1;
    }
    return start + ByteOfColumn(LineOf(std::string_view(text).substr(start), 0), character);
  };
  const size_t begin = offsetOf(range->at("start"));
  const size_t end = std::max(begin, offsetOf(range->at("end")));
  text.replace(begin, end - begin, replacement);
}

// The folder the focused call graphs go to by default: one of the user's own in the system's
// temporary folder.
std::string DefaultGraphFolder() {
  std::error_code error;
  std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) base = "/tmp";
  return (base / ("quillmap-lsp-" + std::to_string(getuid()))).string();
}

// Makes `folder` if it is missing; true when it is a folder of this user that is no link.
bool PrepareGraphFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  struct stat st {};
  return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

// A file name made of a function name: its identifier bytes only.
std::string FileNameOf(std::string_view name) {
  std::string file;
  for (const char c : name) {
    if (IsIdentifierByte(c)) file += c;
  }
  return file.empty() ? "function" : file;
}

}  // namespace

LanguageServer::LanguageServer(ServerHost& host) : host_(host), graphDepth_(kDefaultGraphDepth) {
  requests_ = {
      {"textDocument/prepareCallHierarchy",
       {.writer = &LanguageServer::PrepareCallHierarchy, .needsIndex = true}},
      {"callHierarchy/incomingCalls", {.writer = &LanguageServer::IncomingCalls, .needsIndex = true}},
      {"callHierarchy/outgoingCalls", {.writer = &LanguageServer::OutgoingCalls, .needsIndex = true}},
      {"textDocument/definition", {.handler = &LanguageServer::Definition, .needsIndex = true}},
      {"textDocument/references", {.writer = &LanguageServer::References, .needsIndex = true}},
      {"workspace/symbol", {.handler = &LanguageServer::WorkspaceSymbol, .needsIndex = true}},
      {"textDocument/documentSymbol",
       {.handler = &LanguageServer::DocumentSymbol, .needsIndex = true}},
      {"workspace/executeCommand", {.handler = &LanguageServer::ExecuteCommand, .needsIndex = true}},
  };
}

LanguageServer::~LanguageServer() = default;

void LanguageServer::Reply(const Json& id, Json result) {
  host_.Send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void LanguageServer::ReplyError(const Json& id, int code, const std::string& message) {
  host_.Send(
      {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void LanguageServer::Notify(const std::string& method, Json params) {
  host_.Send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
}

void LanguageServer::LogMessage(int type, const std::string& text) {
  Notify("window/logMessage", {{"type", type}, {"message", text}});
}

void LanguageServer::HandleContent(std::string_view content) {
  // Invalid UTF-8 in a string is taken as it is: sources need not be UTF-8.
  Json message = Json::parse(content, nullptr, false);
  if (message.is_discarded()) {
    ReplyError(nullptr, kParseError, "malformed JSON");
    return;
  }
  HandleMessage(message);
}

void LanguageServer::HandleFault(std::string_view why) {
  ReplyError(nullptr, kParseError, std::string(why));
}

void LanguageServer::HandleMessage(const Json& message) {
  if (exited_) return;
  if (message.is_array()) {
    // The protocol sends no batches; each element is answered as a message of its own.
    if (message.empty()) ReplyError(nullptr, kInvalidRequest, kBadMessage);
    for (const Json& element : message) HandleMessage(element);
    return;
  }
  if (!message.is_object()) {
    ReplyError(nullptr, kInvalidRequest, kBadMessage);
    return;
  }
  const auto id = message.find("id");
  const bool hasValidId = id != message.end() && IsValidId(*id);
  const auto version = message.find("jsonrpc");
  const auto method = message.find("method");
  if (version == message.end() || *version != "2.0" ||
      (method != message.end() && !method->is_string())) {
    ReplyError(hasValidId ? *id : Json(nullptr), kInvalidRequest, kBadMessage);
    return;
  }
  if (method == message.end()) {
    // A response to one of the server's own requests: the progress token's.
    if (id != message.end() && (message.contains("result") || message.contains("error"))) {
      if (id->is_string() && *id == progressRequest_) {
        progressRequest_.clear();
        if (message.contains("result")) OnProgressAccepted();
      }
      return;
    }
    ReplyError(hasValidId ? *id : Json(nullptr), kInvalidRequest, kBadMessage);
    return;
  }
  const auto params = message.find("params");
  const Json noParams = Json::object();
  // A null "params" (sent by some clients for shutdown) counts as none.
  const bool noneGiven = params == message.end() || params->is_null();
  const Json& given = noneGiven ? noParams : *params;
  if (!noneGiven && !params->is_object() && !params->is_array()) {
    ReplyError(hasValidId ? *id : Json(nullptr), kInvalidRequest, kBadMessage);
    return;
  }
  if (id == message.end()) {
    HandleNotification(method->get<std::string>(), given);
  } else if (!hasValidId) {
    ReplyError(nullptr, kInvalidRequest, kBadMessage);
  } else {
    HandleRequest(*id, method->get<std::string>(), given);
  }
}

void LanguageServer::Cancel(const Json& id) {
  if (!IsValidId(id)) return;
  const std::string key = IdKey(id);
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if (IdKey((*it)["id"]) == key) {
      ReplyError((*it)["id"], kRequestCancelled, kCancelled);
      waiting_.erase(it);
      return;
    }
  }
  // Ids of requests answered already pile up here; a bound keeps them few.
  if (cancelled_.size() >= kMaxCancelledKept) cancelled_.clear();
  cancelled_.insert(key);
}

void LanguageServer::HandleRequest(const Json& id, const std::string& method, const Json& params) {
  if (method == "initialize") {
    if (initialized_) {
      ReplyError(id, kInvalidRequest, kInitializedTwice);
      return;
    }
    try {
      Reply(id, Initialize(params));
      initialized_ = true;
    } catch (const Json::exception& error) {
      ReplyError(id, kInvalidParams, kBadParams + std::string(error.what()));
    }
    return;
  }
  if (!initialized_) {
    ReplyError(id, kServerNotInitialized, kNotInitialized);
    return;
  }
  if (shutdown_) {
    ReplyError(id, kInvalidRequest, kShutDown);
    return;
  }
  if (method == "shutdown") {
    shutdown_ = true;
    stop_ = true;
    // Requests still waiting for the scan will not be answered from it.
    for (const Json& request : waiting_) ReplyError(request["id"], kServerCancelled, kShuttingDown);
    waiting_.clear();
    Reply(id, nullptr);
    return;
  }
  const auto found = requests_.find(method);
  if (found == requests_.end()) {
    ReplyError(id, kMethodNotFound, kUnknownMethod + method);
    return;
  }
  if (cancelled_.erase(IdKey(id)) != 0) {
    ReplyError(id, kRequestCancelled, kCancelled);
    return;
  }
  if (found->second.needsIndex && scanState_ != ScanState::kReady) {
    waiting_.push_back({{"id", id}, {"method", method}, {"params", params}});
    return;
  }
  RunRequest(id, found->second, params);
}

void LanguageServer::RunRequest(const Json& id, const Method& method, const Json& params) {
  try {
    if (method.needsIndex) {
      const auto document = params.is_object() ? params.find("textDocument") : params.end();
      RefreshStaleFiles(document != params.end() && document->is_object() &&
                                document->contains("uri") && document->at("uri").is_string()
                            ? PathOfUri(document->at("uri").get<std::string>())
                            : std::string());
    }
    if (method.writer != nullptr) {
      // The answer is written around the result as the handler writes it.
      JsonWriter answer;
      answer.BeginObject().Key("id").Value(id).Key("jsonrpc").String("2.0").Key("result");
      (this->*method.writer)(params, answer);
      answer.EndObject();
      host_.SendText(answer.TakePieces());
    } else {
      Reply(id, (this->*method.handler)(params));
    }
  } catch (const Json::exception& error) {
    ReplyError(id, kInvalidParams, kBadParams + std::string(error.what()));
  } catch (const std::invalid_argument& error) {
    ReplyError(id, kInvalidParams, error.what());
  } catch (const std::exception& error) {
    ReplyError(id, kInternalError, error.what());
  }
  // A file read for this request may change on disk before the next one.
  excerpts_.Close();
}

void LanguageServer::HandleNotification(const std::string& method, const Json& params) {
  if (method == "exit") {
    exited_ = true;
    stop_ = true;
    return;
  }
  // Before initialize every notification but exit is dropped; after shutdown only exit counts.
  if (!initialized_ || shutdown_) return;
  try {
    if (method == "initialized") {
      StartWholeScan();
    } else if (method == "$/cancelRequest") {
      Cancel(params.at("id"));
    } else if (method == "textDocument/didOpen") {
      DidOpen(params);
    } else if (method == "textDocument/didChange") {
      DidChange(params);
    } else if (method == "textDocument/didSave") {
      DidSave(params);
    } else if (method == "textDocument/didClose") {
      DidClose(params);
    } else if (method == "workspace/didChangeWatchedFiles") {
      DidChangeWatchedFiles(params);
    }
  } catch (const Json::exception& error) {
    // A notification has no answer: the client learns of its fault through the log.
    LogMessage(kMessageError, method + ": " + kBadParams + error.what());
  }
}

Json LanguageServer::Initialize(const Json& params) {
  std::string root;
  const auto folders = params.find("workspaceFolders");
  if (folders != params.end() && folders->is_array() && !folders->empty()) {
    root = PathOfUri(folders->at(0).at("uri").get<std::string>());
  }
  const auto rootUri = params.find("rootUri");
  if (root.empty() && rootUri != params.end() && rootUri->is_string()) {
    root = PathOfUri(rootUri->get<std::string>());
  }
  const auto rootPath = params.find("rootPath");
  if (root.empty() && rootPath != params.end() && rootPath->is_string()) {
    root = rootPath->get<std::string>();
  }
  root_ = root;
  const auto options = params.find("initializationOptions");
  if (options != params.end()) {
    configSetting_ = StringOption(*options, kConfigurationOption);
    graphFolder_ = StringOption(*options, kGraphFolderOption);
    const auto depth = options->is_object() ? options->find(kGraphDepthOption) : options->end();
    if (options->is_object() && depth != options->end() && depth->is_number_integer()) {
      graphDepth_ = depth->get<int>();
    }
  }
  if (graphFolder_.empty()) graphFolder_ = DefaultGraphFolder();
  const Json* window = nullptr;
  const auto capabilities = params.find("capabilities");
  if (capabilities != params.end() && capabilities->is_object()) {
    const auto it = capabilities->find("window");
    if (it != capabilities->end()) window = &*it;
  }
  progressSupported_ = window != nullptr && window->is_object() &&
                       window->value("workDoneProgress", false) == true;
  return {{"capabilities",
           {{"positionEncoding", "utf-16"},
            {"textDocumentSync",
             {{"openClose", true}, {"change", 1}, {"save", {{"includeText", true}}}}},
            {"callHierarchyProvider", true},
            {"definitionProvider", true},
            {"referencesProvider", true},
            {"workspaceSymbolProvider", true},
            {"documentSymbolProvider", true},
            {"executeCommandProvider", {{"commands", {kCallGraphCommand}}}}}},
          {"serverInfo", {{"name", ApplicationName()}, {"version", kVersionText}}}};
}

void LanguageServer::StartWholeScan() {
  if (scanState_ != ScanState::kNotStarted) return;
  scanState_ = ScanState::kScanning;
  config_ = std::make_unique<WorkspaceConfig>(WorkspaceConfig::For(root_, configSetting_));
  root_ = config_->root();
  LogMessage(kMessageInfo, kScanning + config_->Description());
  if (progressSupported_) {
    progressRequest_ = "quillmap/progress/" + std::to_string(nextServerRequest_++);
    host_.Send({{"jsonrpc", "2.0"},
                {"id", progressRequest_},
                {"method", "window/workDoneProgress/create"},
                {"params", {{"token", kProgressToken}}}});
  }
  const WorkspaceConfig* config = config_.get();
  ServerHost& host = host_;
  const std::atomic<bool>& report = progressBegun_;
  const std::atomic<bool>& stop = stop_;
  host_.StartScan([config, &host, &report, &stop] {
    ScanProgress progress(host, report, stop);
    return ScanWorkspace(*config, &progress);
  });
}

void LanguageServer::OnProgressAccepted() {
  Notify("$/progress", {{"token", kProgressToken},
                        {"value",
                         {{"kind", "begin"},
                          {"title", "Quillmap scan"},
                          {"cancellable", false},
                          {"percentage", 0}}}});
  progressBegun_ = true;
  // A scan that ended before the client answered ends its progress at once.
  if (scanState_ == ScanState::kReady) {
    Notify("$/progress", {{"token", kProgressToken}, {"value", {{"kind", "end"}}}});
  }
}

void LanguageServer::OnScanFinished(WorkspaceScanResult result) {
  if (result.index != nullptr) index_ = std::move(*result.index);
  symbols_ = SymbolSearch();
  for (const auto& [path, file] : result.files) index_.ReplaceFile(path, file);
  for (int32_t file = 0; file < index_.fileCount(); ++file) {
    FileStamp& stamp = stamps_[index_.PathOf(file)];
    StatFile(index_.PathOf(file), stamp.modified, stamp.size);
  }
  scanState_ = ScanState::kReady;
  sweepOrder_.clear();
  for (const auto& [path, stamp] : stamps_) sweepOrder_.push_back(path);
  // What the editor holds is newer than the disk.
  for (const auto& [path, document] : documents_) RescanFile(path, document.text->text());
  if (progressBegun_) {
    Notify("$/progress", {{"token", kProgressToken}, {"value", {{"kind", "end"}}}});
  }
  // A scan stopped by shutdown is no failure to show.
  if (shutdown_) return;
  if (!result.ok) {
    LogMessage(kMessageError, kScanFailed + result.failure);
    Notify("window/showMessage", {{"type", kMessageError}, {"message", kScanFailed + result.failure}});
  }
  for (const std::string& error : result.log.errors) LogMessage(kMessageError, error);
  LogMessage(kMessageInfo, std::to_string(index_.fileCount()) + " files, " +
                               std::to_string(index_.functionCount()) + " functions, " +
                               std::to_string(index_.callCount()) + " calls");
  while (!waiting_.empty() && !exited_) {
    const Json request = std::move(waiting_.front());
    waiting_.pop_front();
    RunRequest(request["id"], requests_.at(request["method"].get<std::string>()),
               request["params"]);
  }
}

void LanguageServer::RescanFile(const std::string& path, std::string_view text) {
  if (config_ == nullptr || scanState_ != ScanState::kReady) return;
  const auto known = diskTextPlaces_.find(path);
  if (known != diskTextPlaces_.end()) {
    diskTexts_.erase(known->second);
    diskTextPlaces_.erase(known);
  }
  const WorkspaceScanResult result = ScanOneFile(*config_, path, text);
  bool replaced = false;
  for (const auto& [scanned, file] : result.files) {
    if (scanned != path) continue;
    index_.ReplaceFile(path, file, text);
    replaced = true;
  }
  if (!replaced) index_.RemoveFile(path);
}

void LanguageServer::RescanFromDisk(const std::string& path) {
  FileStamp stamp;
  StatFile(path, stamp.modified, stamp.size);
  std::string text;
  if (stamp.size < 0 || !ReadWholeFile(path, text)) {
    index_.RemoveFile(path);
    stamps_.erase(path);
    return;
  }
  if (stamps_.count(path) == 0) sweepOrder_.push_back(path);
  stamps_[path] = stamp;
  RescanFile(path, text);
}

bool LanguageServer::IsStale(const std::string& path) {
  const auto known = stamps_.find(path);
  if (known == stamps_.end() || documents_.count(path) != 0) return false;
  FileStamp current;
  StatFile(path, current.modified, current.size);
  return !(current == known->second);
}

void LanguageServer::RefreshStaleFiles(const std::string& path) {
  if (scanState_ != ScanState::kReady) return;
  std::vector<std::string> stale;
  if (!path.empty() && IsStale(path)) stale.push_back(path);
  const size_t count = std::min(sweepOrder_.size(), kFilesCheckedPerRequest);
  for (size_t k = 0; k < count; ++k) {
    if (sweepNext_ >= sweepOrder_.size()) sweepNext_ = 0;
    const std::string& next = sweepOrder_[sweepNext_++];
    if (next != path && IsStale(next)) stale.push_back(next);
  }
  for (const std::string& file : stale) RescanFromDisk(file);
}

void LanguageServer::DidOpen(const Json& params) {
  const Json& document = params.at("textDocument");
  const std::string path = PathOfUri(document.at("uri").get<std::string>());
  if (path.empty()) return;
  // Read before the document is held: a didOpen without its text holds nothing.
  auto text = std::make_shared<const SourceLines>(document.at("text").get<std::string>());
  const int version = document.value("version", 0);
  HeldDocument& held = documents_[path];
  held.text = std::move(text);
  held.version = version;
  RescanFile(path, held.text->text());
}

void LanguageServer::DidChange(const Json& params) {
  const std::string path = DocumentPath(params);
  const auto found = documents_.find(path);
  if (found == documents_.end()) return;
  std::string text = found->second.text->text();
  for (const Json& change : params.at("contentChanges")) ApplyChange(text, change);
  found->second.text = std::make_shared<const SourceLines>(std::move(text));
  found->second.version = params.at("textDocument").value("version", found->second.version);
  RescanFile(path, found->second.text->text());
}

void LanguageServer::DidSave(const Json& params) {
  const std::string path = DocumentPath(params);
  const auto found = documents_.find(path);
  const auto text = params.find("text");
  if (found != documents_.end() && text != params.end() && text->is_string()) {
    found->second.text = std::make_shared<const SourceLines>(text->get<std::string>());
    RescanFile(path, found->second.text->text());
  } else if (found == documents_.end()) {
    RescanFromDisk(path);
  }
  // The saved file's stamp is the disk's now, so that the next sweep does not scan it again.
  if (stamps_.count(path) != 0) StatFile(path, stamps_[path].modified, stamps_[path].size);
}

void LanguageServer::DidClose(const Json& params) {
  const std::string path = DocumentPath(params);
  if (documents_.erase(path) == 0) return;
  // From now on the file on disk counts; a file that the scan never read leaves the index.
  if (stamps_.count(path) != 0) {
    RescanFromDisk(path);
  } else {
    index_.RemoveFile(path);
  }
}

void LanguageServer::DidChangeWatchedFiles(const Json& params) {
  constexpr int kCreated = 1;
  constexpr int kDeleted = 3;
  for (const Json& change : params.at("changes")) {
    const std::string path = PathOfUri(change.at("uri").get<std::string>());
    if (path.empty() || documents_.count(path) != 0) continue;
    const int type = change.at("type").get<int>();
    if (type == kDeleted) {
      index_.RemoveFile(path);
      stamps_.erase(path);
    } else if (stamps_.count(path) != 0 || (type == kCreated && path.ends_with(".c"))) {
      RescanFromDisk(path);
    }
  }
}

std::shared_ptr<const SourceLines> LanguageServer::TextOf(const std::string& path) {
  const auto held = documents_.find(path);
  if (held != documents_.end()) return held->second.text;
  const auto known = diskTextPlaces_.find(path);
  if (known != diskTextPlaces_.end()) {
    diskTexts_.splice(diskTexts_.begin(), diskTexts_, known->second);
    return diskTexts_.front().second;
  }
  std::string text;
  if (!ReadWholeFile(path, text)) text.clear();
  diskTexts_.emplace_front(path, std::make_shared<const SourceLines>(std::move(text)));
  diskTextPlaces_.emplace(path, diskTexts_.begin());
  if (diskTexts_.size() > kDiskTextsKept) {
    diskTextPlaces_.erase(diskTexts_.back().first);
    diskTexts_.pop_back();
  }
  return diskTexts_.front().second;
}

std::shared_ptr<const SourceLines> LanguageServer::FunctionTextOf(SiteRef ref) {
  const std::string& path = index_.PathOf(ref.file);
  const IndexedFunction& function = index_.Function(ref);
  if (function.offset == kNoOffset || documents_.count(path) != 0 ||
      diskTextPlaces_.count(path) != 0) {
    return TextOf(path);
  }
  std::string part;
  if (!excerpts_.Read(path, function.offset, index_.PartEnd(ref), part)) part.clear();
  return std::make_shared<const SourceLines>(std::move(part), function.line - 1);
}

NameId LanguageServer::NameAt(const Json& params, std::string& path) {
  path = DocumentPath(params);
  const Json& position = params.at("position");
  const auto text = TextOf(path);
  const std::string_view line = text->Line(position.at("line").get<int>());
  const NameSpan span =
      IdentifierAt(line, ByteOfColumn(line, position.at("character").get<int>()));
  if (!span.found()) return kNoName;
  return index_.FindName(line.substr(span.begin, span.end - span.begin));
}

namespace {

Json RangeJson(const TextRange& range) {
  return Range(range.line, range.character, range.endLine, range.endCharacter);
}

void WriteRange(JsonWriter& out, const TextRange& range) {
  out.BeginObject();
  out.Key("start").BeginObject().Key("line").Int(range.line);
  out.Key("character").Int(range.character).EndObject();
  out.Key("end").BeginObject().Key("line").Int(range.endLine);
  out.Key("character").Int(range.endCharacter).EndObject();
  out.EndObject();
}

void WriteRanges(JsonWriter& out, const std::vector<TextRange>& ranges) {
  out.BeginArray();
  for (const TextRange& range : ranges) WriteRange(out, range);
  out.EndArray();
}

void WriteLocation(JsonWriter& out, std::string_view uri, const TextRange& range) {
  out.BeginObject().Key("uri").String(uri).Key("range");
  WriteRange(out, range);
  out.EndObject();
}

// The span of `name` in a line: 0-based line `line`, byte offsets [begin, end).
TextRange SpanRange(std::string_view lineText, int line, size_t begin, size_t end) {
  return {line, Utf16Column(lineText, begin), line, Utf16Column(lineText, end)};
}

// `name` on 1-based line `line`, or the whole line when it is not there.
TextRange NameOnLine(const SourceLines& text, int line, std::string_view name) {
  const std::string_view lineText = text.Line(line - 1);
  const NameSpan span = FindName(lineText, name);
  if (!span.found()) return SpanRange(lineText, line - 1, 0, lineText.size());
  return SpanRange(lineText, line - 1, span.begin, span.end);
}

// The name in the header of a function: on its first line, or on a later one of a wrapped
// header.
TextRange SelectionOf(const SourceLines& text, const IndexedFunction& function,
                      std::string_view name) {
  for (int line = function.line - 1; line <= std::max(function.line - 1, function.braceLine);
       ++line) {
    const std::string_view lineText = text.Line(line);
    const NameSpan span = FindName(lineText, name);
    if (span.found()) return SpanRange(lineText, line, span.begin, span.end);
  }
  return {function.line - 1, 0, function.line - 1, 0};
}

// The whole function, from its header to the "}" that closes its body (its last recorded line
// when the text ends first).
TextRange FunctionRange(const SourceLines& text, const IndexedFunction& function) {
  int endLine = function.lastLine - 1;
  size_t endByte = text.Line(endLine).size();
  FindBodyEnd(text, function.braceLine, endLine, endByte);
  return {function.line - 1, 0, endLine, Utf16Column(text.Line(endLine), endByte)};
}

// What the calls of one group are: their kinds, each with the name it goes through.
std::string CallKindsText(const CallIndex& index, const std::vector<SiteRef>& calls) {
  std::vector<std::string> kinds;
  for (const SiteRef& ref : calls) {
    const IndexedCall& call = index.Call(ref);
    std::string kind(CallKindName(call.kind()));
    if (call.via != kNoName && !index.NameOf(call.via).empty()) {
      kind += " via " + std::string(index.NameOf(call.via));
    }
    if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
  }
  std::string text;
  for (const std::string& kind : kinds) text += (text.empty() ? "" : ", ") + kind;
  return text;
}

// A detail followed by the kinds of the calls it stands for.
std::string WithKinds(std::string detail, std::string_view kinds) {
  if (!kinds.empty()) {
    detail += " · ";
    detail += kinds;
  }
  return detail;
}

}  // namespace

std::vector<TextRange> LanguageServer::CallRanges(const SourceLines& text,
                                                  const IndexedFunction& caller, int bodyEndLine,
                                                  NameId callee,
                                                  const std::vector<SiteRef>& recorded) const {
  const std::string_view name = index_.NameOf(callee);
  std::vector<TextRange> ranges;
  for (int line = caller.braceLine; line <= bodyEndLine; ++line) {
    const std::string_view lineText = text.Line(line);
    for (const NameSpan& span : CallsOfName(lineText, name)) {
      ranges.push_back(SpanRange(lineText, line, span.begin, span.end));
    }
  }
  if (ranges.empty()) {
    for (const SiteRef& ref : recorded) ranges.push_back(NameOnLine(text, index_.Call(ref).line, name));
  }
  return ranges;
}

int LanguageServer::WriteItem(JsonWriter& out, SiteRef ref, const SourceLines& text,
                              std::string_view kinds) {
  const IndexedFunction& function = index_.Function(ref);
  const std::string& path = index_.PathOf(ref.file);
  const std::string_view name = index_.NameOf(function.name);
  const TextRange range = FunctionRange(text, function);
  out.BeginObject();
  out.Key("name").String(name);
  out.Key("kind").Int(kSymbolKindFunction);
  out.Key("detail").String(
      WithKinds(ShownPath(path, root_) + ":" + std::to_string(function.line), kinds));
  out.Key("uri").String(UriOfPath(path));
  out.Key("range");
  WriteRange(out, range);
  out.Key("selectionRange");
  WriteRange(out, SelectionOf(text, function, name));
  out.Key("data").BeginObject();
  out.Key("name").String(name).Key("path").String(path).Key("line").Int(function.line);
  out.EndObject();
  out.EndObject();
  return range.endLine;
}

void LanguageServer::WriteUndefinedItem(JsonWriter& out, NameId name, int32_t file,
                                        const SourceLines& text, int line,
                                        std::string_view kinds) {
  const TextRange range = NameOnLine(text, line, index_.NameOf(name));
  out.BeginObject();
  out.Key("name").String(index_.NameOf(name));
  out.Key("kind").Int(kSymbolKindFunction);
  out.Key("detail").String(WithKinds(kNotDefinedHere, kinds));
  out.Key("uri").String(UriOfPath(index_.PathOf(file)));
  out.Key("range");
  WriteRange(out, range);
  out.Key("selectionRange");
  WriteRange(out, range);
  out.Key("data").BeginObject().Key("name").String(index_.NameOf(name)).EndObject();
  out.EndObject();
}

std::optional<SiteRef> LanguageServer::FunctionOfItem(const Json& item) {
  const NameId name = index_.FindName(item.at("name").get<std::string>());
  if (name == kNoName) return std::nullopt;
  const auto data = item.find("data");
  std::string path;
  int line = 0;
  if (data != item.end() && data->is_object() && data->contains("path")) {
    path = data->at("path").get<std::string>();
    line = data->at("line").get<int>();
  } else if (!item.contains("data")) {
    path = PathOfUri(item.at("uri").get<std::string>());
    line = item.at("selectionRange").at("start").at("line").get<int>() + 1;
  }
  const SiteList& definitions = index_.DefinitionsOf(name);
  if (path.empty()) return std::nullopt;
  // The definition the item was made from; after an edit moved it, the one nearest in its file.
  std::optional<SiteRef> nearest;
  int distance = 0;
  for (const SiteRef& ref : definitions) {
    if (index_.PathOf(ref.file) != path) continue;
    const int away = std::abs(index_.Function(ref).line - line);
    if (!nearest || away < distance) {
      nearest = ref;
      distance = away;
    }
  }
  return nearest;
}

Json LanguageServer::LocationOf(int32_t file, const Json& range) {
  return {{"uri", UriOfPath(index_.PathOf(file))}, {"range", range}};
}

void LanguageServer::PrepareCallHierarchy(const Json& params, JsonWriter& out) {
  std::string path;
  const NameId name = NameAt(params, path);
  if (name == kNoName) {
    out.Null();
    return;
  }
  // A namesake in the same file first: a static function is the one its file means.
  std::vector<SiteRef> definitions(index_.DefinitionsOf(name).begin(),
                                   index_.DefinitionsOf(name).end());
  std::stable_partition(definitions.begin(), definitions.end(), [&](const SiteRef& ref) {
    return index_.PathOf(ref.file) == path;
  });
  if (definitions.empty()) {
    const int32_t file = index_.FindFile(path);
    if (index_.CallsTo(name).empty() || file < 0) {
      out.Null();
      return;
    }
    out.BeginArray();
    WriteUndefinedItem(out, name, file, *TextOf(path),
                       params.at("position").at("line").get<int>() + 1, {});
    out.EndArray();
    return;
  }
  out.BeginArray();
  for (const SiteRef& ref : definitions) WriteItem(out, ref, *FunctionTextOf(ref), {});
  out.EndArray();
}

namespace {

// Call sites grouped by the function that makes them (file, index there), in the order of
// their first call.
struct CallerGroups {
  std::map<std::pair<int32_t, int32_t>, std::vector<SiteRef>> calls;
  std::vector<std::pair<int32_t, int32_t>> order;

  void Add(const CallIndex& index, const SiteRef& ref) {
    const std::pair<int32_t, int32_t> caller{ref.file, index.CallerOf(ref)};
    auto& group = calls[caller];
    if (group.empty()) order.push_back(caller);
    group.push_back(ref);
  }
};

}  // namespace

void LanguageServer::IncomingCalls(const Json& params, JsonWriter& out) {
  const Json& item = params.at("item");
  const NameId name = index_.FindName(item.at("name").get<std::string>());
  out.BeginArray();
  if (name == kNoName) {
    out.EndArray();
    return;
  }
  // Where several files define the name, a call in one of them is taken as a call of its own
  // (static) definition, not of the item's.
  const std::optional<SiteRef> target = FunctionOfItem(item);
  std::vector<int32_t> definingFiles;
  for (const SiteRef& ref : index_.DefinitionsOf(name)) definingFiles.push_back(ref.file);
  std::sort(definingFiles.begin(), definingFiles.end());
  const bool namesakes = definingFiles.size() > 1 && target.has_value();
  CallerGroups groups;
  for (const SiteRef& ref : index_.CallsTo(name)) {
    if (namesakes && ref.file != target->file &&
        std::binary_search(definingFiles.begin(), definingFiles.end(), ref.file)) {
      continue;
    }
    groups.Add(index_, ref);
  }
  for (const auto& caller : groups.order) {
    const std::vector<SiteRef>& calls = groups.calls[caller];
    const SiteRef function{caller.first, caller.second};
    const auto text = FunctionTextOf(function);
    out.BeginObject().Key("from");
    const int bodyEndLine = WriteItem(out, function, *text, CallKindsText(index_, calls));
    out.Key("fromRanges");
    WriteRanges(out, CallRanges(*text, index_.Function(function), bodyEndLine, name, calls));
    out.EndObject();
  }
  out.EndArray();
}

void LanguageServer::OutgoingCalls(const Json& params, JsonWriter& out) {
  out.BeginArray();
  const std::optional<SiteRef> function = FunctionOfItem(params.at("item"));
  if (!function) {
    out.EndArray();
    return;
  }
  const IndexedFunction& caller = index_.Function(*function);
  const auto text = FunctionTextOf(*function);
  const int bodyEndLine = FunctionRange(*text, caller).endLine;
  std::map<NameId, std::vector<SiteRef>> byCallee;
  std::vector<NameId> order;
  for (uint32_t c = caller.firstCall; c < caller.firstCall + caller.callCount; ++c) {
    const SiteRef ref{function->file, static_cast<int32_t>(c)};
    auto& calls = byCallee[index_.Call(ref).callee];
    if (calls.empty()) order.push_back(index_.Call(ref).callee);
    calls.push_back(ref);
  }
  for (const NameId callee : order) {
    const std::vector<SiteRef>& calls = byCallee[callee];
    const std::vector<TextRange> ranges = CallRanges(*text, caller, bodyEndLine, callee, calls);
    const std::string kinds = CallKindsText(index_, calls);
    // The definition in the caller's file if there is one, else every namesake.
    std::vector<SiteRef> targets;
    for (const SiteRef& ref : index_.DefinitionsOf(callee)) {
      if (ref.file == function->file) targets = {ref};
    }
    if (targets.empty()) {
      targets.assign(index_.DefinitionsOf(callee).begin(), index_.DefinitionsOf(callee).end());
    }
    if (targets.empty()) {
      out.BeginObject().Key("to");
      WriteUndefinedItem(out, callee, function->file, *text, index_.Call(calls.front()).line,
                         kinds);
      out.Key("fromRanges");
      WriteRanges(out, ranges);
      out.EndObject();
      continue;
    }
    for (const SiteRef& target : targets) {
      out.BeginObject().Key("to");
      WriteItem(out, target, *FunctionTextOf(target), kinds);
      out.Key("fromRanges");
      WriteRanges(out, ranges);
      out.EndObject();
    }
  }
  out.EndArray();
}

Json LanguageServer::Definition(const Json& params) {
  std::string path;
  const NameId name = NameAt(params, path);
  if (name == kNoName) return nullptr;
  Json locations = Json::array();
  for (const SiteRef& ref : index_.DefinitionsOf(name)) {
    const auto text = FunctionTextOf(ref);
    locations.push_back(LocationOf(
        ref.file, RangeJson(SelectionOf(*text, index_.Function(ref), index_.NameOf(name)))));
  }
  if (locations.empty()) return nullptr;
  return locations;
}

void LanguageServer::References(const Json& params, JsonWriter& out) {
  std::string path;
  const NameId name = NameAt(params, path);
  out.BeginArray();
  if (name == kNoName) {
    out.EndArray();
    return;
  }
  const auto context = params.find("context");
  if (context != params.end() && context->value("includeDeclaration", false)) {
    for (const SiteRef& ref : index_.DefinitionsOf(name)) {
      const auto text = FunctionTextOf(ref);
      WriteLocation(out, UriOfPath(index_.PathOf(ref.file)),
                    SelectionOf(*text, index_.Function(ref), index_.NameOf(name)));
    }
  }
  CallerGroups groups;
  for (const SiteRef& ref : index_.CallsTo(name)) groups.Add(index_, ref);
  for (const auto& caller : groups.order) {
    const IndexedFunction& function = index_.Function({caller.first, caller.second});
    const auto text = FunctionTextOf({caller.first, caller.second});
    const std::string uri = UriOfPath(index_.PathOf(caller.first));
    const int bodyEndLine = FunctionRange(*text, function).endLine;
    for (const TextRange& range :
         CallRanges(*text, function, bodyEndLine, name, groups.calls[caller])) {
      WriteLocation(out, uri, range);
    }
  }
  out.EndArray();
}

Json LanguageServer::WorkspaceSymbol(const Json& params) {
  const std::string query = params.at("query").get<std::string>();
  const std::vector<NameId>& names = index_.EverDefinedNames();
  size_t bytes = 0;
  for (size_t k = symbols_.size(); k < names.size(); ++k) bytes += index_.NameOf(names[k]).size();
  symbols_.Reserve(names.size() - symbols_.size(), bytes);
  for (size_t k = symbols_.size(); k < names.size(); ++k) {
    symbols_.Add(names[k], index_.NameOf(names[k]));
  }
  const std::vector<NameId> ranked = symbols_.Find(
      query, kMaxWorkspaceSymbols, [this](NameId name) { return index_.NameOf(name); },
      [this](NameId name) { return !index_.DefinitionsOf(name).empty(); });
  Json symbols = Json::array();
  for (size_t k = 0; k < ranked.size() && symbols.size() < kMaxWorkspaceSymbols; ++k) {
    for (const SiteRef& ref : index_.DefinitionsOf(ranked[k])) {
      // The line of the header without reading the file: a search lists many files.
      const int line = index_.Function(ref).line - 1;
      const std::string& path = index_.PathOf(ref.file);
      symbols.push_back({{"name", index_.NameOf(ranked[k])},
                         {"kind", kSymbolKindFunction},
                         {"containerName", ShownPath(path, root_)},
                         {"location", LocationOf(ref.file, Range(line, 0, line, 0))}});
      if (symbols.size() == kMaxWorkspaceSymbols) break;
    }
  }
  return symbols;
}

Json LanguageServer::DocumentSymbol(const Json& params) {
  const std::string path = DocumentPath(params);
  Json symbols = Json::array();
  const int32_t file = index_.FindFile(path);
  if (file < 0) return symbols;
  const auto text = TextOf(path);
  for (const IndexedFunction& function : index_.FunctionsIn(file)) {
    const std::string_view name = index_.NameOf(function.name);
    symbols.push_back({{"name", name},
                       {"kind", kSymbolKindFunction},
                       {"range", RangeJson(FunctionRange(*text, function))},
                       {"selectionRange", RangeJson(SelectionOf(*text, function, name))}});
  }
  return symbols;
}

Json LanguageServer::ExecuteCommand(const Json& params) {
  const std::string command = params.at("command").get<std::string>();
  if (command != kCallGraphCommand) throw std::invalid_argument(kUnknownCommand + command);
  const Json& arguments = params.at("arguments");
  QueryOptionTexts texts;
  texts[kFocusOption] = arguments.at(0).get<std::string>();
  texts[kDirectionOption] = arguments.size() > 1 ? arguments.at(1).get<std::string>() : "both";
  texts[kDepthOption] = std::to_string(arguments.size() > 2 ? arguments.at(2).get<int>()
                                                            : graphDepth_);
  const GraphQueryResult parsed = ParseGraphQuery(texts);
  if (!parsed.error.empty()) throw std::invalid_argument(parsed.error);

  QueryGraph graph;
  for (int32_t file = 0; file < index_.fileCount(); ++file) {
    const std::vector<IndexedFunction>& functions = index_.FunctionsIn(file);
    for (const IndexedFunction& function : functions) graph.AddNode(index_.NameOf(function.name));
    for (const IndexedFunction& function : functions) {
      const int32_t from = graph.AddNode(index_.NameOf(function.name));
      for (uint32_t c = function.firstCall; c < function.firstCall + function.callCount; ++c) {
        graph.AddEdge(from, graph.AddNode(index_.NameOf(index_.CallsIn(file)[c].callee)));
      }
    }
  }
  graph.Finish();
  const QueryOutcome outcome = RunQuery(graph, parsed.query);
  if (!outcome.error.empty()) throw std::invalid_argument(outcome.error);

  std::string dot = "digraph G {\n  rankdir=LR;\n  node [shape=box, fontname=Helvetica, fontsize=10];\n";
  for (int32_t node = 0; node < graph.nodeCount(); ++node) {
    if (outcome.keepNode[static_cast<size_t>(node)]) dot += "  " + DotId(graph.name(node)) + ";\n";
  }
  std::set<std::pair<int32_t, int32_t>> drawn;
  for (int32_t edge = 0; edge < graph.edgeCount(); ++edge) {
    if (!outcome.keepEdge[static_cast<size_t>(edge)]) continue;
    if (!drawn.insert({graph.from(edge), graph.to(edge)}).second) continue;
    dot += "  " + DotId(graph.name(graph.from(edge))) + " -> " +
           DotId(graph.name(graph.to(edge))) + ";\n";
  }
  for (const std::string& line : CutMarkLines(graph, outcome)) dot += "  " + line + "\n";
  dot += "}\n";

  if (!PrepareGraphFolder(graphFolder_)) {
    throw std::runtime_error("cannot use the folder " + graphFolder_);
  }
  const std::string dotPath = graphFolder_ + "/" + FileNameOf(texts[kFocusOption]) + ".dot";
  {
    std::ofstream out(dotPath, std::ios::binary | std::ios::trunc);
    out << dot;
    if (!out) throw std::runtime_error("cannot write " + dotPath);
  }
  GraphRenderer renderer;
  RenderSettings settings;
  settings.formats = {"svg"};
  const RenderResult rendered = renderer.Render(dotPath, settings, {});
  if (rendered.failed) {
    std::string why;
    for (const std::string& entry : rendered.entries) why += (why.empty() ? "" : "; ") + entry;
    throw std::runtime_error(why);
  }
  return PicturePath(dotPath, "svg");
}

}  // namespace quillmap::lsp
