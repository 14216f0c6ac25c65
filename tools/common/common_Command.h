// The manners every tool's command line shares: options as "--key value" or "--key=value",
// -h/--help, --version, a usage error on one line after the program's name, and one set of exit
// codes, listed at the foot of each --help.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>
#include <string>

namespace uma::common {

enum ExitCode : int {
  kExitDone = 0,    // the work is done
  kExitFailed = 1,  // the input was refused or the work failed; the reason is on one line
  kExitUsage = 2,   // the command line is wrong
};

// Gives `app` the shared manners: its help opens with `synopsis` (the forms of the command)
// then `description`; its foot says what exit codes 0 and 1 mean for this program (`done`,
// `failed`) beside 2 for a usage error; --version prints the program's name and version.
void SetUpCommand(CLI::App& app, const std::string& synopsis, const std::string& description,
                  const std::string& done, const std::string& failed);

// Parses the command line. Answers nothing when the program should go on; otherwise the exit
// code, having printed the help or the version on `out` (0) or the usage error on `err` (2).
std::optional<int> ParseCommand(CLI::App& app, int argc, const char* const* argv, std::FILE* out,
                                std::FILE* err);

// Prints a usage error the parser could not see (options that do not go together) and answers
// the exit code for it.
int UsageError(const CLI::App& app, std::FILE* err, const std::string& problem);

}  // namespace uma::common
