#include "lsp/message_framing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmap::lsp {
namespace {

// What the framer gives for a stream, as "M:content" and "F:fault" entries.
std::vector<std::string> FramesOf(const std::vector<std::string>& pieces) {
  MessageFramer framer;
  std::vector<std::string> frames;
  for (const std::string& piece : pieces) {
    framer.Push(piece);
    for (Frame frame = framer.Next(); frame.kind != Frame::Kind::kNeedMore; frame = framer.Next()) {
      frames.push_back((frame.kind == Frame::Kind::kMessage ? "M:" : "F:") + frame.content);
    }
  }
  return frames;
}

TEST(MessageFramer, FramesStreamsAsTheBaseProtocolSays) {
  const std::string big(100, 'x');
  struct Case {
    const char* what;
    std::vector<std::string> pieces;
    std::vector<std::string> frames;
  };
  const std::vector<Case> cases = {
      {"one message", {"Content-Length: 2\r\n\r\n{}"}, {"M:{}"}},
      {"two in one piece",
       {"Content-Length: 1\r\n\r\naContent-Length: 1\r\n\r\nb"},
       {"M:a", "M:b"}},
      {"byte by byte header", {"Con", "tent-Le", "ngth: 3\r", "\n\r", "\nab", "c"}, {"M:abc"}},
      {"name in any case, Content-Type too",
       {"content-length:2\r\nContent-Type: application/vscode-jsonrpc; charset=utf-8\r\n\r\n[]"},
       {"M:[]"}},
      {"empty content", {"Content-Length: 0\r\n\r\n"}, {"M:"}},
      {"no length, then a good message",
       {"Content-Type: x\r\n\r\nContent-Length: 1\r\n\r\nz"},
       {"F:" + std::string(kNoContentLength), "M:z"}},
      {"length not a number", {"Content-Length: 1x\r\n\r\n"}, {"F:" + std::string(kNoContentLength)}},
      {"negative length", {"Content-Length: -1\r\n\r\n"}, {"F:" + std::string(kNoContentLength)}},
      {"two lengths that disagree",
       {"Content-Length: 1\r\nContent-Length: 2\r\n\r\n"},
       {"F:" + std::string(kNoContentLength)}},
      {"header never ends", {std::string(kMaxHeaderBytes + 10, 'h')}, {"F:" + std::string(kHeaderTooLong)}},
      {"content not yet whole", {"Content-Length: 5\r\n\r\nabc"}, {}},
      {"content with CR LF inside", {"Content-Length: 4\r\n\r\n\r\n\r\n"}, {"M:\r\n\r\n"}},
      {"a long message whole", {"Content-Length: 100\r\n\r\n" + big}, {"M:" + big}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FramesOf(c.pieces), c.frames) << c.what;
  }
}

TEST(MessageFramer, SkipsTooLongContentWithoutHoldingIt) {
  MessageFramer framer;
  const size_t length = kMaxContentBytes + 1;
  framer.Push("Content-Length: " + std::to_string(length) + "\r\n\r\n");
  const std::string chunk(1 << 20, 'y');
  size_t sent = 0;
  std::vector<Frame::Kind> kinds;
  while (sent < length) {
    const size_t n = std::min(chunk.size(), length - sent);
    framer.Push(std::string_view(chunk).substr(0, n));
    sent += n;
    for (Frame f = framer.Next(); f.kind != Frame::Kind::kNeedMore; f = framer.Next()) {
      kinds.push_back(f.kind);
    }
    EXPECT_EQ(framer.held(), 0u) << "after " << sent;
  }
  framer.Push("Content-Length: 2\r\n\r\nok");
  std::vector<std::string> after;
  for (Frame f = framer.Next(); f.kind != Frame::Kind::kNeedMore; f = framer.Next()) {
    after.push_back(f.content);
  }
  // The fault comes once the skipped bytes have passed, then the stream goes on.
  EXPECT_TRUE(kinds.empty() || kinds == std::vector<Frame::Kind>{Frame::Kind::kFault});
  if (kinds.empty()) {
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], kContentTooLong);
    EXPECT_EQ(after[1], "ok");
  } else {
    EXPECT_EQ(after, std::vector<std::string>{"ok"});
  }
}

TEST(MessageFramer, FrameMessageIsReadBack) {
  for (const std::string content : {"", "{}", "{\"a\":\"\xc3\xa4\"}", "\r\n\r\n"}) {
    EXPECT_EQ(FramesOf({FrameMessage(content)}), std::vector<std::string>{"M:" + content});
  }
}

}  // namespace
}  // namespace quillmap::lsp
