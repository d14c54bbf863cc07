// The option table both hosts parse their command lines with.
#include "host_options.h"
#include "host_settings.h"

#include "library_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

struct Parsed {
  HostSettings settings;
  bool quiet = false;
  std::string name;
  unsigned count = 5;
  std::vector<std::string> tags;
  std::vector<std::string> values;
};

// A host of every kind of row: the shared settings, a flag, a text with a
// short name, a number, and a repeatable text.
OptionTable tableFor(Parsed& p, bool takesValues = true) {
  OptionTable table("host", takesValues);
  addHostSettings(table, p.settings, {"Options", " (note on directory)", "", " (note on code page)"});
  table.add(flagOption("--quiet", "Options", "say less", p.quiet));
  HostOption name = textOption("--name", "NAME", "Options", "a name", p.name);
  name.shortName = "-n";
  table.add(std::move(name));
  table.add(numberOption("--count", "N", "Options", "how many", 0, 1000, p.count));
  HostOption tag = option("--tag", "TAG", "Options", "a tag", OptionKind::Text,
                          [&p](const std::string& text, std::uint32_t, std::string& error) {
                            if (text == "bad") {
                              error = "--tag refuses 'bad'";
                              return false;
                            }
                            p.tags.push_back(text);
                            return true;
                          });
  tag.repeatable = true;
  table.add(std::move(tag));
  addProgramOptions(table, p.settings, "Options");
  return table;
}

std::string errorOf(std::vector<std::string> arguments, bool takesValues = true) {
  Parsed p;
  std::string error;
  EXPECT_FALSE(tableFor(p, takesValues).parse(arguments, p.values, error)) << arguments[0];
  return error;
}

TEST(HostOptionForms, SeparateAndInlineValuesAlike) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--name", "x=y", "--count", "7", "--codepage", "1252", "--library", "l.so"},
        {"--name=x=y", "--count=7", "--codepage=1252", "--library=l.so"},
        {"-nx=y", "--count", "7", "--codepage=1252", "--library", "l.so"},
        {"-n", "x=y", "--count=7", "--codepage", "1252", "--library=l.so"}}) {
    Parsed p;
    std::string error;
    ASSERT_TRUE(tableFor(p).parse(arguments, p.values, error)) << error;
    EXPECT_EQ(p.name, "x=y");
    EXPECT_EQ(p.count, 7u);
    EXPECT_EQ(p.settings.codePage, 1252u);
    EXPECT_EQ(p.settings.library, "l.so");
    EXPECT_TRUE(p.values.empty());
  }
}

TEST(HostOptionForms, PlainArgumentsFlagsAndRepeats) {
  Parsed p;
  std::string error;
  ASSERT_TRUE(
      tableFor(p).parse({"a", "--quiet", "-", "--tag", "t1", "--tag=t2", "--", "--quiet", "-n"}, p.values, error))
      << error;
  EXPECT_TRUE(p.quiet);
  EXPECT_EQ(p.tags, (std::vector<std::string>{"t1", "t2"}));
  EXPECT_EQ(p.values, (std::vector<std::string>{"a", "-", "--quiet", "-n"}));
  EXPECT_FALSE(p.settings.help);
  EXPECT_EQ(p.settings.directory, DirectoryChoice::Default);

  Parsed h;
  ASSERT_TRUE(tableFor(h).parse({"-h", "--version", "--directory=d.ldif"}, h.values, error)) << error;
  EXPECT_TRUE(h.settings.help);
  EXPECT_TRUE(h.settings.version);
  EXPECT_EQ(h.settings.directory, DirectoryChoice::File);
  EXPECT_EQ(h.settings.directoryFile, "d.ldif");
}

TEST(HostOptionNumbers, DigitsAloneWithinTheRange) {
  EXPECT_EQ(parseWholeNumber("0"), 0u);
  EXPECT_EQ(parseWholeNumber("007"), 7u);
  EXPECT_EQ(parseWholeNumber("4294967295"), 4294967295u);
  for (const char* bad : {"", "4294967296", "99999999999999999999", "-1", "+1", " 1", "1 ", "0x10", "1e3", "1.0"}) {
    EXPECT_FALSE(parseWholeNumber(bad)) << bad;
  }
  Parsed p;
  std::string error;
  ASSERT_TRUE(tableFor(p).parse({"--count", "0", "--codepage", "65535"}, p.values, error)) << error;
  EXPECT_EQ(p.count, 0u);
  EXPECT_EQ(p.settings.codePage, 65535u);
  ASSERT_TRUE(tableFor(p).parse({"--count=1000", "--codepage=1"}, p.values, error)) << error;
  EXPECT_EQ(p.count, 1000u);
  EXPECT_EQ(p.settings.codePage, 1u);

  EXPECT_EQ(errorOf({"--count", "1001"}), "--count takes a number from 0 to 1000, not 1001");
  EXPECT_EQ(errorOf({"--codepage=0"}), "--codepage takes a number from 1 to 65535, not 0");
  EXPECT_EQ(errorOf({"--codepage", "65536"}), "--codepage takes a number from 1 to 65535, not 65536");
  EXPECT_EQ(errorOf({"--codepage", "99999999999"}), "--codepage takes a number from 1 to 65535, not 99999999999");
  EXPECT_EQ(errorOf({"--count", "-1"}), "--count takes a whole number in decimal digits, not '-1'");
  EXPECT_EQ(errorOf({"--codepage=0x4e4"}), "--codepage takes a whole number in decimal digits, not '0x4e4'");
  EXPECT_EQ(errorOf({"--count", " 5"}), "--count takes a whole number in decimal digits, not ' 5'");
}

