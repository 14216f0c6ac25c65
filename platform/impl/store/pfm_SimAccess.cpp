// Database access: open a model by name as a new session, close it by any of its positions.
#include <string>

#include "DDB_AnalysisSupport.h"
#include "pfm_Observe.h"
#include "pfm_Session.h"

namespace {

std::string Quoted(const atr_StringBase& s) { return "\"" + s.str() + "\""; }

QOBSimPosition OpenSession(const std::string& name, bool editable) {
  auto model = pfm::ModelRegistry::Open(name, editable);
  if (!model) return QOBSimPosition();
  pfm::Session& s = pfm::Sessions::Open(std::move(model), editable);
  return pfm::ids::Position(s.id, pfm::ids::kModel);
}

std::string Words(const QOBSimPosition& p) {
  std::string out;
  for (int i = 0; i < 6; ++i) out += (i ? "," : "") + std::to_string(p.w[i]);
  return out;
}

}  // namespace

QOBSimPosition asu_SimAccess::OpenRead(cow_String name, RYMString options, bool exclusive) {
  PFM_JOURNAL("OpenRead(" + Quoted(name) + "," + Quoted(options) + "," +
              (exclusive ? "true" : "false") + ")");
  return OpenSession(name.str(), false);
}

QOBSimPosition asu_SimAccess::OpenEdit(cow_String name, cow_String options, cow_String scratch) {
  PFM_JOURNAL("OpenEdit(" + Quoted(name) + "," + Quoted(options) + "," + Quoted(scratch) + ")");
  return OpenSession(name.str(), true);
}

void asu_SimAccess::Close(QOBSimPosition position) {
  PFM_JOURNAL("Close(" + Words(position) + ")");
  if (!position.IsNull()) pfm::Sessions::Close(position.w[0]);
}
