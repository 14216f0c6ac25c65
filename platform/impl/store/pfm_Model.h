// The model store's data: what one stored model holds. A model has at most one substructure
// holding at most one system; the system holds its tables (nodes, degrees of freedom, modes,
// elements), its collections and ordered component sets, and its distributions.
//
// Numbering: node, degree-of-freedom, mode and element numbers are 1-based indices into the
// system's tables; they are the "internal member numbers" that component sets hold. Collection,
// set and distribution indices are 0-based.
//
// Not installed: the platform and its tests alone see it. Everything else makes models through
// the builder (pfm_ModelBuilder.h), which holds one of these out of sight.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pfm_ModelBuilder.h"

namespace pfm {

// Type indices (see ads_CoreFragmentTypeIndex) of the kinds of set members.
int DofPositionType();
int ModePositionType();
int NodePositionType();
int ElementPositionType();

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

// Checks a model's references; throws QOBBasError saying what the first broken one is.
void ValidateModel(const Model& model);
// ValidateModel for a model a builder made, its message led by "model 'NAME': ".
void ValidateBuiltModel(const Model& model);

// The model a builder holds as built so far: unchecked and not copied. The store saves it as it
// is; tests change it in place.
const Model& ModelOf(const ModelBuilder& builder);
Model& ModelOf(ModelBuilder& builder);
// A checked copy of the builder's model that shares no in-memory values with it. Throws
// QOBBasError ("model 'NAME': ...") when a reference is broken.
std::shared_ptr<Model> BuildModel(const ModelBuilder& builder);
// BuildModel, made openable under its name (ModelBuilder::Register); answers the model.
std::shared_ptr<Model> RegisterModel(const ModelBuilder& builder);

}  // namespace pfm
