#include "config/compile_options.h"

#include <algorithm>
#include <istream>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <unordered_set>

#include "files/paths.h"
#include "files/source_file.h"

namespace quillmap {

namespace {

bool IsCSource(std::string_view path) { return path.size() >= 2 && path.ends_with(".c"); }

std::string_view NameOfDefine(std::string_view define) {
  return define.substr(0, define.find('='));
}

// The options of one entry that matter here, in order.
struct EntryOptions {
  StringList includeFolders;
  StringList defines;
};

EntryOptions ReadArguments(const StringList& arguments, const std::string& directory) {
  EntryOptions options;
  static constexpr std::string_view kFolderOptions[] = {"-I", "-isystem", "-iquote", "-idirafter"};
  // The first word is the compiler.
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view word = arguments[i];
    // "-DNAME" and "-D NAME"; the same for every option here.
    const auto value = [&](std::string_view option) -> std::string_view {
      if (word.size() > option.size()) return word.substr(option.size());
      return i + 1 < arguments.size() ? std::string_view(arguments[++i]) : std::string_view();
    };
    if (word.starts_with("-D")) {
      const std::string_view define = value("-D");
      if (define.empty() || NameOfDefine(define).empty()) continue;
      // The last -D of a name holds, as the compiler reads them.
      std::erase_if(options.defines, [&](const std::string& earlier) {
        return NameOfDefine(earlier) == NameOfDefine(define);
      });
      options.defines.emplace_back(define);
      continue;
    }
    if (word.starts_with("-U")) {
      const std::string_view name = value("-U");
      std::erase_if(options.defines,
                    [&](const std::string& define) { return NameOfDefine(define) == name; });
      continue;
    }
    for (const std::string_view option : kFolderOptions) {
      if (!word.starts_with(option)) continue;
      // "-isystem" is not "-I" followed by "system".
      if (option == "-I" && word.starts_with("-isystem")) continue;
      const std::string_view folder = value(option);
      if (!folder.empty()) options.includeFolders.push_back(ResolvePath(folder, directory));
      break;
    }
  }
  return options;
}

}  // namespace

StringList SplitCommandLine(std::string_view command) {
  StringList words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\'') {
      const size_t end = command.find('\'', i + 1);
      const size_t stop = end == std::string_view::npos ? command.size() : end;
      word.append(command.substr(i + 1, stop - i - 1));
      i = stop;
    } else if (c == '"') {
      for (++i; i < command.size() && command[i] != '"'; ++i) {
        // In double quotes a backslash escapes only these.
        if (command[i] == '\\' && i + 1 < command.size() &&
            std::string_view("\"\\$`").find(command[i + 1]) != std::string_view::npos) {
          ++i;
        }
        word += command[i];
      }
    } else if (c == '\\' && i + 1 < command.size()) {
      word += command[++i];
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

bool ReadEntryPaths(const nlohmann::json& entry, const std::string& databaseDir,
                    std::string& directory, std::string& path) {
  if (!entry.is_object()) return false;
  const auto file = entry.find("file");
  if (file == entry.end() || !file->is_string()) return false;
  directory = databaseDir;
  const auto dir = entry.find("directory");
  if (dir != entry.end() && dir->is_string() && !dir->get<std::string>().empty()) {
    directory = ResolvePath(dir->get<std::string>(), databaseDir);
    if (directory.back() != '/') directory += '/';
  }
  path = ResolvePath(file->get<std::string>(), directory);
  return true;
}

CompileOptions ReadCompileOptions(const std::string& database) {
  CompileOptions result;
  SourceFile file;
  if (!file.Open(database)) return result;
  SourceFileBuffer buffer(file);
  std::istream in(&buffer);
  nlohmann::json entries;
  try {
    entries = nlohmann::json::parse(in);
  } catch (const nlohmann::json::exception&) {
    return result;
  }
  if (!entries.is_array()) return result;
  const std::string databaseDir = database.substr(0, database.find_last_of('/') + 1);
  std::unordered_set<std::string> folders;
  std::vector<std::pair<std::string, StringList>> defines;  // by C entry
  std::string directory;
  std::string path;
  for (const nlohmann::json& entry : entries) {
    if (!ReadEntryPaths(entry, databaseDir, directory, path) || !IsCSource(path)) continue;
    StringList arguments;
    const auto args = entry.find("arguments");
    const auto command = entry.find("command");
    if (args != entry.end() && args->is_array()) {
      for (const nlohmann::json& a : *args) {
        if (a.is_string()) arguments.push_back(a.get<std::string>());
      }
    } else if (command != entry.end() && command->is_string()) {
      arguments = SplitCommandLine(command->get<std::string>());
    }
    EntryOptions options = ReadArguments(arguments, directory);
    for (std::string& folder : options.includeFolders) {
      if (folders.insert(folder).second) result.includeFolders.push_back(std::move(folder));
    }
    defines.emplace_back(path, std::move(options.defines));
  }
  if (defines.empty()) return result;
  // What every entry defines alike holds for the headers too; the rest for its source alone.
  // An entry names each define once (the last -D of a name holds), so counting them suffices.
  std::unordered_map<std::string, size_t> entriesWith;
  for (const auto& entry : defines) {
    for (const std::string& define : entry.second) ++entriesWith[define];
  }
  std::unordered_set<std::string> common;
  for (const std::string& define : defines.front().second) {
    if (entriesWith[define] == defines.size() && common.insert(define).second) {
      result.defines.push_back(define);
    }
  }
  for (auto& [path, own] : defines) {
    std::erase_if(own, [&](const std::string& define) { return common.contains(define); });
    if (!own.empty()) result.sourceDefines[path] = std::move(own);
  }
  return result;
}

}  // namespace quillmap
