// A reader of CalculiX input decks: the model definition up to the first *STEP.
#include "reduce_CalculixDeck.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "reduce_CalculixText.h"
#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

using ccx::Fields;
using ccx::ParseInt;
using ccx::ParseReal;
using ccx::Trim;
using ccx::Upper;

// Generated sets and included files are bounded, so that a small deck never asks for much memory.
constexpr long long kMaxGenerated = 10000000;
constexpr int kMaxIncludeDepth = 16;

struct ElementType {
  const char* name;
  int nodes;
  Expansion expansion;
  bool incompatibleModes;
};

// The element types CalculiX 2.20 takes for structures, with how its matrices treat them.
constexpr ElementType kElementTypes[] = {
    {"C3D4", 4, Expansion::None, false},     {"C3D6", 6, Expansion::None, false},
    {"C3D8", 8, Expansion::None, false},     {"C3D8R", 8, Expansion::None, false},
    {"C3D8I", 8, Expansion::None, true},     {"C3D10", 10, Expansion::None, false},
    {"C3D10T", 10, Expansion::None, false},  {"C3D15", 15, Expansion::None, false},
    {"C3D20", 20, Expansion::None, false},   {"C3D20R", 20, Expansion::None, false},
    {"S3", 3, Expansion::Surface, false},    {"S4", 4, Expansion::Surface, true},
    {"S4R", 4, Expansion::Surface, false},   {"S6", 6, Expansion::Surface, false},
    {"S8", 8, Expansion::Surface, false},    {"S8R", 8, Expansion::Surface, false},
    {"M3D3", 3, Expansion::Surface, false},  {"M3D4", 4, Expansion::Surface, true},
    {"M3D4R", 4, Expansion::Surface, false}, {"M3D6", 6, Expansion::Surface, false},
    {"M3D8", 8, Expansion::Surface, false},  {"M3D8R", 8, Expansion::Surface, false},
    {"CPS3", 3, Expansion::Surface, false},  {"CPS4", 4, Expansion::Surface, false},
    {"CPS4R", 4, Expansion::Surface, false}, {"CPS6", 6, Expansion::Surface, false},
    {"CPS8", 8, Expansion::Surface, false},  {"CPS8R", 8, Expansion::Surface, false},
    {"CPE3", 3, Expansion::Surface, false},  {"CPE4", 4, Expansion::Surface, false},
    {"CPE4R", 4, Expansion::Surface, false}, {"CPE6", 6, Expansion::Surface, false},
    {"CPE8", 8, Expansion::Surface, false},  {"CPE8R", 8, Expansion::Surface, false},
    {"CAX3", 3, Expansion::Surface, false},  {"CAX4", 4, Expansion::Surface, false},
    {"CAX4R", 4, Expansion::Surface, false}, {"CAX6", 6, Expansion::Surface, false},
    {"CAX8", 8, Expansion::Surface, false},  {"CAX8R", 8, Expansion::Surface, false},
    {"B31", 2, Expansion::Line, true},       {"B31R", 2, Expansion::Line, false},
    {"B32", 3, Expansion::Line, false},      {"B32R", 3, Expansion::Line, false},
    {"T3D2", 2, Expansion::Line, true},      {"T3D3", 3, Expansion::Line, false},
    {"SPRINGA", 2, Expansion::None, false},  {"SPRING1", 1, Expansion::None, false},
    {"SPRING2", 2, Expansion::None, false},  {"DASHPOTA", 2, Expansion::None, false},
    {"MASS", 1, Expansion::None, false},     {"GAPUNI", 2, Expansion::None, false},
    {"DCOUP3D", 1, Expansion::None, false},
};

const ElementType* FindType(const std::string& name) {
  for (const ElementType& t : kElementTypes)
    if (name == t.name) return &t;
  return nullptr;
}

struct Keyword {
  std::string name;                           // upper case, single spaces: "RIGID BODY"
  std::map<std::string, std::string> params;  // names upper case; values as written
  bool Has(const std::string& p) const { return params.count(p) != 0; }
  std::string Value(const std::string& p) const {
    auto it = params.find(p);
    return it == params.end() ? "" : it->second;
  }
};

