#include "ldap/ldap_entry_reader.h"

#include "ldap/ldap_holders.h"
#include "store/dn.h"

namespace adsi {
namespace {

constexpr unsigned char kSet = 0x31;
constexpr unsigned char kOctetString = 0x04;

// The elements of a BER encoding, read in place (RFC 4511 uses the
// definite-length forms only).
class BerCursor {
 public:
  BerCursor() = default;
  explicit BerCursor(const berval& contents)
      : at_(reinterpret_cast<const unsigned char*>(contents.bv_val)), end_(at_ + contents.bv_len) {}

  bool done() const { return at_ == end_; }

  // The next element when its tag is `tag`: its contents.
  bool next(unsigned char tag, BerCursor& contents) {
    if (end_ - at_ < 2 || *at_ != tag) return false;
    const unsigned char* p = at_ + 1;
    size_t length = *p++;
    if (length & 0x80) {
      size_t bytes = length & 0x7F;
      if (bytes == 0 || bytes > sizeof(uint32_t) || static_cast<size_t>(end_ - p) < bytes) return false;
      length = 0;
      while (bytes--) length = length << 8 | *p++;
    }
    if (static_cast<size_t>(end_ - p) < length) return false;
    contents.at_ = p;
    contents.end_ = p + length;
    at_ = p + length;
    return true;
  }

  std::string_view text() const {
    return std::string_view(reinterpret_cast<const char*>(at_), static_cast<size_t>(end_ - at_));
  }

 private:
  const unsigned char* at_ = nullptr;
  const unsigned char* end_ = nullptr;
};

// The contents of one PartialAttribute: type OCTET STRING, vals SET OF
// OCTET STRING.
bool readAttribute(BerCursor element, const Schema* schema, Attribute& attribute) {
  BerCursor name, values, value;
  if (!element.next(kOctetString, name) || !element.next(kSet, values)) return false;
  attribute.name.assign(name.text());
  attribute.type = schema ? schema->typeOf(attribute.name) : ADSTYPE_CASE_IGNORE_STRING;
  while (!values.done()) {
    if (!values.next(kOctetString, value)) return false;
    attribute.values.emplace_back(value.text());
  }
  settleAttribute(attribute);
  return true;
}

}  // namespace

// One pass over the entry's encoding, read in place: the DN, then each
// attribute with its values as they come. An attribute that does not read
// ends the entry there, as libldap's own reader does.
EntryPtr readLdapEntry(LDAP* ld, LDAPMessage* message, const Schema* schema) {
  auto entry = std::make_shared<DirectoryEntry>();
  BerElement* rawBer = nullptr;
  berval dn{0, nullptr};
  // Leaves the element at the attribute list, its length the bytes remaining.
  if (ldap_get_dn_ber(ld, message, &rawBer, &dn) != LDAP_SUCCESS) return entry;
  BerElementPtr ber(rawBer);
  if (dn.bv_val) entry->dn = showDn(std::string_view(dn.bv_val, dn.bv_len));
  for (;;) {
    ber_len_t remaining = 0;
    berval element{0, nullptr};
    if (ber_get_option(ber.get(), LBER_OPT_BER_REMAINING_BYTES, &remaining) != LBER_OPT_SUCCESS || remaining == 0 ||
        ber_skip_element(ber.get(), &element) != LBER_SEQUENCE)
      break;
    Attribute attribute;
    if (!readAttribute(BerCursor(element), schema, attribute)) break;
    entry->attributes.push_back(std::move(attribute));
  }
  return entry;
}

}  // namespace adsi
