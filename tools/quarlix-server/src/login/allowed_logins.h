// Who may log in with a Kerberos ticket: principals by name, and members of
// groups, nested groups included. Everyone else is refused, with the reason
// for the log.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct AllowedLogins {
  std::vector<std::string> principals;  // dave@QX.TEST; compared without regard to case
  std::vector<std::string> groups;      // group DNs
};

struct LoginDecision {
  bool allowed = false;
  std::string why;  // "named", "a member of CN=...", or why not
};

// isMember(principal, groupDn) reads the directory; it throws (any
// std::exception) when it cannot answer. A group whose members cannot be
// read lets nobody in: unless a name or another group allows the login, it
// is refused with what the directory said.
using MembershipCheck = std::function<bool(const std::string& principal, const std::string& groupDn)>;

LoginDecision decideLogin(const AllowedLogins& allowed, const std::string& principal, const MembershipCheck& isMember);
