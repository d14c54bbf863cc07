// Why a server's certificate fails the check, in words. libldap built with
// GnuTLS says only "unknown error code" when a handshake fails on the
// certificate; the stand-in then shows the certificate again without the
// check and names what is wrong with it.
#pragma once

#include <string>

namespace adsi {

// The faults of a DER certificate against the CA file (or folder) and the
// host name the path gives: its subject and issuer, and whether a CA there
// signed it, it names the host, and it is valid now. The certificate is
// checked alone, without the chain the server may have sent with it.
std::string describeCertificateFaults(const std::string& der, const std::string& caFile, const std::string& caFolder,
                                      const std::string& host);

}  // namespace adsi
