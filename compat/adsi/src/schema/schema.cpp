#include "schema/schema.h"

#include <atomic>

#include "schema/attribute_type_text.h"
#include "schema/syntax_types.h"
#include "text.h"

namespace adsi {
namespace {

struct BuiltInAttribute {
  const char* names;  // the name and its aliases, separated by spaces
  const char* syntax;
};

#define RFC4517(n) "1.3.6.1.4.1.1466.115.121.1." #n
constexpr const char* kDirectoryString = RFC4517(15);
constexpr const char* kIa5 = RFC4517(26);
constexpr const char* kDn = RFC4517(12);
constexpr const char* kOid = RFC4517(38);
constexpr const char* kTelephone = RFC4517(50);
constexpr const char* kPrintable = RFC4517(44);
constexpr const char* kNumeric = RFC4517(36);
constexpr const char* kInteger = RFC4517(27);
constexpr const char* kBoolean = RFC4517(7);
constexpr const char* kOctets = RFC4517(40);
constexpr const char* kBinary = RFC4517(5);
constexpr const char* kCertificate = RFC4517(8);
constexpr const char* kCertificateList = RFC4517(9);
constexpr const char* kJpeg = RFC4517(28);
constexpr const char* kGeneralizedTime = RFC4517(24);
constexpr const char* kPostalAddress = RFC4517(41);
constexpr const char* kNameUid = RFC4517(34);
constexpr const char* kLargeInteger = "1.2.840.113556.1.4.906";
constexpr const char* kSecurityDescriptor = "1.2.840.113556.1.4.907";
constexpr const char* kDnWithBinary = "1.2.840.113556.1.4.903";
constexpr const char* kDnWithString = "1.2.840.113556.1.4.904";
constexpr const char* kSid = "2.5.5.17";

// Attributes that are plain case-ignore strings need no row: that is what an
// unknown attribute is.
constexpr BuiltInAttribute kBuiltIn[] = {
    // core (RFC 4512, 4519, 4524 and the operational attributes)
    {"objectClass structuralObjectClass", kOid},
    {"aliasedObjectName seeAlso member owner roleOccupant creatorsName "
     "modifiersName subschemaSubentry entryDN",
     kDn},
    {"uniqueMember", kNameUid},
    {"telephoneNumber facsimileTelephoneNumber", kTelephone},
    {"postalAddress registeredAddress", kPostalAddress},
    {"x121Address internationaliSDNNumber", kNumeric},
    {"destinationIndicator dnQualifier serialNumber c countryName", kPrintable},
    {"preferredDeliveryMethod", kDirectoryString},
    {"userPassword", kOctets},
    {"userCertificate cACertificate", kCertificate},
    {"authorityRevocationList certificateRevocationList deltaRevocationList", kCertificateList},
    {"dc domainComponent mail rfc822Mailbox", kIa5},
    {"createTimestamp modifyTimestamp", kGeneralizedTime},
    {"hasSubordinates", kBoolean},
    // cosine (RFC 4524)
    {"associatedDomain", kIa5},
    {"associatedName documentAuthor manager secretary", kDn},
    {"homePhone homeTelephoneNumber mobile mobileTelephoneNumber pager", kTelephone},
    {"homePostalAddress", kPostalAddress},
    {"mailPreferenceOption", kInteger},
    {"photo audio", kOctets},
    // inetOrgPerson (RFC 2798)
    {"jpegPhoto", kJpeg},
    {"userSMIMECertificate userPKCS12", kBinary},
    // nis (RFC 2307)
    {"uidNumber gidNumber shadowLastChange shadowMin shadowMax shadowWarning "
     "shadowInactive shadowExpire shadowFlag ipServicePort ipProtocolNumber "
     "oncRpcNumber",
     kInteger},
    {"gecos homeDirectory loginShell memberUid ipHostNumber ipNetworkNumber "
     "macAddress",
     kIa5},
    // Active Directory
    {"objectGUID thumbnailPhoto msExchMailboxGuid auditingPolicy logonHours repsFrom", kOctets},
    {"objectSid sIDHistory", kSid},
    {"userAccountControl badPwdCount logonCount groupType sAMAccountType "
     "primaryGroupID instanceType codePage countryCode adminCount systemFlags "
     "msDS-SupportedEncryptionTypes userAccountControlComputed "
     "minPwdLength pwdHistoryLength lockoutThreshold pwdProperties "
     "msDS-Behavior-Version nextRid gPOptions",
     kInteger},
    {"whenCreated whenChanged dSCorePropagationData", kGeneralizedTime},
    {"pwdLastSet lastLogonTimestamp lastLogon lastLogoff badPasswordTime "
     "accountExpires lockoutTime uSNCreated uSNChanged creationTime forceLogoff "
     "lockoutDuration lockOutObservationWindow maxPwdAge minPwdAge",
     kLargeInteger},
    {"memberOf managedBy directReports objectCategory distinguishedName "
     "defaultObjectCategory fSMORoleOwner masteredBy managedObjects "
     "serverReference",
     kDn},
    {"nTSecurityDescriptor", kSecurityDescriptor},
    {"wellKnownObjects otherWellKnownObjects", kDnWithBinary},
    {"msDS-HABSeniorityIndex", kInteger},
    {"isCriticalSystemObject showInAdvancedViewOnly msExchHideFromAddressLists "
     "isDeleted",
     kBoolean},
    {"dNSHostName", kDirectoryString},
    {"proxyAddresses", kDirectoryString},
    {"msDS-OptionalFeatureDNs", kDn},
    {"msDS-RevealedUsers", kDnWithBinary},
    {"msExchShadowProxyAddresses", kDnWithString},
};

}  // namespace

Schema Schema::builtIn() {
  Schema schema;
  for (const BuiltInAttribute& a : kBuiltIn) {
    ADSTYPE type = adsTypeForSyntax(a.syntax);
    std::string_view names = a.names;
    while (!names.empty()) {
      size_t space = names.find(' ');
      schema.add(names.substr(0, space), type);
      names = space == std::string_view::npos ? std::string_view() : names.substr(space + 1);
    }
  }
  return schema;
}

static std::string_view withoutOptions(std::string_view name) { return name.substr(0, name.find(';')); }

ADSTYPE Schema::typeOf(std::string_view name) const {
  auto it = types_.find(lowerAscii(withoutOptions(name)));
  return it == types_.end() ? ADSTYPE_CASE_IGNORE_STRING : it->second;
}

bool Schema::knows(std::string_view name) const { return types_.count(lowerAscii(withoutOptions(name))) != 0; }

uint64_t Schema::nextSerial() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

void Schema::add(std::string_view name, ADSTYPE type) {
  if (name.empty()) return;
  types_[lowerAscii(name)] = type;
  serial_ = nextSerial();
}

bool Schema::learnAttributeType(const std::string& description, std::string& reason) {
  AttributeTypeText at;
  if (!parseAttributeTypeText(description, at, reason)) return false;
  ADSTYPE type;
  if (!at.syntax.empty()) {
    type = adsTypeForSyntax(at.syntax, at.equality);
  } else if (!at.superior.empty()) {
    type = typeOf(at.superior);  // a subtype has its supertype's syntax
  } else {
    type = ADSTYPE_CASE_IGNORE_STRING;
  }
  if (!at.names.empty()) {
    for (const std::string& n : at.names) add(n, type);
    if (type == ADSTYPE_DN_STRING && at.singleValue && at.noUserModification && !at.operational)
      for (const std::string& n : at.names)
        if (equalsIgnoreCase(n, "distinguishedName") || equalsIgnoreCase(n, "entryDN")) nameAttribute_ = n;
  } else if (!at.oid.empty()) {
    add(at.oid, type);
  } else {
    // The parser lets a definition through without its OID.
    reason = "attribute type definition names no attribute";
    return false;
  }
  return true;
}

}  // namespace adsi
