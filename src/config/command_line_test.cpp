#include "config/command_line.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

CmdLineState Parse(std::vector<std::string> args) { return ParseCommandLine(args, "/w/"); }

TEST(ParseCommandLine, AcceptsCfgWithItsValue) {
  const CmdLineState none = Parse({});
  EXPECT_FALSE(none.runAtStart);
  EXPECT_EQ(none.errorText, "");
  EXPECT_EQ(none.cmdCfgPath, "");

  const CmdLineState plain = Parse({"-cfg", "a.cfg"});
  EXPECT_TRUE(plain.runAtStart);
  EXPECT_EQ(plain.cmdCfgPath, "a.cfg");
}

TEST(ParseCommandLine, TakesTheNextArgumentWholeAsTheValue) {
  EXPECT_EQ(Parse({"-cfg", "my-file.cfg"}).cmdCfgPath, "my-file.cfg");
  EXPECT_EQ(Parse({"-cfg", "\"my dir/a b.cfg\""}).cmdCfgPath, "\"my dir/a b.cfg\"");
  EXPECT_EQ(Parse({"-cfg", "-x"}).cmdCfgPath, "-x");
  const CmdLineState empty = Parse({"-cfg", ""});
  EXPECT_TRUE(empty.runAtStart);
  EXPECT_EQ(empty.cmdCfgPath, "");
}

TEST(ParseCommandLine, CompletesValuesBeginningWithADotWithTheBasePath) {
  EXPECT_EQ(Parse({"-cfg", "./a.cfg"}).cmdCfgPath, "/w/./a.cfg");
  EXPECT_EQ(Parse({"-cfg", "../a.cfg"}).cmdCfgPath, "/w/../a.cfg");
}

TEST(ParseCommandLine, IgnoresOtherOptionsAndLetsTheLastCfgWin) {
  EXPECT_EQ(Parse({"-x", "1", "-cfg", "a.cfg"}).cmdCfgPath, "a.cfg");
  EXPECT_EQ(Parse({"-cfg", "a.cfg", "-cfg", "b.cfg"}).cmdCfgPath, "b.cfg");
  EXPECT_EQ(Parse({"stray", "-cfg", "a.cfg"}).cmdCfgPath, "a.cfg");
  EXPECT_FALSE(Parse({"-CFG", "a.cfg"}).runAtStart);
  EXPECT_FALSE(Parse({"--cfg", "a.cfg"}).runAtStart);
}

TEST(ParseCommandLine, InitTakesItsFolderAndNeedsOne) {
  EXPECT_FALSE(Parse({"-cfg", "a.cfg"}).initFolder);
  const CmdLineState init = Parse({"-init", "proj"});
  EXPECT_EQ(init.initFolder, "proj");
  EXPECT_FALSE(init.runAtStart);
  EXPECT_EQ(Parse({"-init", "a", "-init", "."}).initFolder, ".");
  const CmdLineState alone = Parse({"-init"});
  EXPECT_FALSE(alone.initFolder);
  EXPECT_EQ(alone.errorText, "Wrong cmdline:\ninit");
}

TEST(ParseCommandLine, AnOptionWithoutValueMakesItMalformed) {
  const CmdLineState alone = Parse({"-cfg"});
  EXPECT_FALSE(alone.runAtStart);
  EXPECT_EQ(alone.errorText, "Wrong cmdline:\ncfg");

  const CmdLineState trailing = Parse({"-cfg", "a.cfg", "-v"});
  EXPECT_FALSE(trailing.runAtStart);
  EXPECT_EQ(trailing.errorText, "Wrong cmdline:\nv");
  EXPECT_EQ(trailing.cmdCfgPath, "a.cfg");
}

}  // namespace
}  // namespace quillmap
