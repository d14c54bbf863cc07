// The command line of quarlix-exec.
#include "options.h"

#include <gtest/gtest.h>

namespace {

bool parse(std::vector<std::string> arguments, Options& options, std::string& error) {
  return parseOptions(arguments, options, error);
}

TEST(ExecOptions, ValuesFormsAndRepeatedFaults) {
  Options o;
  std::string error;
  ASSERT_TRUE(parse({"--format=csv", "--library", "lib.so", "--fault", "Search=0x80004005", "--fault=Bind=-2147467259",
                     "--codepage", "1252", "--trace", "--", "-x", "b"},
                    o, error))
      << error;
  EXPECT_EQ(o.format, OutputFormat::Csv);
  EXPECT_EQ(o.library, "lib.so");
  ASSERT_EQ(o.faults.size(), 2u);
  EXPECT_EQ(o.faults[0].operation, "Search");
  EXPECT_EQ(o.faults[0].result, static_cast<std::int32_t>(0x80004005u));
  EXPECT_EQ(o.faults[1].result, static_cast<std::int32_t>(0x80004005u));
  EXPECT_EQ(o.codePage, 1252u);
  EXPECT_TRUE(o.trace);
  EXPECT_EQ(o.values, (std::vector<std::string>{"-x", "b"}));

  Options q;
  ASSERT_TRUE(parse({"-QEXEC quarlix 'a'", "--no-directory"}, q, error)) << error;
  EXPECT_EQ(q.query, "EXEC quarlix 'a'");
  EXPECT_EQ(q.directory, DirectoryChoice::None);
  EXPECT_TRUE(q.usesStandIns());

  Options l;
  ASSERT_TRUE(parse({"--fault", "list"}, l, error)) << error;
  EXPECT_TRUE(l.listFaults);
  EXPECT_TRUE(l.faults.empty());
}

TEST(ExecOptions, RefusesWithAReason) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  };
  for (const Case& c : std::vector<Case>{
           {{"-Q", "EXEC quarlix", "value"}, "give the parameters either with -Q or as plain arguments, not both"},
           {{"--format", "xml"}, "unknown --format 'xml'; expected table, csv, json or events"},
           {{"--directory", "a.ldif", "--no-directory"}, "give one of --directory FILE or --no-directory, once"},
           {{"--fault", "Search"},
            "--fault takes OPERATION=HRESULT (like IDirectorySearch::ExecuteSearch=0x80004005) or list, not 'Search'"},
           {{"--fault", "Search=0x100000000"},
            "--fault takes OPERATION=HRESULT (like IDirectorySearch::ExecuteSearch=0x80004005) or list, not "
            "'Search=0x100000000'"},
           {{"--codepage", "-1"}, "--codepage takes a whole number in decimal digits, not '-1'"},
           {{"--library"}, "--library needs a value"},
           {{"--trace=yes"}, "--trace takes no value"},
           {{"--bogus"}, "unknown option '--bogus' (quarlix-exec --help lists them)"},
       }) {
    Options o;
    std::string error;
    EXPECT_FALSE(parse(c.arguments, o, error)) << c.arguments[0];
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