Keyword ParseKeyword(const std::string& line) {
  std::vector<std::string> f = Fields(line.substr(1));
  Keyword k;
  std::string name;
  for (char c : Upper(f[0]))
    if (c != ' ' && c != '\t')
      name += c;
    else if (!name.empty() && name.back() != ' ')
      name += ' ';
  k.name = Trim(name);
  for (std::size_t i = 1; i < f.size(); ++i) {
    std::size_t eq = f[i].find('=');
    std::string p = Upper(Trim(f[i].substr(0, eq)));
    k.params[p] = eq == std::string::npos ? "" : Trim(f[i].substr(eq + 1));
  }
  return k;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

class DeckParser {
 public:
  explicit DeckParser(CalculixDeck& deck) : m_deck(deck) {}

  // Parses `in` as the file `file`; false once the first *STEP has been met.
  bool Parse(const std::string& file, std::istream& in, int depth, bool allowInclude) {
    std::string text;
    long line = 0;
    while (std::getline(in, text)) {
      ++line;
      if (!text.empty() && text.back() == '\r') text.pop_back();
      m_file = file;
      m_line = line;
      const std::string t = Trim(text);
      if (t.empty() || t.compare(0, 2, "**") == 0) {
        m_deck.modelLines.push_back(text);
        continue;
      }
      if (t[0] != '*') {
        Data(t);
        m_deck.modelLines.push_back(text);
        continue;
      }
      FinishElement();
      m_keyword = ParseKeyword(t);
      if (m_keyword.name == "STEP") return false;
      if (m_keyword.name == "INCLUDE") {
        if (!Include(file, depth, allowInclude)) return false;
        m_keyword = Keyword{};  // data after an included file belongs to no keyword
        continue;
      }
      m_deck.modelLines.push_back(text);
      Start();
    }
    FinishElement();
    return true;
  }

  void Finish() {
    for (const DeckElement& e : m_deck.elements)
      for (int n : e.nodes)
        if (!m_deck.nodeIndex.count(n))
          throw InputError(Where(e.file, e.line) + "element " + std::to_string(e.label) +
                           " has node " + std::to_string(n) + ", which the deck does not define");
    for (const auto& [b, where] : m_boundaryLines)
      if (!m_deck.nodeIndex.count(b))
        throw InputError(where + "*BOUNDARY on node " + std::to_string(b) +
                         ", which the deck does not define");
    for (const DeckRigidBody& r : m_deck.rigidBodies) {
      const std::string at = Where(r.file, r.line) + "*RIGID BODY: ";
      for (int n : r.nodes)
        if (!m_deck.nodeIndex.count(n))
          throw InputError(at + "node " + std::to_string(n) + " is not defined");
      for (int n : {r.referenceNode, r.rotationNode})
        if (n != 0 && !m_deck.nodeIndex.count(n))
          throw InputError(at + "node " + std::to_string(n) + " is not defined");
      if (r.rotationNode == r.referenceNode)
        throw InputError(at + "the rotation node must not be the reference node");
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& reason) const {
    throw InputError(Where(m_file, m_line) + reason);
  }

  int Label(const std::string& field, const char* what) const {
    int v = 0;
    if (!ParseInt(field, v)) Fail(std::string(what) + " \"" + field + "\" is not an integer");
    if (v <= 0) Fail(std::string(what) + " " + field + " is not a positive label");
    return v;
  }

  std::string SetName(const char* param) const {
    std::string name = Upper(m_keyword.Value(param));
    if (name.empty()) Fail("*" + m_keyword.name + " needs " + param + "=");
    return name;
  }

  const std::vector<int>& NodeSet(const std::string& name) const {
    auto it = m_deck.nodeSets.find(Upper(name));
    if (it == m_deck.nodeSets.end()) Fail("no node set " + name + " is defined before this line");
    return it->second;
  }

  void Start() {
    const std::string& k = m_keyword.name;
    if (k == "TRANSFORM") Fail("*TRANSFORM is not read: the matrices would be in local directions");
    if (k == "ELEMENT") {
      std::string type = Upper(m_keyword.Value("TYPE"));
      m_type = FindType(type);
      if (!m_type)
        Fail(type.empty() ? "*ELEMENT needs TYPE=" : "element type " + type + " is not read");
      m_elset = Upper(m_keyword.Value("ELSET"));
    } else if (k == "NSET" || k == "ELSET") {
      m_setName = SetName(k.c_str());
      (k == "NSET" ? m_deck.nodeSets : m_deck.elementSets)[m_setName];
    } else if (k == "NODE") {
      m_setName = Upper(m_keyword.Value("NSET"));
      if (!m_setName.empty()) m_deck.nodeSets[m_setName];
    } else if (k == "RIGID BODY") {
      RigidBody();
    }
  }

  void Data(const std::string& line) {
    const std::string& k = m_keyword.name;
    std::vector<std::string> f = Fields(line);
    if (k == "NODE")
      NodeLine(f);
    else if (k == "ELEMENT")
      ElementLine(f);
    else if (k == "NSET")
      SetLine(f, m_deck.nodeSets, true);
    else if (k == "ELSET")
      SetLine(f, m_deck.elementSets, false);
    else if (k == "BOUNDARY")
      BoundaryLine(f);
  }

  void NodeLine(const std::vector<std::string>& f) {
    if (f.size() > 4) Fail("a node line is \"label, x, y, z\"");
    DeckNode n;
    n.label = Label(f[0], "node label");
    double* xyz[] = {&n.x, &n.y, &n.z};
    for (std::size_t i = 1; i < f.size(); ++i)
      if (!f[i].empty() && !ParseReal(f[i], *xyz[i - 1]))
        Fail("coordinate \"" + f[i] + "\" is not a finite number");
    auto [it, added] = m_deck.nodeIndex.emplace(n.label, m_deck.nodes.size());
    if (!added) Fail("node " + f[0] + " is defined again");
    m_deck.nodes.push_back(n);
    m_maxLabel = std::max(m_maxLabel, n.label);
    if (!m_setName.empty()) m_deck.nodeSets[m_setName].push_back(n.label);
  }

  void ElementLine(const std::vector<std::string>& f) {
    std::size_t i = 0;
    if (!m_open) {
      DeckElement e;
      e.label = Label(f[0], "element label");
      e.type = m_type->name;
      e.expansion = m_type->expansion;
      e.incompatibleModes = m_type->incompatibleModes;
      e.file = m_file;
      e.line = m_line;
      if (!m_elementLabels.insert(e.label).second) Fail("element " + f[0] + " is defined again");
      m_element = e;
      m_open = true;
      i = 1;
    }
    for (; i < f.size(); ++i) {
      if (static_cast<int>(m_element.nodes.size()) == m_type->nodes)
        Fail("element " + std::to_string(m_element.label) + " has more than " +
             std::to_string(m_type->nodes) + " nodes");
      m_element.nodes.push_back(Label(f[i], "node label"));
    }
    if (static_cast<int>(m_element.nodes.size()) == m_type->nodes) FinishElement();
  }

  // An element whose nodes run over several lines is complete at its last node; a keyword that
  // comes before that leaves it short.
  void FinishElement() {
    if (!m_open) return;
    m_open = false;
    if (static_cast<int>(m_element.nodes.size()) != m_type->nodes)
      throw InputError(Where(m_element.file, m_element.line) + "element " +
                       std::to_string(m_element.label) + " (" + m_element.type + ") has " +
                       std::to_string(m_element.nodes.size()) + " nodes instead of " +
                       std::to_string(m_type->nodes));
    if (!m_elset.empty()) m_deck.elementSets[m_elset].push_back(m_element.label);
    m_deck.elements.push_back(std::move(m_element));
    m_element = DeckElement{};
  }

  void SetLine(const std::vector<std::string>& f, std::map<std::string, std::vector<int>>& sets,
               bool nodes) {
    std::vector<int>& members = sets[m_setName];
    if (m_keyword.Has("GENERATE")) {
      if (f.size() < 2 || f.size() > 3) Fail("a GENERATE line is \"first, last, increment\"");
      int first = Label(f[0], "first label"), last = Label(f[1], "last label");
      int step = f.size() == 3 ? Label(f[2], "increment") : 1;
      if (last < first) Fail("the last label is below the first");
      long long count = (static_cast<long long>(last) - first) / step + 1;
      if (count + static_cast<long long>(members.size()) > kMaxGenerated)
        Fail("the set would hold more than " + std::to_string(kMaxGenerated) + " members");
      for (long long v = first; v <= last; v += step) members.push_back(static_cast<int>(v));
      return;
    }
    for (const std::string& item : f) {
      if (item.empty()) continue;
      int v = 0;
      if (ParseInt(item, v)) {
        members.push_back(Label(item, "label"));
        continue;
      }
      auto other = sets.find(Upper(item));
      if (other == sets.end())
        Fail(std::string("no ") + (nodes ? "node" : "element") + " set " + item +
             " is defined before this line");
      if (other->second.size() + members.size() > static_cast<std::size_t>(kMaxGenerated))
        Fail("the set would hold more than " + std::to_string(kMaxGenerated) + " members");
      std::vector<int> copy = other->second;  // the set may be this one
      members.insert(members.end(), copy.begin(), copy.end());
    }
  }

  void BoundaryLine(const std::vector<std::string>& f) {
    if (f.size() < 2 || f.size() > 4) Fail("a *BOUNDARY line is \"node, first dof, last dof\"");
    int first = 0, last = 0;
    if (!ParseInt(f[1], first) || (f.size() > 2 && !f[2].empty() && !ParseInt(f[2], last)))
      Fail("a *BOUNDARY line is \"node, first dof, last dof\"");
    if (f.size() == 2 || f[2].empty()) last = first;
    if (first < 0 || last < first || last > 11)
      Fail("dofs " + std::to_string(first) + " to " + std::to_string(last) + " are not read");
    double value = 0.0;
    if (f.size() == 4 && !f[3].empty() && !ParseReal(f[3], value))
      Fail("value \"" + f[3] + "\" is not a finite number");
    std::vector<int> nodes;
    int label = 0;
    if (ParseInt(f[0], label))
      nodes.push_back(Label(f[0], "node label"));
    else
      nodes = NodeSet(f[0]);
    for (int n : nodes) {
      m_deck.boundaries.push_back({n, first, last});
      m_boundaryLines.emplace_back(n, Where(m_file, m_line));
    }
  }

  void RigidBody() {
    DeckRigidBody r;
    r.file = m_file;
    r.line = m_line;
    if (m_keyword.Has("NSET") == m_keyword.Has("ELSET"))
      Fail("*RIGID BODY needs NSET= or ELSET=, one of them");
    if (m_keyword.Has("NSET")) {
      r.nodes = NodeSet(m_keyword.Value("NSET"));
    } else {
      auto set = m_deck.elementSets.find(Upper(m_keyword.Value("ELSET")));
      if (set == m_deck.elementSets.end())
        Fail("no element set " + m_keyword.Value("ELSET") + " is defined before this line");
      std::set<int> labels(set->second.begin(), set->second.end());
      for (const DeckElement& e : m_deck.elements)
        if (labels.count(e.label)) r.nodes.insert(r.nodes.end(), e.nodes.begin(), e.nodes.end());
    }
    if (!m_keyword.Has("REF NODE"))
      Fail("*RIGID BODY needs REF NODE=: the interface node needs a label and a position");
    r.referenceNode = Label(m_keyword.Value("REF NODE"), "REF NODE");
    if (m_keyword.Has("ROT NODE")) {
      r.rotationNode = Label(m_keyword.Value("ROT NODE"), "ROT NODE");
    } else {
      if (m_maxLabel == std::numeric_limits<int>::max())
        Fail("no label is left for a rotation node");
      r.generatedRotationNode = ++m_maxLabel;
    }
    m_deck.rigidBodies.push_back(std::move(r));
  }

  bool Include(const std::string& file, int depth, bool allowInclude) {
    std::string input = m_keyword.Value("INPUT");
    if (!input.empty() && input.front() == '"' && input.back() == '"' && input.size() >= 2)
      input = input.substr(1, input.size() - 2);
    if (!allowInclude) Fail("*INCLUDE is not read here");
    if (input.empty()) Fail("*INCLUDE needs INPUT=");
    if (depth >= kMaxIncludeDepth) Fail("*INCLUDE nests more than 16 files deep");
    const std::string path = input[0] == '/' ? input : FolderOf(file) + input;
    std::ifstream in(path);
    if (!in) Fail("the included file " + path + " cannot be read");
    m_deck.files.push_back(path);
    const long line = m_line;
    const bool more = Parse(path, in, depth + 1, allowInclude);
    m_file = file;
    m_line = line;
    return more;
  }

  CalculixDeck& m_deck;
  std::string m_file;
  long m_line = 0;
  Keyword m_keyword;
  const ElementType* m_type = nullptr;
  std::string m_elset, m_setName;
  DeckElement m_element;
  bool m_open = false;
  std::set<int> m_elementLabels;
  int m_maxLabel = 0;
  std::vector<std::pair<int, std::string>> m_boundaryLines;
};

}  // namespace

bool CalculixDeck::HasExpandedElements() const {
  return std::any_of(elements.begin(), elements.end(),
                     [](const DeckElement& e) { return e.expansion != Expansion::None; });
}

const DeckNode* CalculixDeck::Node(int label) const {
  auto it = nodeIndex.find(label);
  return it == nodeIndex.end() ? nullptr : &nodes[it->second];
}

CalculixDeck ReadCalculixDeck(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw InputError(path + ": cannot be read");
  CalculixDeck deck;
  deck.path = path;
  deck.files.push_back(path);
  DeckParser parser(deck);
  parser.Parse(path, in, 0, true);
  parser.Finish();
  return deck;
}

CalculixDeck ParseCalculixDeck(const std::string& name, const std::string& text) {
  CalculixDeck deck;
  deck.path = name;
  deck.files.push_back(name);
  std::istringstream in(text);
  DeckParser parser(deck);
  parser.Parse(name, in, 0, false);
  parser.Finish();
  return deck;
}

}  // namespace uma::reduce
