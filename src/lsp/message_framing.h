/// The base protocol's framing of JSON-RPC messages on a byte stream: header lines ending in
/// CR LF ("Content-Length: N" is required, "Content-Type" is accepted), an empty line, then N
/// bytes of content. Bytes go in as they arrive; whole messages and framing faults come out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmap::lsp {

/// The largest message content taken whole; a longer one is skipped without being held.
inline constexpr size_t kMaxContentBytes = 64u << 20;
/// The longest header block taken (a stream without "\r\n\r\n" is not held forever).
inline constexpr size_t kMaxHeaderBytes = 8u << 10;

/// What the framer gives next.
struct Frame {
  enum class Kind {
    kNeedMore,  // nothing whole yet
    kMessage,   // `content` holds one message's content
    kFault,     // a header block or message that cannot be taken; `content` says why
  };
  Kind kind = Kind::kNeedMore;
  std::string content;
};

class MessageFramer {
 public:
  /// Appends bytes read from the stream.
  void Push(std::string_view bytes);
  /// The next message or fault, or kNeedMore. After a fault the framer goes on with the bytes
  /// after the faulty header block or after the skipped content.
  Frame Next();
  /// Bytes held and not yet given out (for bounds in tests).
  size_t held() const { return buffer_.size() - start_; }

 private:
  // Drops consumed bytes from the front once they are the larger part of the buffer.
  void Compact();

  std::string buffer_;
  size_t start_ = 0;
  size_t contentLength_ = 0;  // of the message whose header was read
  bool inContent_ = false;
  size_t skipping_ = 0;       // bytes of a too long message still to be dropped
  bool skippedReported_ = true;
};

/// The framed form of one message's content.
std::string FrameMessage(std::string_view content);
/// The header block that goes before a content of `contentBytes` bytes.
std::string FrameHeader(size_t contentBytes);

/// Framer fault texts.
inline constexpr const char* kNoContentLength = "header without a valid Content-Length";
inline constexpr const char* kHeaderTooLong = "header block longer than 8 KiB";
inline constexpr const char* kContentTooLong = "message longer than 64 MiB, skipped";

}  // namespace quillmap::lsp
