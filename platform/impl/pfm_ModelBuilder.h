// Builds models in memory, for tests, examples and tools. Every call that adds an object
// answers its number (nodes, dofs, modes, elements: from 1) or index (collections, sets,
// distributions: from 0). Build() checks that every reference points at something that exists
// and throws QOBBasError with a plain message when one does not.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pfm_Model.h"

namespace pfm {

class ModelBuilder {
 public:
  explicit ModelBuilder(std::string name);

  ModelBuilder& SystemType(int type);
  ModelBuilder& Loads(int count);
  ModelBuilder& StaticModes(int count);
  ModelBuilder& WithoutSubstructure();
  ModelBuilder& WithoutSystem();
  ModelBuilder& RecordReportsNull();
  // Sets the model attribute `name` (e.g. pfm::attributes::kUnitLength) to `value`, replacing
  // an earlier value. Throws QOBBasError for an empty name.
  ModelBuilder& Attribute(const std::string& name, std::string value);
  // Adds an element of the mesh the model was reduced from. Throws QOBBasError for an empty
  // type; Build() refuses a label given twice.
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
  int AddDistribution(int rows, int columns, int rowSet, int columnSet,
                      std::vector<double> values = {}, bool dense = true);
  // A distribution whose values a store of the caller's gives (ViewValues for a matrix the
  // caller holds): neither this builder nor Build() copies them.
  int AddDistributionFrom(int rows, int columns, int rowSet, int columnSet,
                          std::shared_ptr<ValueStore> values, bool dense = true);
  // Declares that columns of `distribution` hold another's columns in their first rows (see
  // SharedRows), so that a model file stores those rows once. Saving checks that they do.
  ModelBuilder& ShareRows(int distribution, const SharedRows& share);
  ModelBuilder& DistributionForType(int matrixType, int distribution);
  ModelBuilder& NodeCoordinates(int distribution);
  ModelBuilder& DistributionName(const std::string& name, int distribution);
  ModelBuilder& UserMatrix(const std::string& name, int distribution);

  SystemData& system() { return m_model->system; }
  // The model as built so far, unchecked and not copied (SaveModel writes it as it is).
  const Model& model() const { return *m_model; }
  std::shared_ptr<Model> Build() const;
  // Builds the model and makes it openable under its name, ahead of a model file of that name.
  std::shared_ptr<Model> Register() const;

 private:
  std::shared_ptr<Model> m_model;
  int m_kindCollection[5] = {-1, -1, -1, -1, -1};
};

// Checks a model's references; throws QOBBasError saying what the first broken one is.
void ValidateModel(const Model& model);

// Makes a registered model unopenable under its name again (sessions open on it keep it);
// unknown names do nothing. UnregisterModels forgets every registered model.
void UnregisterModel(const std::string& name);
void UnregisterModels();

}  // namespace pfm
