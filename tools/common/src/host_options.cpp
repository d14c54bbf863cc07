#include "host_options.h"

#include <set>
#include <sstream>

namespace {

constexpr size_t kUsageWidth = 79;
constexpr size_t kHelpColumn = 25;

// The help text's words in lines of the usage text, from kHelpColumn on.
std::string wrapped(const std::string& help) {
  std::istringstream words(help);
  std::string word, line, text;
  const std::string indent(kHelpColumn, ' ');
  while (words >> word) {
    if (!line.empty() && kHelpColumn + line.size() + 1 + word.size() > kUsageWidth) {
      text += line + "\n" + indent;
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  return text + line + "\n";
}

std::string leftColumn(const HostOption& option) {
  if (option.name.empty()) return option.valueName;
  std::string left = option.shortName.empty() ? option.name : option.shortName + ", " + option.name;
  if (!option.valueName.empty()) left += " " + option.valueName;
  return left;
}

}  // namespace

std::optional<std::uint32_t> parseWholeNumber(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  std::uint64_t value = 0;
  for (char digit : text) {
    value = value * 10 + static_cast<std::uint64_t>(digit - '0');
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

void OptionTable::add(HostOption option) { rows_.push_back(std::move(option)); }

void OptionTable::describe(const std::string& section, const std::string& left, const std::string& help) {
  HostOption note;
  note.valueName = left;
  note.section = section;
  note.help = help;
  rows_.push_back(std::move(note));
}

const HostOption* OptionTable::find(const std::string& name) const {
  for (const HostOption& option : rows_) {
    if (!option.name.empty() && (option.name == name || option.shortName == name)) return &option;
  }
  return nullptr;
}

bool OptionTable::take(const HostOption& option, const std::string& name, const std::string& value,
                       std::string& error) const {
  if (value.empty()) {
    error = name + " needs a value that is not empty";
    return false;
  }
  std::uint32_t number = 0;
  if (option.kind == OptionKind::Number) {
    std::optional<std::uint32_t> parsed = parseWholeNumber(value);
    if (!parsed && value.find_first_not_of("0123456789") != std::string::npos) {
      error = name + " takes a whole number in decimal digits, not '" + value + "'";
      return false;
    }
    if (!parsed || *parsed < option.minimum || *parsed > option.maximum) {
      error = name + " takes a number from " + std::to_string(option.minimum) + " to " +
              std::to_string(option.maximum) + ", not " + value;
      return false;
    }
    number = *parsed;
  }
  return option.store(value, number, error);
}

bool OptionTable::parse(const std::vector<std::string>& arguments, std::vector<std::string>& values,
                        std::string& error) const {
  std::set<const HostOption*> seen;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      if (!takesValues_) {
        error = "unexpected argument '" + argument + "' (" + program_ + " --help lists the options)";
        return false;
      }
      values.push_back(argument);
      continue;
    }
    // --name=value, --name value, -Q value, -Qvalue
    std::string name = argument;
    std::optional<std::string> inlineValue;
    if (argument.rfind("--", 0) == 0) {
      size_t equals = argument.find('=');
      if (equals != std::string::npos) {
        name = argument.substr(0, equals);
        inlineValue = argument.substr(equals + 1);
      }
    } else if (argument.size() > 2) {
      const HostOption* shortOption = find(argument.substr(0, 2));
      if (shortOption && shortOption->kind != OptionKind::Flag) {
        name = argument.substr(0, 2);
        inlineValue = argument.substr(2);
      }
    }
    const HostOption* option = find(name);
    if (!option) {
      error = "unknown option '" + name + "' (" + program_ + " --help lists them)";
      return false;
    }
    if (!option->repeatable && !seen.insert(option).second) {
      error = option->name + " given twice";
      return false;
    }
    if (option->kind == OptionKind::Flag) {
      if (inlineValue) {
        error = name + " takes no value";
        return false;
      }
      if (!option->store("", 0, error)) return false;
      continue;
    }
    if (!inlineValue && i + 1 >= arguments.size()) {
      error = name + " needs a value";
      return false;
    }
    if (!take(*option, name, inlineValue ? *inlineValue : arguments[++i], error)) return false;
  }
  return true;
}

std::string OptionTable::usage(const std::string& intro, const std::string& outro) const {
  std::vector<std::string> sections;
  for (const HostOption& option : rows_) {
    bool known = false;
    for (const std::string& section : sections) known = known || section == option.section;
    if (!known) sections.push_back(option.section);
  }
  std::string text = intro;
  for (const std::string& section : sections) {
    text += "\n" + section + ":\n";
    for (const HostOption& option : rows_) {
      if (option.section != section) continue;
      std::string left = "  " + leftColumn(option);
      if (left.size() + 1 > kHelpColumn) {
        left += "\n";
        left.resize(left.size() + kHelpColumn, ' ');
      } else {
        left.resize(kHelpColumn, ' ');
      }
      text += left + wrapped(option.help);
    }
  }
  return outro.empty() ? text : text + "\n" + outro;
}

HostOption option(std::string name, std::string valueName, std::string section, std::string help, OptionKind kind,
                  OptionStore store) {
  HostOption row;
  row.name = std::move(name);
  row.valueName = std::move(valueName);
  row.section = std::move(section);
  row.help = std::move(help);
  row.kind = kind;
  row.store = std::move(store);
  return row;
}

HostOption flagOption(std::string name, std::string section, std::string help, bool& into) {
  return option(std::move(name), "", std::move(section), std::move(help), OptionKind::Flag,
                [&into](const std::string&, std::uint32_t, std::string&) { return into = true; });
}

HostOption textOption(std::string name, std::string valueName, std::string section, std::string help,
                      std::string& into) {
  return option(std::move(name), std::move(valueName), std::move(section), std::move(help), OptionKind::Text,
                [&into](const std::string& text, std::uint32_t, std::string&) {
                  into = text;
                  return true;
                });
}

HostOption textOption(std::string name, std::string valueName, std::string section, std::string help,
                      std::optional<std::string>& into) {
  return option(std::move(name), std::move(valueName), std::move(section), std::move(help), OptionKind::Text,
                [&into](const std::string& text, std::uint32_t, std::string&) {
                  into = text;
                  return true;
                });
}
