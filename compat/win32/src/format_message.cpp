// FormatMessageA over the system message table or a caller's string:
// escape sequences, %1..%99 inserts with optional !printf-format!, and the
// caller's or a LocalAlloc'd buffer.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "message_table.h"
#include "windows.h"

namespace {

constexpr DWORD kResourceTypeNotFound = 1813;
constexpr size_t kMaxInsertText = 4096;

// Where inserts come from: a va_list read in order, or an array of
// pointer-sized values (FORMAT_MESSAGE_ARGUMENT_ARRAY).
class InsertArguments {
 public:
  InsertArguments(DWORD flags, va_list* arguments)
      : list_(flags & FORMAT_MESSAGE_ARGUMENT_ARRAY ? nullptr : arguments),
        array_(flags & FORMAT_MESSAGE_ARGUMENT_ARRAY ? reinterpret_cast<ULONG_PTR*>(arguments) : nullptr) {}

  bool present() const { return list_ || array_; }

  // Insert `number` (1-based). A va_list can only be read forward, so the
  // values read so far are kept.
  ULONG_PTR get(unsigned number) {
    if (array_) return array_[number - 1];
    while (seen_.size() < number) seen_.push_back(va_arg(*list_, ULONG_PTR));
    return seen_[number - 1];
  }

 private:
  va_list* list_;
  ULONG_PTR* array_;
  std::vector<ULONG_PTR> seen_;
};

bool languageAvailable(DWORD languageId) {
  // Neutral, user and system default, and English: all name the one table.
  return languageId == 0 || languageId == 0x0400 || languageId == 0x0800 || (languageId & 0x3FF) == 0x09;
}

// Writes one insert formatted by its printf-style format (without the '%').
// False for formats this implementation cannot take from a value list.
bool formatInsert(std::string format, ULONG_PTR value, std::string* out) {
  if (format.empty() || format.find('*') != std::string::npos) return false;
  char conversion = format.back();
  format.pop_back();
  bool wideString = conversion == 'S' || (conversion == 's' && format.find_first_of("lw") != std::string::npos);
  bool wide64 = format.find("I64") != std::string::npos || format.find("ll") != std::string::npos;
  // Keep flags, width and precision; drop the length modifiers.
  std::string directive = "%";
  for (char c : format) {
    if (std::strchr("-+ #0123456789.", c)) directive += c;
  }

  char text[kMaxInsertText];
  switch (conversion) {
    case 's':
    case 'S': {
      std::string narrow;
      if (!value) {
        narrow = "(null)";
      } else if (wideString) {
        auto* wide = reinterpret_cast<LPCWSTR>(value);
        int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (needed <= 0) return false;
        narrow.resize(size_t(needed));
        WideCharToMultiByte(CP_ACP, 0, wide, -1, &narrow[0], needed, nullptr, nullptr);
        narrow.pop_back();
      } else {
        narrow = reinterpret_cast<const char*>(value);
      }
      directive += 's';
      int length = std::snprintf(nullptr, 0, directive.c_str(), narrow.c_str());
      if (length < 0) return false;
      std::string piece(size_t(length) + 1, '\0');
      std::snprintf(&piece[0], piece.size(), directive.c_str(), narrow.c_str());
      piece.pop_back();
      *out += piece;
      return true;
    }
    case 'c':
      directive += 'c';
      std::snprintf(text, sizeof text, directive.c_str(), static_cast<int>(static_cast<unsigned char>(value)));
      break;
    case 'd':
    case 'i':
      directive += wide64 ? "ll" : "";
      directive += conversion;
      if (wide64) {
        std::snprintf(text, sizeof text, directive.c_str(), static_cast<long long>(value));
      } else {
        std::snprintf(text, sizeof text, directive.c_str(), static_cast<int>(static_cast<int32_t>(value)));
      }
      break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      directive += wide64 ? "ll" : "";
      directive += conversion;
      if (wide64) {
        std::snprintf(text, sizeof text, directive.c_str(), static_cast<unsigned long long>(value));
      } else {
        std::snprintf(text, sizeof text, directive.c_str(), static_cast<unsigned>(static_cast<uint32_t>(value)));
      }
      break;
    case 'p':
      std::snprintf(text, sizeof text, "%0*llX", int(sizeof(void*) * 2), static_cast<unsigned long long>(value));
      break;
    default: return false;  // floating point is not supported, as on Windows
  }
  *out += text;
  return true;
}

// Expands `pattern` into `out`; the error code on failure.
DWORD expand(const char* pattern, DWORD flags, InsertArguments& arguments, std::string* out) {
  bool ignoreInserts = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
  for (const char* p = pattern; *p; ++p) {
    if (*p != '%') {
      *out += *p;
      continue;
    }
    const char* escape = p + 1;
    if (*escape >= '1' && *escape <= '9') {
      unsigned number = unsigned(*escape - '0');
      const char* end = escape + 1;
      if (*end >= '0' && *end <= '9') number = number * 10 + unsigned(*end++ - '0');
      std::string format = "s";
      if (*end == '!') {
        const char* close = std::strchr(end + 1, '!');
        if (!close) return ERROR_INVALID_PARAMETER;
        format.assign(end + 1, close);
        end = close + 1;
      }
      if (ignoreInserts) {
        out->append(p, end);
      } else if (!arguments.present() || !formatInsert(format, arguments.get(number), out)) {
        return ERROR_INVALID_PARAMETER;
      }
      p = end - 1;
      continue;
    }
    switch (*escape) {
      case '\0': *out += '%'; return ERROR_SUCCESS;
      case '0': return ERROR_SUCCESS;  // ends the message, with no line break
      case 'n': *out += "\r\n"; break;
      case 'r': *out += '\r'; break;
      case 't': *out += '\t'; break;
      default: *out += *escape; break;  // "%%", "%.", "%!", "% " and the like
    }
    p = escape;
  }
  return ERROR_SUCCESS;
}

DWORD fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, va_list* Arguments) {
  if (!lpBuffer) return fail(ERROR_INVALID_PARAMETER);
  bool allocate = dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER;
  if (allocate) *reinterpret_cast<LPSTR*>(lpBuffer) = nullptr;

  const char* pattern = nullptr;
  if (dwFlags & FORMAT_MESSAGE_FROM_STRING) {
    pattern = static_cast<const char*>(lpSource);
    if (!pattern) return fail(ERROR_INVALID_PARAMETER);
  } else if (dwFlags & (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE)) {
    if (!languageAvailable(dwLanguageId)) return fail(ERROR_RESOURCE_LANG_NOT_FOUND);
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM)) return fail(kResourceTypeNotFound);
    // A Win32 error wrapped in an HRESULT is filed under its Win32 code.
    DWORD code = (dwMessageId & 0xFFFF0000) == 0x80070000 ? dwMessageId & 0xFFFF : dwMessageId;
    pattern = win32compat::findSystemMessage(code);
    if (!pattern) return fail(ERROR_MR_MID_NOT_FOUND);
  } else {
    return fail(ERROR_INVALID_PARAMETER);
  }

  std::string text;
  try {
    InsertArguments arguments(dwFlags, Arguments);
    DWORD error = expand(pattern, dwFlags, arguments, &text);
    if (error != ERROR_SUCCESS) return fail(error);
  } catch (const std::bad_alloc&) {
    return fail(ERROR_NOT_ENOUGH_MEMORY);
  }

  size_t needed = text.size() + 1;
  if (allocate) {
    auto* block = static_cast<LPSTR>(LocalAlloc(LMEM_FIXED, needed > nSize ? needed : nSize));
    if (!block) return 0;  // LocalAlloc has set the last error
    std::memcpy(block, text.c_str(), needed);
    *reinterpret_cast<LPSTR*>(lpBuffer) = block;
  } else {
    if (needed > nSize) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(lpBuffer, text.c_str(), needed);
  }
  return static_cast<DWORD>(text.size());
}
