// Everything a host can reach of a stored model, each question asked once with bounded work.
#include "uma_ModelWalk.h"

#include <algorithm>
#include <memory>
#include <set>

#include "pfm_Support.h"
#include "uma_ArrayInt.h"
#include "uma_FlexibleBodyX.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"

namespace uma::sample {

namespace {

constexpr std::size_t kMaxKeys = 16;     // types, names and set types asked for, of each
constexpr int kMaxSide = 64;             // blocks are at most kMaxSide x kMaxSide values
constexpr long long kMaxProduct = 4096;  // products only of matrices of at most this many values

const uma_Enum::uma_MapTypeEnum kKinds[] = {uma_Enum::uma_MapDof, uma_Enum::uma_MapMode,
                                            uma_Enum::uma_MapNode, uma_Enum::uma_MapElement,
                                            uma_Enum::uma_MapInternal};

// What the model stores, as the platform knows it, and the keys a host asks for by habit.
struct Keys {
  std::set<int> types;
  std::set<std::string> names;
  std::set<int> setTypes;
};

template <class T>
void AddFirst(std::set<T>& to, const T& key) {
  if (to.size() < kMaxKeys) to.insert(key);
}

Keys KeysOf(const std::string& model) {
  Keys k;
  k.types = {ads_CoreFragmentTypeIndex(31, 37), ads_CoreFragmentTypeIndex(20, 68),
             ads_CoreFragmentTypeIndex(20, 74)};
  k.names = {"LumpedMass", "xGFAA", ""};
  k.setTypes = {ads_CoreFragmentTypeIndex(20, 72), ads_CoreFragmentTypeIndex(20, 73)};
  pfm::ModelContents contents;
  if (pfm::ReadContents(model, contents)) {
    for (const pfm::StoredMatrix& m : contents.matrices) {
      if (m.key == pfm::StoredMatrix::Key::Type)
        AddFirst(k.types, m.type);
      else
        AddFirst(k.names, m.name);
    }
    for (const auto& entry : contents.setSizes) AddFirst(k.setTypes, entry.first);
  }
  return k;
}

class Walker {
 public:
  explicit Walker(WalkResult& result) : m_result(result) {}

  // Runs one question; an exception of the platform is noted and the walk goes on.
  template <class Question>
  void Ask(Question question) {
    try {
      question();
    } catch (const QOBBasError& e) {
      if (m_result.errors.size() < kMaxKeys) m_result.errors.push_back(e.what());
    }
  }

  void Array(uma_ArrayInt* array) {
    std::unique_ptr<uma_ArrayInt> owned(array);
    if (!owned) return;
    long long sum = 0;
    for (int i = 0; i < owned->Size(); ++i) sum += (*owned)[i];
    m_result.answers += 1 + static_cast<int>(sum & 1);
  }

  void Matrix(const uma_Matrix* matrix) {
    std::unique_ptr<const uma_Matrix> owned(matrix);
    if (!owned) return;
    ++m_result.answers;
    const int rows = owned->NumRows(), columns = owned->NumColumns();
    m_result.answers += owned->IsNull() + static_cast<int>(owned->TypeRows()) +
                        static_cast<int>(owned->TypeColumns());
    for (auto kind : kKinds) {
      Ask([&] { Array(owned->MapRows(kind)); });
      Ask([&] { Array(owned->MapColumns(kind)); });
    }
    if (owned->IsNull() || rows <= 0 || columns <= 0) return;
    // The leading block and the trailing one, where a short column ends.
    Ask([&] { Block(*owned, 0, 0, rows, columns); });
    Ask([&] {
      Block(*owned, std::max(0, rows - kMaxSide), std::max(0, columns - kMaxSide), rows, columns);
    });
    Ask([&] {
      std::unique_ptr<uma_Matrix> corner(owned->Submatrix(rows - 1, rows - 1, 0, columns - 1));
      if (!corner) return;
      Array(corner->MapRows(uma_Enum::uma_MapInternal));
      Block(*corner, 0, 0, corner->NumRows(), corner->NumColumns());
    });
    if (static_cast<long long>(rows) * columns <= kMaxProduct) Ask([&] { Products(*owned); });
  }

