// The command line of a host program, parsed from a table of its options so
// that every host takes the same forms (--name value, --name=value) with the
// same number syntax and the same error texts, and prints usage text drawn
// from that same table.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class OptionKind { Flag, Text, Number };

struct HostOption {
  std::string name;       // "--library"; empty for a line of describe()
  std::string shortName;  // "-Q" (takes "-Qvalue" as well), or empty
  std::string valueName;  // "PATH" in the usage text; empty for a flag
  std::string help;       // wrapped to the usage text's width
  std::string section;    // the heading it is listed under
  OptionKind kind = OptionKind::Flag;
  std::uint32_t minimum = 0, maximum = 0;  // Number: the range taken
  bool repeatable = false;                 // otherwise a second one is refused
  // Where the value goes (a Number's in `number`, a Flag's nowhere): false
  // with a one-line reason refuses it.
  std::function<bool(const std::string& text, std::uint32_t number, std::string& error)> store;
};

using OptionStore = decltype(HostOption::store);

// A whole number in decimal digits alone (no sign, no space, no 0x);
// nullopt when it is not one or exceeds 32 bits.
std::optional<std::uint32_t> parseWholeNumber(const std::string& text);

// The rows' stores hold references: a table lives no longer than what its
// rows store into.
class OptionTable {
 public:
  // `program` is named in the error texts; plain arguments are refused
  // unless `takesValues`.
  OptionTable(std::string program, bool takesValues) : program_(std::move(program)), takesValues_(takesValues) {}

  void add(HostOption option);
  // A usage line of its own, not an option: "VALUE...", what it means.
  void describe(const std::string& section, const std::string& left, const std::string& help);

  // The rows' stores get their values in order; plain arguments (after "--"
  // any argument) go to `values`. False with a one-line reason.
  bool parse(const std::vector<std::string>& arguments, std::vector<std::string>& values, std::string& error) const;

  // `intro`, then each section's rows under its heading, then `outro`.
  std::string usage(const std::string& intro, const std::string& outro) const;

 private:
  const HostOption* find(const std::string& name) const;
  bool take(const HostOption& option, const std::string& name, const std::string& value, std::string& error) const;

  std::string program_;
  bool takesValues_;
  std::vector<HostOption> rows_;  // in usage order; describe()'s have no name
};

// A row whose value `store` checks and keeps.
HostOption option(std::string name, std::string valueName, std::string section, std::string help, OptionKind kind,
                  OptionStore store);
// Rows for each kind, the value stored in the given place.
HostOption flagOption(std::string name, std::string section, std::string help, bool& into);
HostOption textOption(std::string name, std::string valueName, std::string section, std::string help,
                      std::string& into);
HostOption textOption(std::string name, std::string valueName, std::string section, std::string help,
                      std::optional<std::string>& into);
// `into` is an unsigned or a std::optional<unsigned>.
template <class Into>
HostOption numberOption(std::string name, std::string valueName, std::string section, std::string help,
                        std::uint32_t minimum, std::uint32_t maximum, Into& into) {
  HostOption row = option(std::move(name), std::move(valueName), std::move(section), std::move(help),
                          OptionKind::Number, [&into](const std::string&, std::uint32_t number, std::string&) {
                            into = number;
                            return true;
                          });
  row.minimum = minimum;
  row.maximum = maximum;
  return row;
}
