#include "lsp/message_framing.h"

#include <cctype>
#include <charconv>

namespace quillmap::lsp {

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kContentLengthName = "content-length";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The Content-Length of a header block (without its final empty line); false when there is
// none, it is not a plain decimal, or two disagree.
bool ContentLengthOf(std::string_view header, size_t& length) {
  bool found = false;
  while (!header.empty()) {
    const size_t end = header.find("\r\n");
    const std::string_view line = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view() : header.substr(end + 2);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (!EqualsIgnoringCase(Trimmed(line.substr(0, colon)), kContentLengthName)) continue;
    const std::string_view value = Trimmed(line.substr(colon + 1));
    size_t parsed = 0;
    const auto [rest, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (value.empty() || error != std::errc() || rest != value.data() + value.size()) return false;
    if (found && parsed != length) return false;
    length = parsed;
    found = true;
  }
  return found;
}

}  // namespace

void MessageFramer::Push(std::string_view bytes) {
  if (skipping_ > 0) {
    const size_t dropped = std::min(skipping_, bytes.size());
    skipping_ -= dropped;
    bytes.remove_prefix(dropped);
  }
  buffer_.append(bytes);
}

void MessageFramer::Compact() {
  if (start_ > 0 && start_ * 2 >= buffer_.size()) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
}

Frame MessageFramer::Next() {
  Frame frame;
  if (skipping_ > 0) return frame;
  if (!skippedReported_) {
    skippedReported_ = true;
    frame.kind = Frame::Kind::kFault;
    frame.content = kContentTooLong;
    return frame;
  }
  const std::string_view held = std::string_view(buffer_).substr(start_);
  if (!inContent_) {
    const size_t end = held.find(kHeaderEnd);
    if (end == std::string_view::npos) {
      if (held.size() <= kMaxHeaderBytes) return frame;
      // No header ends in reach: drop what is held but the bytes that may begin the end mark.
      start_ = buffer_.size() - (kHeaderEnd.size() - 1);
      Compact();
      frame.kind = Frame::Kind::kFault;
      frame.content = kHeaderTooLong;
      return frame;
    }
    const bool valid = ContentLengthOf(held.substr(0, end), contentLength_);
    start_ += end + kHeaderEnd.size();
    if (!valid) {
      Compact();
      frame.kind = Frame::Kind::kFault;
      frame.content = kNoContentLength;
      return frame;
    }
    if (contentLength_ > kMaxContentBytes) {
      const size_t available = buffer_.size() - start_;
      const size_t dropped = std::min(available, contentLength_);
      start_ += dropped;
      skipping_ = contentLength_ - dropped;
      skippedReported_ = false;
      Compact();
      return Next();
    }
    inContent_ = true;
  }
  if (buffer_.size() - start_ < contentLength_) return frame;
  frame.kind = Frame::Kind::kMessage;
  frame.content = buffer_.substr(start_, contentLength_);
  start_ += contentLength_;
  inContent_ = false;
  Compact();
  return frame;
}

std::string FrameHeader(size_t contentBytes) {
  return "Content-Length: " + std::to_string(contentBytes) + "\r\n\r\n";
}

std::string FrameMessage(std::string_view content) {
  std::string framed = FrameHeader(content.size());
  framed.append(content);
  return framed;
}

}  // namespace quillmap::lsp
