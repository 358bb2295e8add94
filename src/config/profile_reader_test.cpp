#include "config/profile_reader.h"

#include <gtest/gtest.h>

#include "files/paths.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

TEST(LookupIniValue, FollowsTheWindowsProfileRules) {
  const std::string ini =
      "\xEF\xBB\xBF; comment\r\n"
      "[Files]\r\n"
      "  Dot  =  out.dot  \r\n"
      "csv=\"quoted value\"\r\n"
      "single='x'\r\n"
      "half=\"open\r\n"
      "dot=second.dot\r\n"
      "; file0=commented\r\n"
      "garbage line without equals\r\n"
      "graph_cfg0=rankdir=LR\r\n"
      "[files]\r\n"
      "late=never\r\n";
  EXPECT_EQ(LookupIniValue(ini, "files", "dot"), "out.dot");
  EXPECT_EQ(LookupIniValue(ini, "FILES", "DOT"), "out.dot");
  EXPECT_EQ(LookupIniValue(ini, "files", "csv"), "quoted value");
  EXPECT_EQ(LookupIniValue(ini, "files", "single"), "x");
  EXPECT_EQ(LookupIniValue(ini, "files", "half"), "\"open");
  EXPECT_EQ(LookupIniValue(ini, "files", "graph_cfg0"), "rankdir=LR");
  EXPECT_EQ(LookupIniValue(ini, "files", "file0"), "");
  EXPECT_EQ(LookupIniValue(ini, "files", "late"), "");
  EXPECT_EQ(LookupIniValue(ini, "calls", "0"), "");
}

TEST(LookupIniValue, CutsLongValuesAndSurvivesGarbage) {
  const std::string longValue(5000, 'v');
  EXPECT_EQ(LookupIniValue("[s]\nk=" + longValue + "\n", "s", "k"), std::string(2999, 'v'));
  EXPECT_EQ(LookupIniValue(std::string("\0\0junk\n[s\n=\n]]\nk=v", 18), "s", "k"), "v");
  EXPECT_EQ(LookupIniValue("[s]\n=empty key\nk=\n", "s", "k"), "");
  EXPECT_EQ(LookupIniValue("k=v\n", "", "k"), "");
}

TEST(ReadProfileString, CompletesRelativePathsWithTheWorkPath) {
  TempDir dir;
  dir.Write("cfg/a.cfg", "[files]\ndot=x.dot\n");
  SetWorkPath(dir.path());
  RereadingProfileReader reader;
  EXPECT_EQ(ReadProfileString(reader, "cfg/a.cfg", "files", "dot"), "x.dot");
  EXPECT_EQ(ReadProfileString(reader, dir.path() + "cfg/a.cfg", "files", "dot"), "x.dot");
  EXPECT_EQ(ReadProfileString(reader, "missing.cfg", "files", "dot"), "");
  EXPECT_EQ(ReadProfileString(reader, "", "files", "dot"), "");
}

TEST(ReadProfileString, SeesEditsBetweenLookups) {
  TempDir dir;
  const std::string cfg = dir.Write("a.cfg", "[s]\nk=1\n");
  RereadingProfileReader reader;
  EXPECT_EQ(ReadProfileString(reader, cfg, "s", "k"), "1");
  testing::WriteFile(cfg, "[s]\nk=2\n");
  EXPECT_EQ(ReadProfileString(reader, cfg, "s", "k"), "2");
}

TEST(ReadList, StopsAtTheFirstGapAndTurnsCommasIntoLineFeeds) {
  TempDir dir;
  const std::string cfg = dir.Write(
      "a.cfg", "[calls]\n0=Send,msg,msg\n1=Init\n2=\n3=Never\n[reject]\n1=x\n[odd]\n0=,a,b\n1=a,,b\n");
  RereadingProfileReader reader;
  StringList list = {"stale"};
  EXPECT_EQ(ReadList(reader, cfg, "calls", list), 2);
  EXPECT_EQ(list, (StringList{"Send\nmsg\nmsg", "Init"}));
  EXPECT_EQ(ReadList(reader, cfg, "reject", list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(ReadList(reader, cfg, "odd", list), 2);
  EXPECT_EQ(list, (StringList{",a,b", "a\n\nb"}));
}

TEST(ReadList, ReadsLongLists) {
  TempDir dir;
  std::string ini = "[files]\n";
  for (int n = 0; n < 3000; ++n) ini += std::to_string(n) + "=f" + std::to_string(n) + ".c\n";
  const std::string cfg = dir.Write("big.cfg", ini);
  RereadingProfileReader reader;
  StringList list;
  EXPECT_EQ(ReadList(reader, cfg, "files", list), 3000);
  EXPECT_EQ(list.back(), "f2999.c");
}

}  // namespace
}  // namespace quillmap
