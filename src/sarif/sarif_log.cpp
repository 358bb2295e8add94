#include "sarif/sarif_log.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "config/app_identity.h"
#include "outputs/output_replacement.h"
#include "rules/rule_baseline.h"

namespace quillmap {

namespace {
using Json = nlohmann::ordered_json;

constexpr const char* kSchema = "https://json.schemastore.org/sarif-2.1.0.json";
constexpr const char* kSarifVersion = "2.1.0";
constexpr const char* kToolName = "Quillmap";
constexpr const char* kRootBase = "PROJECTROOT";
constexpr const char* kFingerprintName = "quillmapFinding/v1";
constexpr const char* kModuleRulePrefix = "module/";
constexpr const char* kCallRulePrefix = "calls/";

struct RuleInfo {
  const char* id;
  const char* name;
  const char* shortText;
  const char* fullText;
};
// The rules of the module rules' other deciders; a numbered module rule and each call rule are
// described from their own text.
constexpr RuleInfo kFixedRules[] = {
    {"module/layers", "ModuleLayers", "A module calls a module of a layer above it.",
     "A call goes from a module of a lower layer to a module of a higher one ([modules] layers)."},
    {"module/default", "ModuleDefaultDeny", "A call between modules that no rule allows.",
     "A call between two modules that neither a rule nor the layers decide, with "
     "[modules] default=deny."},
    {"module/cycles", "ModuleCycle", "Modules call each other in a cycle.",
     "The modules on the cycle reach each other through calls ([modules] cycles=deny)."},
};

std::string RuleIdOf(const RuleViolation& violation) { return kModuleRulePrefix + violation.rule; }
std::string RuleIdOf(const ForbidReachRule& rule) { return kCallRulePrefix + rule.key; }

// FNV-1a, 64 bits: the same on every platform and in every run.
std::string Fingerprint(const std::string& ruleId, std::string_view key) {
  uint64_t hash = 14695981039346656037ull;
  for (const std::string_view part : {std::string_view(ruleId), std::string_view("\n"), key}) {
    for (const unsigned char c : part) {
      hash ^= c;
      hash *= 1099511628211ull;
    }
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// A path as a URI reference: unreserved bytes and '/' stay, everything else is percent-encoded.
std::string UriPath(std::string_view path) {
  std::string uri;
  for (const unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  return uri;
}

Json PhysicalLocation(const std::string& file, int32_t line, const std::string& cfgDir) {
  Json artifact;
  if (!cfgDir.empty() && file.starts_with(cfgDir)) {
    artifact["uri"] = UriPath(file.substr(cfgDir.size()));
    artifact["uriBaseId"] = kRootBase;
  } else {
    artifact["uri"] = "file://" + UriPath(file);
  }
  Json location;
  location["artifactLocation"] = artifact;
  if (line > 0) location["region"] = {{"startLine", line}};
  return location;
}

// The module calls of a cycle, one per step along it: the first call of each module pair.
std::vector<int32_t> CycleSteps(const RuleViolation& violation, const ModuleCalls& calls) {
  std::vector<int32_t> steps;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (const int32_t call : violation.calls) {
    const ModuleCallRecord& record = calls[static_cast<size_t>(call)];
    const std::pair<int32_t, int32_t> pair{record.fromModule, record.toModule};
    if (std::find(pairs.begin(), pairs.end(), pair) != pairs.end()) continue;
    pairs.push_back(pair);
    steps.push_back(call);
  }
  return steps;
}

struct Site {
  std::string file;
  int32_t line = 0;
  std::string text;
};

// Where a call rule violation's chain goes: each call of it, the forbidden call last.
std::vector<Site> ChainSites(const RunFindings& findings, const CallRuleViolation& violation) {
  std::vector<Site> sites;
  const CallReachGraph& graph = *findings.graph;
  const CallGraphModel& model = graph.model();
  for (const int32_t edge : violation.chain) {
    const CallDetails details = model.DetailsOf(model.calls[graph.EdgeCall(edge)]);
    sites.push_back({std::string(graph.FileOf(graph.EdgeFrom(edge))), details.line,
                     WitnessStep(graph, edge, findings.cfgDir)});
  }
  return sites;
}

std::vector<Site> ModuleSites(const RunFindings& findings, const RuleViolation& violation) {
  std::vector<Site> sites;
  const std::vector<int32_t> calls =
      violation.rule == kCyclesKey ? CycleSteps(violation, *findings.moduleCalls) : violation.calls;
  for (const int32_t call : calls) {
    const ModuleCalls& moduleCalls = *findings.moduleCalls;
    const ModuleCallRecord& record = moduleCalls[static_cast<size_t>(call)];
    sites.push_back({std::string(moduleCalls.FileOf(record)), record.line,
                     std::string(moduleCalls.CallerOf(record)) + " calls " +
                         std::string(moduleCalls.CalleeOf(record))});
  }
  return sites;
}

Json Result(const std::string& ruleId, size_t ruleIndex, const std::string& text,
            const std::vector<Site>& sites, bool fresh, bool isFlow, const std::string& cfgDir) {
  Json result;
  result["ruleId"] = ruleId;
  result["ruleIndex"] = ruleIndex;
  result["level"] = "error";
  result["message"] = {{"text", text}};
  // The offending call: the one that breaks a module rule, or the call of the forbidden
  // function at the end of a chain.
  Json locations = Json::array();
  if (!sites.empty()) {
    const Site& at = isFlow ? sites.back() : sites.front();
    locations.push_back({{"physicalLocation", PhysicalLocation(at.file, at.line, cfgDir)}});
  }
  result["locations"] = locations;
  result["partialFingerprints"] = {{kFingerprintName, Fingerprint(ruleId, BaselineKey(text))}};
  if (sites.size() > 1) {
    Json steps = Json::array();
    for (const Site& site : sites) {
      steps.push_back({{"location",
                        {{"physicalLocation", PhysicalLocation(site.file, site.line, cfgDir)},
                         {"message", {{"text", site.text}}}}}});
    }
    result["codeFlows"] = Json::array({{{"threadFlows", Json::array({{{"locations", steps}}})}}});
  }
  result["baselineState"] = fresh ? "new" : "unchanged";
  return result;
}

Json RuleDescriptor(const std::string& id, const std::string& name, const std::string& shortText,
                    const std::string& fullText) {
  return {{"id", id},
          {"name", name},
          {"shortDescription", {{"text", shortText}}},
          {"fullDescription", {{"text", fullText}}},
          {"defaultConfiguration", {{"level", "error"}}},
          {"help", {{"text", fullText}}}};
}
}  // namespace

std::vector<FindingSite> FindingSites(const RunFindings& findings) {
  std::vector<FindingSite> found;
  for (size_t v = 0; v < findings.moduleViolations.size(); ++v) {
    const RuleViolation& violation = findings.moduleViolations[v];
    const std::vector<Site> sites = ModuleSites(findings, violation);
    FindingSite site{RuleIdOf(violation),
                     violation.line,
                     {},
                     0,
                     v >= findings.moduleFresh.size() || findings.moduleFresh[v] != 0};
    if (!sites.empty()) {
      site.file = sites.front().file;
      site.line = sites.front().line;
    }
    found.push_back(std::move(site));
  }
  for (size_t v = 0; v < findings.callViolations.size(); ++v) {
    const CallRuleViolation& violation = findings.callViolations[v];
    const std::vector<Site> sites = ChainSites(findings, violation);
    FindingSite site{RuleIdOf(findings.callRules[violation.rule]),
                     violation.line,
                     {},
                     0,
                     v >= findings.callFresh.size() || findings.callFresh[v] != 0};
    if (!sites.empty()) {
      site.file = sites.back().file;
      site.line = sites.back().line;
    }
    found.push_back(std::move(site));
  }
  return found;
}

std::string SarifLogText(const RunFindings& findings, const std::string& toolVersion) {
  // The rules that findings name, in the order first named.
  Json rules = Json::array();
  std::vector<std::string> ruleIds;
  const auto indexOf = [&](const std::string& id, const std::function<Json()>& describe) {
    const auto known = std::find(ruleIds.begin(), ruleIds.end(), id);
    if (known != ruleIds.end()) return static_cast<size_t>(known - ruleIds.begin());
    ruleIds.push_back(id);
    rules.push_back(describe());
    return ruleIds.size() - 1;
  };
  Json results = Json::array();
  for (size_t v = 0; v < findings.moduleViolations.size(); ++v) {
    const RuleViolation& violation = findings.moduleViolations[v];
    const std::string id = RuleIdOf(violation);
    const size_t index = indexOf(id, [&] {
      for (const RuleInfo& info : kFixedRules) {
        if (id == info.id) return RuleDescriptor(id, info.name, info.shortText, info.fullText);
      }
      // A numbered rule: the report line's rule text says what it forbids.
      const std::string_view line = violation.line;
      const size_t start = std::string_view(kRuleViolated).size();
      const std::string ruleText(line.substr(start, line.find(':', start) - start));
      return RuleDescriptor(id, "ModuleRule", "Module rule " + violation.rule + ": " + ruleText,
                            "A call between modules that [modules] " + violation.rule +
                                " forbids: " + ruleText + ".");
    });
    const bool fresh = v >= findings.moduleFresh.size() || findings.moduleFresh[v] != 0;
    results.push_back(Result(id, index, violation.line, ModuleSites(findings, violation), fresh,
                             false, findings.cfgDir));
  }
  for (size_t v = 0; v < findings.callViolations.size(); ++v) {
    const CallRuleViolation& violation = findings.callViolations[v];
    const ForbidReachRule& rule = findings.callRules[violation.rule];
    const std::string id = RuleIdOf(rule);
    const size_t index = indexOf(id, [&] {
      return RuleDescriptor(id, "ForbiddenReach", "Forbidden reach: " + rule.Text(),
                            "No function matching the right side may be reachable through "
                            "calls from a function matching the left side ([rules] " +
                                rule.key + " = " + rule.Text() + ").");
    });
    const bool fresh = v >= findings.callFresh.size() || findings.callFresh[v] != 0;
    results.push_back(Result(id, index, violation.line, ChainSites(findings, violation), fresh,
                             true, findings.cfgDir));
  }
  Json run;
  run["tool"] = {{"driver",
                  {{"name", kToolName},
                   {"version", toolVersion},
                   {"informationUri", kWebAddress},
                   {"rules", rules}}}};
  if (!findings.cfgDir.empty()) {
    run["originalUriBaseIds"] = {{kRootBase, {{"uri", "file://" + UriPath(findings.cfgDir)}}}};
  }
  run["results"] = results;
  Json log;
  log["$schema"] = kSchema;
  log["version"] = kSarifVersion;
  log["runs"] = Json::array({run});
  return log.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool WriteSarifLog(const std::string& path, const RunFindings& findings,
                   const std::string& toolVersion) {
  return WriteWholeOutput(path, SarifLogText(findings, toolVersion));
}

std::vector<std::string> GithubAnnotations(const RunFindings& findings,
                                           const std::string& baseDir) {
  // Workflow commands end a property at ',' or ':' and a message at a line end.
  const auto escape = [](std::string_view text, bool property) {
    std::string out;
    for (const char c : text) {
      if (c == '%')
        out += "%25";
      else if (c == '\r')
        out += "%0D";
      else if (c == '\n')
        out += "%0A";
      else if (property && c == ':')
        out += "%3A";
      else if (property && c == ',')
        out += "%2C";
      else
        out += c;
    }
    return out;
  };
  std::vector<std::string> lines;
  for (const FindingSite& site : FindingSites(findings)) {
    if (!site.fresh) continue;
    std::string line = "::error ";
    if (!site.file.empty()) {
      std::string_view file = site.file;
      if (!baseDir.empty() && file.starts_with(baseDir)) file.remove_prefix(baseDir.size());
      line += "file=" + escape(file, true) + ",line=" + std::to_string(site.line) + ",";
    }
    line += "title=" + escape(site.ruleId, true) + "::" + escape(site.text, false);
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace quillmap
