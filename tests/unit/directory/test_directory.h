// A small directory written and mounted for the directory tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

// DC=test,DC=example with:
//   OU=People: Ann Archer (no mail, objectGUID, description),
//              Bob Baker (mail, two telephoneNumbers), Cy Cole (mail, title, description "Zoë");
//   OU=Bulk: 250 users u000..u249;
//   OU=Groups: Trio (Ann, Bob, Cy), Empty (no member), Outer (Trio);
//   OU=Mixed: five children of three classes;
//   OU=Wide: Wide Values (a 20 000-character description, a 100 000-byte
//            jpegPhoto, 5 000 otherMailbox values), Null Text (description
//            "NULL", a four-byte objectGUID "NULL"), No Photo, With Photo
//            (a thumbnailPhoto), Many Attributes (a0000 .. a4999).
// Faults are cleared before and after every test.
class DirectoryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  static const std::string kRoot;                        // "DC=test,DC=example"
  static std::string path(const std::string& relative);  // "LDAP://" + relative + "," + kRoot
};
