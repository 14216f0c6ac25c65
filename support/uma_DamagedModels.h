// Damaged model files made on purpose: valid SQLite files whose contents break the model format
// (empty or doubled tables, references and set members outside their tables, dimensions that
// disagree with the sets or the values, negative or huge numbers, duplicate keys, values of the
// wrong type, views and generated columns in place of tables). The damaged-file tests open each
// through the library; the fuzzer starts from them, since a mutator that flips bytes seldom gets
// past SQLite's own checks.
#pragma once

#include <string>
#include <vector>

namespace uma::sample {

struct DamagedModel {
  enum Answer {
    Refused,    // the open fails: "a damaged file: PATH (... detail ...)"
    ReadsFail,  // it opens; reading some values fails: "a damaged file: PATH (... detail ...)"
    Opens,      // it opens and answers every question safely
  };
  const char* name;    // a file name: letters and dashes
  const char* loosen;  // a table made again without its constraints first, or null
  const char* sql;     // run on uma::sample::EveryFeature saved as a model file
  Answer answer;
  const char* detail;    // what the reason or the read error says, for Refused and ReadsFail
  bool chunked = false;  // damages a file of the current format, not one of format version 1
};

const std::vector<DamagedModel>& DamagedModels();

// Writes uma::sample::EveryFeature to `path` and damages it as `model` says.
void WriteDamagedModel(const DamagedModel& model, const std::string& path);

// Rewrites the model file at `path` with pages of `pageSize` bytes (small files for a fuzzer).
void RepackModelFile(const std::string& path, int pageSize);

}  // namespace uma::sample
