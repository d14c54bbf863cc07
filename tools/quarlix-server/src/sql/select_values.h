// The values of what SELECT and IF ask for: constants, the @@ variables and
// functions of the catalog, CAST and CONVERT, typed as a server types them.
#pragma once

#include "sql/catalog.h"
#include "sql/value.h"
#include "tsql/statements.h"

#include <stdexcept>

namespace sql {

// A value the server cannot give (a number too large, a text that is no
// number): the words for the client.
class ValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Value valueOf(const tsql::Expression& expression, const Facts& facts);

}  // namespace sql
