// Adding or removing a login in the logins file in place of a text editor:
// the line of one login is added, replaces the login's line of the same name,
// or is removed, and the file is replaced whole (a new file renamed over the
// old one), so the server never reads half of it. A new file is created readable by its owner
// and group only.
#pragma once

#include <string>

// False with a reason when the file exists and is not a valid logins file,
// or cannot be written; nothing is changed then.
bool addLoginToFile(const std::string& path, const std::string& name, const std::string& line, std::string& error);

// False with a reason when the file has no such login (names compare without
// regard to ASCII case), is not a valid logins file, or cannot be written.
bool removeLoginFromFile(const std::string& path, const std::string& name, std::string& error);
