// The platform calls the procedure relies on, made with fixed inputs and
// printed one per line, so that the same source built for Linux (over
// compat/win32) and for Windows (run under wine64) can be compared line by
// line. Every line starts with a key that names the call and its input; what
// follows is what the call returned, the thread's last error where the call
// sets it, and the text it produced (bytes as \xNN beyond printable ASCII,
// UTF-16 as U+XXXX).
//
//   win32_calls all                   every call below (needs ANSI code page 1252)
//   win32_calls describe CODE...      FormatMessageA's text of each code, as the
//                                     procedure asks for it, in hex (empty: none)
//   win32_calls date DATE...          VariantChangeType(VT_DATE -> VT_BSTR) of
//                                     each value, the text in hex
//   win32_calls bestfit CP            every UTF-16 unit outside the code page's
//                                     own table that WideCharToMultiByte(CP, 0)
//                                     writes as a byte of its own: "XXXX YY"
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#define WIDE(text) L##text
#else
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include "win32_compat.h"
#define WIDE(text) u##text
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string bytesText(const char* data, size_t size) {
  std::string out;
  char hex[8];
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string hexOf(const char* data, size_t size) {
  std::string out;
  char hex[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(data[i]));
    out += hex;
  }
  return out;
}

std::string wideText(const WCHAR* data, size_t count) {
  std::string out;
  char unit[12];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(unit, sizeof unit, "%sU+%04X", i ? " " : "", static_cast<unsigned>(data[i]));
    out += unit;
  }
  return out;
}

std::string bstrText(BSTR text) {
  if (!text) return "null";
  return "len=" + std::to_string(SysStringLen(text)) + " bytes=" + std::to_string(SysStringByteLen(text)) + " [" +
         wideText(text, SysStringLen(text)) + "]";
}

void line(const std::string& key, const std::string& value) { std::printf("%s: %s\n", key.c_str(), value.c_str()); }

std::string code(long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value) & 0xFFFFFFFFul);
  return text;
}

// ---- BSTR lengths ----

void bstrCalls() {
  const WCHAR text[] = WIDE("abc\0de");
  BSTR b = SysAllocStringLen(text, 6);
  line("SysAllocStringLen(\"abc\\0de\",6)", bstrText(b));
  SysFreeString(b);
  b = SysAllocStringLen(text, 2);
  line("SysAllocStringLen(\"abc\",2)", bstrText(b) + " terminated=" + std::to_string(b && b[2] == 0));
  SysFreeString(b);
  b = SysAllocStringLen(nullptr, 4);
  line("SysAllocStringLen(null,4)", std::string(b ? "len=" + std::to_string(SysStringLen(b)) : "null") +
                                        " terminated=" + std::to_string(b && b[4] == 0));
  SysFreeString(b);
  b = SysAllocStringLen(text, 0);
  line("SysAllocStringLen(\"abc\",0)", bstrText(b));
  SysFreeString(b);
  b = SysAllocString(WIDE(""));
  line("SysAllocString(\"\")", bstrText(b));
  SysFreeString(b);
  b = SysAllocString(nullptr);
  line("SysAllocString(null)", bstrText(b));
  SysFreeString(b);
  b = SysAllocStringByteLen("abcde", 5);
  line("SysAllocStringByteLen(\"abcde\",5)",
       b ? "len=" + std::to_string(SysStringLen(b)) + " bytes=" + std::to_string(SysStringByteLen(b)) + " [" +
               bytesText(reinterpret_cast<const char*>(b), SysStringByteLen(b)) + "]"
         : "null");
  SysFreeString(b);
  line("SysStringLen(null)", std::to_string(SysStringLen(nullptr)));
  line("SysStringByteLen(null)", std::to_string(SysStringByteLen(nullptr)));
}

void concatenation(const char* key, BSTR left, BSTR right) {
  BSTR result = reinterpret_cast<BSTR>(1);
  HRESULT hr = VarBstrCat(left, right, &result);
  line(std::string("VarBstrCat(") + key + ")", code(hr) + " " + (SUCCEEDED(hr) ? bstrText(result) : ""));
  if (SUCCEEDED(hr)) SysFreeString(result);
}

void concatenationCalls() {
  BSTR ab = SysAllocString(WIDE("ab"));
  BSTR cd = SysAllocString(WIDE("cd"));
  const WCHAR nul[] = WIDE("x\0y");
  BSTR withNul = SysAllocStringLen(nul, 3);
  BSTR empty = SysAllocString(WIDE(""));
  concatenation("\"ab\",\"cd\"", ab, cd);
  concatenation("null,\"cd\"", nullptr, cd);
  concatenation("\"ab\",null", ab, nullptr);
  concatenation("null,null", nullptr, nullptr);
  concatenation("\"\",\"\"", empty, empty);
  concatenation("\"x\\0y\",\"ab\"", withNul, ab);
  HRESULT hr = VarBstrCat(ab, cd, nullptr);
  line("VarBstrCat(\"ab\",\"cd\",no result)", code(hr));
  SysFreeString(ab);
  SysFreeString(cd);
  SysFreeString(withNul);
  SysFreeString(empty);
}

