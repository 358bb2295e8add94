#include "config/scan_settings.h"

#include <gtest/gtest.h>

#include <functional>

#include "config/config_keys.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

// The settings of a configuration that sets nothing, spelled out.
ScanSettings Defaults(const std::string& cfgPath) {
  ScanSettings settings;
  settings.cfgPath = cfgPath;
  for (const char* option : kQueryOptions) settings.dot.queries[option] = "";
  for (const char* option : {kFocusOption, kDirectionOption, kDepthOption}) {
    settings.modules.queries[option] = "";
  }
  settings.dot.pointerStyle = "style=dashed";
  settings.dot.macroStyle = "style=dotted";
  settings.dot.maxTargets = 10;
  return settings;
}

struct SettingsCase {
  const char* what;
  std::string config;
  std::function<void(ScanSettings&)> expect;  // applied to the defaults
};

TEST(ScanSettingsTest, EveryKeyIsReadIntoItsTypedValueWithTheReadersRules) {
  const std::vector<SettingsCase> cases = {
      {"nothing set", "", [](ScanSettings&) {}},
      {"numbered lists end at their first gap; names ignore case; quotes go",
       "[FILES]\nFile0=a.c\nfile1 = 'b c.c'\nfile3=d.c\nexclude0=*_test.c\nexclude1=\n"
       "exclude2=x.c\nheader0=h.h\ncompile_commands=\"db.json\"\ndot=out.dot\nCSV=out.csv\n"
       "json=out.json\nsarif=out.sarif\n",
       [](ScanSettings& s) {
         s.sources = {{"a.c", "b c.c"}, {"*_test.c"}, {"h.h"}, "db.json"};
         s.outputs = {"out.dot", "out.csv", "out.json", "out.sarif"};
       }},
      {"the first section of a name wins", "[files]\nfile0=a.c\n[files]\nfile0=b.c\nfile1=c.c\n",
       [](ScanSettings& s) { s.sources.files = {"a.c"}; }},
      {"syntax in any case; resolve only with c",
       "[scan]\nsyntax=C\nresolve=yes\ndefine0=NDEBUG\ndefine1=LEVEL=2\n"
       "name_macro0=DEFINE_* $1\nname_macro2=skipped\n",
       [](ScanSettings& s) {
         s.scan.syntax = SourceSyntax::kC;
         s.scan.resolve = true;
         s.scan.defines = {"NDEBUG", "LEVEL=2"};
         s.scan.nameMacros = {"DEFINE_* $1"};
       }},
      {"resolve without c resolves nothing", "[scan]\nsyntax=lines\nresolve=yes\n",
       [](ScanSettings&) {}},
      {"an unknown syntax is the problem, resolve unchecked", "[scan]\nsyntax=cpp\nresolve=maybe\n",
       [](ScanSettings& s) { s.scan.problem = "error in [scan] syntax (lines or c): cpp"; }},
      {"resolve takes lower case only", "[scan]\nsyntax=c\nresolve=Yes\n",
       [](ScanSettings& s) {
         s.scan.syntax = SourceSyntax::kC;
         s.scan.problem = "error in [scan] resolve (yes or no): Yes";
       }},
      {"filters: commas become line feeds unless a value starts with one; styles by filter",
       "[calls]\n0=foo,fn\n1=,odd\n2=Send,,msg\n[reject]\n0=bar\n"
       "[dot]\nnode_cfgfn=[shape=box]\ncall_cfgmsg=[label=$0]\ncall_cfg=[color=red]\n"
       "graph_cfg0=rankdir=LR\ngraph_cfg1=ratio=fill\npointer_cfg=\nmacro_cfg=style=bold\n"
       "max_targets=3x\nfocus=main\ndepth=2\nrender=svg\nrender_seconds=0.5\n",
       [](ScanSettings& s) {
         s.filters = {{"foo\nfn", ",odd", "Send\n\nmsg"}, {"bar"}};
         s.dot.graphAttributes = {"rankdir=LR", "ratio=fill"};
         s.dot.nodeStyles = {"[shape=box]", "", ""};
         s.dot.callStyles = {"[color=red]", "[color=red]", "[label=$0]"};
         s.dot.macroStyle = "style=bold";
         s.dot.maxTargets = 3;
         s.dot.queries[kFocusOption] = "main";
         s.dot.queries[kDepthOption] = "2";
         s.dot.render = {"svg", "0.5"};
       }},
      {"a max_targets that is no number counts as 0", "[dot]\nmax_targets=none\n",
       [](ScanSettings& s) { s.dot.maxTargets = 0; }},
      {"modules up to the first without a name, each with its keys",
       "[modules]\nlog=mod.log\ndot=mod.dot\ngraph_cfg0=rankdir=TB\nmod_0=app\n"
       "mod_0_dot_clu_0=color=blue\nmod_0_dot_clu_1=style=filled\nmod_0_dot_node=shape=box\n"
       "mod_0_dot_call=color=red\nmod_0_file_0=a.c\nmod_0_file_1=src/**/*.c\nmod_1=lib\n"
       "mod_3=never\nrule_0=app -> lib\nrule_1=lib !-> app\nlayers=app,lib\ndefault=deny\n"
       "cycles=allow\nbaseline=known.txt\nfocus=app\ndirection=callers\nrender=png,svg\n",
       [](ScanSettings& s) {
         ModuleGraphSettings& m = s.modules;
         m.log = "mod.log";
         m.dot = "mod.dot";
         m.graphAttributes = {"rankdir=TB"};
         m.modules = {{"app",
                       {"color=blue", "style=filled"},
                       "shape=box",
                       "color=red",
                       {"a.c", "src/**/*.c"}},
                      {"lib", {}, "", "", {}}};
         m.rules = {{"app -> lib", "lib !-> app"}, "app,lib", "deny", "allow", "known.txt"};
         m.queries[kFocusOption] = "app";
         m.queries[kDirectionOption] = "callers";
         m.render = {"png,svg", ""};
       }},
      {"call rules",
       "[rules]\nforbid_reach_0=main -> abort\nforbid_reach_1=x\nforbid_reach_3=y\n"
       "entry=init_*\nbaseline=calls.txt\n",
       [](ScanSettings& s) {
         s.callRules = {{"main -> abort", "x"}, "init_*", "calls.txt"};
       }},
  };
  TempDir dir;
  RereadingProfileReader reader;
  for (const SettingsCase& c : cases) {
    const std::string cfg = dir.Write("scan.cfg", c.config);
    ScanSettings expected = Defaults(cfg);
    c.expect(expected);
    EXPECT_TRUE(ReadScanSettings(reader, cfg) == expected) << c.what;
  }
}

TEST(ScanSettingsTest, NumberedValueAnswersTheKeysTheListWasReadFrom) {
  const StringList values{"a", "b"};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"rule_0", "a"}, {"rule_1", "b"}, {"rule_2", ""}, {"rule_01", ""},
      {"rule_", ""},   {"rule0", ""},   {"layers", ""}, {"rule_1x", ""}};
  for (const auto& [key, value] : cases)
    EXPECT_EQ(NumberedValue(values, "rule_", key), value) << key;
}

TEST(ScanSettingsTest, AMissingConfigurationGivesTheDefaults) {
  TempDir dir;
  RereadingProfileReader reader;
  EXPECT_TRUE(ReadScanSettings(reader, dir / "none.cfg") == Defaults(dir / "none.cfg"));
}

}  // namespace
}  // namespace quillmap
