// The in-memory model builder and the model validation shared with the file loader.
#include "pfm_ModelBuilder.h"

#include <set>

#include "QOBBasCoreUtils.h"
#include "pfm_Model.h"
#include "pfm_ModelTypes.h"
#include "pfm_Session.h"

namespace pfm {

ModelBuilder::ModelBuilder(std::string name) : m_model(std::make_shared<Model>()) {
  m_model->name = std::move(name);
}

const std::string& ModelBuilder::name() const { return m_model->name; }

ModelBuilder& ModelBuilder::SystemType(int type) {
  m_model->system.type = type;
  return *this;
}
ModelBuilder& ModelBuilder::Loads(int count) {
  m_model->system.numLoads = count;
  return *this;
}
ModelBuilder& ModelBuilder::StaticModes(int count) {
  m_model->system.numStaticModes = count;
  return *this;
}
ModelBuilder& ModelBuilder::WithoutSubstructure() {
  m_model->hasSubstructure = false;
  return *this;
}
ModelBuilder& ModelBuilder::WithoutSystem() {
  m_model->hasSystem = false;
  return *this;
}
ModelBuilder& ModelBuilder::RecordReportsNull() {
  m_model->recordReportsNull = true;
  return *this;
}

ModelBuilder& ModelBuilder::Attribute(const std::string& name, std::string value) {
  if (name.empty()) throw QOBBasError("model builder: an attribute needs a name");
  m_model->attributes[name] = std::move(value);
  return *this;
}

ModelBuilder& ModelBuilder::AddMeshElement(int label, std::string type, std::vector<int> nodes) {
  if (type.empty()) throw QOBBasError("model builder: a mesh element needs a type");
  m_model->mesh.push_back({label, std::move(type), std::move(nodes)});
  return *this;
}

int ModelBuilder::AddNode(int label, bool internal) {
  m_model->system.nodes.push_back({label, internal});
  return static_cast<int>(m_model->system.nodes.size());
}
int ModelBuilder::AddDof(int node, int ldof) {
  m_model->system.dofs.push_back({node, ldof});
  return static_cast<int>(m_model->system.dofs.size());
}
int ModelBuilder::AddMode(int nodeLabel, int ldof) {
  m_model->system.modes.push_back({nodeLabel, ldof});
  return static_cast<int>(m_model->system.modes.size());
}
int ModelBuilder::AddElement(int label) {
  m_model->system.elements.push_back(label);
  return static_cast<int>(m_model->system.elements.size());
}

int ModelBuilder::AddCollection(int positionType) {
  m_model->system.collections.push_back({positionType});
  return static_cast<int>(m_model->system.collections.size()) - 1;
}

int ModelBuilder::AddSet(MemberKind kind, std::vector<int> members) {
  int& collection = m_kindCollection[static_cast<int>(kind)];
  if (collection < 0) collection = AddCollection(PositionTypeOf(kind));
  return AddSetIn(collection, std::move(members));
}

int ModelBuilder::AddSetIn(int collection, std::vector<int> members) {
  m_model->system.sets.push_back({collection, std::move(members)});
  return static_cast<int>(m_model->system.sets.size()) - 1;
}

ModelBuilder& ModelBuilder::SetForType(int setType, int set) {
  m_model->system.setByType[setType] = set;
  return *this;
}

int ModelBuilder::AddDistribution(int rows, int columns, int rowSet, int columnSet,
                                  std::vector<double> values, bool dense) {
  if (rows < 0 || columns < 0) throw QOBBasError("model builder: negative matrix dimensions");
  std::size_t count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
  if (values.empty()) values.assign(count, 0.0);
  if (values.size() != count)
    throw QOBBasError("model builder: a matrix needs rows x columns values");
  return AddDistributionFrom(rows, columns, rowSet, columnSet,
                             std::make_shared<MemoryValues>(rows, std::move(values)), dense);
}

int ModelBuilder::AddDistributionFrom(int rows, int columns, int rowSet, int columnSet,
                                      std::shared_ptr<ValueStore> values, bool dense) {
  if (rows < 0 || columns < 0) throw QOBBasError("model builder: negative matrix dimensions");
  if (!values) throw QOBBasError("model builder: a matrix needs its values");
  Distribution d;
  d.dense = dense;
  d.rows = rows;
  d.columns = columns;
  d.rowSet = rowSet;
  d.columnSet = columnSet;
  d.values = std::move(values);
  m_model->system.distributions.push_back(std::move(d));
  return static_cast<int>(m_model->system.distributions.size()) - 1;
}

ModelBuilder& ModelBuilder::ShareRows(int distribution, const SharedRows& share) {
  if (distribution < 0 ||
      static_cast<std::size_t>(distribution) >= m_model->system.distributions.size())
    throw QOBBasError("model builder: rows shared by a missing matrix");
  m_model->system.distributions[static_cast<std::size_t>(distribution)].shared.push_back(share);
  return *this;
}

ModelBuilder& ModelBuilder::DistributionForType(int matrixType, int distribution) {
  m_model->system.distributionByType[matrixType] = distribution;
  return *this;
}
ModelBuilder& ModelBuilder::NodeCoordinates(int distribution) {
  m_model->system.nodeCoordinates = distribution;
  return *this;
}
ModelBuilder& ModelBuilder::DistributionName(const std::string& name, int distribution) {
  m_model->system.distributionByName[name] = distribution;
  return *this;
}
ModelBuilder& ModelBuilder::UserMatrix(const std::string& name, int distribution) {
  m_model->system.userMatrixByName[name] = distribution;
  return *this;
}

void ModelBuilder::Register() const { RegisterModel(*this); }

// The one door from the builder to the model it holds.
struct ModelBuilderAccess {
  static Model& Of(const ModelBuilder& builder) { return *builder.m_model; }
};

const Model& ModelOf(const ModelBuilder& builder) { return ModelBuilderAccess::Of(builder); }
Model& ModelOf(ModelBuilder& builder) { return ModelBuilderAccess::Of(builder); }

void ValidateBuiltModel(const Model& model) {
  try {
    ValidateModel(model);
  } catch (const QOBBasError& e) {
    throw QOBBasError("model '" + model.name + "': " + e.what());
  }
}

std::shared_ptr<Model> BuildModel(const ModelBuilder& builder) {
  const Model& model = ModelOf(builder);
  ValidateBuiltModel(model);
  auto copy = std::make_shared<Model>(model);
  // The copy must not share value stores with the builder, or later edits would leak into it.
  for (Distribution& d : copy->system.distributions) {
    auto* mem = dynamic_cast<MemoryValues*>(d.values.get());
    if (mem) d.values = std::make_shared<MemoryValues>(*mem);
  }
  copy->backing = std::make_shared<ModelBacking>();
  return copy;
}

std::shared_ptr<Model> RegisterModel(const ModelBuilder& builder) {
  auto model = BuildModel(builder);
  ModelRegistry::Add(model);
  return model;
}

void UnregisterModel(const std::string& name) { ModelRegistry::Remove(name); }

void UnregisterModels() { ModelRegistry::Clear(); }

namespace {

void Require(bool ok, const std::string& what) {
  if (!ok) throw QOBBasError(what);
}

bool InRange(int index, std::size_t size) {
  return index >= 0 && static_cast<std::size_t>(index) < size;
}

std::size_t TableSize(const SystemData& s, MemberKind kind) {
  switch (kind) {
    case MemberKind::Dof:
      return s.dofs.size();
    case MemberKind::Mode:
      return s.modes.size();
    case MemberKind::Node:
      return s.nodes.size();
    case MemberKind::Element:
      return s.elements.size();
    case MemberKind::Other:
      break;
  }
  return 0;
}

const char* MemberName(MemberKind kind) {
  switch (kind) {
    case MemberKind::Dof:
      return "degree of freedom";
    case MemberKind::Mode:
      return "mode";
    case MemberKind::Node:
      return "node";
    case MemberKind::Element:
      return "element";
    case MemberKind::Other:
      break;
  }
  return "member";
}

// A set as an author knows it: by the set type it is filed under, else by the matrix it labels,
// else by its index.
std::string SetName(const SystemData& s, int set) {
  for (const auto& [type, index] : s.setByType) {
    if (index != set) continue;
    if (type == types::ASet()) return "the A-set";
    if (type == types::ASetNodes()) return "the A-set nodes set";
    return "the set of set type " + std::to_string(type);
  }
  for (std::size_t d = 0; d < s.distributions.size(); ++d) {
    if (s.distributions[d].rowSet == set) return "the row set of matrix " + std::to_string(d);
    if (s.distributions[d].columnSet == set) return "the column set of matrix " + std::to_string(d);
  }
  return "set " + std::to_string(set);
}

}  // namespace

void ValidateModel(const Model& model) {
  for (const auto& [name, value] : model.attributes)
    Require(!name.empty(), "an attribute has no name");
  std::set<int> meshLabels;
  for (const MeshElement& e : model.mesh) {
    Require(!e.type.empty(), "a mesh element has no type");
    Require(meshLabels.insert(e.label).second,
            "the mesh has element " + std::to_string(e.label) + " twice");
  }
  const SystemData& s = model.system;
  for (const Dof& d : s.dofs)
    Require(d.node >= 1 && static_cast<std::size_t>(d.node) <= s.nodes.size(),
            "a degree of freedom refers to a node that does not exist");
  for (std::size_t i = 0; i < s.sets.size(); ++i) {
    const ComponentSet& set = s.sets[i];
    Require(InRange(set.collection, s.collections.size()), "a set refers to a missing collection");
    MemberKind kind =
        KindOfPositionType(s.collections[static_cast<std::size_t>(set.collection)].positionType);
    if (kind == MemberKind::Other) continue;  // members of other kinds are opaque numbers
    std::size_t table = TableSize(s, kind);
    for (int member : set.members)
      if (member < 1 || static_cast<std::size_t>(member) > table)
        throw QOBBasError(SetName(s, static_cast<int>(i)) + " holds " + MemberName(kind) +
                          " number " + std::to_string(member) + " of " + std::to_string(table));
  }
  for (const Distribution& d : s.distributions) {
    Require(d.rows >= 0 && d.columns >= 0 && d.values, "a matrix has no values");
    Require(d.rowSet == -1 || InRange(d.rowSet, s.sets.size()),
            "a matrix refers to a missing row set");
    Require(d.columnSet == -1 || InRange(d.columnSet, s.sets.size()),
            "a matrix refers to a missing column set");
    if (d.rowSet >= 0)
      Require(s.sets[static_cast<std::size_t>(d.rowSet)].members.size() ==
                  static_cast<std::size_t>(d.rows),
              "a matrix's row set does not have one member per row");
    if (d.columnSet >= 0)
      Require(s.sets[static_cast<std::size_t>(d.columnSet)].members.size() ==
                  static_cast<std::size_t>(d.columns),
              "a matrix's column set does not have one member per column");
  }
  auto distOk = [&](int d) { return InRange(d, s.distributions.size()); };
  for (std::size_t i = 0; i < s.distributions.size(); ++i) {
    const Distribution& d = s.distributions[i];
    long long next = 0;  // ranges in order of their first column, none overlapping
    for (const SharedRows& share : d.shared) {
      const std::string which = "matrix " + std::to_string(i) + " shares rows ";
      Require(distOk(share.source) && static_cast<std::size_t>(share.source) != i,
              which + "with a missing matrix");
      const Distribution& source = s.distributions[static_cast<std::size_t>(share.source)];
      Require(source.shared.empty(), which + "with a matrix that shares rows itself");
      Require(source.rows <= d.rows, which + "with a matrix of more rows");
      Require(share.columns > 0 && share.firstColumn >= next && share.sourceColumn >= 0 &&
                  static_cast<long long>(share.firstColumn) + share.columns <= d.columns &&
                  static_cast<long long>(share.sourceColumn) + share.columns <= source.columns,
              which + "of columns outside the matrices");
      next = static_cast<long long>(share.firstColumn) + share.columns;
    }
  }
  Require(s.nodeCoordinates == -1 || distOk(s.nodeCoordinates),
          "node coordinates refer to a missing matrix");
  for (const auto& [type, d] : s.distributionByType)
    Require(distOk(d), "a matrix type refers to a missing matrix");
  for (const auto& [name, d] : s.distributionByName)
    Require(distOk(d), "a matrix name refers to a missing matrix");
  for (const auto& [name, d] : s.userMatrixByName)
    Require(distOk(d), "a user matrix refers to a missing matrix");
  for (const auto& [type, set] : s.setByType)
    Require(InRange(set, s.sets.size()), "a set type refers to a missing set");
}

}  // namespace pfm
