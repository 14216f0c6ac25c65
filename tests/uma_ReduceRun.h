// Runs uma-reduce's command in the test's process and keeps what it printed.
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

inline CommandRun RunReduce(std::vector<std::string> args) {
  std::vector<const char*> argv = {"uma-reduce"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CommandRun run;
  run.status = uma::reduce::RunCommand(static_cast<int>(argv.size()), argv.data(), out, err);
  for (auto [file, text] : {std::pair{out, &run.out}, std::pair{err, &run.err}}) {
    std::rewind(file);
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
      text->append(buffer, got);
    std::fclose(file);
  }
  return run;
}
