// The attribute type reader on any bytes. The input is the description
// itself. A refusal gives a bounded reason and no result; a definition that
// parses, written out again in canonical form (every OID quoted as it is,
// every quote and backslash in a name escaped), parses to the same result.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "schema/attribute_type_text.h"

namespace {

constexpr const char* kPrefix = "attribute type definition does not parse (";

// An OID holds no quote, and its backslashes are no escapes.
std::string quotedOid(const std::string& oid) { return "'" + oid + "'"; }

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "\\27";
    } else if (c == '\\') {
      out += "\\5C";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string canonical(const adsi::AttributeTypeText& at) {
  std::string out = "(";
  if (!at.oid.empty()) out += " " + quotedOid(at.oid);
  out += " NAME (";
  for (const std::string& name : at.names) out += " " + quoted(name);
  out += " )";
  if (!at.superior.empty()) out += " SUP " + quotedOid(at.superior);
  if (!at.equality.empty()) out += " EQUALITY " + quotedOid(at.equality);
  if (!at.syntax.empty()) out += " SYNTAX " + quotedOid(at.syntax);
  if (at.singleValue) out += " SINGLE-VALUE";
  return out + " )";
}

bool same(const adsi::AttributeTypeText& a, const adsi::AttributeTypeText& b) {
  return a.oid == b.oid && a.names == b.names && a.superior == b.superior && a.equality == b.equality &&
         a.syntax == b.syntax && a.singleValue == b.singleValue;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  adsi::AttributeTypeText at;
  std::string reason;
  if (!adsi::parseAttributeTypeText(text, at, reason)) {
    FUZZ_REQUIRE(reason.rfind(kPrefix, 0) == 0, "a refusal without the usual reason: " + reason);
    FUZZ_REQUIRE(reason.size() < 200, "a reason that shows too much of the text: " + reason);
    FUZZ_REQUIRE(same(at, adsi::AttributeTypeText()), "a refusal with a result");
    return 0;
  }
  FUZZ_REQUIRE(reason.empty(), "a success with a reason: " + reason);
  const std::string again = canonical(at);
  adsi::AttributeTypeText reread;
  FUZZ_REQUIRE(adsi::parseAttributeTypeText(again, reread, reason),
               "the canonical form is refused: " + again + " " + reason);
  FUZZ_REQUIRE(same(at, reread), "the canonical form reads differently: " + again);
  return 0;
}
