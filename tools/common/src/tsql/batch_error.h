// Why a T-SQL text cannot be read: the number, severity and words a server
// gives the case, where in the text it is, and what the grammar expected
// there, for a host that words its errors itself (quarlix-exec -Q).
#pragma once

#include "tsql/place.h"

#include <cstdint>
#include <string>

namespace tsql {

enum class Problem {
  Syntax,                   // what the grammar cannot read, anywhere else
  UnclosedString,           // 'text without its closing quote
  UnclosedName,             // [name or "name without its closing mark
  UnclosedComment,          // /* without */
  Empty,                    // no statement at all (-Q)
  ProcedureNameExpected,    // EXEC and no name after it
  ValueExpected,            // where an EXEC value should be
  ValueExpectedAfterComma,  // a ',' and then the end
  CommaOrEndExpected,       // after an EXEC value
  EqualsOrCommaExpected,    // after @name written as a value
  TextAfterSemicolon,       // anything after the one statement of -Q
  NotSyntax,                // read, but cannot be: an unknown name, a wrong count of arguments ...
};

struct BatchError {
  std::int32_t number = 102;
  std::uint8_t severity = 15;
  std::string message;  // as a server words it
  Place place;          // where the grammar stopped
  Problem problem = Problem::Syntax;
  std::string subject;  // EqualsOrCommaExpected: the @name as written
};

}  // namespace tsql
