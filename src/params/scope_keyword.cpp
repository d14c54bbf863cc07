#include "params/scope_keyword.h"

namespace {

// The keywords are ASCII. In every ANSI code page, single-byte or double-byte,
// no other byte folds to an ASCII letter and no lead byte can be part of a
// match, so an ASCII comparison without regard to case gives the same answer
// as the code page's own multibyte comparison.
bool equalsIgnoringCase(const std::string& text, const char* keyword) {
  size_t i = 0;
  for (; keyword[i]; ++i) {
    if (i >= text.size()) return false;
    char a = text[i], b = keyword[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return i == text.size();
}

}  // namespace

bool applyScopeKeyword(const std::string& text, int32_t& childObjects, int32_t& groupMembers) {
  if (equalsIgnoringCase(text, "GET_CHILD_OBJECTS")) {
    childObjects = 1;
    return true;
  }
  if (equalsIgnoringCase(text, "GET_GROUP_MEMBERS")) {
    groupMembers = 1;
    return true;
  }
  return equalsIgnoringCase(text, "GET_OBJECT_LIST");
}
