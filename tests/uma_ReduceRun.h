// uma-reduce run in-process as a user runs it, with what it writes on standard output and
// standard error; shared by the reduction's tests.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "reduce_Command.h"

struct CommandRun {
  int status;
  std::string out, err;
};

inline CommandRun RunReduce(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"uma-reduce"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CommandRun run;
  run.status = reduce::RunCommand(static_cast<int>(argv.size()), argv.data(), out, err);
  for (auto [file, text] : {std::pair{out, &run.out}, std::pair{err, &run.err}}) {
    std::rewind(file);
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
      text->append(buffer, got);
    std::fclose(file);
  }
  return run;
}
