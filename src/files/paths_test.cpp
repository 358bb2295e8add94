#include "files/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/file_error.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

TEST(ResolvePath, AppendsRelativeValuesToTheFolder) {
  EXPECT_EQ(ResolvePath("src\\a.c", "/proj/"), "/proj/src/a.c");
  EXPECT_EQ(ResolvePath("src/a.c", "/proj/"), "/proj/src/a.c");
  EXPECT_EQ(ResolvePath("", "/proj/"), "");
}

TEST(ResolvePath, KeepsRootedAndDriveValues) {
  EXPECT_EQ(ResolvePath("/lib/b.c", "/proj/"), "/lib/b.c");
  EXPECT_EQ(ResolvePath("\\lib\\b.c", "/proj/"), "/lib/b.c");
  EXPECT_EQ(ResolvePath("D:\\lib\\b.c", "/proj/"), "D:/lib/b.c");
}

TEST(FullPathOf, NormalisesLexically) {
  EXPECT_EQ(FullPathOf("/a/./b/../c.cfg"), "/a/c.cfg");
  EXPECT_EQ(FullPathOf("/a//b///c"), "/a/b/c");
  EXPECT_EQ(FullPathOf("/../x"), "/x");
  EXPECT_EQ(FullPathOf("x.cfg"), CurrentDirectoryPath() + "x.cfg");
}

TEST(DirectoryOf, GivesTheAbsoluteFolderWithItsSeparator) {
  TempDir dir;
  const std::string cfg = dir.Write("sub/scan.cfg", "[files]\n");
  EXPECT_EQ(DirectoryOf(cfg), dir.path() + "sub/");
  EXPECT_EQ(DirectoryOf(dir.path() + "sub/../sub/./scan.cfg"), dir.path() + "sub/");
}

TEST(DirectoryOf, RaisesTheFileErrorForMissingFoldersAndUnreadableFiles) {
  TempDir dir;
  const std::string missing = dir / "missing.cfg";
  try {
    DirectoryOf(missing);
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_EQ(error.path(), missing);
    EXPECT_STREQ(error.what(), (missing + " was not found.").c_str());
  }
  try {
    DirectoryOf(dir.path() + "sub");
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_EQ(error.cause(), FileError::Cause::kNotFound);
  }
  // A folder given as the configuration is refused like a file without access.
  try {
    DirectoryOf(dir.path());
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_STREQ(error.what(), ("Access to " + dir.path() + " was denied.").c_str());
  }
  if (geteuid() != 0) {
    const std::string locked = dir.Write("locked.cfg", "x");
    chmod(locked.c_str(), 0);
    EXPECT_THROW(DirectoryOf(locked), FileError);
  }
}

TEST(FileErrorMessage, UsesTheFrameworkWording) {
  EXPECT_EQ(FileErrorMessage("a.cfg", FileError::Cause::kGeneric),
            "An unexpected file error occurred while accessing a.cfg.");
}

TEST(CanonicalFilePath, NamesOneFileByOneText) {
  TempDir dir;
  mkdir((dir / "real").c_str(), 0700);
  symlink((dir / "real").c_str(), (dir / "alias").c_str());
  EXPECT_EQ(CanonicalFilePath(dir / "alias/x.dot"), CanonicalFilePath(dir / "real/x.dot"));
  EXPECT_EQ(CanonicalFilePath(dir / "real/./x.dot"), CanonicalFilePath(dir / "real/x.dot"));
  EXPECT_EQ(CanonicalFilePath(dir / "gone/../real/x.dot"), CanonicalFilePath(dir / "real/x.dot"));
  EXPECT_NE(CanonicalFilePath(dir / "real/x.dot"), CanonicalFilePath(dir / "real/y.dot"));
}

}  // namespace
}  // namespace quillmap
