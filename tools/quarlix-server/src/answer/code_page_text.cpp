#include "answer/code_page_text.h"

#include "utf_codec.h"
#include "win32_compat.h"
#include "windows.h"

namespace {

// Latin1_General, case-insensitive, accent-sensitive, kana- and width-
// insensitive: SQL_Latin1_General_CP1_CI_AS (sort order 52) for code page
// 1252, and its UTF-8 form (version 2 with the UTF-8 flag) for 65001.
constexpr tds::Collation kLatin1 = {0x09, 0x04, 0xD0, 0x00, 0x34};
constexpr tds::Collation kLatin1Utf8 = {0x09, 0x04, 0xD0, 0x24, 0x00};

}  // namespace

std::optional<CodePageText> CodePageText::choose(unsigned codePage) {
  if (codePage != 1252 && codePage != 65001) return std::nullopt;
  if (!Win32CompatSetAnsiCodePage(codePage)) return std::nullopt;
  return CodePageText(codePage, codePage == 65001 ? kLatin1Utf8 : kLatin1);
}

std::u16string CodePageText::toUtf16(std::string_view bytes) const {
  if (bytes.empty()) return std::u16string();
  int units = MultiByteToWideChar(codePage_, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (units <= 0) return unicode::utf8ToUtf16(bytes);
  std::u16string wide(static_cast<size_t>(units), u'\0');
  MultiByteToWideChar(codePage_, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), units);
  return wide;
}

std::string CodePageText::fromUtf16(std::u16string_view wide) const {
  if (wide.empty()) return std::string();
  const char* fallback = codePage_ == 65001 ? nullptr : "?";
  int size =
      WideCharToMultiByte(codePage_, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, fallback, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage_, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, fallback, nullptr);
  return out;
}

std::string CodePageText::fromUtf8(std::string_view utf8) const {
  if (codePage_ == 65001) return std::string(utf8);
  return fromUtf16(unicode::utf8ToUtf16(utf8));
}
