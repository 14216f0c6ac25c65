// A reader of the mesh blocks of a CalculiX result file (JOB.frd).
#include "reduce_CalculixFrd.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

#include "reduce_CalculixText.h"
#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

// Nodes of each element type code of the result format.
int NodesOfType(int type) {
  static const int kNodes[] = {0, 8, 6, 4, 20, 15, 10, 3, 6, 4, 8, 2, 3};
  return type >= 1 && type <= 12 ? kNodes[type] : 0;
}

class FrdReader {
 public:
  FrdReader(const std::string& name, std::istream& in, long long size)
      : m_name(name), m_in(in), m_size(size) {}

  FrdMesh Read() {
    FrdMesh mesh;
    std::string line;
    while (NextLine(line)) {
      std::vector<std::string> t = Tokens(line);
      if (t.empty()) continue;
      if (t[0] == "2C" && !m_seenNodes) {
        m_seenNodes = true;
        Nodes(Header(t), mesh);
      } else if (t[0] == "3C" && m_seenNodes) {
        Elements(Header(t), mesh);
        break;  // the mesh is read; results follow
      } else if (t[0] == "9999") {
        break;
      }
    }
    return mesh;
  }

 private:
  struct BlockHeader {
    long long count = 0;
    int format = 0;
  };

  [[noreturn]] void Fail(const std::string& reason) const {
    throw InputError(Where(m_name, m_line) + reason);
  }
  [[noreturn]] void FailAt(const std::string& reason) const {
    throw InputError(m_name + ": at byte " + std::to_string(static_cast<long long>(m_in.tellg())) +
                     ": " + reason);
  }

  static std::vector<std::string> Tokens(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string t; in >> t;) out.push_back(t);
    return out;
  }

  bool NextLine(std::string& line) {
    if (!std::getline(m_in, line)) return false;
    ++m_line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

  BlockHeader Header(const std::vector<std::string>& t) {
    BlockHeader h;
    int count = 0;
    if (t.size() != 3 || !ccx::ParseInt(t[1], count) || !ccx::ParseInt(t[2], h.format) ||
        count < 0 || h.format < 0 || h.format > 3)
      Fail("a block header is \"" + t[0] + " COUNT FORMAT\"");
    // Every record takes more than 8 bytes, so no file announces more than its size allows.
    if (count > m_size / 8)
      Fail(t[1] + " records announced in a file of " + std::to_string(m_size) + " bytes");
    h.count = count;
    return h;
  }

  int Field(const std::string& line, std::size_t at, std::size_t width, const char* what) {
    int v = 0;
    if (at >= line.size()) Fail(std::string("no ") + what);
    if (!ccx::ParseInt(ccx::Trim(line.substr(at, width)), v))
      Fail(std::string(what) + " \"" + ccx::Trim(line.substr(at, width)) + "\" is not an integer");
    return v;
  }

  double Real(const std::string& line, std::size_t at) {
    double v = 0;
    if (at >= line.size()) Fail("a node line has fewer than three coordinates");
    const std::string field = ccx::Trim(line.substr(at, 12));
    if (!ccx::ParseReal(field, v)) Fail("coordinate \"" + field + "\" is not a finite number");
    return v;
  }

  void Key(const std::string& line, const char* key) {
    if (line.size() < 3 || ccx::Trim(line.substr(0, 3)) != key)
      Fail(std::string("expected a line starting with ") + key);
  }

  // The next record of an ASCII block: a line that starts with -1.
  void Record(std::string& line, const char* block) {
    if (!NextLine(line)) Fail(std::string("the ") + block + " block ends early");
    Key(line, "-1");
  }

  void End(const char* block) {
    std::string line;
    if (!NextLine(line)) Fail(std::string("the ") + block + " block has no end");
    Key(line, "-3");
  }

  template <class T>
  T Binary() {
    T v{};
    char bytes[sizeof(T)];
    if (!m_in.read(bytes, sizeof bytes)) FailAt("the binary block ends early");
    std::memcpy(&v, bytes, sizeof v);  // little-endian, as CalculiX writes it on this platform
    return v;
  }

  void Nodes(const BlockHeader& h, FrdMesh& mesh) {
    mesh.nodes.reserve(static_cast<std::size_t>(h.count));
    if (h.format >= 2) {
      mesh.fullPrecision = h.format == 3;
      for (long long i = 0; i < h.count; ++i) {
        FrdNode n;
        n.label = Binary<std::int32_t>();
        double* xyz[] = {&n.x, &n.y, &n.z};
        for (double* c : xyz) *c = h.format == 3 ? Binary<double>() : Binary<float>();
        if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z))
          FailAt("node " + std::to_string(n.label) + " has a coordinate that is not finite");
        mesh.nodes.push_back(n);
      }
      return;
    }
    const std::size_t width = h.format == 1 ? 10 : 5;
    std::string line;
    for (long long i = 0; i < h.count; ++i) {
      Record(line, "node");
      FrdNode n;
      n.label = Field(line, 3, width, "node label");
      n.x = Real(line, 3 + width);
      n.y = Real(line, 3 + width + 12);
      n.z = Real(line, 3 + width + 24);
      mesh.nodes.push_back(n);
    }
    End("node");
  }

  void Elements(const BlockHeader& h, FrdMesh& mesh) {
    mesh.elements.reserve(static_cast<std::size_t>(h.count));
    if (h.format >= 2) {
      for (long long i = 0; i < h.count; ++i) {
        FrdElement e;
        e.label = Binary<std::int32_t>();
        e.type = Binary<std::int32_t>();
        Binary<std::int32_t>();  // group
        Binary<std::int32_t>();  // material
        const int nodes = NodesOfType(e.type);
        if (nodes == 0) FailAt("element type " + std::to_string(e.type) + " is not read");
        for (int k = 0; k < nodes; ++k) e.nodes.push_back(Binary<std::int32_t>());
        mesh.elements.push_back(std::move(e));
      }
      return;
    }
    const std::size_t width = h.format == 1 ? 10 : 5;
    std::string line;
    for (long long i = 0; i < h.count; ++i) {
      Record(line, "element");
      FrdElement e;
      e.label = Field(line, 3, width, "element label");
      e.type = Field(line, 3 + width, 5, "element type");
      const std::size_t nodes = static_cast<std::size_t>(NodesOfType(e.type));
      if (nodes == 0) Fail("element type " + std::to_string(e.type) + " is not read");
      while (e.nodes.size() < nodes) {
        if (!NextLine(line)) Fail("the element block ends early");
        Key(line, "-2");
        for (std::size_t at = 3; at < line.size() && e.nodes.size() < nodes; at += width) {
          if (ccx::Trim(line.substr(at, width)).empty()) break;
          e.nodes.push_back(Field(line, at, width, "node label"));
        }
        if (e.nodes.size() < nodes && ccx::Trim(line.substr(3)).empty())
          Fail("a line of element nodes is empty");
      }
      mesh.elements.push_back(std::move(e));
    }
    End("element");
  }

  std::string m_name;
  std::istream& m_in;
  long long m_size;
  long m_line = 0;
  bool m_seenNodes = false;
};

}  // namespace

FrdMesh ReadFrdMesh(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw InputError(path + ": cannot be read");
  const long long size = static_cast<long long>(in.tellg());
  in.seekg(0);
  return ReadFrdMesh(path, in, size);
}

FrdMesh ReadFrdMesh(const std::string& name, std::istream& in, long long size) {
  return FrdReader(name, in, size).Read();
}

}  // namespace uma::reduce
