// Builds models in memory, for hosts, tools, examples and tests: saved as model files
// (SaveModel, pfm_Support.h) or made openable under their name (Register). Every call that adds
// an object answers its number (nodes, dofs, modes, elements: from 1) or index (collections,
// sets, distributions: from 0). The model is checked when it is saved or registered: a reference
// to something that does not exist throws QOBBasError with a plain message saying which. How the
// store holds a model stays behind the builder; this header and the types below are the whole
// contract.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pfm {

// What the members of a component set are (AddSet); each kind has its position type index
// (pfm::types::DofPosition() ..., pfm_ModelTypes.h). Other: members of no kind the store knows.
enum class MemberKind { Dof, Mode, Node, Element, Other };

// Where a stored matrix's values live: doubles, column by column. A caller may give a store of
// its own (AddDistributionFrom), e.g. values made as they are read, so that a large model never
// sits in memory whole. The store reads it when the model is saved or a registered model's
// values are read, and writes it when an edit session of a registered model commits.
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

// One element of the finite-element mesh a model was reduced from: its label, its type as the
// producing program names it ("C3D10", "S8") and its nodes' labels. Descriptive only: the
// library never reads it, and a model may have none.
struct MeshElement {
  int label = 0;
  std::string type;
  std::vector<int> nodes;
};

struct Model;  // the store's representation of a model, opaque here

// Copies of a builder share the model they build.
class ModelBuilder {
 public:
  explicit ModelBuilder(std::string name);

  const std::string& name() const;

  ModelBuilder& SystemType(int type);
  ModelBuilder& Loads(int count);
  ModelBuilder& StaticModes(int count);
  // Shapes of stored models that open to nothing: no substructure, no system, or a system
  // record that reports itself null.
  ModelBuilder& WithoutSubstructure();
  ModelBuilder& WithoutSystem();
  ModelBuilder& RecordReportsNull();
  // Sets the model attribute `name` (e.g. pfm::attributes::kUnitLength) to `value`, replacing
  // an earlier value. Throws QOBBasError for an empty name.
  ModelBuilder& Attribute(const std::string& name, std::string value);
  // Adds an element of the mesh the model was reduced from. Throws QOBBasError for an empty
  // type; saving refuses a label given twice.
  ModelBuilder& AddMeshElement(int label, std::string type, std::vector<int> nodes);

  int AddNode(int label, bool internal = false);
  int AddDof(int node, int ldof);
  int AddMode(int nodeLabel, int ldof);
  int AddElement(int label);

  int AddCollection(int positionType);
  // A set in a collection of its own of `kind` (one collection per kind is shared).
  int AddSet(MemberKind kind, std::vector<int> members);
  int AddSetIn(int collection, std::vector<int> members);
  ModelBuilder& SetForType(int setType, int set);

  // A distribution of rows x columns values, column by column (zeros when `values` is empty).
  // Throws QOBBasError for negative dimensions or a count of values that does not match.
  int AddDistribution(int rows, int columns, int rowSet, int columnSet,
                      std::vector<double> values = {}, bool dense = true);
  // A distribution whose values a store of the caller's gives (ViewValues for a matrix the
  // caller holds): the builder never copies them. Throws QOBBasError for a null store.
  int AddDistributionFrom(int rows, int columns, int rowSet, int columnSet,
                          std::shared_ptr<ValueStore> values, bool dense = true);
  // Declares that columns of `distribution` hold another's columns in their first rows (see
  // SharedRows), so that a model file stores those rows once. Saving checks that they do.
  ModelBuilder& ShareRows(int distribution, const SharedRows& share);
  ModelBuilder& DistributionForType(int matrixType, int distribution);
  ModelBuilder& NodeCoordinates(int distribution);
  ModelBuilder& DistributionName(const std::string& name, int distribution);
  ModelBuilder& UserMatrix(const std::string& name, int distribution);

  // Checks the model and makes a copy of it openable under its name, ahead of a model file of
  // that name, until UnregisterModel. Throws QOBBasError when the model is not valid.
  void Register() const;

 private:
  friend struct ModelBuilderAccess;
  std::shared_ptr<Model> m_model;
  int m_kindCollection[5] = {-1, -1, -1, -1, -1};
};

// Makes a registered model unopenable under its name again (sessions open on it keep it);
// unknown names do nothing. UnregisterModels forgets every registered model.
void UnregisterModel(const std::string& name);
void UnregisterModels();

}  // namespace pfm
