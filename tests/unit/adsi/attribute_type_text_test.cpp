// The attribute type reader: the forms servers send, then text that is not a
// definition, which must fail with a reason and leave nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "schema/attribute_type_text.h"

namespace {

using adsi::AttributeTypeText;

AttributeTypeText parsed(const std::string& text) {
  AttributeTypeText at;
  std::string reason;
  EXPECT_TRUE(adsi::parseAttributeTypeText(text, at, reason)) << text << "\n" << reason;
  return at;
}

std::string failure(const std::string& text) {
  AttributeTypeText at;
  at.oid = "left over";
  std::string reason;
  EXPECT_FALSE(adsi::parseAttributeTypeText(text, at, reason)) << text;
  EXPECT_TRUE(at.oid.empty() && at.names.empty() && !at.singleValue) << "a failure leaves a result: " << text;
  return reason;
}

using Names = std::vector<std::string>;

// ---- forms ---------------------------------------------------------------

TEST(AttributeTypeForms, OpenLdapDefinitionWithEveryField) {
  const AttributeTypeText at = parsed(
      "( 2.5.18.1 NAME 'createTimestamp' DESC 'RFC4512: time which object was created' "
      "EQUALITY generalizedTimeMatch ORDERING generalizedTimeOrderingMatch "
      "SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )");
  EXPECT_EQ(at.oid, "2.5.18.1");
  EXPECT_EQ(at.names, Names{"createTimestamp"});
  EXPECT_EQ(at.equality, "generalizedTimeMatch");
  EXPECT_EQ(at.syntax, "1.3.6.1.4.1.1466.115.121.1.24");
  EXPECT_TRUE(at.singleValue);
  EXPECT_TRUE(at.noUserModification);
  EXPECT_TRUE(at.superior.empty());
}

TEST(AttributeTypeForms, NameListSuperiorAndLengthBound) {
  const AttributeTypeText at = parsed(
      "( 2.5.4.3 NAME ( 'cn' 'commonName' ) DESC 'RFC4519: common name(s) for which the entity is known by' "
      "SUP name SUBSTR caseIgnoreSubstringsMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{32768} )");
  EXPECT_EQ(at.names, (Names{"cn", "commonName"}));
  EXPECT_EQ(at.superior, "name");
  EXPECT_EQ(at.syntax, "1.3.6.1.4.1.1466.115.121.1.15");
  EXPECT_FALSE(at.singleValue);
  EXPECT_FALSE(at.noUserModification);
}

TEST(AttributeTypeForms, ActiveDirectoryQuotesItsSyntax) {
  const AttributeTypeText at =
      parsed("( 1.2.840.113556.1.4.221 NAME 'sAMAccountName' SYNTAX '1.3.6.1.4.1.1466.115.121.1.15' SINGLE-VALUE )");
  EXPECT_EQ(at.names, Names{"sAMAccountName"});
  EXPECT_EQ(at.syntax, "1.3.6.1.4.1.1466.115.121.1.15");
  EXPECT_TRUE(at.singleValue);
  EXPECT_EQ(parsed("( 1.2.3 NAME 'x' SYNTAX '1.3.6.1.4.1.1466.115.121.1.15{64}' )").syntax,
            "1.3.6.1.4.1.1466.115.121.1.15");
}

TEST(AttributeTypeForms, FlagsUsagesAndExtensions) {
  const AttributeTypeText at = parsed(
      "( 1.3.6.1.1.16.4 NAME 'entryUUID' OBSOLETE COLLECTIVE NO-USER-MODIFICATION USAGE dSAOperation "
      "X-ORIGIN ( 'RFC 4530' 'OpenLDAP' ) X-ORDERED 'VALUES' X-NDS_SYNTAX '1' )");
  EXPECT_EQ(at.names, Names{"entryUUID"});
  EXPECT_TRUE(at.noUserModification);
  EXPECT_TRUE(at.operational);
  for (const char* usage : {"userApplications", "directoryOperation", "distributedOperation", "dsaoperation"})
    EXPECT_EQ(parsed(std::string("( 1.2 USAGE ") + usage + " )").operational, usage[0] != 'u') << usage;
  EXPECT_FALSE(parsed("( 1.2 NAME 'x' )").operational);
}

TEST(AttributeTypeForms, EscapedQuotesAndBackslashesInStrings) {
  const AttributeTypeText at = parsed("( 1.2 NAME ( 'a\\27b' 'c\\5Cd' 'e\\5cf' 'g\\h' ) DESC 'it\\27s' )");
  EXPECT_EQ(at.names, (Names{"a'b", "c\\d", "e\\f", "g\\h"}));
}

TEST(AttributeTypeForms, SpacingCaseOrderAndOptionalOid) {
  EXPECT_EQ(parsed("(2.5.4.3 NAME('cn' 'commonName')SINGLE-VALUE)").names, (Names{"cn", "commonName"}));
  const AttributeTypeText spaced = parsed("\t(  1.2.3\r\n  NAME\t'x'   SYNTAX  1.4  )\n ");
  EXPECT_EQ(spaced.oid, "1.2.3");
  EXPECT_EQ(spaced.syntax, "1.4");
  const AttributeTypeText anyOrder = parsed("( 1.2 single-value syntax 1.5 Name 'y' equality caseExactMatch )");
  EXPECT_EQ(anyOrder.names, Names{"y"});
  EXPECT_EQ(anyOrder.syntax, "1.5");
  EXPECT_TRUE(anyOrder.singleValue);
  const AttributeTypeText noOid = parsed("( NAME 'z' SUP name )");
  EXPECT_TRUE(noOid.oid.empty());
  EXPECT_EQ(noOid.names, Names{"z"});
  EXPECT_EQ(parsed("( '1.2.3' NAME 'q' )").oid, "1.2.3");
  EXPECT_EQ(parsed("( X-ORIGIN 'x' )").oid, "");
  EXPECT_TRUE(parsed("( 1.2 NAME ( ) )").names.empty());
}

TEST(AttributeTypeForms, LongListsParseInLinearTime) {
  std::string text = "( 1.2 NAME (";
  for (int i = 0; i < 100000; ++i) text += " 'n" + std::to_string(i) + "'";
  text += " ) X-A ( 'v' ) )";
  const AttributeTypeText at = parsed(text);
  ASSERT_EQ(at.names.size(), 100000u);
  EXPECT_EQ(at.names.back(), "n99999");
}

// ---- malformed input -----------------------------------------------------

TEST(AttributeTypeMalformed, ReasonsNameTheFaultAndWhere) {
  EXPECT_EQ(failure(""), "attribute type definition does not parse (Missing opening parenthesis)");
  EXPECT_EQ(failure("  1.2 NAME 'x' )"),
            "attribute type definition does not parse (Missing opening parenthesis near '1.2 NAME 'x' )')");
  EXPECT_EQ(failure("( 1.2 FOO bar )"), "attribute type definition does not parse (Unexpected token near 'FOO bar )')");
  EXPECT_EQ(failure("( 1.2 NAME 'x' NAME 'y' )"),
            "attribute type definition does not parse (Duplicate option near 'NAME 'y' )')");
  EXPECT_EQ(failure("( 1.2 NAME 'x'"), "attribute type definition does not parse (Unexpected end of data)");
  EXPECT_EQ(failure("( 1.2 NAME 'x )"),
            "attribute type definition does not parse (Unexpected end of data near ''x )')");
}

TEST(AttributeTypeMalformed, FieldsWithoutTheirValues) {
  for (const char* text :
       {"( 1.2 SUP )", "( 1.2 NAME )", "( 1.2 NAME x )", "( 1.2 NAME ( 'x' y ) )", "( 1.2 NAME ( 'x' )",
        "( 1.2 DESC bare )", "( 1.2 EQUALITY 'a b' )", "( 1.2 SYNTAX '' )", "( 1.2 USAGE )", "( 1.2 USAGE everyone )",
        "( 1.2 X-ORIGIN )", "( 1.2 X-ORIGIN bare )", "( '' NAME 'x' )", "( 1.2 ( ) )"})
    EXPECT_NE(failure(text), "") << text;
}

TEST(AttributeTypeMalformed, LengthBoundsThatAreNotNumbers) {
  for (const char* syntax : {"1.2{", "1.2{}", "1.2{x}", "1.2{5", "{5}", "1.2{5}x", "'1.2{-1}'"})
    EXPECT_NE(failure(std::string("( 1.2 SYNTAX ") + syntax + " )"), "") << syntax;
}

TEST(AttributeTypeMalformed, TextAfterTheDefinitionAndControlBytes) {
  EXPECT_NE(failure("( 1.2 NAME 'x' ) trailing"), "");
  EXPECT_NE(failure("( 1.2 NAME 'x' ) )"), "");
  EXPECT_NE(failure(std::string("( 1.2\0 NAME 'x' )", 17)), "");
  EXPECT_NE(failure("( 1.2 NAME 'x' \x01 )"), "");
  EXPECT_NE(failure("( 1.2\x0b NAME 'x' )"), "");
}

TEST(AttributeTypeMalformed, DeepParenthesesFailWithoutRecursion) {
  EXPECT_NE(failure(std::string(1000000, '(')), "");
  EXPECT_NE(failure("( 1.2 NAME " + std::string(1000000, '(')), "");
  EXPECT_NE(failure("( 1.2 X-A ( " + std::string(1000000, '\'')), "");
}

TEST(AttributeTypeMalformed, LongTextIsShownCutAtACharacter) {
  // 62 bytes, then a 3-byte character across the 64-byte limit.
  const std::string text = "( 1.2 BAD " + std::string(58, 'a') + "\xE2\x82\xAC" + std::string(200, 'b') + " )";
  const std::string reason = failure(text);
  const std::string shown = "BAD " + std::string(58, 'a');
  EXPECT_EQ(reason, "attribute type definition does not parse (Unexpected token near '" + shown + "...')");
}

}  // namespace
