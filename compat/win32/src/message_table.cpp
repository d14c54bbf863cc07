// The system message table: the codes this system meets, with the English
// texts Windows gives for them. Sorted by code.
#include "message_table.h"

#include <algorithm>
#include <iterator>

namespace win32compat {

namespace {

struct Message {
  DWORD code;
  const char* text;
};

constexpr Message kMessages[] = {
    // Win32 error codes.
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {7, "The storage control blocks were destroyed.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {9, "The storage control block address is invalid.\r\n"},
    {10, "The environment is incorrect.\r\n"},
    {11, "An attempt was made to load a program with an incorrect format.\r\n"},
    {12, "The access code is invalid.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {15, "The system cannot find the drive specified.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {50, "The request is not supported.\r\n"},
    {53, "The network path was not found.\r\n"},
    {64, "The specified network name is no longer available.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {234, "More data is available.\r\n"},
    {258, "The wait operation timed out.\r\n"},
    {259, "No more data is available.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {1003, "Cannot complete this function.\r\n"},
    {1004, "Invalid flags.\r\n"},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1168, "Element not found.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1225, "The remote computer refused the network connection.\r\n"},
    {1244, "The operation being requested was not performed because the user has not been authenticated.\r\n"},
    {1317, "The specified account does not exist.\r\n"},
    {1326, "The user name or password is incorrect.\r\n"},
    {1355, "The specified domain either does not exist or could not be contacted.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1727, "The remote procedure call failed and did not execute.\r\n"},
    {1753, "There are no more endpoints available from the endpoint mapper.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {1815, "The specified resource language ID cannot be found in the image file.\r\n"},
    {1909, "The referenced account is currently locked out and may not be logged on to.\r\n"},

    // Directory service codes; LDAP result codes map onto these.
    {8202, "The specified directory service attribute or value does not exist.\r\n"},
    {8203, "The attribute syntax specified to the directory service is invalid.\r\n"},
    {8204, "The attribute type specified to the directory service is not defined.\r\n"},
    {8205, "The specified directory service attribute or value already exists.\r\n"},
    {8206, "The directory service is busy.\r\n"},
    {8207, "The directory service is unavailable.\r\n"},
    {8212,
     "The requested operation did not satisfy one or more constraints associated with the class of the object.\r\n"},
    {8213, "The directory service can perform the requested operation only on a leaf object.\r\n"},
    {8214, "The directory service cannot perform the requested operation on the RDN attribute of an object.\r\n"},
    {8215, "The directory service detected an attempt to modify the object class of an object.\r\n"},
    {8224, "An operations error occurred.\r\n"},
    {8225, "A protocol error occurred.\r\n"},
    {8226, "The time limit for this request was exceeded.\r\n"},
    {8227, "The size limit for this request was exceeded.\r\n"},
    {8228, "The administrative limit for this request was exceeded.\r\n"},
    {8229, "The compare response was false.\r\n"},
    {8230, "The compare response was true.\r\n"},
    {8231, "The requested authentication method is not supported by the server.\r\n"},
    {8232, "A more secure authentication method is required for this server.\r\n"},
    {8233, "Inappropriate authentication.\r\n"},
    {8234, "The authentication mechanism is unknown.\r\n"},
    {8235, "A referral was returned from the server.\r\n"},
    {8236, "The server does not support the requested critical extension.\r\n"},
    {8237, "This request requires a secure connection.\r\n"},
    {8238, "Inappropriate matching.\r\n"},
    {8239, "A constraint violation occurred.\r\n"},
    {8240, "There is no such object on the server.\r\n"},
    {8241, "There is an alias problem.\r\n"},
    {8242, "An invalid dn syntax has been specified.\r\n"},
    {8243, "The object is a leaf object.\r\n"},
    {8244, "There is an alias dereferencing problem.\r\n"},
    {8245, "The server is unwilling to process the request.\r\n"},
    {8246, "A loop has been detected.\r\n"},
    {8247, "There is a naming violation.\r\n"},
    {8248, "The result set is too large.\r\n"},
    {8249, "The operation affects multiple DSAs.\r\n"},
    {8250, "The server is not operational.\r\n"},
    {8251, "A local error has occurred.\r\n"},
    {8252, "An encoding error has occurred.\r\n"},
    {8253, "A decoding error has occurred.\r\n"},
    {8254, "The search filter cannot be recognized.\r\n"},
    {8255, "One or more parameters are illegal.\r\n"},
    {8256, "The specified method is not supported.\r\n"},
    {8257, "No results were returned.\r\n"},
    {8258, "The specified control is not supported by the server.\r\n"},
    {8259, "A referral loop was detected by the client.\r\n"},
    {8260, "The preset referral limit was exceeded.\r\n"},
    {8261, "The search requires a SORT control.\r\n"},
    {8262, "The search results exceed the offset range specified.\r\n"},

    // ADSI success codes.
    {0x00005011, "One or more errors occurred\r\n"},
    {0x00005012, "No more rows to be obtained by the search result.\r\n"},
    {0x00005013, "No more columns to be obtained for the current row.\r\n"},

    // COM.
    {0x80004001, "Not implemented\r\n"},
    {0x80004002, "No such interface supported\r\n"},
    {0x80004003, "Invalid pointer\r\n"},
    {0x80004004, "Operation aborted\r\n"},
    {0x80004005, "Unspecified error\r\n"},

    // ADSI failure codes.
    {0x80005000, "An invalid directory pathname was passed\r\n"},
    {0x80005001, "An unknown directory domain object was requested\r\n"},
    {0x80005002, "An unknown directory user object was requested\r\n"},
    {0x80005003, "An unknown directory computer object was requested\r\n"},
    {0x80005004, "An unknown directory object was requested\r\n"},
    {0x80005005, "The specified directory property was not set\r\n"},
    {0x80005006, "The specified directory property is not supported\r\n"},
    {0x80005007, "The specified directory property is invalid\r\n"},
    {0x80005008, "One or more input parameters are invalid\r\n"},
    {0x80005009, "The specified directory object is not bound to a remote resource\r\n"},
    {0x8000500A, "The specified directory object has not been modified\r\n"},
    {0x8000500B, "The specified directory object has been modified\r\n"},
    {0x8000500C, "The directory datatype cannot be converted to/from a native DS datatype\r\n"},
    {0x8000500D, "The directory property cannot be found in the cache.\r\n"},
    {0x8000500E, "The directory object exists.\r\n"},
    {0x8000500F, "The attempted action violates the directory service schema rules.\r\n"},
    {0x80005010, "The specified column in the directory was not set.\r\n"},
    {0x80005014, "The search filter specified is invalid\r\n"},

    {0x8000FFFF, "Catastrophic failure\r\n"},
    {0x80010106, "Cannot change thread mode after it is set.\r\n"},

    // OLE Automation dispatch codes.
    {0x80020001, "Unknown interface.\r\n"},
    {0x80020003, "Member not found.\r\n"},
    {0x80020004, "Parameter not found.\r\n"},
    {0x80020005, "Type mismatch.\r\n"},
    {0x80020006, "Unknown name.\r\n"},
    {0x80020007, "No named arguments.\r\n"},
    {0x80020008, "Bad variable type.\r\n"},
    {0x80020009, "Exception occurred.\r\n"},
    {0x8002000A, "Out of present range.\r\n"},
    {0x8002000B, "Invalid index.\r\n"},
    {0x8002000C, "Unknown language.\r\n"},
    {0x8002000D, "Memory is locked.\r\n"},
    {0x8002000E, "Invalid number of parameters.\r\n"},
    {0x8002000F, "Parameter not optional.\r\n"},

    {0x800401F0, "CoInitialize has not been called.\r\n"},
};

constexpr bool sortedWithoutRepeats() {
  for (size_t i = 1; i < std::size(kMessages); ++i) {
    if (kMessages[i - 1].code >= kMessages[i].code) return false;
  }
  return true;
}
static_assert(sortedWithoutRepeats(), "the message table must stay sorted by code");

}  // namespace

const char* findSystemMessage(DWORD code) {
  const Message* end = std::end(kMessages);
  const Message* found =
      std::lower_bound(std::begin(kMessages), end, code, [](const Message& m, DWORD c) { return m.code < c; });
  return found != end && found->code == code ? found->text : nullptr;
}

}  // namespace win32compat
