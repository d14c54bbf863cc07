// LDAP result codes as the HRESULTs ADSI reports, and their descriptions.
#include <gtest/gtest.h>
#include <ldap.h>

#include "adserr.h"
#include "ldap/ldap_error_map.h"
#include "windows.h"

namespace {

using adsi::hresultFromLdap;
using adsi::hresultFromLdapSetup;

HRESULT hr(unsigned long value) { return static_cast<HRESULT>(value); }

TEST(LdapErrorMap, ResultCodesBecomeTheWin32CodesAdsiReports) {
  struct Case {
    int ldap;
    HRESULT expected;
  } cases[] = {
      {LDAP_SUCCESS, S_OK},
      {LDAP_NO_SUCH_OBJECT, hr(0x80072030)},
      {LDAP_INVALID_DN_SYNTAX, hr(0x80072032)},
      {LDAP_SERVER_DOWN, hr(0x8007203A)},
      {LDAP_CONNECT_ERROR, hr(0x8007203A)},
      {LDAP_INVALID_CREDENTIALS, hr(0x8007052E)},
      {LDAP_INSUFFICIENT_ACCESS, hr(0x80070005)},
      {LDAP_OPERATIONS_ERROR, hr(0x80072020)},
      {LDAP_TIMELIMIT_EXCEEDED, hr(0x80072022)},
      {LDAP_SIZELIMIT_EXCEEDED, hr(0x80072023)},
      {LDAP_ADMINLIMIT_EXCEEDED, hr(0x80072024)},
      {LDAP_REFERRAL, hr(0x8007202B)},
      {LDAP_UNWILLING_TO_PERFORM, hr(0x80072035)},
      {LDAP_OTHER, hr(0x8007001F)},
      {LDAP_TIMEOUT, hr(0x800705B4)},
      {LDAP_NO_MEMORY, hr(0x80070008)},
      {LDAP_FILTER_ERROR, E_ADS_INVALID_FILTER},  // libldap could not encode it
      {4242, E_FAIL},
  };
  for (const Case& c : cases) EXPECT_EQ(hresultFromLdap(c.ldap), c.expected) << c.ldap;
}

TEST(LdapErrorMap, ATimeOutOrAServerShuttingDownWhileConnectingIsNotOperational) {
  EXPECT_EQ(hresultFromLdapSetup(LDAP_TIMEOUT), hr(0x8007203A));
  EXPECT_EQ(hresultFromLdapSetup(LDAP_UNAVAILABLE), hr(0x8007203A));  // a server shutting down
  EXPECT_EQ(hresultFromLdap(LDAP_UNAVAILABLE), hr(0x8007200F));
  EXPECT_EQ(hresultFromLdapSetup(LDAP_INVALID_CREDENTIALS), hr(0x8007052E));
  EXPECT_EQ(hresultFromLdapSetup(LDAP_SUCCESS), S_OK);
}

// What the procedure shows is the system description of the code: every code
// a server or libldap can give must have one.
TEST(LdapErrorMap, EveryMappedCodeHasADescription) {
  for (int code = LDAP_REFERRAL_LIMIT_EXCEEDED; code <= LDAP_OTHER; ++code) {
    HRESULT mapped = hresultFromLdap(code);
    if (mapped == S_OK) continue;
    if (code == LDAP_ALREADY_EXISTS) continue;  // an add's result; the stand-in never adds
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                                  static_cast<DWORD>(mapped), 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    EXPECT_GT(length, 0u) << "LDAP " << code << " -> " << std::hex << mapped;
    LocalFree(text);
  }
}

}  // namespace
