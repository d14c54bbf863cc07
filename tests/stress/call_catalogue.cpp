#include "call_catalogue.h"

#include <cstdlib>
#include <fstream>

#include "adsi_compat.h"
#include "tsql/exec_query.h"

namespace {

bool substitute(std::string& line, const Defines& defines, std::string& missing) {
  for (size_t start = line.find("${"); start != std::string::npos; start = line.find("${", start)) {
    const size_t end = line.find('}', start);
    if (end == std::string::npos) return missing = "an unclosed ${", false;
    const auto value = defines.find(line.substr(start + 2, end - start - 2));
    if (value == defines.end()) return missing = line.substr(start, end - start + 1) + " is not defined", false;
    line.replace(start, end - start + 1, value->second);
    start += value->second.size();
  }
  return true;
}

std::string usage(const StressOptions& options) {
  std::string text = "options: [--ldif FILE] --calls FILE... [--define NAME=VALUE]... [--faults FILE]";
  for (const auto& [name, value] : options.numbers) text += " [--" + name + " N (" + std::to_string(value) + ")]";
  return text;
}

}  // namespace

bool readCatalogue(const std::string& path, const Defines& defines, std::vector<CatalogueCall>& calls,
                   std::string& error) {
  std::ifstream file(path);
  if (!file) return error = path + ": cannot open the file", false;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    const std::string where = path + ":" + std::to_string(number);
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line.compare(first, 2, "--") == 0) continue;
    std::string reason;
    if (!substitute(line, defines, reason)) return error = where + ": " + reason, false;
    ParsedExecQuery parsed = readExecQuery(line);
    if (parsed.error) return error = where + ": " + describe(*parsed.error), false;
    CatalogueCall call{where, line, {}};
    for (HostParameter& p : parsed.parameters)
      call.parameters.push_back(CallParameter{std::move(p.name), p.type, std::move(p.value)});
    calls.push_back(std::move(call));
  }
  return true;
}

bool prepareStress(int argc, char** argv, StressOptions& options, std::vector<CatalogueCall>& calls,
                   std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return error = option + " needs a value; " + usage(options), false;
    const std::string value = argv[++i];
    if (option == "--ldif") {
      options.ldif = value;
    } else if (option == "--faults") {
      options.faults = value;
    } else if (option == "--calls") {
      options.catalogues.push_back(value);
    } else if (option == "--define" && value.find('=') != std::string::npos) {
      options.defines[value.substr(0, value.find('='))] = value.substr(value.find('=') + 1);
    } else if (option.rfind("--", 0) == 0 && options.numbers.count(option.substr(2))) {
      char* end = nullptr;
      options.numbers[option.substr(2)] = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end) return error = option + " takes a number, not " + value, false;
    } else {
      return error = "unknown option " + option + "; " + usage(options), false;
    }
  }
  if (options.catalogues.empty()) return error = "no --calls; " + usage(options), false;
  if (!options.ldif.empty()) {
    char reason[512] = {};
    if (AdsCompatMountLdif(options.ldif.c_str(), reason, sizeof reason) != S_OK) return error = reason, false;
  }
  for (const std::string& catalogue : options.catalogues)
    if (!readCatalogue(catalogue, options.defines, calls, error)) return false;
  if (calls.empty()) return error = "the catalogues hold no call", false;
  return true;
}
