#include "cli/option_table.h"

#include <cctype>
#include <cstring>

#include "cli/options.h"

namespace {

constexpr std::size_t kWidth = 80;
constexpr std::size_t kHelpColumn = 28;

const OptionDef* ByLong(const CommandDef& command, const std::string& name) {
  for (const OptionDef& d : command.options) {
    if (name == d.longName) return &d;
  }
  return nullptr;
}

const OptionDef* ByShort(const CommandDef& command, char name) {
  for (const OptionDef& d : command.options) {
    if (d.shortName && d.shortName == name) return &d;
  }
  return nullptr;
}

std::string Spelled(const OptionDef& d) { return std::string("--") + d.longName; }

std::string CommandName(const CommandDef& command) {
  return command.name ? std::string("zumibo-fit ") + command.name : "zumibo-fit";
}

// `text` broken into lines of at most `width` columns at spaces, starting at `column`, each line
// after the first indented by `indent` spaces; a line break in the text is kept.
std::string Wrapped(const std::string& text, std::size_t width, std::size_t indent, std::size_t column = 0) {
  std::string out;
  bool lineEmpty = true;
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] == '\n' || text[at] == ' ') {
      if (text[at] == '\n') {
        out += '\n' + std::string(indent, ' ');
        column = indent;
        lineEmpty = true;
      }
      ++at;
      continue;
    }
    std::size_t end = text.find_first_of(" \n", at);
    if (end == std::string::npos) end = text.size();
    const std::size_t length = end - at;
    if (!lineEmpty && column + 1 + length > width) {
      out += '\n' + std::string(indent, ' ');
      column = indent;
      lineEmpty = true;
    }
    if (!lineEmpty) {
      out += ' ';
      ++column;
    }
    out.append(text, at, length);
    column += length;
    lineEmpty = false;
    at = end;
  }
  return out;
}

// The paragraphs of a description, each wrapped to the width.
std::string Paragraphs(const std::string& text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find("\n\n", at);
    if (end == std::string::npos) end = text.size();
    std::string paragraph = text.substr(at, end - at);
    for (char& c : paragraph) c = c == '\n' ? ' ' : c;
    out += Wrapped(paragraph, kWidth, 0) + "\n";
    if (end < text.size()) out += "\n";
    at = end + 2;
  }
  return out;
}

// "-c, --capacity SIZE" or "    --json".
std::string Label(const OptionDef& d) {
  std::string label = d.shortName ? std::string("-") + d.shortName + ", " : "    ";
  label += Spelled(d);
  if (d.value) label += std::string(" ") + d.value;
  return label;
}

// Two columns: a term and its words, wrapped beside it or below a long term.
std::string TwoColumns(const std::string& term, const std::string& words, std::size_t column = kHelpColumn) {
  std::string line = "  " + term;
  if (line.size() + 2 > column) line += "\n" + std::string(column, ' ');
  else line += std::string(column - line.size(), ' ');
  return line + Wrapped(words, kWidth, column, column) + "\n";
}

std::vector<std::string> Sections(const CommandDef& command) {
  std::vector<std::string> sections;
  for (const OptionDef& d : command.options) {
    if (d.hidden) continue;
    bool known = false;
    for (const std::string& s : sections) known = known || s == d.section;
    if (!known) sections.push_back(d.section);
  }
  return sections;
}

// Text for roff: backslashes doubled as \e, minus signs as \-, a line never starting with a
// control character.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
    lineStart = c == '\n';
  }
  return out;
}

std::string RoffParagraphs(const std::string& text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find("\n\n", at);
    if (end == std::string::npos) end = text.size();
    if (at) out += ".PP\n";
    out += Roff(text.substr(at, end - at)) + "\n";
    at = end + 2;
  }
  return out;
}

// A brief or summary as a sentence: capitalised, with a full stop.
std::string Sentence(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text + ".";
}

// A brief as a sentence of the manual page, with its details after it.
std::string Described(const OptionDef& d) {
  std::string text = Sentence(d.brief);
  if (d.details) text += std::string(" ") + d.details + ".";
  return Roff(text);
}

