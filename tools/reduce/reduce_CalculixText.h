// Small strict parsers shared by the CalculiX readers: a field is a number only when all of it
// is, and a count never exceeds what the caller allows.
#pragma once

#include <string>
#include <vector>

namespace uma::reduce::ccx {

std::string Trim(const std::string& s);
std::string Upper(std::string s);

// Comma-separated fields, each trimmed; a trailing empty field (a line ending in a comma) is
// dropped.
std::vector<std::string> Fields(const std::string& line);

// An int: optional sign and digits only, within int's range.
bool ParseInt(const std::string& text, int& out);
// A finite double; a Fortran exponent ("1.5D3") is taken too.
bool ParseReal(const std::string& text, double& out);

}  // namespace uma::reduce::ccx
