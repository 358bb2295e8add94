/// What the resolved mode reads of a compilation database (compile_commands.json) beyond its
/// sources: the include folders, whose headers' macros it expands, and the -D options, which
/// decide the conditions of the headers and sources.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <unordered_map>

#include "text/text_utils.h"

namespace quillmap {

struct CompileOptions {
  StringList includeFolders;  // absolute ("-I", "-isystem", "-iquote", "-idirafter"), each once
  StringList defines;         // "NAME" or "NAME=VALUE", as every C entry gives them
  /// By source path: the -D options of its entry that not every entry gives.
  std::unordered_map<std::string, StringList> sourceDefines;
};

/// The options of the C entries of `database`. An entry's "arguments" are read, else its
/// "command" split as a shell splits it; relative folders are taken relative to the entry's
/// "directory", a relative "directory" relative to the database's folder. A "-U" cancels the
/// "-D" of the same name before it. A database that cannot be read gives nothing (the source
/// list reports it).
CompileOptions ReadCompileOptions(const std::string& database);

/// The folder of a database entry (its "directory", relative to the database's folder
/// `databaseDir`, ending in "/") into `directory`, and its "file" relative to that into `path`.
/// False when the entry is no object with a "file" string.
bool ReadEntryPaths(const nlohmann::json& entry, const std::string& databaseDir,
                    std::string& directory, std::string& path);

/// The words of a command line as a POSIX shell splits them: blanks separate, single quotes
/// keep everything, double quotes and backslashes as the shell reads them.
StringList SplitCommandLine(std::string_view command);

}  // namespace quillmap
