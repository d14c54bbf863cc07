// Text in the procedure's code page (the process's ANSI code page, as the
// server chose it) to and from what the protocol carries: UTF-16LE, and the
// collation that tells clients how varchar bytes are encoded.
#pragma once

#include "tds/columns.h"

#include <optional>
#include <string>
#include <string_view>

class CodePageText {
 public:
  // Sets the ANSI code page of the process; nullopt for a code page this
  // server has no collation for (1252 and 65001 have one).
  static std::optional<CodePageText> choose(unsigned codePage);

  unsigned codePage() const { return codePage_; }
  const tds::Collation& collation() const { return collation_; }
  // Text columns go out as nvarchar: clients read UTF-8 varchar poorly
  // (DB-Library takes the bytes for the Latin-1 code page and cuts them).
  bool textAsUtf16() const { return codePage_ == 65001; }

  // Code page bytes as UTF-16 (what the client shows as names and messages).
  std::u16string toUtf16(std::string_view bytes) const;
  // UTF-8 text as code page bytes; what the code page lacks becomes '?'.
  std::string fromUtf8(std::string_view utf8) const;
  // UTF-16 as code page bytes, likewise.
  std::string fromUtf16(std::u16string_view utf16) const;

 private:
  CodePageText(unsigned codePage, tds::Collation collation) : codePage_(codePage), collation_(collation) {}
  unsigned codePage_;
  tds::Collation collation_;
};
