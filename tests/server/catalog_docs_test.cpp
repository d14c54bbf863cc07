// The server's catalog and docs/server-statements.md name the same things:
// the procedure's names, the system procedures, the SET options that change
// an answer, the types of CAST and CONVERT, the variables and functions of
// SELECT with their types, SERVERPROPERTY's properties and the system objects
// clients look for. A name added to one and not the other fails here.
#include "sql/catalog.h"
#include "tsql/lexer.h"
#include "tsql/procedure_names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::vector<std::string> docLines() {
  std::ifstream file(QUARLIX_DOCS_DIR "/server-statements.md");
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  EXPECT_FALSE(lines.empty());
  return lines;
}

std::string trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The cells of the rows of the first table after the line holding `title`.
Rows tableAfter(const std::string& title) {
  const std::vector<std::string> lines = docLines();
  size_t at = 0;
  while (at < lines.size() && lines[at].find(title) == std::string::npos) ++at;
  EXPECT_LT(at, lines.size()) << title;
  while (at < lines.size() && lines[at].rfind("|", 0) != 0) ++at;
  Rows rows;
  for (at += 2; at < lines.size() && lines[at].rfind("|", 0) == 0; ++at) {
    std::vector<std::string> cells;
    std::stringstream row(lines[at].substr(1));
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(trimmed(cell));
    rows.push_back(cells);
  }
  return rows;
}

// The first `code` of a cell.
std::string code(const std::string& cell) {
  const size_t open = cell.find('`');
  return cell.substr(open + 1, cell.find('`', open + 1) - open - 1);
}

std::set<std::string> lowerCodes(const Rows& rows) {
  std::set<std::string> names;
  for (const auto& row : rows) names.insert(tsql::lowered(code(row.at(0))));
  return names;
}

template <class Row>
std::set<std::string> lowerNames(const std::vector<Row>& rows) {
  std::set<std::string> names;
  for (const Row& row : rows) names.insert(tsql::lowered(row.name));
  return names;
}

const sql::Catalog& catalog = sql::Catalog::instance();

TEST(CatalogAndDocs, NameTheSameProceduresOptionsTypesPropertiesAndObjects) {
  EXPECT_EQ(lowerCodes(tableAfter("### The procedure's names")),
            std::set<std::string>(std::begin(tsql::kProcedureNames), std::end(tsql::kProcedureNames)));
  EXPECT_EQ(lowerCodes(tableAfter("### SET options with an effect")), lowerNames(catalog.setOptions()));
  EXPECT_EQ(lowerCodes(tableAfter("The types of `CAST` and `CONVERT`")), lowerNames(catalog.convertTypes()));
  EXPECT_EQ(lowerCodes(tableAfter("The properties of `SERVERPROPERTY`")), lowerNames(catalog.properties()));
  EXPECT_EQ(lowerCodes(tableAfter("### System objects clients look for")), lowerNames(catalog.probedObjects()));

  const Rows procedures = tableAfter("### System procedures");
  EXPECT_EQ(lowerCodes(procedures), lowerNames(catalog.systemProcedures()));
  for (const auto& row : procedures) {
    const sql::SystemProcedure* known = catalog.systemProcedure(code(row.at(0)));
    ASSERT_TRUE(known) << row.at(0);
    EXPECT_EQ(std::to_string(known->number), row.at(1)) << row.at(0);
    EXPECT_EQ(known->served, row.at(2).rfind("no", 0) != 0) << row.at(0);
  }
}

TEST(CatalogAndDocs, NameTheSameVariablesAndFunctionsWithTheirTypes) {
  std::set<std::string> documentedGlobals, documentedFunctions;
  for (const auto& row : tableAfter("The variables and functions")) {
    const std::string name = tsql::lowered(code(row.at(0)));
    const std::string& type = row.at(1);
    if (name.rfind("@@", 0) == 0) {
      documentedGlobals.insert(name.substr(2));
      const sql::GlobalVariable* global = catalog.global(name.substr(2));
      ASSERT_TRUE(global) << name;
      EXPECT_EQ(type, global->type) << name;
    } else {
      const std::string function = name.substr(0, name.find('('));
      documentedFunctions.insert(function);
      const sql::Function* known = catalog.functionNamed(function);
      ASSERT_TRUE(known) << name;
      EXPECT_EQ(type, known->type) << name;
    }
  }
  EXPECT_EQ(documentedGlobals, lowerNames(catalog.globals()));
  EXPECT_EQ(documentedFunctions, lowerNames(catalog.functions()));
}

}  // namespace