// ---- VariantChangeType to VT_BSTR ----

struct Flag {
  USHORT value;
  const char* name;
};
const Flag kFlags[] = {{0, "0"}, {0x01, "NOVALUEPROP"}, {0x02, "ALPHABOOL"}, {0x10, "LOCALBOOL"}};

std::string changed(VARIANT& source, USHORT flags) {
  VARIANT target;
  VariantInit(&target);
  HRESULT hr = VariantChangeType(&target, &source, flags, VT_BSTR);
  std::string out = code(hr) + " vt=" + std::to_string(target.vt);
  if (SUCCEEDED(hr) && target.vt == VT_BSTR) out += " " + bstrText(target.bstrVal);
  VariantClear(&target);
  return out;
}

std::string dateText(double date, USHORT flags) {
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_DATE;
  source.date = date;
  return changed(source, flags);
}

void changeTypeCalls() {
  const double dates[] = {
      0.0,          1.0,       2.5,       -1.5,        -0.25,       36526.0,   40000.25,       40098.21739,
      43948.751562, 0.999999,  0.9999999, 1.0 / 86400, 0.5 / 86400, 2958465.0, 2958465.999988, 2958466.0,
      -657434.0,    -657435.0, 60.0,      61.0,        45000.999994};
  for (double date : dates)
    for (const Flag& flag : kFlags) {
      char key[80];
      std::snprintf(key, sizeof key, "VariantChangeType(VT_DATE %.15g,%s)", date, flag.name);
      line(key, dateText(date, flag.value));
    }

  const LONG numbers[] = {0, 1, -1, 2147483647, -2147483647 - 1, 512};
  for (LONG number : numbers)
    for (const Flag& flag : kFlags) {
      VARIANT source;
      VariantInit(&source);
      source.vt = VT_I4;
      source.lVal = number;
      line("VariantChangeType(VT_I4 " + std::to_string(number) + "," + flag.name + ")", changed(source, flag.value));
    }

  const SHORT flags[] = {VARIANT_TRUE, VARIANT_FALSE, 1};
  for (SHORT value : flags)
    for (const Flag& flag : kFlags) {
      VARIANT source;
      VariantInit(&source);
      source.vt = VT_BOOL;
      source.boolVal = value;
      line("VariantChangeType(VT_BOOL " + std::to_string(value) + "," + flag.name + ")", changed(source, flag.value));
    }

  // In place, as the procedure converts its dates.
  VARIANT same;
  VariantInit(&same);
  same.vt = VT_DATE;
  same.date = 40000.5;
  HRESULT hr = VariantChangeType(&same, &same, 0x01, VT_BSTR);
  line("VariantChangeType(in place VT_DATE 40000.5)",
       code(hr) + " vt=" + std::to_string(same.vt) + " " + (same.vt == VT_BSTR ? bstrText(same.bstrVal) : ""));
  VariantClear(&same);
}

// ---- code pages ----

struct Bytes {
  const char* name;
  std::string data;
};

std::string toWide(UINT page, DWORD flags, const std::string& input, int inputLength, int room) {
  std::vector<WCHAR> out(room > 0 ? room : 1, 0x2A2A);
  SetLastError(0);
  int n = MultiByteToWideChar(page, flags, input.data(), inputLength, room > 0 ? out.data() : nullptr, room);
  DWORD error = GetLastError();
  std::string text = std::to_string(n) + " error=" + std::to_string(n ? 0 : error);
  if (n > 0 && room > 0) text += " [" + wideText(out.data(), n) + "]";
  return text;
}

std::string toNarrow(UINT page, DWORD flags, const std::vector<WCHAR>& input, int inputLength, int room,
                     bool askDefault) {
  std::string out(room > 0 ? room : 1, '*');
  BOOL usedDefault = 7;
  SetLastError(0);
  int n = WideCharToMultiByte(page, flags, input.data(), inputLength, room > 0 ? &out[0] : nullptr, room, nullptr,
                              askDefault ? &usedDefault : nullptr);
  DWORD error = GetLastError();
  std::string text = std::to_string(n) + " error=" + std::to_string(n ? 0 : error);
  if (askDefault && n) text += " usedDefault=" + std::to_string(usedDefault);
  if (n > 0 && room > 0) text += " [" + bytesText(out.data(), n) + "]";
  return text;
}

