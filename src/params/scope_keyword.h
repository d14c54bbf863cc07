// The scope keywords and the flags they set.
#pragma once

#include <cstdint>
#include <string>

// Sets the flags for a keyword compared without regard to case; false when
// the text is none of the three keywords.
bool applyScopeKeyword(const std::string& text, int32_t& childObjects, int32_t& groupMembers);
