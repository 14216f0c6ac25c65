// What the loader makes sure of before it reads a model file's tables. The file may come from
// anywhere: the connection runs none of the file's own SQL (every table of the format must be an
// ordinary table whose columns are stored, not a view, a virtual table or a generated column,
// which could make a read endless or huge) and holds no value larger than the file.
#pragma once

#include <cstdint>
#include <string>

#include "pfm_Sqlite.h"

namespace pfm {

// Settings for a connection to a file of `fileSize` bytes that may be hostile.
void GuardConnection(sql::Db& db, std::int64_t fileSize);

// Why the tables of `db` are not those of format `version`, or "" when they are. Tables and
// columns beyond the format's are left alone.
std::string ModelFileSchemaProblem(sql::Db& db, int version);

}  // namespace pfm
