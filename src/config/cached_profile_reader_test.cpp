#include "config/cached_profile_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <random>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

// Random INI texts made of the pieces that the parsing rules treat specially: byte-order marks,
// comments, blanks and tabs around names and values, CR LF and lone CR, quotes, names in mixed
// case, repeated sections and keys, sections without "]", lines without "=", keys before any
// section, NUL bytes and values longer than the longest value a lookup returns.
class IniGenerator {
 public:
  explicit IniGenerator(uint32_t seed) : random_(seed) {}

  std::string Text() {
    std::string text;
    if (Chance(10)) text += "\xEF\xBB\xBF";
    const int lines = Below(40);
    for (int i = 0; i < lines; ++i) {
      switch (Below(10)) {
        case 0:
          text += Blanks() + "[" + Blanks() + Name(sections_) + Blanks() + (Chance(90) ? "]" : "") +
                  (Chance(10) ? " trailing" : "");
          break;
        case 1:
          text += Blanks() + Pick({";", "#", "//"}) + " " + Name(keys_) + "=x";
          break;
        case 2:
          text += Pick({"", "   ", "junk", std::string("\0z", 2), "=", "]["});
          break;
        default:
          text += Blanks() + Name(keys_) + Blanks() + "=" + Blanks() + Value() + Blanks();
          break;
      }
      text += Pick({"\n", "\n", "\r\n", "\r\n", "\r", "\n\n"});
    }
    return text;
  }

  // Lookups of names that occur in the texts, and of others, spelt as callers might spell them.
  std::string Section() { return Spelling(Name(sections_)); }
  std::string Key() { return Spelling(Name(keys_)); }

