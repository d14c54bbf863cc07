#include "ldap/failure_reason.h"

#include <cctype>

namespace adsi {
namespace {

struct SubCode {
  const char* code;
  const char* meaning;
};

// The sub-codes of a failed logon ([MS-ADTS] and Windows' logon status codes
// as Active Directory reports them in "data NNN").
constexpr SubCode kSubCodes[] = {
    {"525", "the user does not exist"},
    {"52e", "the name or the password is wrong"},  // an unknown name gives 52e too
    {"530", "the account may not log on at this time"},
    {"531", "the account may not log on from this workstation"},
    {"532", "the password has expired"},
    {"533", "the account is disabled"},
    {"568", "the account belongs to too many groups"},
    {"701", "the account has expired"},
    {"773", "the password must be changed before the first logon"},
    {"775", "the account is locked out"},
};

}  // namespace

std::string activeDirectoryReason(const std::string& diagnostic) {
  for (size_t at = diagnostic.find("data "); at != std::string::npos; at = diagnostic.find("data ", at + 1)) {
    size_t start = at + 5, end = start;
    while (end < diagnostic.size() && std::isxdigit(static_cast<unsigned char>(diagnostic[end]))) ++end;
    std::string code = diagnostic.substr(start, end - start);
    for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const SubCode& known : kSubCodes)
      if (code == known.code) return std::string("Active Directory says ") + known.meaning + " (data " + code + ")";
  }
  return "";
}

}  // namespace adsi
