#pragma once
// zumibo-fit's options as data: one definition of each option, from which the command line is
// read and the help, the manual page's option list and the bash and zsh completions are written,
// so that they cannot disagree.

#include <string>
#include <vector>

#include "search/span.h"

struct Options;

/// What a shell offers to complete an option's value with.
enum class ValueCompletion { kNothing, kFile, kFolder, kWords };

struct OptionDef {
  char shortName;        ///< 0: none
  const char* longName;  ///< without the dashes
  const char* value;     ///< the value's name ("SIZE"), or nullptr for a switch
  const char* brief;     ///< for --help and zsh: what it does, in a line or two
  const char* details;   ///< more for the manual page (roff), or nullptr
  const char* section;   ///< the heading it is listed under
  ValueCompletion completion = ValueCompletion::kNothing;
  const char* words = nullptr;  ///< kWords: the values, separated by spaces
  bool repeatable = false;      ///< each use adds a value
  bool hidden = false;          ///< read, but neither listed nor completed
  // Where the value goes: one of these.
  std::string Options::*text = nullptr;
  bool Options::*flag = nullptr;
  std::vector<std::string> Options::*list = nullptr;
};

/// A command: the tool itself, or one selected by its first word (find, verify, catalog).
struct CommandDef {
  const char* name;                ///< nullptr for the tool itself
  std::vector<const char*> usage;  ///< the synopses, each after "zumibo-fit "
  const char* summary;             ///< one line: what the command does
  const char* description;         ///< paragraphs separated by blank lines
  Span<const OptionDef> options;
  std::vector<std::string> Options::*operands;  ///< where the words that are not options go
  const char* operandCompletion;                ///< "files", "folders", or a word list for the first operand
};

/// The tool's other texts, shared by --help and the manual page.
struct ToolDoc {
  const CommandDef* tool;
  Span<const CommandDef> commands;
  std::vector<std::pair<const char*, const char*>> examples;  ///< a command line and what it does
  std::vector<std::pair<std::string, std::string>> exitStatuses;
  std::vector<std::pair<std::string, std::string>> presets;  ///< a name and what it holds
  const char* version;
};

/// Reads argv (without the command's own name, and without its first word for a command) into
/// `o`. False with `why` in the tool's words for an unknown option, a missing value, a value
/// given to a switch, or an option given twice that takes one value.
bool ParseArguments(const CommandDef& command, int argc, const char* const* argv, Options& o, std::string& why);

/// --help: usage first, then what the command does, its options by section, and for the tool
/// itself its commands, presets, examples and exit statuses; every line at most 80 columns.
std::string HelpText(const ToolDoc& doc, const CommandDef& command);
/// The manual page (roff).
std::string ManualPage(const ToolDoc& doc, const char* date);
/// The bash and zsh completion scripts.
std::string BashCompletion(const ToolDoc& doc);
std::string ZshCompletion(const ToolDoc& doc);