TEST(HostOptionErrors, OneTextPerFault) {
  EXPECT_EQ(errorOf({"--bogus"}), "unknown option '--bogus' (host --help lists them)");
  EXPECT_EQ(errorOf({"--bogus=1"}), "unknown option '--bogus' (host --help lists them)");
  EXPECT_EQ(errorOf({"-x"}), "unknown option '-x' (host --help lists them)");
  EXPECT_EQ(errorOf({"-hv"}), "unknown option '-hv' (host --help lists them)");
  EXPECT_EQ(errorOf({"--name"}), "--name needs a value");
  EXPECT_EQ(errorOf({"-n"}), "-n needs a value");
  EXPECT_EQ(errorOf({"--codepage"}), "--codepage needs a value");
  EXPECT_EQ(errorOf({"--library="}), "--library needs a value that is not empty");
  EXPECT_EQ(errorOf({"--count", ""}), "--count needs a value that is not empty");
  EXPECT_EQ(errorOf({"--quiet=yes"}), "--quiet takes no value");
  EXPECT_EQ(errorOf({"--help="}), "--help takes no value");
  EXPECT_EQ(errorOf({"--name", "a", "-n", "b"}), "--name given twice");
  EXPECT_EQ(errorOf({"--codepage=1252", "--codepage=1252"}), "--codepage given twice");
  EXPECT_EQ(errorOf({"--directory", "a", "--no-directory"}), "give one of --directory FILE or --no-directory, once");
  EXPECT_EQ(errorOf({"--no-directory", "--no-directory"}), "--no-directory given twice");
  EXPECT_EQ(errorOf({"--tag", "ok", "--tag", "bad"}), "--tag refuses 'bad'");
  EXPECT_EQ(errorOf({"plain"}, false), "unexpected argument 'plain' (host --help lists the options)");
  EXPECT_EQ(errorOf({"--", "--quiet"}, false), "unexpected argument '--quiet' (host --help lists the options)");
}

TEST(HostOptionUsage, EveryRowListedUnderItsSectionInTableOrder) {
  Parsed p;
  OptionTable table = tableFor(p);
  table.describe("Values", "VALUE...", "a plain argument");
  table.add(numberOption("--a-rather-long-option-name", "N", "Values",
                         "words enough to need a second line of help text, which starts at the help column as the "
                         "first line does",
                         1, 2, p.count));
  const std::string text = table.usage("Usage: host [OPTIONS]\n", "Exit status: 0.\n");
  const std::string expected =
      "Usage: host [OPTIONS]\n"
      "\n"
      "Options:\n"
      "  --library PATH         the procedure library (default: the one beside this\n"
      "                         program, libquarlix.so or quarlix.dll)\n"
      "  --directory FILE.ldif  mount this LDIF file as the embedded directory (note\n"
      "                         on directory)\n"
      "  --no-directory         mount none: serverless paths use the LDAP\n"
      "                         configuration\n"
      "  --codepage N           the ANSI code page of the procedure's text (note on\n"
      "                         code page)\n"
      "  --quiet                say less\n"
      "  -n, --name NAME        a name\n"
      "  --count N              how many\n"
      "  --tag TAG              a tag\n"
      "  --version              print the version and exit\n"
      "  -h, --help             print this help and exit\n"
      "\n"
      "Values:\n"
      "  VALUE...               a plain argument\n"
      "  --a-rather-long-option-name N\n"
      // 79 characters: the widest line.
      "                         words enough to need a second line of help text, which\n"
      "                         starts at the help column as the first line does\n"
      "\n"
      "Exit status: 0.\n";
  EXPECT_EQ(text, expected);
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LE(end - start, 79u) << text.substr(start, end - start);
  }
  // A line of describe() is listed, never parsed.
  EXPECT_EQ(errorOf({"VALUE..."}, false), "unexpected argument 'VALUE...' (host --help lists the options)");
}

TEST(HostSettingsRules, DirectoryAndLibraryBesideTheProgram) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("host_settings_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder / "samples");
  const std::string here = folder.string();
  const std::string sample = joinPath(joinPath(here, "samples"), "corp.ldif");

  Parsed p;
  EXPECT_EQ(directoryToMount(p.settings, here), "");  // no sample there
  std::ofstream(sample) << "dn: dc=example\n";
  EXPECT_EQ(directoryToMount(p.settings, here), sample);
  std::string error;
  Parsed none;
  ASSERT_TRUE(tableFor(none).parse({"--no-directory"}, none.values, error)) << error;
  EXPECT_EQ(directoryToMount(none.settings, here), "");
  Parsed file;
  ASSERT_TRUE(tableFor(file).parse({"--directory=other.ldif", "--library=x.so"}, file.values, error)) << error;
  EXPECT_EQ(directoryToMount(file.settings, here), "other.ldif");

  EXPECT_EQ(libraryToLoad(p.settings, here), joinPath(here, defaultLibraryName()));
  EXPECT_EQ(libraryToLoad(file.settings, here), "x.so");
  std::filesystem::remove_all(folder);
}

}  // namespace
