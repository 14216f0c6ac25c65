// The model store's data: what one stored model holds. A model has at most one substructure
// holding at most one system; the system holds its tables (nodes, degrees of freedom, modes,
// elements), its collections and ordered component sets, and its distributions.
//
// Numbering: node, degree-of-freedom, mode and element numbers are 1-based indices into the
// system's tables; they are the "internal member numbers" that component sets hold. Collection,
// set and distribution indices are 0-based.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pfm {

// Type indices (see ads_CoreFragmentTypeIndex) of the kinds of set members.
int DofPositionType();
int ModePositionType();
int NodePositionType();
int ElementPositionType();

enum class MemberKind { Dof, Mode, Node, Element, Other };
MemberKind KindOfPositionType(int positionType);
int PositionTypeOf(MemberKind kind);  // Other answers a type index of no other kind

struct Node {
  int label;
  bool internal;
};

struct Dof {
  int node;  // node number, from 1
  int ldof;  // local degree of freedom
};

struct Mode {
  int nodeLabel;  // label of the node the mode is attached to
  int ldof;
};

struct Collection {
  int positionType;  // type index of what its sets' members are
};

struct ComponentSet {
  int collection;            // index into the system's collections
  std::vector<int> members;  // internal member numbers, in the set's order
};

// Where a stored distribution's values live. Values are doubles, column by column. Nothing
// outside the store reads or writes them but through these two calls.
class ValueStore {
 public:
  virtual ~ValueStore() = default;
  // Copies rows r0..r0+nr-1 of columns c0..c0+nc-1 into `out` (leading dimension `ld`).
  virtual void Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const = 0;
  // Writes the same block from `in` (leading dimension `ld`).
  virtual void Write(int r0, int nr, int c0, int nc, const double* in, std::int64_t ld) = 0;
  // All values at once, when they sit contiguously in memory; null otherwise.
  virtual const double* Contiguous() const { return nullptr; }
};

// Values held in memory; `rows` is the leading dimension.
class MemoryValues : public ValueStore {
 public:
  MemoryValues(int rows, std::vector<double> values) : m_rows(rows), m_values(std::move(values)) {}
  void Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const override;
  void Write(int r0, int nr, int c0, int nc, const double* in, std::int64_t ld) override;
  const double* Contiguous() const override { return m_values.data(); }
  std::vector<double>& values() { return m_values; }

  // Block copies out of and into column-major values with `rows` as leading dimension.
  static void CopyBlock(const double* values, int rows, int r0, int nr, int c0, int nc, double* out,
                        std::int64_t ld);
  static void PutBlock(double* values, int rows, int r0, int nr, int c0, int nc, const double* in,
                       std::int64_t ld);

 private:
  int m_rows;
  std::vector<double> m_values;
};

// Values that stay in the caller's memory: column-major with leading dimension `ld`, read
// only (Write throws QOBBasError). The memory must outlive every model that uses it; this lets a
// program save a large matrix it holds without copying it.
class ViewValues : public ValueStore {
 public:
  ViewValues(const double* values, std::int64_t ld) : m_values(values), m_ld(ld) {}
  void Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const override;
  void Write(int r0, int nr, int c0, int nc, const double* in, std::int64_t ld) override;

 private:
  const double* m_values;
  std::int64_t m_ld;
};

// Columns of one distribution whose first rows are columns of another: the rows 0 .. (the
// source's rows - 1) of columns firstColumn .. firstColumn + columns - 1 equal those of the
// source's columns sourceColumn .. sourceColumn + columns - 1. A model file stores those rows
// once (a reduction's recovery matrix and its mode matrix share the basis this way). The
// distribution's value store still answers every row.
struct SharedRows {
  int source = -1;  // distribution index
  int firstColumn = 0;
  int columns = 0;
  int sourceColumn = 0;
};

struct Distribution {
  bool dense = true;  // stored as a dense matrix, or as another kind
  int rows = 0;
  int columns = 0;
  int rowSet = -1;     // set labelling the rows, or -1
  int columnSet = -1;  // set labelling the columns, or -1
  std::shared_ptr<ValueStore> values;
  // Ranges of columns that share their first rows with another distribution, by first column.
  std::vector<SharedRows> shared;
};

struct SystemData {
  int type = 0;
  int numLoads = 0;
  int numStaticModes = 0;
  std::vector<Node> nodes;
  std::vector<Dof> dofs;
  std::vector<Mode> modes;
  std::vector<int> elements;  // element labels
  std::vector<Collection> collections;
  std::vector<ComponentSet> sets;
  std::vector<Distribution> distributions;
  int nodeCoordinates = -1;               // distribution index, or -1
  std::map<int, int> distributionByType;  // matrix type index -> distribution
  std::map<std::string, int> distributionByName;
  std::map<std::string, int> userMatrixByName;
  std::map<int, int> setByType;  // component-set type index -> set
};

// Values written in an edit session, kept until the session closes: by distribution, each
// column that was written to, whole. Only the columns written are held, so editing a block of
// a large matrix costs what the block's columns hold.
using EditedColumns = std::map<int, std::vector<double>>;
using Overlay = std::map<int, EditedColumns>;

struct Model;

// One element of the finite-element mesh a model was reduced from: its label, its type as the
// producing program names it ("C3D10", "S8") and its nodes' labels. Descriptive only: the
// library never reads it, and a model may have none.
struct MeshElement {
  int label = 0;
  std::string type;
  std::vector<int> nodes;
};

// How a model keeps what an edit session changed. The default writes into the distributions'
// value stores; a file-backed model writes its file in one transaction.
class ModelBacking {
 public:
  virtual ~ModelBacking() = default;
  virtual void Commit(Model& model, const Overlay& changes);
};

struct Model {
  std::string name;
  bool hasSubstructure = true;     // otherwise the first step from the model answers null
  bool hasSystem = true;           // otherwise the second step answers null
  bool recordReportsNull = false;  // the system record reports itself null
  SystemData system;
  // Optional descriptive attributes (units, provenance) by name; see pfm_ModelTypes.h for the
  // names a model author is expected to use. The library never reads them.
  std::map<std::string, std::string> attributes;
  // Optional: the elements of the mesh the model was reduced from, by label ascending.
  std::vector<MeshElement> mesh;
  std::shared_ptr<ModelBacking> backing = std::make_shared<ModelBacking>();
};

}  // namespace pfm