// The options of a command, each a tagged paragraph; with `headings`, under their sections.
std::string RoffOptionList(const CommandDef& command, bool headings) {
  std::string out;
  for (const std::string& section : Sections(command)) {
    if (headings) out += ".SS " + Roff(section) + "\n";
    for (const OptionDef& d : command.options) {
      if (d.hidden || (headings && section != d.section)) continue;
      out += ".TP\n";
      if (d.shortName) out += std::string("\\fB\\-") + d.shortName + "\\fR, ";
      out += "\\fB" + Roff(Spelled(d)) + "\\fR";
      if (d.value) out += std::string(" \\fI") + Roff(d.value) + "\\fR";
      out += "\n" + Described(d) + "\n";
    }
    if (!headings) break;
  }
  return out;
}

// The option names and the values they complete with, for the shells.
std::string Names(const CommandDef& command, bool withValuesOnly) {
  std::string names;
  for (const OptionDef& d : command.options) {
    if (d.hidden || (withValuesOnly && !d.value)) continue;
    if (!names.empty()) names += ' ';
    if (d.shortName) names += std::string("-") + d.shortName + " ";
    names += Spelled(d);
  }
  return names;
}

std::string BashValueCases(const CommandDef& command) {
  std::string out;
  for (const OptionDef& d : command.options) {
    if (d.hidden || !d.value) continue;
    std::string pattern = d.shortName ? std::string("-") + d.shortName + "|" + Spelled(d) : Spelled(d);
    out += "      " + pattern + ")\n        ";
    switch (d.completion) {
      case ValueCompletion::kFile:
        out += "COMPREPLY=($(compgen -f -- \"$cur\"))";
        break;
      case ValueCompletion::kFolder:
        out += "COMPREPLY=($(compgen -d -- \"$cur\"))";
        break;
      case ValueCompletion::kWords:
        out += std::string("COMPREPLY=($(compgen -W \"") + d.words + "\" -- \"$cur\"))";
        break;
      case ValueCompletion::kNothing:
        out += ":";
        break;
    }
    out += "\n        return ;;\n";
  }
  return out;
}

std::string ZshQuoted(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else if (c == '[' || c == ']' || c == ':') out += std::string("\\") + c;
    else out += c;
  }
  return out;
}

std::string ZshSpecs(const CommandDef& command) {
  std::string out;
  for (const OptionDef& d : command.options) {
    if (d.hidden) continue;
    // ":MESSAGE:ACTION", whose colons separate: only the message is quoted.
    std::string action;
    if (d.value) {
      action = ":" + ZshQuoted(d.value) + ":";
      switch (d.completion) {
        case ValueCompletion::kFile:
          action += "_files";
          break;
        case ValueCompletion::kFolder:
          action += "_files -/";
          break;
        case ValueCompletion::kWords:
          action += std::string("(") + d.words + ")";
          break;
        case ValueCompletion::kNothing:
          action += " ";
          break;
      }
    }
    std::string brief = d.brief;
    if (brief.size() > 70) brief = brief.substr(0, brief.rfind(' ', 67)) + "...";
    const std::string description = "[" + ZshQuoted(brief) + "]";
    const std::string repeat = d.repeatable ? "*" : "";
    if (d.shortName)
      out += "    '" + repeat + "(-" + d.shortName + " " + Spelled(d) + ")'{-" + d.shortName + "," + Spelled(d) + "}'" +
             description + action + "' \\\n";
    else out += "    '" + repeat + Spelled(d) + description + action + "' \\\n";
  }
  return out;
}

}  // namespace

