#include "dialog/dialog_commands.h"

#include <gtest/gtest.h>

#include "config/starting_config.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::MemoryWindow;
using testing::TempDir;

const std::string kPlainTitle = std::string("quillmap - ") + kWebAddress;

std::string TitleWith(const std::string& fileName) { return kPlainTitle + " [" + fileName + " ]"; }

// Answers the chooser with a fixed result and counts how often it was asked.
class AnsweringChooser : public FileChooser {
 public:
  explicit AnsweringChooser(std::optional<std::string> answer, int* asked)
      : answer_(std::move(answer)), asked_(asked) {}
  std::optional<std::string> ChooseFile() override {
    ++*asked_;
    return answer_;
  }

 private:
  std::optional<std::string> answer_;
  int* asked_;
};

class AnsweringFolderChooser : public FolderChooser {
 public:
  AnsweringFolderChooser(std::optional<std::string> answer, int* asked)
      : answer_(std::move(answer)), asked_(asked) {}
  std::optional<std::string> ChooseFolder() override {
    ++*asked_;
    return answer_;
  }

 private:
  std::optional<std::string> answer_;
  int* asked_;
};

// A dialog freshly started without arguments, as the GUI starts it.
struct StartedDialog {
  StartedDialog() : dialog(window), commands(dialog, nullptr) { dialog.InitDialog({}); }
  void Answer(std::optional<std::string> answer) {
    commands.SetFileChooser(std::make_unique<AnsweringChooser>(std::move(answer), &chooserAsked));
  }

  MemoryWindow window;
  ScanDialog dialog;
  DialogCommands commands;
  int chooserAsked = 0;
};

TEST(FileNameOf, NamesTheFileOfAnExistingPath) {
  TempDir dir;
  const std::string path = dir.Write("sub/scan.cfg", "");
  EXPECT_EQ(FileNameOf(path), "scan.cfg");
  EXPECT_EQ(FileNameOf(dir.path() + "sub/../sub/./scan.cfg"), "scan.cfg");
}

TEST(FileNameOf, MissingFileOrFolderThrowsTheFileError) {
  TempDir dir;
  try {
    FileNameOf(dir / "missing.cfg");
    FAIL() << "no FileError";
  } catch (const FileError& error) {
    EXPECT_EQ(std::string(error.what()), dir / "missing.cfg" + " was not found.");
  }
  EXPECT_THROW(FileNameOf(dir.path()), FileError);
}

TEST(ChooseCfgFile, ChosenFileGoesIntoPathEditAndTitleWithoutScanning) {
  TempDir dir;
  const std::string path = dir.Write("a.cfg", "");
  StartedDialog started;
  started.Answer(path);
  started.commands.OnCfgFileClicked();

  EXPECT_EQ(started.chooserAsked, 1);
  EXPECT_EQ(started.window.texts[kPathEdit], path);
  EXPECT_EQ(started.window.title, TitleWith("a.cfg"));
  EXPECT_FALSE(started.dialog.lastRun().started);
  EXPECT_TRUE(started.window.fileErrors.empty());
}

TEST(ChooseCfgFile, CancelOrEmptyAnswerChangesNothing) {
  for (const std::optional<std::string>& answer :
       {std::optional<std::string>(), std::optional<std::string>("")}) {
    StartedDialog started;
    const std::string pathBefore = started.window.texts[kPathEdit];
    started.Answer(answer);
    started.commands.OnCfgFileClicked();

    EXPECT_EQ(started.chooserAsked, 1);
    EXPECT_EQ(started.window.texts[kPathEdit], pathBefore);
    EXPECT_EQ(started.window.title, kPlainTitle);
    EXPECT_TRUE(started.window.fileErrors.empty());
  }
}

TEST(ChooseCfgFile, UnopenableChoiceFillsPathEditShowsFileErrorKeepsTitle) {
  TempDir dir;
  StartedDialog started;
  started.Answer(dir / "typed.cfg");
  started.commands.OnCfgFileClicked();

  EXPECT_EQ(started.window.texts[kPathEdit], dir / "typed.cfg");
  EXPECT_EQ(started.window.fileErrors,
            std::vector<std::string>{dir / "typed.cfg" + " was not found."});
  EXPECT_EQ(started.window.title, kPlainTitle);
}

TEST(OnFilesDropped, OneFileIsTakenWithoutScanning) {
  TempDir dir;
  const std::string path = dir.Write("dropped.cfg", "");
  StartedDialog started;
  EXPECT_TRUE(started.commands.OnFilesDropped({path}));
  EXPECT_EQ(started.window.texts[kPathEdit], path);
  EXPECT_EQ(started.window.title, TitleWith("dropped.cfg"));
  EXPECT_FALSE(started.dialog.lastRun().started);
}

TEST(OnFilesDropped, NoneOrSeveralFilesAreIgnored) {
  TempDir dir;
  const std::string a = dir.Write("a.cfg", "");
  const std::string b = dir.Write("b.cfg", "");
  for (const std::vector<std::string>& drop : {std::vector<std::string>{}, {a, b}}) {
    StartedDialog started;
    const std::string pathBefore = started.window.texts[kPathEdit];
    EXPECT_FALSE(started.commands.OnFilesDropped(drop));
    EXPECT_EQ(started.window.texts[kPathEdit], pathBefore);
    EXPECT_EQ(started.window.title, kPlainTitle);
  }
}

