// The platform's public support API over the store's sessions and model files.
#include "pfm_Support.h"

#include <algorithm>

#include "QOBSimAPI.h"
#include "pfm_ModelFile.h"
#include "pfm_Session.h"

namespace pfm {

namespace {

// Closes the session it holds on every path.
struct SessionCloser {
  int id;
  ~SessionCloser() { Sessions::Close(id); }
};

StoredMatrix Entry(StoredMatrix::Key key, int type, std::string name, const Distribution& d) {
  StoredMatrix m;
  m.key = key;
  m.type = type;
  m.name = std::move(name);
  m.rows = d.rows;
  m.columns = d.columns;
  m.dense = d.dense;
  return m;
}

}  // namespace

bool ReadContents(const std::string& model, ModelContents& out) {
  std::shared_ptr<Model> opened = ModelRegistry::Open(model, false);
  if (!opened) return false;
  Session& session = Sessions::Open(std::move(opened), false);
  SessionCloser closer{session.id};
  const Model& m = *session.model;
  if (!m.hasSubstructure || !m.hasSystem || m.recordReportsNull) return false;
  const SystemData& s = m.system;

  ModelContents c;
  c.systemType = s.type;
  c.numLoads = s.numLoads;
  c.numStaticModes = s.numStaticModes;
  c.attributes = m.attributes;
  c.mesh = m.mesh;
  std::map<int, int> byType(s.distributionByType.begin(), s.distributionByType.end());
  if (s.nodeCoordinates >= 0) byType[ads_CoreFragmentTypeIndex(31, 37)] = s.nodeCoordinates;
  for (const auto& [type, d] : byType)
    c.matrices.push_back(Entry(StoredMatrix::Key::Type, type, "", s.distributions[d]));
  for (const auto& [name, d] : s.userMatrixByName)
    c.matrices.push_back(Entry(StoredMatrix::Key::UserMatrix, 0, name, s.distributions[d]));
  for (const auto& [name, d] : s.distributionByName)
    if (!s.userMatrixByName.count(name))
      c.matrices.push_back(Entry(StoredMatrix::Key::Name, 0, name, s.distributions[d]));
  for (const auto& [type, set] : s.setByType)
    c.setSizes[type] = static_cast<int>(s.sets[set].members.size());
  out = std::move(c);
  return true;
}

const std::string& LastOpenFailure() { return ModelRegistry::LastOpenFailure(); }
FailureKind LastOpenFailureKind() { return ModelRegistry::LastOpenFailureKind(); }

FailureKind KindOfFailure(const std::string& reason) {
  if (reason == kNotInitialised) return FailureKind::NotInitialised;
  const ModelFileProblem problem = ModelFileProblemOf(reason);
  return problem == ModelFileProblem::None ? FailureKind::Other : problem;
}

StoreError::StoreError(FailureKind kind, const std::string& message)
    : QOBBasError(message), m_kind(kind) {}
StoreError::~StoreError() = default;

std::vector<OpenModel> OpenModels() {
  std::vector<OpenModel> open;
  for (int id : Sessions::OpenIds()) {
    const Model& m = *Sessions::Find(id)->model;
    open.push_back({m.name, Sessions::Find(id)->editable,
                    m.hasSubstructure && m.hasSystem && !m.recordReportsNull});
  }
  return open;
}

const std::string& LastCloseFailure() { return Sessions::LastCloseFailure(); }
FailureKind LastCloseFailureKind() { return Sessions::LastCloseFailureKind(); }

bool DiscardEdits(const std::string& model) {
  bool found = false;
  for (int id : Sessions::OpenIds()) {
    const Session* s = Sessions::Find(id);
    if (s && s->editable && s->model->name == model) {
      Sessions::Discard(id);
      found = true;
    }
  }
  return found;
}

StoreSettings GetStoreSettings() { return ModelFileSettings(); }

void SetStoreSettings(const StoreSettings& settings) {
  StoreSettings& current = ModelFileSettings();
  current.busyTimeoutMs = std::max(settings.busyTimeoutMs, 0);
  current.readerCacheKiB = std::max(settings.readerCacheKiB, 0);
}

void SaveModel(const ModelBuilder& builder, const std::string& path) {
  SaveModel(builder, path, kModelFormatVersion);
}

void SaveModel(const ModelBuilder& builder, const std::string& path, int formatVersion) {
  if (formatVersion != 1 && formatVersion != kModelFormatVersion)
    throw QOBBasError("cannot save the model to " + path + ": no format version " +
                      std::to_string(formatVersion));
  // Straight from the builder (checked as BuildModel checks it): a copy of large values would
  // only be thrown away.
  const Model& model = ModelOf(builder);
  ValidateBuiltModel(model);
  SaveModelFile(model, path, formatVersion);
}

}  // namespace pfm