void codePageCalls() {
  std::string high;
  for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
  const Bytes inputs[] = {
      {"ascii", "Plain text 123"},
      {"bytes 80-FF", high},
      {"utf8 cafe", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"lone continuation", "a\x80z"},
      {"overlong", "a\xC0\xAFz"},
      {"truncated", "a\xE2\x82"},
      {"truncated inside", "a\xE2\x82z"},
      {"surrogate", "a\xED\xA0\x80z"},
      {"beyond 10FFFF", "a\xF4\x90\x80\x80z"},
      {"F5", "a\xF5\x80\x80\x80z"},
      {"nul inside", std::string("a\0b", 3)},
  };
  const UINT pages[] = {1252, 65001, 20127, CP_ACP, CP_THREAD_ACP};
  const DWORD toWideFlags[] = {0, MB_ERR_INVALID_CHARS, MB_PRECOMPOSED};
  for (UINT page : pages)
    for (const Bytes& input : inputs)
      for (DWORD flags : toWideFlags) {
        std::string key = "MultiByteToWideChar(" + std::to_string(page) + "," + code(flags) + "," + input.name;
        int length = static_cast<int>(input.data.size());
        line(key + ")", toWide(page, flags, input.data, length, 512));
        line(key + ",size)", toWide(page, flags, input.data, length, 0));
        line(key + ",room 2)", toWide(page, flags, input.data, length, 2));
      }
  line("MultiByteToWideChar(1252,0,\"abc\" with terminator)", toWide(1252, 0, std::string("abc", 4), -1, 16));
  line("MultiByteToWideChar(65001,0,empty)", toWide(65001, 0, std::string(), 0, 16));

  struct Units {
    const char* name;
    std::vector<WCHAR> data;
  };
  const Units wide[] = {
      {"ascii", {'a', 'b', 'c'}},
      {"latin", {0x00E9, 0x00FF, 0x00A0}},
      {"euro and 1252 extras", {0x20AC, 0x2019, 0x0152, 0x017D, 0x0192}},
      {"not in 1252", {0x0141, 0x0107, 0x03A9, 0x4E2D, 0x2013}},
      {"controls 80-9F", {0x0081, 0x008D, 0x008F, 0x0090, 0x009D, 0x0080}},
      {"lone high surrogate", {'a', 0xD800, 'z'}},
      {"lone low surrogate", {'a', 0xDC00, 'z'}},
      {"pair", {0xD83D, 0xDE00}},
      {"nul inside", {'a', 0, 'b'}},
  };
  const DWORD toNarrowFlags[] = {0, WC_NO_BEST_FIT_CHARS, WC_ERR_INVALID_CHARS};
  for (UINT page : pages)
    for (const Units& input : wide)
      for (DWORD flags : toNarrowFlags)
        for (bool askDefault : {false, true}) {
          std::string key = "WideCharToMultiByte(" + std::to_string(page) + "," + code(flags) + "," + input.name +
                            (askDefault ? ",usedDefault" : "");
          int length = static_cast<int>(input.data.size());
          line(key + ")", toNarrow(page, flags, input.data, length, 512, askDefault));
          line(key + ",size)", toNarrow(page, flags, input.data, length, 0, askDefault));
          line(key + ",room 2)", toNarrow(page, flags, input.data, length, 2, askDefault));
        }
  std::vector<WCHAR> terminated = {'a', 'b', 0};
  line("WideCharToMultiByte(1252,0,\"ab\" with terminator)", toNarrow(1252, 0, terminated, -1, 16, false));
}

// ---- StringFromGUID2 ----

