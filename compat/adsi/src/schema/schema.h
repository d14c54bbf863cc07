// Attribute types by name: the built-in schema of the embedded store, plus
// what a directory's own schema declares.
#pragma once

#include <cstdint>
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

  // The attribute that holds each entry's own DN as a value stored with the
  // entry, by which a search finds entries by name across containers through
  // the server's index of it: Active Directory's distinguishedName, which its
  // schema declares a single-valued DN of user applications that the server
  // keeps itself. "" when the schema learnt declares none: OpenLDAP's entryDN
  // (RFC 5020) is operational, made up when asked for, and a search by it
  // reads every entry of its scope; OpenLDAP's distinguishedName is only the
  // supertype of DN attributes. The built-in schema never names one.
  const std::string& nameAttribute() const { return nameAttribute_; }

  // Different for every schema of the process and after every change: what a
  // cache of the types an attribute has can tell schemas apart by.
  uint64_t serial() const { return serial_; }

 private:
  static uint64_t nextSerial();

  uint64_t serial_ = nextSerial();
  std::unordered_map<std::string, ADSTYPE> types_;  // by lower-case name
  std::string nameAttribute_;
};

}  // namespace adsi
