#include "login/allowed_logins.h"

#include <strings.h>

#include <exception>

LoginDecision decideLogin(const AllowedLogins& allowed, const std::string& principal, const MembershipCheck& isMember) {
  for (const std::string& name : allowed.principals) {
    if (strcasecmp(name.c_str(), principal.c_str()) == 0) return {true, "named"};
  }
  std::string unread;
  for (const std::string& group : allowed.groups) {
    try {
      if (isMember(principal, group)) return {true, "a member of " + group};
    } catch (const std::exception& failure) {
      if (unread.empty()) unread = "the members of " + group + " could not be read: " + failure.what();
    }
  }
  if (!unread.empty()) return {false, unread};
  return {false, "neither an allowed principal nor a member of an allowed group"};
}
