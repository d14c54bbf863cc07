#include "ldap/certificate_check.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

namespace adsi {
namespace {

struct CertificateFree {
  void operator()(gnutls_x509_crt_int* c) const { gnutls_x509_crt_deinit(c); }
};
struct TrustListFree {
  void operator()(gnutls_x509_trust_list_st* t) const { gnutls_x509_trust_list_deinit(t, 1); }
};
using CertificatePtr = std::unique_ptr<gnutls_x509_crt_int, CertificateFree>;
using TrustListPtr = std::unique_ptr<gnutls_x509_trust_list_st, TrustListFree>;

std::string distinguishedName(gnutls_x509_crt_t certificate, bool issuer) {
  gnutls_datum_t text{nullptr, 0};
  int code =
      issuer ? gnutls_x509_crt_get_issuer_dn3(certificate, &text, 0) : gnutls_x509_crt_get_dn3(certificate, &text, 0);
  if (code < 0) return "?";
  std::string name(reinterpret_cast<const char*>(text.data), text.size);
  gnutls_free(text.data);
  return name;
}

std::string hexadecimal(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

}  // namespace

std::string describeCertificateFaults(const std::string& der, const std::string& caFile, const std::string& caFolder,
                                      const std::string& host) {
  gnutls_x509_crt_t raw = nullptr;
  if (gnutls_x509_crt_init(&raw) < 0) return "";
  CertificatePtr certificate(raw);
  gnutls_datum_t data{reinterpret_cast<unsigned char*>(const_cast<char*>(der.data())),
                      static_cast<unsigned>(der.size())};
  if (gnutls_x509_crt_import(raw, &data, GNUTLS_X509_FMT_DER) < 0) return "";
  std::string text = "the server's certificate (subject " + distinguishedName(raw, false) + ", issuer " +
                     distinguishedName(raw, true) + ")";
  std::string faults;
  auto add = [&faults](const std::string& fault) { faults += (faults.empty() ? "" : "; ") + fault; };

  gnutls_x509_trust_list_t rawList = nullptr;
  if (gnutls_x509_trust_list_init(&rawList, 0) < 0) return text;
  TrustListPtr trust(rawList);
  int authorities = 0;
  if (!caFile.empty())
    authorities +=
        std::max(0, gnutls_x509_trust_list_add_trust_file(rawList, caFile.c_str(), nullptr, GNUTLS_X509_FMT_PEM, 0, 0));
  if (!caFolder.empty())
    authorities += std::max(
        0, gnutls_x509_trust_list_add_trust_dir(rawList, caFolder.c_str(), nullptr, GNUTLS_X509_FMT_PEM, 0, 0));
  unsigned status = 0;
  if (authorities == 0) {
    add("no CA certificate could be read from " + (caFile.empty() ? caFolder : caFile));
  } else if (gnutls_x509_trust_list_verify_crt(rawList, &raw, 1, GNUTLS_VERIFY_DISABLE_TIME_CHECKS, &status, nullptr) ==
                 0 &&
             status != 0) {
    if (status & GNUTLS_CERT_SIGNER_NOT_FOUND)
      add("no CA in " + (caFile.empty() ? caFolder : caFile) + " signed it");
    else
      add("it does not check against " + (caFile.empty() ? caFolder : caFile) + " (GnuTLS status 0x" +
          hexadecimal(status) + ")");
  }
  if (!host.empty() && !gnutls_x509_crt_check_hostname(raw, host.c_str())) add("it does not name " + host);
  std::time_t now = std::time(nullptr);
  if (gnutls_x509_crt_get_activation_time(raw) > now) add("it is not valid yet");
  if (gnutls_x509_crt_get_expiration_time(raw) < now) add("it has expired");
  return text +
         (faults.empty() ? ": no fault found in it alone (its chain, or the TLS handshake, failed)" : ": " + faults);
}

}  // namespace adsi