 private:
  int Below(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  std::string Pick(std::initializer_list<std::string> items) {
    return *(items.begin() + Below(static_cast<int>(items.size())));
  }
  std::string Blanks() { return Pick({"", "", "", " ", "\t", "  \t"}); }
  std::string Name(const std::vector<std::string>& names) {
    std::string name = names[static_cast<size_t>(Below(static_cast<int>(names.size())))];
    for (char& c : name) {
      if (c >= 'a' && c <= 'z' && Chance(20)) c = static_cast<char>(c - 'a' + 'A');
    }
    return name;
  }
  std::string Spelling(const std::string& name) {
    return Chance(10) ? " " + name + "\t" : name;
  }
  std::string Value() {
    switch (Below(8)) {
      case 0:
        return "";
      case 1:
        return "\"quoted " + Name(keys_) + "\"";
      case 2:
        return "'single'";
      case 3:
        return "\"half open";
      case 4:
        return std::string(static_cast<size_t>(2990 + Below(20)), 'v');
      case 5:
        return "a=b;c,d";
      default: {
        std::string value = "v";
        value += std::to_string(Below(1000));
        if (Chance(10)) value += std::string("\0n", 2);
        return value;
      }
    }
  }

  std::mt19937 random_;
  const std::vector<std::string> sections_{"files", "calls", "dot", "modules", "", "Files x"};
  const std::vector<std::string> keys_{"dot", "csv", "file0", "file1", "0", "1", "mod_0",
                                       "", "a b", "graph_cfg0"};
};

TEST(CachedProfileReader, GivesTheAnswersOfTheReparsingReaderOnRandomTexts) {
  TempDir dir;
  const std::string path = dir / "scan.cfg";
  IniGenerator generator(4711);
  for (int text = 0; text < 400; ++text) {
    const std::string ini = generator.Text();
    // Each text in its own file: a fresh inode, so the cache cannot answer from the last one.
    std::string name = "t";
    name += std::to_string(text);
    const std::string file = dir / (name + ".cfg");
    testing::WriteFile(file, ini);
    CachedProfileReader cached;
    for (int lookup = 0; lookup < 40; ++lookup) {
      const std::string section = generator.Section();
      const std::string key = generator.Key();
      ASSERT_EQ(cached.Lookup(file, section, key), LookupIniValue(ini, section, key))
          << "section [" << section << "] key [" << key << "] in:\n"
          << ini;
    }
    EXPECT_EQ(cached.parseCount(), 1);
    std::remove(file.c_str());
  }
}

TEST(CachedProfileReader, ParsesOnceWhileTheFileStaysUnchanged) {
  TempDir dir;
  std::string ini = "[files]\n";
  for (int n = 0; n < 2000; ++n) {
    ini += "file" + std::to_string(n) + "=src/f" + std::to_string(n) + ".c\n";
  }
  const std::string cfg = dir.Write("scan.cfg", ini);
  CachedProfileReader reader;
  StringList files;
  for (int n = 0;; ++n) {
    std::string value = reader.Lookup(cfg, "files", "file" + std::to_string(n));
    if (value.empty()) break;
    files.push_back(std::move(value));
  }
  EXPECT_EQ(files.size(), 2000u);
  EXPECT_EQ(files[1999], "src/f1999.c");
  EXPECT_EQ(reader.parseCount(), 1);
}

// Sets the file's modification time, so that two versions of one size differ only there.
void SetModified(const std::string& path, time_t seconds, long nanoseconds) {
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(CachedProfileReader, SeesEveryChangeOfTheFileAtTheNextLookup) {
  TempDir dir;
  const std::string cfg = dir.Write("a.cfg", "[s]\nk=1\n");
  SetModified(cfg, 1700000000, 100);
  CachedProfileReader reader;
  EXPECT_EQ(reader.Lookup(cfg, "s", "k"), "1");

  // The same size; the modification time one nanosecond later.
  testing::WriteFile(cfg, "[s]\nk=2\n");
  SetModified(cfg, 1700000000, 101);
  EXPECT_EQ(reader.Lookup(cfg, "s", "k"), "2");

  // Another size.
  testing::WriteFile(cfg, "[s]\nk=three\n");
  EXPECT_EQ(reader.Lookup(cfg, "s", "k"), "three");

  // Replaced by another file of the same size and times: another inode.
  const std::string other = dir.Write("b.cfg", "[s]\nk=4444\n");
  struct stat status {};
  ASSERT_EQ(stat(cfg.c_str(), &status), 0);
  SetModified(other, status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
  ASSERT_EQ(std::rename(other.c_str(), cfg.c_str()), 0);
  EXPECT_EQ(reader.Lookup(cfg, "s", "k"), "4444");

  // Gone, then back.
  std::remove(cfg.c_str());
  EXPECT_EQ(reader.Lookup(cfg, "s", "k"), "");
  dir.Write("a.cfg", "[s]\nk=5\n");
  EXPECT_EQ(reader.Lookup(cfg, "s", "k"), "5");
  EXPECT_EQ(reader.parseCount(), 5);

  // Held, it answers from the file as it was at the first lookup of the hold, missing or not;
  // once let go, from the file as it is.
  {
    const ProfileReaderHold hold(reader);
    EXPECT_EQ(reader.Lookup(cfg, "s", "k"), "5");
    testing::WriteFile(cfg, "[s]\nk=six\n");
    EXPECT_EQ(reader.Lookup(cfg, "s", "k"), "5");
    EXPECT_EQ(reader.Lookup(dir / "late.cfg", "s", "k"), "");
    dir.Write("late.cfg", "[s]\nk=7\n");
    EXPECT_EQ(reader.Lookup(dir / "late.cfg", "s", "k"), "");
  }
  EXPECT_EQ(reader.Lookup(cfg, "s", "k"), "six");
  EXPECT_EQ(reader.Lookup(dir / "late.cfg", "s", "k"), "7");
}

TEST(CachedProfileReader, AFolderOrAnUnreadableFileHasNoValues) {
  TempDir dir;
  CachedProfileReader reader;
  EXPECT_EQ(reader.Lookup(dir.path(), "s", "k"), "");
  EXPECT_EQ(reader.Lookup(dir / "missing.cfg", "s", "k"), "");
  EXPECT_EQ(reader.parseCount(), 0);
}

TEST(CachedProfileReader, ServesListsThroughReadList) {
  TempDir dir;
  const std::string cfg = dir.Write("a.cfg", "[calls]\n0=Send,msg,msg\n1=Init\n2=\n3=late\n");
  CachedProfileReader reader;
  StringList list;
  EXPECT_EQ(ReadList(reader, cfg, "calls", list), 2);
  EXPECT_EQ(list, (StringList{"Send\nmsg\nmsg", "Init"}));
}

}  // namespace
}  // namespace quillmap
