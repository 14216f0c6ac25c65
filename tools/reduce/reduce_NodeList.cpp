// Node lists as users give them: labels, ranges, node sets and @FILE.
#include "reduce_NodeList.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "reduce_CalculixText.h"
#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

struct Item {
  std::string text;
  std::string where;  // "FILE:LINE: " for items of a file
};

// The items of `text`, with those of @FILE read from the file.
std::vector<Item> Items(const std::string& option, const std::string& text) {
  std::vector<Item> out;
  for (const std::string& field : ccx::Fields(text)) {
    if (field.empty()) continue;
    if (field[0] != '@') {
      out.push_back({field, ""});
      continue;
    }
    const std::string path = field.substr(1);
    std::ifstream in(path);
    if (!in) throw InputError(option + ": " + path + " cannot be read");
    std::string line;
    for (long number = 1; std::getline(in, line); ++number) {
      line = line.substr(0, line.find('#'));
      for (char& c : line)
        if (c == ',' || c == '\t' || c == '\r') c = ' ';
      std::istringstream words(line);
      for (std::string word; words >> word;) {
        if (word[0] == '@')
          throw InputError(Where(path, number) + "a list file cannot name another (" + word + ")");
        out.push_back({word, Where(path, number)});
      }
    }
  }
  return out;
}

}  // namespace

std::vector<int> ResolveNodeList(const std::string& option, const std::string& text,
                                 const NodeCatalogue& catalogue) {
  std::vector<int> sorted = catalogue.labels;
  std::sort(sorted.begin(), sorted.end());
  std::vector<int> out;
  std::set<int> seen;
  auto take = [&](int label) {
    std::vector<int> stand = catalogue.expand ? catalogue.expand(label) : std::vector<int>{};
    if (stand.empty()) stand.push_back(label);
    for (int s : stand)
      if (seen.insert(s).second) out.push_back(s);
  };
  for (const Item& item : Items(option, text)) {
    const std::string at = option + ": " + item.where;
    int label = 0;
    const std::size_t dash = item.text.find('-', 1);
    int first = 0, last = 0;
    if (ccx::ParseInt(item.text, label)) {
      if (!std::binary_search(sorted.begin(), sorted.end(), label))
        throw InputError(at + "node " + item.text + " is not in " + catalogue.source);
      take(label);
    } else if (dash != std::string::npos && ccx::ParseInt(item.text.substr(0, dash), first) &&
               ccx::ParseInt(item.text.substr(dash + 1), last)) {
      if (last < first) throw InputError(at + "range " + item.text + " runs backwards");
      auto from = std::lower_bound(sorted.begin(), sorted.end(), first);
      auto to = std::upper_bound(sorted.begin(), sorted.end(), last);
      if (from == to)
        throw InputError(at + "no node of " + catalogue.source + " is in " + item.text);
      for (auto it = from; it != to; ++it) take(*it);
    } else {
      auto set = catalogue.sets.find(ccx::Upper(item.text));
      if (set == catalogue.sets.end())
        throw InputError(at + "\"" + item.text + "\" is neither a node label, a range nor " +
                         (catalogue.sets.empty() ? "a node set (sets come with --calculix)"
                                                 : "a node set of the deck"));
      for (int member : set->second) {
        if (!std::binary_search(sorted.begin(), sorted.end(), member))
          throw InputError(at + "node " + std::to_string(member) + " of set " + item.text +
                           " is not in " + catalogue.source);
        take(member);
      }
    }
  }
  if (out.empty()) throw InputError(option + ": no node given");
  return out;
}

std::vector<double> ResolveWeights(const std::string& option, const std::string& text,
                                   const std::vector<int>& nodes, const NodeCatalogue& catalogue) {
  std::vector<double> weights(nodes.size(), 1.0);
  if (text.empty()) return weights;
  std::vector<Item> items = Items(option, text);
  for (std::size_t k = 0; k < items.size(); ++k) {
    // In a file a weight is either "LABEL=W" or a line "LABEL,W"; the latter splits in two.
    std::string label = items[k].text, value;
    const std::size_t eq = label.find('=');
    if (eq != std::string::npos) {
      value = label.substr(eq + 1);
      label = label.substr(0, eq);
    } else if (!items[k].where.empty() && k + 1 < items.size() &&
               items[k + 1].where == items[k].where) {
      value = items[++k].text;
    }
    const std::string at = option + ": " + items[k].where;
    int node = 0;
    double w = 0.0;
    if (!ccx::ParseInt(label, node) || !ccx::ParseReal(value, w))
      throw InputError(at + "\"" + items[k].text + "\" is not LABEL=WEIGHT");
    if (!(w > 0)) throw InputError(at + "the weight of node " + label + " is not above 0");
    std::vector<int> stand = catalogue.expand ? catalogue.expand(node) : std::vector<int>{};
    if (stand.empty()) stand.push_back(node);
    bool listed = false;
    for (int s : stand) {
      auto it = std::find(nodes.begin(), nodes.end(), s);
      if (it == nodes.end()) continue;
      weights[static_cast<std::size_t>(it - nodes.begin())] = w / static_cast<double>(stand.size());
      listed = true;
    }
    if (!listed) throw InputError(at + "node " + label + " has a weight but is not listed");
  }
  return weights;
}

}  // namespace uma::reduce