TEST(OnFilesDropped, UnopenableFileFillsPathEditShowsFileErrorKeepsTitle) {
  TempDir dir;
  StartedDialog started;
  EXPECT_TRUE(started.commands.OnFilesDropped({dir / "gone.cfg"}));
  EXPECT_EQ(started.window.texts[kPathEdit], dir / "gone.cfg");
  EXPECT_EQ(started.window.fileErrors.size(), 1u);
  EXPECT_EQ(started.window.title, kPlainTitle);
}

TEST(OnNewCfgClicked, WritesTheStartingConfigurationAndLoadsItOnceWithoutScanning) {
  TempDir dir;
  dir.Write("app/main.c", "int main(void)\n{\n}\n");
  StartedDialog started;
  int asked = 0;
  started.commands.SetFolderChooser(std::make_unique<AnsweringFolderChooser>(dir.path(), &asked));
  started.commands.OnNewCfgClicked();

  const std::string cfg = dir / kStartingConfigName;
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(started.window.texts[kPathEdit], cfg);
  EXPECT_EQ(started.window.title, TitleWith(kStartingConfigName));
  EXPECT_NE(testing::ReadFile(cfg).find("mod_0_file_0=app/**/*.c"), std::string::npos);
  EXPECT_FALSE(started.dialog.lastRun().started);
  EXPECT_TRUE(started.window.messages.empty());

  // A second time the file is there: it stays, and the user is told why nothing happened.
  const std::string written = testing::ReadFile(cfg);
  started.window.SetItemText(kPathEdit, "other.cfg");
  started.commands.OnNewCfgClicked();
  ASSERT_EQ(started.window.messages.size(), 1u);
  EXPECT_NE(started.window.messages[0].find(cfg), std::string::npos);
  EXPECT_EQ(started.window.texts[kPathEdit], "other.cfg");
  EXPECT_EQ(testing::ReadFile(cfg), written);

  // Cancelled: nothing at all.
  started.commands.SetFolderChooser(std::make_unique<AnsweringFolderChooser>(std::nullopt, &asked));
  started.commands.OnNewCfgClicked();
  EXPECT_EQ(started.window.texts[kPathEdit], "other.cfg");
  EXPECT_EQ(started.window.messages.size(), 1u);
}

// Records, at every log entry, which inputs were enabled, and can click "SCAN" from inside a run
// the way a host that lets events through during a run could.
class RunWatchingWindow : public MemoryWindow {
 public:
  void OnLogEntry(const std::string& text, bool replace) override {
    MemoryWindow::OnLogEntry(text, replace);
    if (replace) ++runsStarted;
    for (int id : {kPathEdit, kCfgFileButton, kScanButton, kNewCfgButton}) {
      if (enabled.count(id) && enabled[id]) ++entriesWithInputEnabled;
    }
    ++entriesSeen;
    if (commands != nullptr) {
      commands->OnScanClicked();
      dropTakenDuringRun = dropTakenDuringRun || commands->OnFilesDropped({cfgPath});
      commands->OnNewCfgClicked();
    }
  }

  DialogCommands* commands = nullptr;
  std::string cfgPath;
  int runsStarted = 0;
  int entriesSeen = 0;
  int entriesWithInputEnabled = 0;
  bool dropTakenDuringRun = false;
};

TEST(OnScanClicked, InputsAreDisabledThroughoutTheRunAndNoSecondRunStarts) {
  TempDir dir;
  dir.Write("a.c", "void foo(void)\n{\n  bar();\n}\n");
  const std::string cfg = dir.Write("scan.cfg", "[files]\nfile0=a.c\n[calls]\n0=foo\n1=bar\n");
  RunWatchingWindow window;
  ScanDialog dialog(window);
  DialogCommands commands(dialog, nullptr);
  dialog.InitDialog({});
  window.SetItemText(kPathEdit, cfg);
  window.commands = &commands;
  window.cfgPath = cfg;
  window.entriesSeen = window.entriesWithInputEnabled = 0;

  int foldersAsked = 0;
  commands.SetFolderChooser(std::make_unique<AnsweringFolderChooser>(dir.path(), &foldersAsked));
  commands.OnScanClicked();

  EXPECT_TRUE(dialog.lastRun().finished);
  EXPECT_EQ(foldersAsked, 0);
  EXPECT_GT(window.entriesSeen, 2);
  EXPECT_EQ(window.runsStarted, 1);
  EXPECT_EQ(window.entriesWithInputEnabled, 0);
  EXPECT_FALSE(window.dropTakenDuringRun);
  EXPECT_FALSE(commands.scanRunning());
  for (int id : {kPathEdit, kCfgFileButton, kScanButton, kNewCfgButton}) {
    EXPECT_TRUE(window.enabled[id]) << id;
  }
}

TEST(OnScanClicked, FileErrorIsShownAndInputsComeBack) {
  TempDir dir;
  StartedDialog started;
  started.window.SetItemText(kPathEdit, dir / "missing.cfg");
  started.commands.OnScanClicked();

  EXPECT_EQ(started.window.fileErrors,
            std::vector<std::string>{dir / "missing.cfg" + " was not found."});
  EXPECT_FALSE(started.commands.scanRunning());
  for (int id : {kPathEdit, kCfgFileButton, kScanButton}) {
    EXPECT_TRUE(started.window.enabled[id]) << id;
  }
  // A second click runs again: the guard was released.
  started.commands.OnScanClicked();
  EXPECT_EQ(started.window.fileErrors.size(), 2u);
}

}  // namespace
}  // namespace quillmap
