// A console reporter that ends a benchmark program with each measurement's throughput as a
// share of its anchor's (means when the runs are repeated), for the pairs it is given.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace uma::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Each pair: a benchmark's name and its anchor's.
  explicit RatioReporter(std::vector<std::pair<std::string, std::string>> pairs)
      : ConsoleReporter(OO_Tabular), m_pairs(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean") continue;
      auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) m_rates[run.run_name.str()] = rate->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [measured, anchor] : m_pairs) {
      if (!m_rates.count(measured) || !m_rates.count(anchor) || m_rates[anchor] <= 0) continue;
      std::printf("%s / %s throughput: %.3f\n", measured.c_str(), anchor.c_str(),
                  m_rates[measured] / m_rates[anchor]);
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> m_pairs;
  std::map<std::string, double> m_rates;
};

}  // namespace uma::bench
