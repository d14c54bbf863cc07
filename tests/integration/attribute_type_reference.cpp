// Reads attribute type descriptions, one a line, and parses each with the
// library's reader and with libldap's ldap_str2attributetype, the reference:
// both must accept or refuse it, and agree on its OID, names, SUP, EQUALITY,
// syntax OID and SINGLE-VALUE. Prints each disagreement and a summary line;
// exits 1 on any disagreement.
#include <ldap_schema.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "schema/attribute_type_text.h"

namespace {

using Reference = std::unique_ptr<LDAPAttributeType, void (*)(LDAPAttributeType*)>;

std::string text(const char* s) { return s ? s : ""; }

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

std::string referenceNames(const LDAPAttributeType& at) {
  std::vector<std::string> names;
  if (at.at_names)
    for (char** n = at.at_names; *n; ++n) names.emplace_back(*n);
  return joined(names);
}

// The fields that differ, empty when none.
std::string differences(const adsi::AttributeTypeText& ours, const LDAPAttributeType& at) {
  std::string out;
  auto compare = [&](const char* field, const std::string& mine, const std::string& theirs) {
    if (mine != theirs) out += std::string(" ") + field + ": '" + mine + "' vs '" + theirs + "'";
  };
  compare("oid", ours.oid, text(at.at_oid));
  compare("names", joined(ours.names), referenceNames(at));
  compare("sup", ours.superior, text(at.at_sup_oid));
  compare("equality", ours.equality, text(at.at_equality_oid));
  compare("syntax", ours.syntax, text(at.at_syntax_oid));
  compare("single-value", ours.singleValue ? "yes" : "no", at.at_single_value ? "yes" : "no");
  compare("no-user-modification", ours.noUserModification ? "yes" : "no", at.at_no_user_mod ? "yes" : "no");
  compare("operational", ours.operational ? "yes" : "no", at.at_usage != LDAP_SCHEMA_USER_APPLICATIONS ? "yes" : "no");
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DESCRIPTIONS_FILE\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  int total = 0, acceptedByReference = 0, acceptedByOurs = 0, disagreements = 0, singleValued = 0;
  for (std::string line; std::getline(in, line);) {
    ++total;
    adsi::AttributeTypeText ours;
    std::string reason;
    const bool oursOk = adsi::parseAttributeTypeText(line, ours, reason);
    int code = 0;
    const char* where = nullptr;
    Reference at(ldap_str2attributetype(line.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL), ldap_attributetype_free);
    acceptedByOurs += oursOk;
    acceptedByReference += at != nullptr;
    std::string differ;
    if (oursOk != (at != nullptr)) {
      differ = oursOk ? " accepted here, refused by libldap (" + text(ldap_scherr2str(code)) + ")"
                      : " refused here (" + reason + "), accepted by libldap";
    } else if (at) {
      differ = differences(ours, *at);
      singleValued += ours.singleValue;
    }
    if (!differ.empty()) {
      ++disagreements;
      std::printf("DIFFERS %s\n  %s\n", line.c_str(), differ.c_str());
    }
  }
  std::printf("descriptions %d, accepted by libldap %d, accepted here %d, single-valued %d, disagreements %d\n", total,
              acceptedByReference, acceptedByOurs, singleValued, disagreements);
  return disagreements == 0 ? 0 : 1;
}