void guidCalls() {
  // The identifier of IADs.
  const GUID iads = {0xFD8256D0, 0xFD15, 0x11CE, {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};
  const GUID zero = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
  const GUID high = {0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
  struct Named {
    const char* name;
    const GUID* guid;
  };
  for (const Named& g : {Named{"IADs", &iads}, Named{"zero", &zero}, Named{"ones", &high}})
    for (int room : {39, 38, 64, 1}) {
      WCHAR out[64];
      for (WCHAR& c : out) c = 0x2A;
      int n = StringFromGUID2(*g.guid, out, room);
      line(std::string("StringFromGUID2(") + g.name + "," + std::to_string(room) + ")",
           std::to_string(n) + (n > 0 ? " [" + wideText(out, n) + "]" : ""));
    }
}

// ---- FormatMessageA as the procedure describes failure codes ----

// The text FormatMessageA gives for a code, as the procedure asks for it;
// false when there is none.
bool describe(DWORD id, std::string& text, DWORD& error) {
  char* buffer = nullptr;
  SetLastError(0);
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, id,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  error = GetLastError();
  if (length == 0 || !buffer) {
    if (buffer) LocalFree(buffer);
    return false;
  }
  text.assign(buffer, length);
  LocalFree(buffer);
  return true;
}

// The codes the procedure meets: the enumeration's end (S_FALSE), COM's and
// OLE Automation's failures, ADSI's, the directory's (ERROR_DS_*), the
// kernel's that a bind or a call reports, and facility 8's reduced codes.
const DWORD kCodes[] = {0x00000000, 0x00000001, 0x00000002, 0x00000005, 0x00000008, 0x0000000E, 0x00000057, 0x0000007A,
                        0x000000EA, 0x0000013D, 0x0000052E, 0x000004C7, 0x000004D4, 0x000006BA, 0x0000200A, 0x00002020,
                        0x00002030, 0x00002032, 0x0000203A, 0x00002024, 0x00002026, 0x00002027, 0x00002029, 0x0000202B,
                        0x00002031, 0x00002035, 0x00002037, 0x00002038, 0x00002039, 0x0000203B, 0x0000203C, 0x0000203D,
                        0x00005011, 0x00005012, 0x00005013, 0x80004001, 0x80004002, 0x80004003, 0x80004004, 0x80004005,
                        0x8000FFFF, 0x80005000, 0x80005001, 0x80005004, 0x80005005, 0x80005006, 0x80005008, 0x8000500C,
                        0x8000500D, 0x8000500F, 0x80005010, 0x80005014, 0x80010106, 0x80020005, 0x80020008, 0x8002000A,
                        0x8002000B, 0x800401F0, 0x80070005, 0x8007000E, 0x80070057, 0x8007052E, 0x80072020, 0x80072030,
                        0x80072032, 0x8007203A, 0x80072035, 0x800704C7, 0xC0000005, 0x12345678};

void formatMessageCalls() {
  for (DWORD id : kCodes) {
    std::string text;
    DWORD error = 0;
    bool found = describe(id, text, error);
    line("FormatMessageA(" + code(static_cast<long>(id)) + ")",
         found ? std::to_string(text.size()) + " [" + bytesText(text.data(), text.size()) + "]"
               : "0 error=" + std::to_string(error));
  }
}

int all() {
  if (GetACP() != 1252) {
    std::fprintf(stderr, "win32_calls: the ANSI code page is %u, not 1252\n", GetACP());
    return 2;
  }
  line("GetACP()", std::to_string(GetACP()));
  bstrCalls();
  concatenationCalls();
  changeTypeCalls();
  codePageCalls();
  guidCalls();
  formatMessageCalls();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in \n on both sides
#else
  // The Windows side runs with Wine's ANSI code page of the test's locale,
  // 1252; this side takes the same one.
  Win32CompatSetAnsiCodePage(1252);
#endif
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "all" && argc == 2) return all();
  if (mode == "describe") {
    for (int i = 2; i < argc; ++i) {
      std::string text;
      DWORD error = 0;
      bool found = describe(static_cast<DWORD>(std::strtoul(argv[i], nullptr, 0)), text, error);
      std::printf("%s\n", found ? hexOf(text.data(), text.size()).c_str() : "");
    }
    return 0;
  }
  if (mode == "date") {
    for (int i = 2; i < argc; ++i) {
      VARIANT value;
      VariantInit(&value);
      value.vt = VT_DATE;
      value.date = std::strtod(argv[i], nullptr);
      HRESULT hr = VariantChangeType(&value, &value, 0x01, VT_BSTR);
      std::string narrow;
      if (SUCCEEDED(hr) && value.vt == VT_BSTR)
        for (UINT k = 0; k < SysStringLen(value.bstrVal); ++k) narrow += static_cast<char>(value.bstrVal[k]);
      std::printf("%s\n", SUCCEEDED(hr) ? hexOf(narrow.data(), narrow.size()).c_str() : "-");
      VariantClear(&value);
    }
    return 0;
  }
  if (mode == "bestfit" && argc == 3) {
    UINT page = static_cast<UINT>(std::strtoul(argv[2], nullptr, 0));
    for (unsigned unit = 0x80; unit <= 0xFFFF; ++unit) {
      if (unit >= 0xD800 && unit <= 0xDFFF) continue;
      WCHAR wide = static_cast<WCHAR>(unit), back = 0;
      char narrow = 0;
      BOOL usedDefault = FALSE;
      if (WideCharToMultiByte(page, 0, &wide, 1, &narrow, 1, nullptr, &usedDefault) != 1 || usedDefault) continue;
      // A byte that converts back to the same unit is the table's own.
      if (MultiByteToWideChar(page, 0, &narrow, 1, &back, 1) == 1 && back == wide) continue;
      std::printf("%04X %02X\n", unit, static_cast<unsigned char>(narrow));
    }
    return 0;
  }
  std::fprintf(stderr, "usage: win32_calls all | describe CODE... | date DATE... | bestfit CP\n");
  return 2;
}
