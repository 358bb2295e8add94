#include "gui/code_view.h"

#include <wx/button.h>
#include <wx/filefn.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/stc/stc.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <fstream>
#include <sstream>

#include "dialog/source_sites.h"
#include "gui/wx_text.h"

namespace quillmap {

namespace {
constexpr const char* kOpenInEditorLabel = "Open in editor";
constexpr const char* kCommandTip =
    "editor command: %f stands for the file, %l for the line (from VISUAL or EDITOR, else "
    "xdg-open)";
constexpr const char* kNoSource = "no source chosen: choose a function, a call or a log line";
constexpr const char* kUnreadable = "cannot read ";
constexpr int kMarkedLine = 0;  // the marker number
constexpr const char* kCKeywords =
    "auto break case char const continue default do double else enum extern float for goto if "
    "inline int long register restrict return short signed sizeof static struct switch typedef "
    "union unsigned void volatile while _Bool bool true false NULL";

// Whether the program that a command starts with can be found.
bool CanStart(const std::string& program) {
  if (program.find('/') != std::string::npos) return wxFileExists(ToWx(program));
  wxString path, found;
  return wxGetEnv("PATH", &path) && wxFindFileInPath(&found, path, ToWx(program));
}
}  // namespace

CodeView::CodeView(wxWindow* parent) : wxPanel(parent) {
  label_ = new wxStaticText(this, kSiteLabel, kNoSource, wxDefaultPosition, wxDefaultSize,
                            wxST_ELLIPSIZE_START);
  command_ = new wxTextCtrl(this, kEditorCommandBox);
  command_->SetToolTip(kCommandTip);
  command_->SetMinSize(FromDIP(wxSize(180, -1)));
  auto* open = new wxButton(this, kOpenInEditorButton, kOpenInEditorLabel);
  text_ = new wxStyledTextCtrl(this, kSourceText);
  StyleForC();
  text_->SetMinSize(FromDIP(wxSize(120, 60)));
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  row->Add(label_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  row->Add(command_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  row->Add(open, 0, wxALIGN_CENTER_VERTICAL);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(row, 0, wxEXPAND | wxALL, 2);
  sizer->Add(text_, 1, wxEXPAND);
  SetSizer(sizer);
  SetEditorCommand(DefaultEditorCommand(std::getenv("VISUAL"), std::getenv("EDITOR")));
  open->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenInEditor(); });
  command_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
    if (commandChanged_) commandChanged_(editorCommand());
  });
}

void CodeView::StyleForC() {
  const wxFont mono(wxFontInfo(10).Family(wxFONTFAMILY_TELETYPE));
  text_->StyleSetFont(wxSTC_STYLE_DEFAULT, mono);
  text_->StyleClearAll();
  text_->SetLexer(wxSTC_LEX_CPP);
  text_->SetKeyWords(0, kCKeywords);
  const struct {
    int style;
    wxColour colour;
    bool bold;
  } styles[] = {{wxSTC_C_COMMENT, wxColour(0, 128, 0), false},
                {wxSTC_C_COMMENTLINE, wxColour(0, 128, 0), false},
                {wxSTC_C_COMMENTDOC, wxColour(0, 128, 0), false},
                {wxSTC_C_NUMBER, wxColour(128, 0, 128), false},
                {wxSTC_C_WORD, wxColour(0, 0, 160), true},
                {wxSTC_C_STRING, wxColour(160, 80, 0), false},
                {wxSTC_C_CHARACTER, wxColour(160, 80, 0), false},
                {wxSTC_C_PREPROCESSOR, wxColour(128, 64, 0), false}};
  for (const auto& s : styles) {
    text_->StyleSetForeground(s.style, s.colour);
    text_->StyleSetBold(s.style, s.bold);
  }
  text_->SetMarginType(0, wxSTC_MARGIN_NUMBER);
  text_->SetMarginWidth(0, text_->TextWidth(wxSTC_STYLE_LINENUMBER, "_999999"));
  text_->MarkerDefine(kMarkedLine, wxSTC_MARK_BACKGROUND, wxNullColour, wxColour(255, 240, 150));
  text_->SetCaretLineVisible(false);
  text_->SetReadOnly(true);
}

int CodeView::markedLine() const {
  const int line = text_->MarkerNext(0, 1 << kMarkedLine);
  return line < 0 ? 0 : line + 1;
}

bool CodeView::ShowSite(const SourceSite& site) {
  site_ = site;
  if (site.file != loadedFile_) {
    std::ifstream in(site.file, std::ios::binary);
    std::ostringstream contents;
    if (in) contents << in.rdbuf();
    text_->SetReadOnly(false);
    text_->SetText(in ? ToWx(contents.str()) : wxString(kUnreadable + site.file));
    text_->SetReadOnly(true);
    text_->EmptyUndoBuffer();
    loadedFile_ = in ? site.file : std::string();
    if (!in) {
      label_->SetLabel(ToWx(kUnreadable + site.file));
      return false;
    }
  }
  text_->MarkerDeleteAll(kMarkedLine);
  const int line = std::max(0, site.line - 1);
  text_->MarkerAdd(line, kMarkedLine);
  // The line a third of the way down the view, with context above it.
  text_->GotoLine(line);
  text_->SetFirstVisibleLine(std::max(0, line - text_->LinesOnScreen() / 3));
  label_->SetLabel(ToWx(site.file + ":" + std::to_string(site.line)));
  return true;
}

void CodeView::SetEditorCommand(const std::string& command) { command_->ChangeValue(ToWx(command)); }

std::string CodeView::editorCommand() const { return FromWx(command_->GetValue()); }

bool CodeView::OpenInEditor() {
  const std::vector<std::string> words = EditorArguments(editorCommand(), site_);
  bool started = !site_.file.empty() && !words.empty() && CanStart(words.front());
  if (started) {
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr);
    started = wxExecute(argv.data(), wxEXEC_ASYNC) > 0;
  }
  if (!started && message_) {
    std::string text = kNoEditor;
    text.replace(text.find("%s"), 2, site_.file.empty() ? std::string("the code view") : site_.file);
    message_(text);
  }
  return started;
}

}  // namespace quillmap
