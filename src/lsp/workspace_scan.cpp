#include "lsp/workspace_scan.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "config/cached_profile_reader.h"
#include "config/profile_reader.h"
#include "config/starting_config.h"
#include "files/file_error.h"
#include "files/paths.h"
#include "outputs/line_writer.h"
#include "scan/scan_run.h"

namespace quillmap::lsp {

namespace {

constexpr const char* kHeldDescription = "the starting configuration of -init, held in memory, for ";
constexpr size_t kMaxKeptEntries = 200;
constexpr size_t kFilesPerTrim = 500;

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Output lines that go nowhere: the scans of the server write no file.
class DiscardingWriter : public LineWriter {
 protected:
  bool PrepareTarget(const std::string&, bool, OutputTarget&) override { return true; }
  bool WriteLineTo(Output&, std::string_view, bool) override { return true; }
};

// The configuration as the server's scans read it: the outputs off, the module graph off (the
// requests need the call graph only), the held text's source paths taken from the workspace
// root, and for the scan of one file that file as the only source.
class ServerProfile : public ProfileReader {
 public:
  ServerProfile(const WorkspaceConfig& config, std::string onlySource)
      : config_(config), onlySource_(std::move(onlySource)) {}

  std::string Lookup(const std::string& path, std::string_view section,
                     std::string_view key) override {
    const std::string sectionName = Lowered(section);
    const std::string keyName = Lowered(key);
    if (path == config_.cfgPath()) {
      if (IsOutputKey(sectionName, keyName)) return {};
      if (sectionName == "modules" && keyName.starts_with("mod_")) return {};
      if (!onlySource_.empty() && IsSourceKey(sectionName, keyName)) {
        return keyName == "file0" ? onlySource_ : std::string();
      }
    }
    std::string value = config_.held() && path == config_.cfgPath()
                             ? LookupIniValue(config_.heldText(), section, key)
                             : disk_.Lookup(path, section, key);
    if (config_.held() && IsSourceKey(sectionName, keyName) && !value.empty() &&
        value[0] != '/' && (!keyName.starts_with("exclude") || value.find('/') != std::string::npos)) {
      value.insert(0, config_.root());
    }
    return value;
  }

 private:
  static bool IsOutputKey(const std::string& section, const std::string& key) {
    if (key == "render") return true;
    return section == "files" && (key == "dot" || key == "csv" || key == "json");
  }
  static bool IsSourceKey(const std::string& section, const std::string& key) {
    return section == "files" &&
           (key.starts_with("file") || key.starts_with("exclude") || key == "compile_commands");
  }

  const WorkspaceConfig& config_;
  std::string onlySource_;
  CachedProfileReader disk_;
};

WorkspaceScanResult RunServerScan(const WorkspaceConfig& config, const std::string& onlySource,
                                  RunObserver* observer, bool intoIndex) {
  WorkspaceScanResult result;
  auto run = std::make_unique<ScanRun>();
  run->SetProfileReader(std::make_unique<ServerProfile>(config, onlySource));
  run->SetLineWriter(std::make_unique<DiscardingWriter>());
  try {
    const RunOutcome outcome = run->Run(config.cfgPath(), result.log, observer);
    result.ok = outcome.finished && !outcome.stopped;
    if (!result.ok) result.failure = "the scan did not finish";
  } catch (const FileError& error) {
    result.failure = error.what();
    return result;
  }
  // The run lets go of everything but its model, and the model of its functions and calls
  // as they enter the index.
  CallGraphModel model = run->TakeModel().callGraph;
  run.reset();
  if (intoIndex) {
    // The index takes the model's names as its own: they are never held twice.
    result.index = std::make_unique<CallIndex>(std::move(model.names));
    // Each file is read again for where its functions start (it was read moments ago: it
    // comes from memory).
    std::string text;
    size_t drained = 0;
    DrainScannedFiles(
        std::move(model),
        [&](const std::string& path, const ScannedFile& file) {
          if (file.functions.empty() || !ReadWholeFile(path, text)) text.clear();
          result.index->ReplaceFile(path, file, text);
          // The room the model's records leave is scattered among the index's: handed back to
          // the system now and then, the peak is the larger of the two, not their sum.
          if (++drained % kFilesPerTrim == 0) malloc_trim(0);
        },
        &result.index->names());
    malloc_trim(0);
  } else {
    DrainScannedFiles(std::move(model), [&result](const std::string& path, const ScannedFile& file) {
      result.files.emplace_back(path, file);
    });
  }
  return result;
}

}  // namespace

MemoryFile::MemoryFile(const char* name, std::string_view text) {
  fd_ = memfd_create(name, MFD_CLOEXEC);
  if (fd_ < 0) return;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd_, text.data() + done, text.size() - done);
    if (n <= 0) {
      close(fd_);
      fd_ = -1;
      return;
    }
    done += static_cast<size_t>(n);
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() {
  if (fd_ >= 0) close(fd_);
}

WorkspaceConfig WorkspaceConfig::For(const std::string& root, const std::string& configSetting) {
  WorkspaceConfig config;
  config.root_ = FullPathOf(root.empty() ? "./" : root);
  if (config.root_.empty() || config.root_.back() != '/') config.root_ += '/';
  if (!configSetting.empty()) {
    config.cfgPath_ = FullPathOf(ResolvePath(configSetting, config.root_));
    return config;
  }
  const std::string own = config.root_ + kStartingConfigName;
  if (IsRegularFile(own)) {
    config.cfgPath_ = own;
    return config;
  }
  std::string shown = config.root_;
  if (shown.size() > 1) shown.pop_back();
  config.heldText_ = StartingConfigText(shown, FindModuleFolders(config.root_));
  config.held_ = std::make_shared<MemoryFile>(kStartingConfigName, config.heldText_);
  config.cfgPath_ = config.held_->path();
  return config;
}

std::string WorkspaceConfig::Description() const {
  return held() ? kHeldDescription + root_ : cfgPath_;
}

void CollectedLog::AppendLog(const std::string& text, bool replace) {
  // A whole tree logs millions of entries; only the first are kept.
  if (replace) entries.clear();
  if (entries.size() < kMaxKeptEntries) entries.push_back(text);
}

void CollectedLog::AppendErrorEntry(const std::string& text) {
  if (errors.size() < kMaxKeptEntries) errors.push_back(text);
}

WorkspaceScanResult ScanWorkspace(const WorkspaceConfig& config, RunObserver* observer) {
  return RunServerScan(config, {}, observer, true);
}

WorkspaceScanResult ScanOneFile(const WorkspaceConfig& config, const std::string& path,
                                std::string_view text) {
  MemoryFile copy("quillmap-source", text);
  if (!copy.ok()) {
    WorkspaceScanResult result;
    result.failure = "cannot hold the text of " + path;
    return result;
  }
  WorkspaceScanResult result = RunServerScan(config, copy.path(), nullptr, false);
  for (auto& [scannedPath, file] : result.files) {
    if (scannedPath == copy.path()) scannedPath = path;
  }
  return result;
}

}  // namespace quillmap::lsp
