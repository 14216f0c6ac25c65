// Console output of a benchmark program, then each figure's throughput as a share of its
// anchor's (means when the runs are repeated): "NAME / ANCHOR throughput: 0.512".
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace uma::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Pairs of (figure, anchor) run names, printed in this order when both ran.
  RatioReporter(std::initializer_list<std::pair<const char*, const char*>> pairs)
      : ConsoleReporter(OO_Tabular), m_pairs(pairs.begin(), pairs.end()) {}

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
    for (const auto& [figure, anchor] : m_pairs) {
      if (!m_rates.count(figure) || !m_rates.count(anchor) || m_rates[anchor] <= 0) continue;
      std::printf("%s / %s throughput: %.3f\n", figure.c_str(), anchor.c_str(),
                  m_rates[figure] / m_rates[anchor]);
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> m_pairs;
  std::map<std::string, double> m_rates;
};

}  // namespace uma::bench