  // Copies the block of at most kMaxSide x kMaxSide values from (r0, c0).
  void Block(const uma_Matrix& matrix, int r0, int c0, int rows, int columns) {
    const int nr = std::min(kMaxSide, rows - r0), nc = std::min(kMaxSide, columns - c0);
    if (nr <= 0 || nc <= 0) return;
    uma_IncoreMatrix out(nr, nc, nullptr);
    matrix.GetValues(r0, r0 + nr - 1, c0, c0 + nc - 1, out);
    m_result.answers += out.value(nr - 1, nc - 1) == out.value(nr - 1, nc - 1);
  }

  // A·x and Aᵀ·y for vectors of ones.
  void Products(const uma_Matrix& a) {
    uma_IncoreMatrix x(a.NumColumns(), 1, nullptr), y(a.NumRows(), 1, nullptr);
    for (int i = 0; i < a.NumColumns(); ++i) x.value(i, 0) = 1.0;
    for (int i = 0; i < a.NumRows(); ++i) y.value(i, 0) = 1.0;
    uma_IncoreMatrix ax(a.NumRows(), 1, nullptr), aty(a.NumColumns(), 1, nullptr);
    a.Multiply(&x, &ax);
    a.TransposeMultiply(&y, &aty);
    ++m_result.answers;
  }

  void System(const uma_System& system, const Keys& keys) {
    m_result.answers += (system.Type() | system.NumLoads() | system.NumStaticModes()) != 0;
    for (int type : keys.types) {
      Ask([&] { m_result.answers += system.HasMatrix(type); });
      for (int options : {0, 7}) Ask([&] { Matrix(system.Matrix(type, options)); });
    }
    for (const std::string& name : keys.names) {
      Ask([&] { m_result.answers += system.HasMatrix(name.c_str()); });
      for (int options : {0, 7}) Ask([&] { Matrix(system.Matrix(name.c_str(), options)); });
    }
    for (int setType : keys.setTypes)
      for (auto kind : kKinds) Ask([&] { Array(system.MapCSet(setType, kind)); });
  }

  void Flexible(uma_FlexibleBodyX& body, const Keys& keys) {
    for (int type : keys.types) Ask([&] { Matrix(body.Matrix(type)); });
    for (const std::string& name : keys.names) Ask([&] { Matrix(body.Matrix(name.c_str())); });
    Ask([&] { Matrix(body.Matrix(static_cast<const char*>(nullptr))); });
    Ask([&] { Array(body.FENodes()); });
    Ask([&] { Array(body.NodesInASet()); });
    Ask([&] { Array(body.ASetNodes()); });
    Ask([&] { Array(body.ASetDofs()); });
    Ask([&] { Array(body.RecoverySetNodes()); });
    Ask([&] { Array(body.RecoverySetDofs()); });
    Ask([&] { Array(body.GFAASetNodes()); });
    Ask([&] { Array(body.GFAASetDofs()); });
  }

  // Writes the first value of each writable matrix; the change is saved when `system` goes.
  void Edit(uma_System& system, const Keys& keys) {
    auto change = [&](uma_Matrix* matrix) {
      std::unique_ptr<uma_Matrix> owned(matrix);
      if (!owned || owned->IsNull() || owned->NumRows() <= 0 || owned->NumColumns() <= 0) return;
      uma_IncoreMatrix value(1, 1, nullptr);
      value.value(0, 0) = 0.5;
      owned->SetValues(0, 0, 0, 0, value);
      owned->GetValues(0, 0, 0, 0, value);
      m_result.answers += value.value(0, 0) == 0.5;
    };
    for (int type : keys.types) Ask([&] { change(system.GetMatrix(type)); });
    for (const std::string& name : keys.names) Ask([&] { change(system.GetMatrix(name.c_str())); });
  }

 private:
  WalkResult& m_result;
};

}  // namespace

WalkResult Walk(const std::string& model, bool edit) {
  WalkResult result;
  Walker walker(result);
  Keys keys;
  {
    uma_FlexibleBodyX body(model.c_str());
    if (body.IsNull()) {
      result.failure = pfm::LastOpenFailure();
      return result;
    }
    result.opened = true;
    keys = KeysOf(model);
    walker.System(body, keys);
    walker.Flexible(body, keys);
  }
  if (!edit) return result;
  {
    uma_System system(model.c_str(), true);
    if (system.IsNull()) {
      result.editFailure = pfm::LastOpenFailure();
      return result;
    }
    walker.Edit(system, keys);
  }
  result.editFailure = pfm::LastCloseFailure();
  return result;
}

}  // namespace uma::sample
