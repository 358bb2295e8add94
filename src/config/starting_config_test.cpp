#include "config/starting_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "config/profile_reader.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::ReadFile;
using testing::TempDir;

struct ModuleFolderTree {
  ModuleFolderTree() {
    for (const char* name : {"app/main.c", "app/state.c", "comm/sub/proto.c", "docs/readme.md",
                             ".git/hook.c", "we*rd/w.c", "top.c", " lead/l.c", "trail\"/t.c",
                             "back\\slash/b.c"}) {
      dir.Write(name, "void f(void)\n{\n}\n");
    }
    std::filesystem::create_symlink(dir / "app", dir / "alias");
  }
  TempDir dir;
};

TEST(FindModuleFolders, TakesTopLevelFoldersWithCFilesAtAnyDepth) {
  const ModuleFolderTree tree;
  const std::vector<ModuleFolder> found = FindModuleFolders(tree.dir.path());
  // No hidden folder, no link; names that no pattern can take say why.
  std::vector<std::string> names, leftOut;
  for (const ModuleFolder& folder : found) {
    names.push_back(folder.name);
    if (!folder.leftOut.empty()) leftOut.push_back(folder.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{" lead", "app", "back\\slash", "comm", "trail\"",
                                             "we*rd"}));
  EXPECT_EQ(leftOut, (std::vector<std::string>{"back\\slash", "we*rd"}));
  EXPECT_EQ(found[1].cFiles, 2u);
}

TEST(StartingConfigText, CommentsEveryKeyAndKeepsTheLargestModulesBeyondTheLimit) {
  std::vector<ModuleFolder> folders;
  for (int i = 0; i <= kMaxModules; ++i) {
    std::string name = "m";
    name += std::to_string(1000 + i);
    folders.push_back({name, i == 7 ? 1u : 5u, ""});
  }
  const std::string text = StartingConfigText("/proj", folders);
  EXPECT_NE(text.find("; 201 top-level folders hold C files"), std::string::npos);
  EXPECT_NE(text.find("mod_199=m1200\n"), std::string::npos);
  EXPECT_EQ(text.find("=m1007\n"), std::string::npos);  // the smallest one is left out
  EXPECT_EQ(text.find("mod_200"), std::string::npos);

  std::istringstream lines(text);
  std::string line;
  std::string previous;
  while (std::getline(lines, line)) {
    const bool isKey = !line.empty() && line[0] != ';' && line[0] != '[';
    if (isKey) {
      EXPECT_EQ(previous.substr(0, 1), ";") << "no comment above " << line;
    }
    previous = line;
  }
}

TEST(WriteStartingConfig, WritesAWorkingConfigurationOnceAndNeverOverwrites) {
  const ModuleFolderTree tree;
  const StartingConfigResult first = WriteStartingConfig(tree.dir.path());
  ASSERT_EQ(first.status, StartingConfigResult::Status::kWritten) << first.message;
  EXPECT_EQ(first.path, tree.dir / kStartingConfigName);

  // What it wrote names every C file and one module per folder.
  RereadingProfileReader profile;
  EXPECT_EQ(
      CallGraphSourcePaths(ReadScanSettings(profile, first.path), tree.dir.path()).paths,
      (StringList{tree.dir / " lead/l.c", tree.dir / "app/main.c", tree.dir / "app/state.c",
                  tree.dir / "back\\slash/b.c", tree.dir / "comm/sub/proto.c", tree.dir / "top.c",
                  tree.dir / "trail\"/t.c", tree.dir / "we*rd/w.c"}));
  // Every folder with C files is a module, blanks and quotes at the ends of its name kept, or
  // a comment says why not.
  const StringList modules{" lead", "app", "comm", "trail\""};
  const ScanSettings settings = ReadScanSettings(profile, first.path);
  for (size_t i = 0; i < modules.size(); ++i) {
    const std::string key = "mod_" + std::to_string(i);
    EXPECT_EQ(ReadProfileString(profile, first.path, "modules", key), modules[i]);
    EXPECT_EQ(ModuleFilePaths(settings, tree.dir.path(), static_cast<int>(i)).paths[0]
                  .rfind(tree.dir / modules[i] + "/", 0),
              0u);
  }
  EXPECT_EQ(ModuleFilePaths(settings, tree.dir.path(), 2).paths,
            StringList{tree.dir / "comm/sub/proto.c"});
  const std::string text = ReadFile(first.path);
  EXPECT_NE(text.find("; Not a module: the folder we*rd (1 C files), as a pattern takes its * or "
                      "? as a wildcard.\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("; Not a module: the folder back\\slash (1 C files)"), std::string::npos);
  EXPECT_EQ(ReadProfileString(profile, first.path, "scan", "syntax"), "c");
  EXPECT_EQ(ReadProfileString(profile, first.path, "scan", "resolve"), "yes");

  testing::WriteFile(first.path, "mine");
  const StartingConfigResult second = WriteStartingConfig(tree.dir.path());
  EXPECT_EQ(second.status, StartingConfigResult::Status::kExists);
  EXPECT_NE(second.message.find(first.path), std::string::npos);
  EXPECT_EQ(ReadFile(first.path), "mine");

  EXPECT_EQ(WriteStartingConfig(tree.dir / "missing").status,
            StartingConfigResult::Status::kNoFolder);
  EXPECT_EQ(WriteStartingConfig(tree.dir / "top.c").status,
            StartingConfigResult::Status::kNoFolder);
}

}  // namespace
}  // namespace quillmap
