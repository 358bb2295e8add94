/// Reads C as C: the function definitions at file scope of a whole source and the calls inside
/// their bodies, found in one pass over its bytes, with comments, literals and preprocessor lines
/// never taken for code. ScanReference keeps the straightforward token loop that Scan is tested
/// against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_utils.h"

namespace quillmap {

/// A function definition. Offsets index the scanned text; lines count from 1.
struct CFunction {
  std::string_view name;   // the identifier
  size_t headerStart = 0;  // the first token of the declaration
  size_t headerEnd = 0;    // just after the last token before "{"
  size_t bodyStart = 0;    // the "{"
  size_t bodyEnd = 0;      // just after the matching "}", or the end of the text
  int headerLine = 0;
  int nameLine = 0;
  int braceLine = 0;
  int endLine = 0;  // the line of the matching "}", or the last line of the text
  bool closed = false;
};

/// An identifier followed by "(" inside a body that is neither a keyword nor a declarator.
struct CCall {
  std::string_view name;
  size_t offset = 0;  // of the name
  size_t open = 0;    // of the "("
  int line = 0;
  size_t codeStart = 0;  // where the code of the call's line begins (after a comment ending there)
};

/// Receives what a scan finds, in text order.
class CSourceVisitor {
 public:
  virtual ~CSourceVisitor() = default;
  /// `function` has no end yet (bodyEnd, endLine and closed are set at OnFunctionEnd).
  virtual void OnFunctionStart(const CFunction& function) = 0;
  virtual void OnCall(const CFunction& function, const CCall& call) = 0;
  /// Also for a body that never closes: it ends with the text.
  virtual void OnFunctionEnd(const CFunction& function) = 0;
};

/// One object scans text after text; each scan starts clean. Time is linear in the text.
class CSourceScanner {
 public:
  CSourceScanner();
  ~CSourceScanner();
  CSourceScanner(const CSourceScanner&) = delete;
  CSourceScanner& operator=(const CSourceScanner&) = delete;

  /// Returns the number of lines of the text (a last line without a line feed counts). Inside
  /// braces it visits only the bytes that can change what is found, many bytes at a time.
  int Scan(std::string_view text, CSourceVisitor& visitor);
  /// The same findings from a loop that reads every token: the reference for Scan.
  int ScanReference(std::string_view text, CSourceVisitor& visitor);

  struct Conditional;  // an open "#if" of a scan

 private:
  std::vector<Conditional> conditionals_;  // kept between scans for its memory
};

/// The header of `function` on one line: comments and preprocessor lines left out, each run of
/// white space one blank.
std::string CHeaderText(std::string_view text, const CFunction& function);

/// The text of the call's line from its code start: comments left out, each run of white space
/// one blank, trimmed.
std::string CLineText(std::string_view text, const CCall& call);

/// Fills `args` with the call's arguments, split at the commas outside (), [], {} and literals,
/// comments left out and white space runs as one blank, each trimmed. Returns their number, or -1
/// when the list does not close within the text (or within a long bound that keeps a scan
/// linear); the arguments found before stay in `args`.
int CCallArguments(std::string_view text, const CCall& call, StringList& args);

}  // namespace quillmap