bool ParseArguments(const CommandDef& command, int argc, const char* const* argv, Options& o, std::string& why) {
  std::vector<const OptionDef*> given;
  const auto take = [&](const OptionDef& d, const std::string& value) {
    if (d.flag) {
      o.*d.flag = true;
      return true;
    }
    if (d.list) {
      (o.*d.list).push_back(value);
      return true;
    }
    for (const OptionDef* g : given) {
      if (g == &d) return why = Spelled(d) + " is given more than once: give it once", false;
    }
    given.push_back(&d);
    o.*d.text = value;
    return true;
  };
  bool optionsEnd = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
      (o.*command.operands).push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    if (arg[1] == '-') {
      const std::size_t equals = arg.find('=');
      const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      const OptionDef* d = ByLong(command, name);
      if (!d) return why = "'--" + name + "' is not an option of " + CommandName(command), false;
      if (!d->value) {
        if (equals != std::string::npos) return why = Spelled(*d) + " takes no value", false;
        take(*d, "");
        continue;
      }
      if (equals == std::string::npos && i + 1 >= argc) return why = Spelled(*d) + " needs a value", false;
      if (!take(*d, equals != std::string::npos ? arg.substr(equals + 1) : argv[++i])) return false;
      continue;
    }
    // Short options, several switches in one word ("-qL"), a value after its letter or as the next word.
    for (std::size_t k = 1; k < arg.size(); ++k) {
      const OptionDef* d = ByShort(command, arg[k]);
      if (!d) return why = "'-" + std::string(1, arg[k]) + "' is not an option of " + CommandName(command), false;
      if (!d->value) {
        take(*d, "");
        continue;
      }
      if (k + 1 == arg.size() && i + 1 >= argc) return why = Spelled(*d) + " needs a value", false;
      if (!take(*d, k + 1 < arg.size() ? arg.substr(k + 1) : argv[++i])) return false;
      break;
    }
  }
  return true;
}

std::string HelpText(const ToolDoc& doc, const CommandDef& command) {
  std::string out;
  for (std::size_t i = 0; i < command.usage.size(); ++i)
    out += std::string(i ? "  or:  " : "Usage: ") + CommandName(command) + " " + command.usage[i] + "\n";
  if (&command == doc.tool) {
    for (const CommandDef& c : doc.commands) {
      for (const char* usage : c.usage) out += std::string("  or:  zumibo-fit ") + c.name + " " + usage + "\n";
    }
  }
  out += Wrapped(Sentence(command.summary), kWidth, 0) + "\n\n" + Paragraphs(command.description);
  for (const std::string& section : Sections(command)) {
    out += "\n" + section + ":\n";
    for (const OptionDef& d : command.options) {
      if (!d.hidden && section == d.section) out += TwoColumns(Label(d), d.brief);
    }
  }
  if (&command != doc.tool) return out;
  if (!doc.commands.empty()) {
    out += "\nCommands (the first word; a PATH of that name is given as ./find):\n";
    for (const CommandDef& c : doc.commands) out += TwoColumns(c.name, c.summary, 12);
  }
  out += "\nPresets (sectors of 2,048 bytes, as blank discs report them):\n";
  for (const auto& [name, what] : doc.presets) out += TwoColumns(name, what, 10);
  out += "\nExamples:\n";
  for (const auto& [line, what] : doc.examples) {
    out += "  " + Wrapped(line, kWidth, 6, 2) + "\n";
    if (*what) out += "      " + Wrapped(what, kWidth, 6, 6) + "\n";
  }
  out += "\nExit status:\n";
  for (const auto& [status, meaning] : doc.exitStatuses) out += TwoColumns(status, meaning, 9);
  return out;
}

