#include "schema/syntax_types.h"

#include "text.h"

namespace adsi {
namespace {

struct SyntaxType {
  const char* oid;
  ADSTYPE type;
};

constexpr SyntaxType kSyntaxes[] = {
    // RFC 4517 (1.3.6.1.4.1.1466.115.121.1.N)
    {"1.3.6.1.4.1.1466.115.121.1.12", ADSTYPE_DN_STRING},         // DN
    {"1.3.6.1.4.1.1466.115.121.1.34", ADSTYPE_DN_STRING},         // Name and Optional UID
    {"1.3.6.1.4.1.1466.115.121.1.44", ADSTYPE_PRINTABLE_STRING},  // Printable String
    {"1.3.6.1.4.1.1466.115.121.1.36", ADSTYPE_NUMERIC_STRING},    // Numeric String
    {"1.3.6.1.4.1.1466.115.121.1.7", ADSTYPE_BOOLEAN},
    {"1.3.6.1.4.1.1466.115.121.1.27", ADSTYPE_INTEGER},
    {"1.3.6.1.4.1.1466.115.121.1.40", ADSTYPE_OCTET_STRING},
    {"1.3.6.1.4.1.1466.115.121.1.5", ADSTYPE_OCTET_STRING},   // Binary
    {"1.3.6.1.4.1.1466.115.121.1.4", ADSTYPE_OCTET_STRING},   // Audio
    {"1.3.6.1.4.1.1466.115.121.1.8", ADSTYPE_OCTET_STRING},   // Certificate
    {"1.3.6.1.4.1.1466.115.121.1.9", ADSTYPE_OCTET_STRING},   // Certificate List
    {"1.3.6.1.4.1.1466.115.121.1.10", ADSTYPE_OCTET_STRING},  // Certificate Pair
    {"1.3.6.1.4.1.1466.115.121.1.23", ADSTYPE_OCTET_STRING},  // Fax (G3 image)
    {"1.3.6.1.4.1.1466.115.121.1.28", ADSTYPE_OCTET_STRING},  // JPEG
    {"1.3.6.1.4.1.1466.115.121.1.49", ADSTYPE_OCTET_STRING},  // Supported Algorithm
    {"1.3.6.1.4.1.1466.115.121.1.24", ADSTYPE_UTC_TIME},      // Generalized Time
    {"1.3.6.1.4.1.1466.115.121.1.53", ADSTYPE_UTC_TIME},      // UTC Time
    // Active Directory's LDAP syntaxes
    {"1.2.840.113556.1.4.903", ADSTYPE_DN_WITH_BINARY},
    {"1.2.840.113556.1.4.904", ADSTYPE_DN_WITH_STRING},
    {"1.2.840.113556.1.4.905", ADSTYPE_CASE_IGNORE_STRING},  // Teletex
    {"1.2.840.113556.1.4.906", ADSTYPE_LARGE_INTEGER},
    {"1.2.840.113556.1.4.907", ADSTYPE_NT_SECURITY_DESCRIPTOR},
    {"1.2.840.113556.1.4.1362", ADSTYPE_CASE_EXACT_STRING},  // case-sensitive string
    // Active Directory's attributeSyntax values
    {"2.5.5.1", ADSTYPE_DN_STRING},
    {"2.5.5.2", ADSTYPE_CASE_IGNORE_STRING},  // OID
    {"2.5.5.3", ADSTYPE_CASE_EXACT_STRING},
    {"2.5.5.4", ADSTYPE_CASE_IGNORE_STRING},  // Teletex
    {"2.5.5.5", ADSTYPE_PRINTABLE_STRING},    // Printable / IA5
    {"2.5.5.6", ADSTYPE_NUMERIC_STRING},
    {"2.5.5.7", ADSTYPE_DN_WITH_BINARY},
    {"2.5.5.8", ADSTYPE_BOOLEAN},
    {"2.5.5.9", ADSTYPE_INTEGER},  // Integer / Enumeration
    {"2.5.5.10", ADSTYPE_OCTET_STRING},
    {"2.5.5.11", ADSTYPE_UTC_TIME},
    {"2.5.5.12", ADSTYPE_CASE_IGNORE_STRING},  // Unicode
    {"2.5.5.13", ADSTYPE_CASE_IGNORE_STRING},  // Presentation address
    {"2.5.5.14", ADSTYPE_DN_WITH_STRING},
    {"2.5.5.15", ADSTYPE_NT_SECURITY_DESCRIPTOR},
    {"2.5.5.16", ADSTYPE_LARGE_INTEGER},
    {"2.5.5.17", ADSTYPE_OCTET_STRING},  // SID
};

}  // namespace

ADSTYPE adsTypeForSyntax(std::string_view syntaxOid, std::string_view equalityRule) {
  // A length bound ("1.3.6.1.4.1.1466.115.121.1.15{64}") is not part of the OID.
  syntaxOid = syntaxOid.substr(0, syntaxOid.find('{'));
  for (const SyntaxType& s : kSyntaxes)
    if (syntaxOid == s.oid) return s.type;
  // Directory String, IA5, OID, telephone number and the rest: strings, whose
  // case only matters when the equality rule says so.
  if (equalsIgnoreCase(equalityRule, "caseExactMatch") || equalsIgnoreCase(equalityRule, "caseExactIA5Match") ||
      equalityRule == "2.5.13.5" || equalityRule == "1.3.6.1.4.1.1466.109.114.1")
    return ADSTYPE_CASE_EXACT_STRING;
  return ADSTYPE_CASE_IGNORE_STRING;
}

}  // namespace adsi
