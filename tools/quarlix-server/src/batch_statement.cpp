#include "batch_statement.h"

#include <cctype>
#include <vector>

namespace {

// Lower case, runs of white space as one space, no space at either end, no
// trailing ';'.
std::string normalised(std::string_view text) {
  std::string out;
  bool space = false;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  while (!out.empty() && (out.back() == ';' || out.back() == ' ')) out.pop_back();
  return out;
}

std::vector<std::string> statements(std::string_view text) {
  std::vector<std::string> pieces;
  std::string piece;
  for (char c : text) {
    if (c == ';' || c == '\n') {
      pieces.push_back(normalised(piece));
      piece.clear();
    } else {
      piece += c;
    }
  }
  pieces.push_back(normalised(piece));
  std::vector<std::string> nonEmpty;
  for (std::string &p : pieces)
    if (!p.empty()) nonEmpty.push_back(std::move(p));
  return nonEmpty;
}

bool startsWith(const std::string &text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

BatchKind classifyBatch(std::string_view utf8) {
  const std::string whole = normalised(utf8);
  if (startsWith(whole, "exec") || startsWith(whole, "quarlix") || startsWith(whole, "master.")) return BatchKind::Exec;
  const std::vector<std::string> parts = statements(utf8);
  if (parts.empty()) return BatchKind::Settings;  // an empty batch: nothing to do
  bool allSettings = true;
  for (const std::string &p : parts) allSettings = allSettings && startsWith(p, "set ");
  if (allSettings) return BatchKind::Settings;
  if (whole == "use master" || whole == "use [master]") return BatchKind::UseMaster;
  if (startsWith(whole, "use ")) return BatchKind::UseOther;
  if (whole == "select @@version") return BatchKind::SelectVersion;
  // The procedure only reads: a transaction holds nothing to commit or roll back.
  for (const char *prefix : {"", "if @@trancount > 0 "})
    for (const char *verb : {"begin", "commit", "rollback"})
      for (const char *noun : {"", " tran", " transaction"}) {
        if (std::string(verb) == "begin" && (*prefix || !*noun)) continue;
        if (whole == std::string(prefix) + verb + noun) return BatchKind::NoTransaction;
      }
  return BatchKind::Unsupported;
}