std::string ManualPage(const ToolDoc& doc, const char* date) {
  const CommandDef& tool = *doc.tool;
  std::string out = std::string(".TH ZUMIBO-FIT 1 \"") + date + "\" \"zumibo-fit " + doc.version +
                    "\" \"User Commands\"\n.SH NAME\nzumibo-fit \\- " + Roff(tool.summary) + "\n.SH SYNOPSIS\n.nf\n";
  for (const char* usage : tool.usage) out += "\\fBzumibo-fit\\fR " + Roff(usage) + "\n";
  for (const CommandDef& c : doc.commands) {
    for (const char* usage : c.usage) out += std::string("\\fBzumibo-fit ") + c.name + "\\fR " + Roff(usage) + "\n";
  }
  out += ".fi\n.SH DESCRIPTION\n" + RoffParagraphs(tool.description) + ".SH OPTIONS\n" + RoffOptionList(tool, true);
  if (!doc.commands.empty()) {
    out += ".SH COMMANDS\nThe first word selects a command; a PATH of that name is given as ./find.\n";
    for (const CommandDef& c : doc.commands) {
      out += ".SS " + std::string(c.name) + "\n.nf\n";
      for (const char* usage : c.usage) out += std::string("\\fBzumibo-fit ") + c.name + "\\fR " + Roff(usage) + "\n";
      out += ".fi\n" + RoffParagraphs(Sentence(c.summary) + "\n\n" + c.description) + RoffOptionList(c, false);
    }
  }
  out += ".SH PRESETS\nSectors of 2,048 bytes, as blank discs report them.\n";
  for (const auto& [name, what] : doc.presets) out += ".TP\n.B " + Roff(name) + "\n" + Roff(what) + "\n";
  out += ".SH EXAMPLES\n";
  for (const auto& [line, what] : doc.examples) {
    out += ".PP\n.nf\n" + Roff(line) + "\n.fi\n";
    if (*what) out += Roff(what) + "\n";
  }
  out += ".SH EXIT STATUS\n";
  for (const auto& [status, meaning] : doc.exitStatuses) out += ".TP\n.B " + Roff(status) + "\n" + Roff(meaning) + "\n";
  out += ".SH SEE ALSO\n.BR genisoimage (1),\n.BR xorriso (1),\n.BR sha256sum (1),\n.BR dirsplit (1),\n.BR fpart (1)\n";
  return out;
}

std::string BashCompletion(const ToolDoc& doc) {
  std::string out =
      "# bash completion for zumibo-fit\n"
      "_zumibo_fit() {\n"
      "  local cur prev command=\n"
      "  cur=${COMP_WORDS[COMP_CWORD]}\n"
      "  prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  [ \"$COMP_CWORD\" -gt 1 ] && command=${COMP_WORDS[1]}\n"
      "  case $command in\n";
  std::string commandWords;
  for (const CommandDef& c : doc.commands) {
    commandWords += std::string(commandWords.empty() ? "" : " ") + c.name;
    out += std::string("    ") + c.name + ")\n      case $prev in\n" + BashValueCases(c) +
           "      esac\n      if [[ $cur == -* ]]; then\n        COMPREPLY=($(compgen -W \"" + Names(c, false) +
           "\" -- \"$cur\"))\n        return\n      fi\n      COMPREPLY=($(compgen -f -- \"$cur\"))\n      return ;;\n";
  }
  out += "  esac\n  case $prev in\n" + BashValueCases(*doc.tool) +
         "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"" +
         Names(*doc.tool, false) +
         "\" -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
         "    COMPREPLY=($(compgen -W \"" +
         commandWords +
         "\" -- \"$cur\") $(compgen -f -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "}\n"
         "complete -o filenames -F _zumibo_fit zumibo-fit\n";
  return out;
}

std::string ZshCompletion(const ToolDoc& doc) {
  std::string out = "#compdef zumibo-fit\n# zsh completion for zumibo-fit\n\n";
  std::string commandWords;
  for (const CommandDef& c : doc.commands) {
    commandWords += std::string(commandWords.empty() ? "" : " ") + "'" + c.name + ":" + ZshQuoted(c.summary) + "'";
    out += std::string("_zumibo_fit_") + c.name + "() {\n  _arguments -s \\\n" + ZshSpecs(c) +
           "    '*:file:_files'\n}\n\n";
  }
  out +=
      "_zumibo_fit() {\n"
      "  if (( CURRENT > 2 )) && (( ${+functions[_zumibo_fit_${words[2]}]} )); then\n"
      "    shift words; (( CURRENT-- ))\n"
      "    _zumibo_fit_${words[1]}\n"
      "    return\n"
      "  fi\n"
      "  _arguments -s \\\n" +
      ZshSpecs(*doc.tool) + "    '*:file:_files'\n";
  if (!commandWords.empty()) {
    out += "  (( CURRENT == 2 )) && _describe -t commands command '(" + commandWords + ")'\n";
  }
  out += "}\n\n_zumibo_fit \"$@\"\n";
  return out;
}
