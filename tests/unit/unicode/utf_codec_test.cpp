#include "utf_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using unicode::BadInput;

std::string bytes(std::initializer_list<unsigned> values) {
  std::string out;
  for (unsigned v : values) out += static_cast<char>(v);
  return out;
}

// The Unicode Standard's own examples of U+FFFD substitution of maximal
// subparts (chapter 3, "Conformance", tables 3-8 to 3-12).
struct SubpartCase {
  const char* what;
  std::string in;
  std::u16string out;
};

const std::vector<SubpartCase>& subpartCases() {
  static const std::vector<SubpartCase> cases = {
      {"mixed", bytes({0x61, 0xF1, 0x80, 0x80, 0xE1, 0x80, 0xC2, 0x62, 0x80, 0x63, 0x80, 0xBF, 0x64}),
       u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
      {"non-shortest forms", bytes({0xC0, 0xAF, 0xE0, 0x80, 0xBF, 0xF0, 0x81, 0x82, 0x41}),
       u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDA"},
      {"surrogates", bytes({0xED, 0xA0, 0x80, 0xED, 0xBF, 0xBF, 0xED, 0xAF, 0x41}),
       u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDA"},
      {"other ill-formed", bytes({0xF4, 0x91, 0x92, 0x93, 0xFF, 0x41, 0x80, 0xBF, 0x42}),
       u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDA\uFFFD\uFFFDB"},
      {"truncated", bytes({0xE1, 0x80, 0xE2, 0xF0, 0x91, 0x92, 0xF1, 0xBF, 0x41}), u"\uFFFD\uFFFD\uFFFD\uFFFDA"},
  };
  return cases;
}

TEST(Utf8ToUtf16, EachMaximalSubpartBecomesOneReplacement) {
  for (const SubpartCase& c : subpartCases()) {
    std::u16string out = u"untouched";
    EXPECT_TRUE(unicode::utf8ToUtf16(c.in, out, BadInput::replace)) << c.what;
    EXPECT_EQ(out, c.out) << c.what;
    // Refusing writes nothing.
    out = u"untouched";
    EXPECT_FALSE(unicode::utf8ToUtf16(c.in, out, BadInput::refuse)) << c.what;
    EXPECT_EQ(out, u"untouched") << c.what;
    EXPECT_FALSE(unicode::isWellFormedUtf8(c.in)) << c.what;
  }
}

TEST(Utf8ToUtf16, SubpartLengthsAtTheEdgesOfEachLeadByteRange) {
  struct Edge {
    std::string in;
    size_t length;
    bool wellFormed;
  };
  const Edge edges[] = {
      {bytes({0xC1, 0xBF}), 1, false},              // overlong two-byte
      {bytes({0xC2, 0x80}), 2, true},               // U+0080
      {bytes({0xE0, 0x9F, 0xBF}), 1, false},        // overlong three-byte
      {bytes({0xE0, 0xA0, 0x80}), 3, true},         // U+0800
      {bytes({0xED, 0x9F, 0xBF}), 3, true},         // U+D7FF
      {bytes({0xED, 0xA0, 0x80}), 1, false},        // U+D800 encoded
      {bytes({0xEF, 0xBF, 0xBF}), 3, true},         // U+FFFF
      {bytes({0xF0, 0x8F, 0xBF, 0xBF}), 1, false},  // overlong four-byte
      {bytes({0xF4, 0x8F, 0xBF, 0xBF}), 4, true},   // U+10FFFF
      {bytes({0xF4, 0x90, 0x80, 0x80}), 1, false},  // past U+10FFFF
      {bytes({0xF5, 0x80, 0x80, 0x80}), 1, false},  // no lead byte
      {bytes({0xF1, 0x80, 0x80}), 3, false},        // cut short at the end
      {bytes({0xF1, 0x80, 0x80, 0x41}), 3, false},  // cut short by ASCII
  };
  for (const Edge& e : edges) {
    const unicode::Decoded d = unicode::decodeUtf8(e.in, 0);
    EXPECT_EQ(d.length, e.length) << testing::PrintToString(e.in);
    EXPECT_EQ(d.wellFormed, e.wellFormed) << testing::PrintToString(e.in);
    if (!d.wellFormed) {
      EXPECT_EQ(d.scalar, unicode::kReplacementCharacter);
    }
  }
}

TEST(Utf16ToUtf8, EachUnpairedSurrogateBecomesOneReplacement) {
  struct Case {
    std::u16string in;
    std::string out;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const Case cases[] = {
      {std::u16string(1, u'\xD800'), fffd},                 // high at the end
      {std::u16string(1, u'\xDC00') + u"a", fffd + "a"},    // low alone
      {std::u16string(1, u'\xD83D') + u"a", fffd + "a"},    // high before a non-low
      {std::u16string{u'\xDE00', u'\xD83D'}, fffd + fffd},  // a pair the wrong way round
      {std::u16string{u'\xD83D', u'\xD83D', u'\xDE00'}, fffd + "\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    EXPECT_TRUE(unicode::utf16ToUtf8(std::u16string_view(c.in), out, BadInput::replace));
    EXPECT_EQ(out, c.out);
    out = "untouched";
    EXPECT_FALSE(unicode::utf16ToUtf8(std::u16string_view(c.in), out, BadInput::refuse));
    EXPECT_EQ(out, "untouched");
  }
}

// Every scalar value goes through UTF-8 and UTF-16 and back unchanged, and
// both of its forms are well-formed; every surrogate's UTF-8 is not.
TEST(UtfRoundTrip, EveryScalarValue) {
  size_t failures = 0;
  for (char32_t c = 0; c <= 0x10FFFF && failures < 10; ++c) {
    std::string utf8;
    unicode::appendUtf8(utf8, c);
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    const unicode::Decoded d = unicode::decodeUtf8(utf8, 0);
    if (surrogate) {
      failures += d.wellFormed || d.length != 1;
      continue;
    }
    std::u16string utf16;
    std::string back;
    const bool ok = unicode::utf8ToUtf16(utf8, utf16, BadInput::refuse) &&
                    unicode::utf16ToUtf8(std::u16string_view(utf16), back, BadInput::refuse);
    const size_t units = c < 0x10000 ? 1 : 2;
    const size_t width = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (!ok || back != utf8 || utf16.size() != units || utf8.size() != width || d.scalar != c || d.length != width) {
      ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned long>(c);
      ++failures;
    }
  }
  EXPECT_EQ(failures, 0u);
}

TEST(Utf16ToUtf8, WorksOverTheWideCharacterOfThePlatform) {
  // The stand-ins' WCHAR is char16_t here and wchar_t on Windows.
  const std::basic_string<wchar_t> wide = {L'a', static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  std::string out;
  EXPECT_TRUE(unicode::utf16ToUtf8(std::basic_string_view<wchar_t>(wide), out, BadInput::refuse));
  EXPECT_EQ(out, "a\xF0\x9F\x98\x80");
  std::basic_string<wchar_t> back;
  EXPECT_TRUE(unicode::utf8ToUtf16(out, back, BadInput::refuse));
  EXPECT_EQ(back, wide);
}

}  // namespace
