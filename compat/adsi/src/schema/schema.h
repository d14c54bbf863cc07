// Attribute types by name: the built-in schema of the embedded store, plus
// what a directory's own schema declares.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "iads.h"

namespace adsi {

class Schema {
 public:
  // The built-in schema: OpenLDAP's core, cosine, inetOrgPerson and nis, and
  // the attributes of Active Directory's users, groups and computers.
  static Schema builtIn();

  // The type of an attribute; an unknown one is a case-ignore string.
  // Options ("userCertificate;binary") do not change the type.
  ADSTYPE typeOf(std::string_view name) const;
  bool knows(std::string_view name) const;

  void add(std::string_view name, ADSTYPE type);

  // Learns from an RFC 4512 AttributeTypeDescription, as found in the
  // attributeTypes of a subschema entry. Returns false with a reason when it
  // does not parse.
  bool learnAttributeType(const std::string& description, std::string& reason);

  // The attribute whose value is each entry's own DN, by which a search can
  // find entries by name: OpenLDAP's entryDN (RFC 5020), else Active
  // Directory's distinguishedName, when the schema learnt declares it a
  // single-valued DN that the server keeps itself (OpenLDAP's
  // distinguishedName is only the supertype of DN attributes). "" when it
  // declares neither; the built-in schema never does.
  const std::string& nameAttribute() const { return entryDn_.empty() ? distinguishedName_ : entryDn_; }

 private:
  std::unordered_map<std::string, ADSTYPE> types_;  // by lower-case name
  std::string entryDn_;
  std::string distinguishedName_;
};

}  // namespace adsi
