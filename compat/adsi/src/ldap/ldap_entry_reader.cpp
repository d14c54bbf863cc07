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

// The schema's types of the attributes of the last entry read on this
// thread, by position: the entries of a search list the same attributes in
// the same order, so most names are found here without a lookup.
class RecentTypes {
 public:
  ADSTYPE typeOf(const Schema* schema, size_t position, const std::string& name) {
    if (!schema) return ADSTYPE_CASE_IGNORE_STRING;
    if (schema->serial() != serial_) {
      serial_ = schema->serial();
      names_.clear();
    }
    if (position < names_.size() && names_[position].first == name) return names_[position].second;
    const ADSTYPE type = schema->typeOf(name);
    if (position >= names_.size()) names_.resize(position + 1);
    names_[position] = {name, type};
    return type;
  }

 private:
  uint64_t serial_ = 0;  // of the schema the types are of
  std::vector<std::pair<std::string, ADSTYPE>> names_;
};

// The contents of one PartialAttribute: type OCTET STRING, vals SET OF
// OCTET STRING.
bool readAttribute(BerCursor element, ADSTYPE type, Attribute& attribute) {
  BerCursor name, values, value;
  if (!element.next(kOctetString, name) || !element.next(kSet, values)) return false;
  size_t count = 0;
  for (BerCursor counting = values; !counting.done(); ++count)
    if (!counting.next(kOctetString, value)) return false;
  attribute.values.reserve(count);
  while (!values.done()) {
    values.next(kOctetString, value);
    attribute.values.emplace_back(value.text());
  }
  attribute.type = type;
  settleAttribute(attribute);
  return true;
}

std::string_view attributeName(BerCursor element) {
  BerCursor name;
  return element.next(kOctetString, name) ? name.text() : std::string_view();
}

}  // namespace

// One pass over the entry's encoding, read in place: the DN, then each
// attribute with its values as they come. An attribute that does not read
// ends the entry there, as libldap's own reader does.
EntryPtr readLdapEntry(LDAP* ld, LDAPMessage* message, const Schema* schema) {
  thread_local RecentTypes recent;
  thread_local std::vector<berval> elements;
  auto entry = std::make_shared<DirectoryEntry>();
  BerElement* rawBer = nullptr;
  berval dn{0, nullptr};
  // Leaves the element at the attribute list, its length the bytes remaining.
  if (ldap_get_dn_ber(ld, message, &rawBer, &dn) != LDAP_SUCCESS) return entry;
  BerElementPtr ber(rawBer);
  if (dn.bv_val) entry->dn = showDn(std::string_view(dn.bv_val, dn.bv_len));
  elements.clear();
  for (;;) {
    ber_len_t remaining = 0;
    berval element{0, nullptr};
    if (ber_get_option(ber.get(), LBER_OPT_BER_REMAINING_BYTES, &remaining) != LBER_OPT_SUCCESS || remaining == 0 ||
        ber_skip_element(ber.get(), &element) != LBER_SEQUENCE)
      break;
    elements.push_back(element);
  }
  entry->attributes.reserve(elements.size());
  for (const berval& element : elements) {
    Attribute attribute;
    attribute.name.assign(attributeName(BerCursor(element)));
    const ADSTYPE type = recent.typeOf(schema, entry->attributes.size(), attribute.name);
    if (!readAttribute(BerCursor(element), type, attribute)) break;
    entry->attributes.push_back(std::move(attribute));
  }
  return entry;
}

}  // namespace adsi
