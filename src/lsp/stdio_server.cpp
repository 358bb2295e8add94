#include "lsp/stdio_server.h"

#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "lsp/language_server.h"
#include "lsp/message_framing.h"

namespace quillmap::lsp {

namespace {

constexpr size_t kReadChunk = 1 << 16;

// What the handling thread is woken for.
struct ContentEvent {
  std::string content;
};
struct FaultEvent {
  std::string why;
};
struct InputEndEvent {};
struct ScanDoneEvent {
  WorkspaceScanResult result;
};
using Event = std::variant<ContentEvent, FaultEvent, InputEndEvent, ScanDoneEvent>;

class EventQueue {
 public:
  void Push(Event event) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(std::move(event));
    }
    ready_.notify_one();
  }
  // Waits for at least one event and takes all that are there.
  std::deque<Event> TakeAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !events_.empty(); });
    std::deque<Event> taken;
    taken.swap(events_);
    return taken;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Event> events_;
};

// Writes framed messages whole, from any thread. A client that went away makes every later
// write fail quietly (SIGPIPE is ignored by the program).
class FdHost : public ServerHost {
 public:
  FdHost(int outputFd, EventQueue& events) : fd_(outputFd), events_(events) {}
  ~FdHost() override {
    if (scan_.joinable()) scan_.join();
  }

  void Send(const Json& message) override {
    std::vector<std::string> pieces;
    pieces.push_back(message.dump(-1, ' ', false, Json::error_handler_t::replace));
    SendText(std::move(pieces));
  }

  void SendText(std::vector<std::string> pieces) override {
    // The header and the content's pieces are written in turn: a large answer is not copied.
    size_t size = 0;
    for (const std::string& piece : pieces) size += piece.size();
    const std::string header = FrameHeader(size);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (broken_) return;
    broken_ = !WriteAll(header);
    for (size_t k = 0; k < pieces.size() && !broken_; ++k) broken_ = !WriteAll(pieces[k]);
  }

  void StartScan(std::function<WorkspaceScanResult()> scan) override {
    scan_ = std::thread([this, scan = std::move(scan)] { events_.Push(ScanDoneEvent{scan()}); });
  }

  void JoinScan() {
    if (scan_.joinable()) scan_.join();
  }

 private:
  bool WriteAll(std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  int fd_;
  EventQueue& events_;
  std::mutex mutex_;
  bool broken_ = false;
  std::thread scan_;
};

void ReadInput(int inputFd, EventQueue& events) {
  MessageFramer framer;
  std::string chunk(kReadChunk, '\0');
  for (;;) {
    const ssize_t n = read(inputFd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    framer.Push(std::string_view(chunk.data(), static_cast<size_t>(n)));
    for (Frame frame = framer.Next(); frame.kind != Frame::Kind::kNeedMore;
         frame = framer.Next()) {
      if (frame.kind == Frame::Kind::kMessage) {
        events.Push(ContentEvent{std::move(frame.content)});
      } else {
        events.Push(FaultEvent{std::move(frame.content)});
      }
    }
  }
  events.Push(InputEndEvent{});
}

}  // namespace

int RunLanguageServer(int inputFd, int outputFd) {
  EventQueue events;
  FdHost host(outputFd, events);
  LanguageServer server(host);
  // The reader blocks in read(); it is left to end with the process.
  std::thread(ReadInput, inputFd, std::ref(events)).detach();
  while (!server.exited()) {
    std::deque<Event> batch = events.TakeAll();
    // Cancellations are seen before the requests they cancel are handled.
    std::vector<Json> parsed(batch.size());
    for (size_t k = 0; k < batch.size(); ++k) {
      const auto* content = std::get_if<ContentEvent>(&batch[k]);
      if (content == nullptr) continue;
      parsed[k] = Json::parse(content->content, nullptr, false);
      const Json& message = parsed[k];
      if (message.is_object() && message.value("method", Json()) == "$/cancelRequest") {
        const auto params = message.find("params");
        if (params != message.end() && params->is_object() && params->contains("id")) {
          server.Cancel(params->at("id"));
        }
      }
    }
    for (size_t k = 0; k < batch.size() && !server.exited(); ++k) {
      if (std::holds_alternative<ContentEvent>(batch[k])) {
        if (parsed[k].is_discarded()) {
          server.HandleContent(std::get<ContentEvent>(batch[k]).content);
        } else {
          server.HandleMessage(parsed[k]);
        }
      } else if (const auto* fault = std::get_if<FaultEvent>(&batch[k])) {
        server.HandleFault(fault->why);
      } else if (std::holds_alternative<InputEndEvent>(batch[k])) {
        server.ClientGone();
      } else {
        host.JoinScan();
        server.OnScanFinished(std::move(std::get<ScanDoneEvent>(batch[k]).result));
      }
    }
  }
  // A scan under way stops at its next source.
  host.JoinScan();
  return server.exitStatus();
}

}  // namespace quillmap::lsp
