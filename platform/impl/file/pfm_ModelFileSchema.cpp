// The checks the loader makes of a model file's schema before it reads any table.
#include "pfm_ModelFileSchema.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <map>
#include <vector>

#include "pfm_ModelFile.h"

namespace pfm {

namespace {

struct Table {
  std::string name;
  std::vector<std::string> columns;
  bool optional = false;  // a file may lack it; when present it is checked
};

// SQLite's names compare without regard to case.
std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// The tables and columns of format `version`, read from its schema.
std::vector<Table> ReadFormatTables(int version) {
  std::vector<Table> out;
  for (bool optional : {false, true}) {
    sql::Db db(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.Exec(optional ? ModelFileOptionalSchema() : ModelFileSchema(version));
    sql::Statement names(db, "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY rowid");
    while (names.Step()) {
      Table t{names.Text(0), {}, optional};
      sql::Statement columns(db, "SELECT name FROM pragma_table_info(?1)");
      columns.Bind(1, t.name);
      while (columns.Step()) t.columns.push_back(Lower(columns.Text(0)));
      out.push_back(std::move(t));
    }
  }
  return out;
}

// Each version's tables, read once.
const std::vector<Table>& FormatTables(int version) {
  static const std::vector<Table> tables[] = {ReadFormatTables(1), ReadFormatTables(2)};
  return tables[version == 1 ? 0 : 1];
}

std::string KindProblem(const std::string& table, const std::string& type, bool withoutRowid) {
  if (type == "view") return "the " + table + " table is a view";
  if (type == "virtual") return "the " + table + " table is a virtual table";
  if (type != "table") return "the " + table + " table is a " + type + " table";
  if (withoutRowid) return "the " + table + " table is a table without rowids";
  return "";
}

}  // namespace

void GuardConnection(sql::Db& db, std::int64_t fileSize) {
  sqlite3* handle = db.handle();
  sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  // No stored value or row is larger than the file that holds it.
  constexpr std::int64_t kFloor = 1 << 20;
  sqlite3_limit(handle, SQLITE_LIMIT_LENGTH,
                static_cast<int>(
                    std::clamp<std::int64_t>(fileSize, kFloor, std::numeric_limits<int>::max())));
  db.Exec("PRAGMA cell_size_check = ON");
}

std::string ModelFileSchemaProblem(sql::Db& db, int version) {
  // Every table of the file with its kind and columns, in one query.
  struct Found {
    std::string type;
    bool withoutRowid = false;
    std::map<std::string, bool> columns;  // column -> stored (not generated or hidden)
  };
  std::map<std::string, Found> found;
  sql::Statement list(db,
                      "SELECT t.name, t.type, t.wr, c.name, c.hidden FROM pragma_table_list AS t "
                      "LEFT JOIN pragma_table_xinfo(t.name) AS c WHERE t.schema = 'main'");
  while (list.Step()) {
    Found& table = found[Lower(list.Text(0))];
    table.type = list.Text(1);
    table.withoutRowid = list.Int(2) != 0;
    if (!list.IsNull(3)) table.columns[Lower(list.Text(3))] = list.Int(4) == 0;
  }
  for (const Table& table : FormatTables(version)) {
    auto f = found.find(table.name);
    if (f == found.end()) {
      if (table.optional) continue;
      return "the file has no " + table.name + " table";
    }
    std::string problem = KindProblem(table.name, f->second.type, f->second.withoutRowid);
    if (!problem.empty()) return problem;
    for (const std::string& column : table.columns) {
      auto c = f->second.columns.find(column);
      if (c == f->second.columns.end())
        return "the " + table.name + " table has no column " + column;
      if (!c->second) return "the " + table.name + " table's column " + column + " is generated";
    }
  }
  return "";
}

}  // namespace pfm
