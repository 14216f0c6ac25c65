// What uma-check finds in a model (see check_Report.h).
#include "check_Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <utility>

#include "common_Pencil.h"
#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "uma_ArrayInt.h"
#include "uma_FlexibleBodyX.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "common_MatrixKey.h"
#include "common_Model.h"

namespace uma::check {

int Report::Errors() const {
  return static_cast<int>(
      std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return f.error; }));
}
int Report::Warnings() const { return static_cast<int>(findings.size()) - Errors(); }

namespace {

namespace types = pfm::types;
using Matrix = std::unique_ptr<const uma_Matrix>;
using Place = std::pair<int, int>;  // (node label, local dof)

constexpr long long kChunkValues = 1 << 20;  // values read at a time
constexpr double kPi = 3.14159265358979323846;

// (node, dof) of each member, when both mappings exist and agree in length.
std::optional<std::vector<Place>> Places(uma_ArrayInt* nodes, uma_ArrayInt* dofs) {
  auto n = uma::common::TakeLabels(nodes), d = uma::common::TakeLabels(dofs);
  if (!n || !d || n->size() != d->size()) return std::nullopt;
  std::vector<Place> out;
  for (std::size_t i = 0; i < n->size(); ++i) out.emplace_back((*n)[i], (*d)[i]);
  return out;
}

std::string Str(const Place& p) {
  return "node " + std::to_string(p.first) + " dof " + std::to_string(p.second);
}
std::string Str(long long n) { return std::to_string(n); }
std::string Num(double v) { return common::FormatNumber(v); }

// The key of a matrix as the tools list and take it, and how findings name it.
std::string TypeKey(int type) { return common::MatrixKey::OfType(type).Text(); }
std::string NameKey(const std::string& name) { return common::MatrixKey::OfName(name).Text(); }
std::string Subject(const std::string& key) { return "matrix " + key; }

class Checker {
 public:
  Checker(Report& report, uma_FlexibleBodyX& body) : r(report), m_body(body), m_system(body) {}

  void Run(const pfm::ModelContents& contents) {
    try {
      ReadValues(contents);
      ReadSets(contents);
      CheckSets(contents);
      CheckModeMatrix();
      CheckRecovery();
      CheckReducedLoads();
      CheckNamed();
      CheckReduced();
      MeasurePhysics();
    } catch (const QOBBasError& e) {
      // A value read once already failed the second time (the file changed under us).
      Error("values", std::string("the model could not be read again: ") + e.what());
    } catch (const std::bad_alloc&) {
      Error("values", "out of memory");
    }
  }

 private:
  void Error(const std::string& check, const std::string& message) {
    r.findings.push_back({true, check, message});
  }
  void Warning(const std::string& check, const std::string& message) {
    r.findings.push_back({false, check, message});
  }

  Matrix ByType(int type) const { return Matrix(m_system.Matrix(type, 0)); }
  Matrix ByName(const char* name) const { return Matrix(m_system.Matrix(name, 0)); }

  // Every value of every matrix the model stores, a chunk at a time: a column that cannot be
  // read or a value that is not finite is an error.
  void ReadValues(const pfm::ModelContents& contents) {
    for (const pfm::StoredMatrix& stored : contents.matrices) {
      MatrixRead read;
      bool byType = stored.key == pfm::StoredMatrix::Key::Type;
      read.key = byType ? TypeKey(stored.type) : NameKey(stored.name);
      read.what = byType ? common::TypeMeaning(stored.type) : "";
      read.rows = stored.rows;
      read.columns = stored.columns;
      Matrix m = byType ? ByType(stored.type) : ByName(stored.name.c_str());
      read.dense = m != nullptr;
      if (!m) {
        Warning("not-dense",
                Subject(read.key) + " is not stored as a dense matrix: hosts get nothing of it");
      } else {
        if (ReadAll(*m, read.key, read.valuesRead, m_columnMax[read.key])) m_clean.insert(read.key);
        ReadLabels(*m);
      }
      r.matrices.push_back(read);
    }
  }

  // Counts the values read in `read`; true when all were read and are finite.
  bool ReadAll(const uma_Matrix& m, const std::string& key, long long& read,
               std::vector<double>& columnMax) {
    const long long rows = m.NumRows(), columns = m.NumColumns();
    if (rows == 0 || columns == 0) return true;
    long long nonFinite = 0, firstRow = 0, firstColumn = 0;
    columnMax.assign(static_cast<std::size_t>(columns), 0.0);
    const long long rowStep = std::min(rows, kChunkValues);
    const long long columnStep = std::max(1LL, std::min(columns, kChunkValues / rowStep));
    std::vector<double> buffer(static_cast<std::size_t>(rowStep * columnStep));
    try {
      for (long long c0 = 0; c0 < columns; c0 += columnStep) {
        long long nc = std::min(columnStep, columns - c0);
        for (long long r0 = 0; r0 < rows; r0 += rowStep) {
          long long nr = std::min(rowStep, rows - r0);
          uma_IncoreMatrix block(static_cast<int>(nr), static_cast<int>(nc), buffer.data());
          m.GetValues(static_cast<int>(r0), static_cast<int>(r0 + nr - 1), static_cast<int>(c0),
                      static_cast<int>(c0 + nc - 1), block);
          for (long long c = 0; c < nc; ++c)
            for (long long i = 0; i < nr; ++i) {
              const double v = buffer[static_cast<std::size_t>(i + c * nr)];
              if (!std::isfinite(v) && nonFinite++ == 0) {
                firstRow = r0 + i;
                firstColumn = c0 + c;
              }
              double& most = columnMax[static_cast<std::size_t>(c0 + c)];
              most = std::max(most, std::fabs(v));
            }
          read += nr * nc;
        }
      }
    } catch (const QOBBasError& e) {
      Error("values", Subject(key) + " cannot be read: " + e.what());
      return false;
    }
    if (nonFinite > 0) {
      Error("values", Subject(key) + " holds " + Str(nonFinite) +
                          " values that are not finite numbers, the first at row " + Str(firstRow) +
                          ", column " + Str(firstColumn));
      return false;
    }
    return true;
  }

  // The labels of a matrix's rows and columns, of every kind its sets map to.
  void ReadLabels(const uma_Matrix& m) {
    for (auto kind : {uma_Enum::uma_MapInternal, uma_Enum::uma_MapNode, uma_Enum::uma_MapDof,
                      uma_Enum::uma_MapElement}) {
      if (uma::common::TakeLabels(m.MapRows(kind))) ++r.setsRead;
      if (uma::common::TakeLabels(m.MapColumns(kind))) ++r.setsRead;
    }
  }

  void ReadSets(const pfm::ModelContents& contents) {
    for (const auto& [type, size] : contents.setSizes) {
      auto members = uma::common::TakeLabels(m_system.MapCSet(type, uma_Enum::uma_MapInternal));
      if (members) ++r.setsRead;
      if (static_cast<int>(members ? members->size() : 0) != size)
        Error("sets", "the set of type " + Str(type) + " answers " +
                          Str(members ? static_cast<long long>(members->size()) : 0) +
                          " members; it holds " + Str(size));
      for (auto kind : {uma_Enum::uma_MapNode, uma_Enum::uma_MapDof, uma_Enum::uma_MapElement})
        if (uma::common::TakeLabels(m_system.MapCSet(type, kind))) ++r.setsRead;
    }
    // The flexible body's views, as a host asks for them.
    for (auto view : {&uma_FlexibleBodyX::FENodes, &uma_FlexibleBodyX::NodesInASet,
                      &uma_FlexibleBodyX::ASetNodes, &uma_FlexibleBodyX::ASetDofs,
                      &uma_FlexibleBodyX::RecoverySetNodes, &uma_FlexibleBodyX::RecoverySetDofs,
                      &uma_FlexibleBodyX::GFAASetNodes, &uma_FlexibleBodyX::GFAASetDofs})
      if (uma::common::TakeLabels((m_body.*view)())) ++r.setsRead;
  }

  // The A-set: one degree of freedom per static mode; the A-set nodes: its nodes in order.
  void CheckSets(const pfm::ModelContents& contents) {
    const int nS = r.staticModes;
    bool hasASet = contents.setSizes.count(types::ASet()) != 0;
    if (hasASet) {
      m_aSet = Places(m_system.MapCSet(types::ASet(), uma_Enum::uma_MapNode),
                      m_system.MapCSet(types::ASet(), uma_Enum::uma_MapDof));
      int size = contents.setSizes.at(types::ASet());
      if (!m_aSet && size > 0)
        Error("a-set", "the A-set (set type " + Str(types::ASet()) +
                           ") does not map to nodes and degrees of freedom: its members must be "
                           "degrees of freedom");
      else if (size != nS)
        Error("a-set", "the A-set holds " + Str(size) + " degrees of freedom but the model has " +
                           Str(nS) + " static modes: one static mode per A-set degree of freedom");
    } else if (nS > 0) {
      Error("a-set", "the model has " + Str(nS) + " static modes but no A-set (set type " +
                         Str(types::ASet()) + ")");
    }
    if (contents.setSizes.count(types::ASetNodes())) {
      auto nodes = uma::common::TakeLabels(m_system.MapCSet(types::ASetNodes(), uma_Enum::uma_MapNode));
      if (!nodes && contents.setSizes.at(types::ASetNodes()) > 0) {
        Error("a-set-nodes", "the A-set nodes (set type " + Str(types::ASetNodes()) +
                                 ") do not map to node labels: its members must be nodes");
      } else if (nodes && m_aSet) {
        std::vector<int> expected;
        for (const Place& p : *m_aSet)
          if (std::find(expected.begin(), expected.end(), p.first) == expected.end())
            expected.push_back(p.first);
        if (*nodes != expected)
          Warning("a-set-nodes",
                  "the A-set nodes are not the nodes of the A-set's degrees of freedom in order");
      }
    }
  }

  // The first static-mode columns of a matrix with mode columns follow the A-set.
  void CheckStaticModeColumns(const std::vector<Place>& columns, int first, const std::string& what,
                              const std::string& check) {
    if (!m_aSet) return;
    for (std::size_t i = 0; i < m_aSet->size(); ++i) {
      std::size_t c = static_cast<std::size_t>(first) + i;
      if (c >= columns.size()) return;
      if (columns[c] != (*m_aSet)[i]) {
        Error(check, what + " column " + Str(static_cast<long long>(c)) + " is labelled " +
                         Str(columns[c]) + " where the static mode of A-set " + Str((*m_aSet)[i]) +
                         " belongs: the static modes come in the A-set's order");
        return;
      }
    }
  }

  void CheckModeMatrix() {
    Matrix modes = ByType(types::ModeMatrix());
    if (!modes) return;
    m_modeColumns = modes->NumColumns();
    const int nS = r.staticModes;
    r.dynamicModes = std::max(0, m_modeColumns - nS);
    if (m_modeColumns < nS) {
      Error("mode-matrix-columns",
            "the mode matrix has " + Str(m_modeColumns) + " columns, fewer than the " + Str(nS) +
                " static modes: its columns are the static modes, then the dynamic modes");
      return;
    }
    if (modes->TypeColumns() != uma_Enum::uma_MapMode) {
      Warning("mode-matrix-columns", "the mode matrix's columns are not labelled by modes");
      return;
    }
    auto columns =
        Places(modes->MapColumns(uma_Enum::uma_MapNode), modes->MapColumns(uma_Enum::uma_MapDof));
    if (columns) CheckStaticModeColumns(*columns, 0, "the mode matrix's", "static-modes-first");
    CheckModeValues(*modes);
  }

  // The rows of `m` labelled by each place (node, dof), or nothing when a place is not there.
  std::optional<std::vector<int>> RowsOf(const uma_Matrix& m, const std::vector<Place>& places,
                                         int rows) {
    auto labels = Places(m.MapRows(uma_Enum::uma_MapNode), m.MapRows(uma_Enum::uma_MapDof));
    if (!labels || static_cast<int>(labels->size()) < rows) return std::nullopt;
    std::map<Place, int> where;
    for (int i = 0; i < rows; ++i) where.emplace((*labels)[static_cast<std::size_t>(i)], i);
    std::vector<int> out;
    for (const Place& p : places) {
      auto it = where.find(p);
      if (it == where.end()) return std::nullopt;
      out.push_back(it->second);
    }
    return out;
  }

  std::vector<double> Row(const uma_Matrix& m, int row) {
    std::vector<double> values(static_cast<std::size_t>(m.NumColumns()));
    uma_IncoreMatrix out(1, m.NumColumns(), values.data());
    m.GetValues(row, row, 0, m.NumColumns() - 1, out);
    return values;
  }

  // On the A-set's rows, the static modes are the identity (a unit displacement of their own
  // dof, none of the others) and fixed-interface dynamic modes vanish.
  void CheckModeValues(const uma_Matrix& modes) {
    const std::string key = TypeKey(types::ModeMatrix());
    const int nS = r.staticModes, columns = modes.NumColumns();
    if (!m_aSet || !m_clean.count(key) || static_cast<int>(m_aSet->size()) != nS || nS == 0 ||
        columns < nS)
      return;
    auto rows = RowsOf(modes, *m_aSet, modes.NumRows());
    if (!rows) return;
    const std::vector<double>& most = m_columnMax[key];
    bool identity = true, vanish = true;
    for (int i = 0; i < nS; ++i) {
      const std::vector<double> row = Row(modes, (*rows)[static_cast<std::size_t>(i)]);
      for (int c = 0; c < columns; ++c) {
        const double v = row[static_cast<std::size_t>(c)];
        if (c < nS && identity && std::fabs(v - (c == i ? 1.0 : 0.0)) > kLayoutTolerance) {
          identity = false;
          Warning("static-modes-identity",
                  "the mode matrix's static mode " + Str(c) + " (" +
                      Str((*m_aSet)[static_cast<std::size_t>(c)]) + ") is " + Num(v) + " at " +
                      Str((*m_aSet)[static_cast<std::size_t>(i)]) +
                      " of the A-set, where a static mode is 1 at its own dof and 0 at the others");
        }
        if (c >= nS && std::fabs(v) > kLayoutTolerance * most[static_cast<std::size_t>(c)])
          vanish = false;
      }
    }
    m_fixedInterface = vanish;
  }

  void CheckRecovery() {
    Matrix recovery = ByType(types::RecoveryMatrix());
    if (!recovery) return;
    const int nL = r.loads, nS = r.staticModes;
    const int rows = recovery->NumRows(), columns = recovery->NumColumns();
    const std::string name = "the recovery matrix";
    if (columns < nL) {
      Error("load-columns-first", name + " has " + Str(columns) + " columns, fewer than the " +
                                      Str(nL) + " loads: its first columns are the loads");
    } else if (nL > 0 && recovery->TypeColumns() != uma_Enum::uma_MapMode) {
      Error("load-columns-first", name + "'s columns are not labelled by modes, so its " + Str(nL) +
                                      " load columns are never trimmed");
    } else if (recovery->TypeColumns() == uma_Enum::uma_MapMode) {
      auto labels = Places(recovery->MapColumns(uma_Enum::uma_MapNode),
                           recovery->MapColumns(uma_Enum::uma_MapDof));
      if (labels) CheckLoadColumns(*labels, name);
    }
    if (m_modeColumns >= 0 && columns >= nL && columns - nL != m_modeColumns)
      Error("recovery-columns", name + " has " + Str(columns - nL) +
                                    " mode columns after its loads; the mode matrix has " +
                                    Str(m_modeColumns));

    if (rows < nS) {
      Error("static-mode-rows-last", name + " has " + Str(rows) + " rows, fewer than the " +
                                         Str(nS) + " static-mode rows that close it");
    } else if (nS > 0 && recovery->TypeRows() != uma_Enum::uma_MapDof) {
      Error("static-mode-rows-last", name +
                                         "'s rows are not labelled by degrees of freedom, so "
                                         "its " +
                                         Str(nS) + " static-mode rows are never trimmed");
    } else if (nS > 0 && m_aSet) {
      auto labels =
          Places(recovery->MapRows(uma_Enum::uma_MapNode), recovery->MapRows(uma_Enum::uma_MapDof));
      if (!labels || static_cast<int>(labels->size()) != rows) return;
      for (int i = 0; i < nS && static_cast<std::size_t>(i) < m_aSet->size(); ++i) {
        const Place& row = (*labels)[static_cast<std::size_t>(rows - nS + i)];
        if (row != (*m_aSet)[static_cast<std::size_t>(i)]) {
          Error("static-mode-rows-last",
                name + " row " + Str(rows - nS + i) + " is labelled " + Str(row) + " where " +
                    Str((*m_aSet)[static_cast<std::size_t>(i)]) + " belongs: its last " + Str(nS) +
                    " rows are the static-mode rows, labelled by the A-set in order");
          return;
        }
      }
      CheckStaticRowValues(*recovery);
    }
  }

  // Each static-mode row of the recovery matrix reads its own coordinate: it holds what the
  // recovery matrix's row of that A-set dof holds.
  void CheckStaticRowValues(const uma_Matrix& recovery) {
    const std::string key = TypeKey(types::RecoveryMatrix());
    const int nS = r.staticModes, rows = recovery.NumRows(), columns = recovery.NumColumns();
    if (!m_clean.count(key) || static_cast<int>(m_aSet->size()) != nS) return;
    auto aSetRows = RowsOf(recovery, *m_aSet, rows - nS);
    if (!aSetRows) return;
    const std::vector<double>& most = m_columnMax[key];
    for (int i = 0; i < nS; ++i) {
      const std::vector<double> own = Row(recovery, rows - nS + i),
                                dof = Row(recovery, (*aSetRows)[static_cast<std::size_t>(i)]);
      for (int c = 0; c < columns; ++c)
        if (std::fabs(own[static_cast<std::size_t>(c)] - dof[static_cast<std::size_t>(c)]) >
            kLayoutTolerance * std::max(1.0, most[static_cast<std::size_t>(c)])) {
          Warning("static-mode-rows-values",
                  "the recovery matrix's static-mode row " + Str(rows - nS + i) + " (" +
                      Str((*m_aSet)[static_cast<std::size_t>(i)]) + ") holds " +
                      Num(own[static_cast<std::size_t>(c)]) + " in column " + Str(c) +
                      " where the row of that dof holds " + Num(dof[static_cast<std::size_t>(c)]) +
                      ": a static-mode row reads its own coordinate");
          return;
        }
    }
  }

  // Loads are modes of node label 0: the first NumLoads columns and no other.
  void CheckLoadColumns(const std::vector<Place>& labels, const std::string& name) {
    const int nL = r.loads;
    std::vector<long long> misplaced, loadsAfter;
    for (std::size_t c = 0; c < labels.size(); ++c) {
      bool load = labels[c].first == 0;
      if (static_cast<int>(c) < nL && !load) misplaced.push_back(static_cast<long long>(c));
      if (static_cast<int>(c) >= nL && load) loadsAfter.push_back(static_cast<long long>(c));
    }
    if (!misplaced.empty() || !loadsAfter.empty()) {
      std::string message = name + "'s first " + Str(nL) +
                            " columns must be its loads (modes of node label 0), before the "
                            "static and the dynamic modes";
      if (!misplaced.empty())
        message += "; column " + Str(misplaced[0]) + " is " +
                   Str(labels[static_cast<std::size_t>(misplaced[0])]);
      if (!loadsAfter.empty()) message += "; column " + Str(loadsAfter[0]) + " is a load";
      Error("load-columns-first", message);
      return;
    }
    CheckStaticModeColumns(labels, nL, name + "'s", "static-modes-first");
  }

  // "ReducedLoads" is Phi^T F of the recovery matrix's dof block and the load vectors "Loads":
  // every load reaches the reduced coordinates, boundary parts included.
  void CheckReducedLoads() {
    Matrix reduced = ByName(types::kReducedLoads);
    if (!reduced) return;
    const int nL = r.loads, nS = r.staticModes;
    if (reduced->NumColumns() != nL ||
        (m_modeColumns >= 0 && reduced->NumRows() != m_modeColumns)) {
      Error("reduced-loads", std::string(types::kReducedLoads) + " is " + Str(reduced->NumRows()) +
                                 " x " + Str(reduced->NumColumns()) + "; it must be " +
                                 Str(m_modeColumns) + " x " + Str(nL) +
                                 " (the mode matrix's columns by the loads)");
      return;
    }
    Matrix loads = ByName(types::kLoads), recovery = ByType(types::RecoveryMatrix());
    const std::string loadsKey = NameKey(types::kLoads),
                      reducedKey = NameKey(types::kReducedLoads),
                      recoveryKey = TypeKey(types::RecoveryMatrix());
    if (!loads || !recovery || !m_clean.count(loadsKey) || !m_clean.count(reducedKey) ||
        !m_clean.count(recoveryKey) || nL == 0)
      return;
    const int n = recovery->NumRows() - nS, columns = m_modeColumns;
    if (loads->NumRows() != n || loads->NumColumns() != nL || columns < 0 ||
        recovery->NumColumns() != nL + columns) {
      Error("reduced-loads", std::string(types::kLoads) + " is " + Str(loads->NumRows()) + " x " +
                                 Str(loads->NumColumns()) + "; it must be " + Str(n) + " x " +
                                 Str(nL) + " (the recovery matrix's dof rows by the loads)");
      return;
    }
    // Phi^T F and |Phi|^T |F|, a block of rows at a time.
    std::vector<double> product(static_cast<std::size_t>(columns) * nL, 0.0), scale = product;
    const int step = static_cast<int>(std::max(1LL, kChunkValues / std::max(1, columns + nL)));
    for (int r0 = 0; r0 < n; r0 += step) {
      const int rows = std::min(step, n - r0);
      std::vector<double> phi(static_cast<std::size_t>(rows) * columns),
          f(static_cast<std::size_t>(rows) * nL);
      uma_IncoreMatrix phiBlock(rows, columns, phi.data()), fBlock(rows, nL, f.data());
      recovery->GetValues(r0, r0 + rows - 1, nL, nL + columns - 1, phiBlock);
      loads->GetValues(r0, r0 + rows - 1, 0, nL - 1, fBlock);
      for (int l = 0; l < nL; ++l)
        for (int c = 0; c < columns; ++c)
          for (int i = 0; i < rows; ++i) {
            const double a = phi[static_cast<std::size_t>(i + c * rows)],
                         b = f[static_cast<std::size_t>(i + l * rows)];
            product[static_cast<std::size_t>(c + l * columns)] += a * b;
            scale[static_cast<std::size_t>(c + l * columns)] += std::fabs(a * b);
          }
    }
    std::vector<double> stored(product.size());
    uma_IncoreMatrix out(columns, nL, stored.data());
    reduced->GetValues(0, columns - 1, 0, nL - 1, out);
    double worst = 0;
    std::size_t at = 0;
    for (std::size_t i = 0; i < stored.size(); ++i) {
      const double e = std::fabs(stored[i] - product[i]);
      const double relative = scale[i] > 0 ? e / scale[i] : (e > 0 ? INFINITY : 0.0);
      if (relative > worst) {
        worst = relative;
        at = i;
      }
    }
    r.physics.reducedLoadError = worst;
    if (worst > kLoadTolerance)
      Error("reduced-loads",
            std::string(types::kReducedLoads) + " is not Phi^T F: load " +
                Str(static_cast<long long>(at / static_cast<std::size_t>(columns)) + 1) +
                " on coordinate " +
                Str(static_cast<long long>(at % static_cast<std::size_t>(columns))) + " is " +
                Num(stored[at]) + " where the recovery matrix and " + types::kLoads + " give " +
                Num(product[at]));
  }

  void CheckNamed() {
    if (Matrix coordinates = ByType(types::NodeCoordinates())) {
      if (coordinates->NumColumns() != 3)
        Error("node-coordinates", "the node coordinates have " + Str(coordinates->NumColumns()) +
                                      " columns instead of 3 (x, y, z)");
      if (coordinates->TypeRows() != uma_Enum::uma_MapNode)
        Error("node-coordinates", "the node coordinates' rows are not labelled by nodes");
    }
    if (Matrix lumped = ByName(types::kLumpedMass)) {
      if (lumped->TypeRows() != uma_Enum::uma_MapNode)
        Error("lumped-mass", std::string(types::kLumpedMass) +
                                 "'s rows are not labelled by nodes, so internal nodes are "
                                 "never filtered out of it");
    }
    if (Matrix gfaa = ByName(types::kGFAA)) {
      if (!Places(gfaa->MapColumns(uma_Enum::uma_MapNode),
                  gfaa->MapColumns(uma_Enum::uma_MapDof)) &&
          gfaa->NumColumns() > 0)
        Error("xgfaa", std::string(types::kGFAA) +
                           "'s columns are not labelled by degrees of freedom: the flexible body "
                           "answers no nodes or degrees of freedom for them");
    }
  }

  // The reduced stiffness and mass are square over the mode matrix's columns.
  void CheckReduced() {
    for (int type : {types::ReducedStiffness(), types::ReducedMass()}) {
      Matrix m = ByType(type);
      if (!m) continue;
      std::string name = "the " + common::TypeMeaning(type) + " (type " + Str(type) + ")";
      if (m->NumRows() != m->NumColumns()) {
        Error("reduced-matrices",
              name + " is " + Str(m->NumRows()) + " x " + Str(m->NumColumns()) + ", not square");
        continue;
      }
      if (m_modeColumns >= 0 && m->NumRows() != m_modeColumns)
        Error("reduced-matrices", name + " has " + Str(m->NumRows()) +
                                      " rows; the reduced coordinates are the mode matrix's " +
                                      Str(m_modeColumns) + " columns");
      auto labelled = [](uma_Enum::uma_MapTypeEnum kind) {
        return kind == uma_Enum::uma_MapMode || kind == uma_Enum::uma_MapInternal;
      };
      if (!labelled(m->TypeRows()) || !labelled(m->TypeColumns()))
        Error("reduced-matrices", name + "'s rows and columns must be labelled by modes");
    }
  }

  // The values of a square reduced matrix that read without error, or nothing.
  std::optional<std::vector<double>> Square(int type) {
    std::string key = TypeKey(type);
    if (!m_clean.count(key)) return std::nullopt;
    Matrix m = ByType(type);
    int n = m ? m->NumRows() : 0;
    if (n <= 0 || n != m->NumColumns()) return std::nullopt;
    if (n > uma::common::kLargestPencil) {
      Warning("too-large", "the " + common::TypeMeaning(type) + " has more than " +
                               Str(uma::common::kLargestPencil) +
                               " rows: its physics is not checked");
      return std::nullopt;
    }
    std::vector<double> values(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    uma_IncoreMatrix out(n, n, values.data());
    m->GetValues(0, n - 1, 0, n - 1, out);
    return values;
  }

  void MeasurePhysics() {
    auto k = Square(types::ReducedStiffness()), m = Square(types::ReducedMass());
    auto size = [](const std::vector<double>& v) {
      return static_cast<int>(std::lround(std::sqrt(static_cast<double>(v.size()))));
    };
    Physics& p = r.physics;
    if (k) {
      int n = size(*k);
      p.stiffnessAsymmetry = RelativeAsymmetry(*k, n);
      if (*p.stiffnessAsymmetry > kAsymmetryTolerance)
        Warning("stiffness-symmetry",
                "the reduced stiffness is not symmetric: largest relative "
                "asymmetry " +
                    Num(*p.stiffnessAsymmetry));
      Couplings(*k, n);
      CondensedStiffness(*k, n);
    }
    if (m) {
      int n = size(*m);
      p.massAsymmetry = RelativeAsymmetry(*m, n);
      if (*p.massAsymmetry > kAsymmetryTolerance)
        Warning("mass-symmetry", "the reduced mass is not symmetric: largest relative asymmetry " +
                                     Num(*p.massAsymmetry));
      MassDefiniteness(*m, n);
      Normalisation(*m, n);
    }
    if (k && m && size(*k) == size(*m)) Spectrum(*k, *m, size(*k));
    if (m) RigidBody(k ? &*k : nullptr, *m, size(*m));
  }

  // Natural frequencies of the pencil (K, M), rigid-body modes counted against the first elastic
  // eigenvalue, massless coordinates counted as infinite frequencies.
  void Spectrum(const std::vector<double>& k, const std::vector<double>& m, int n) {
    Physics& p = r.physics;
    const uma::common::PencilSpectrum s = uma::common::SolvePencil(k, m, n);
    if (!s.solved) {
      Warning("pencil", "no natural frequencies: " + s.failure);
      return;
    }
    p.frequencies = uma::common::Frequencies(s);
    p.rigidBodyModes = s.rigidBodyModes;
    p.infiniteFrequencies = s.infinite;
    p.indeterminate = s.indeterminate;
    if (s.negative > 0)
      Warning("stiffness-definite", "the pencil (K, M) has " + Str(s.negative) +
                                        " negative eigenvalues (the lowest " +
                                        Num(s.eigenvalues.front()) +
                                        "): the reduced stiffness is not positive semi-definite");
    if (s.rigidBodyModes > 6)
      Warning("rigid-body-modes", "the model has " + Str(s.rigidBodyModes) +
                                      " rigid-body modes; a free body has at most 6");
  }

  // A mass with a negative eigenvalue (equilibrated by its diagonal, so in any units) is
  // impossible; a semi-definite one (massless coordinates) is not a fault.
  void MassDefiniteness(const std::vector<double>& m, int n) {
    std::vector<double> scaled = m, eig;
    std::vector<double> d(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      const double mii = m[static_cast<std::size_t>(i) * (static_cast<std::size_t>(n) + 1)];
      d[static_cast<std::size_t>(i)] = mii > 0 ? 1 / std::sqrt(mii) : 1.0;
    }
    for (int c = 0; c < n; ++c)
      for (int i = 0; i < n; ++i)
        scaled[static_cast<std::size_t>(i) +
               static_cast<std::size_t>(c) * static_cast<std::size_t>(n)] *=
            d[static_cast<std::size_t>(i)] * d[static_cast<std::size_t>(c)];
    if (!uma::common::SymmetricEigenvalues(scaled, n, eig)) return;
    const double largest = std::max(std::fabs(eig.front()), std::fabs(eig.back()));
    r.physics.smallestMassEigenvalue = largest > 0 ? eig.front() / largest : 0.0;
    if (eig.front() < -1e-12 * n * largest)
      Warning("mass-definite", "the reduced mass has a negative eigenvalue (" +
                                   Num(*r.physics.smallestMassEigenvalue) +
                                   " of the largest, equilibrated by its diagonal)");
  }

  // What a fixed-interface basis leaves uncoupled in the reduced stiffness: the dynamic modes
  // among themselves (they are eigenvectors), and static against dynamic coordinates (when the
  // dynamic modes vanish on the A-set).
  void Couplings(const std::vector<double>& k, int n) {
    const int nS = r.staticModes, nD = r.dynamicModes;
    if (n != m_modeColumns || nD <= 0 || nS > n) return;
    r.physics.dynamicCoupling = LargestCoupling(k, n, nS, nD, nS, nD);
    if (*r.physics.dynamicCoupling > kCouplingTolerance)
      Warning("dynamic-modes-coupled",
              "the dynamic modes' block of the reduced stiffness is not diagonal (largest "
              "|k(i,j)| / sqrt(k(i,i) k(j,j)) " +
                  Num(*r.physics.dynamicCoupling) + "): they are not eigenvectors");
    if (!m_fixedInterface || nS == 0) return;
    r.physics.staticDynamicCoupling = LargestCoupling(k, n, 0, nS, nS, nD);
    if (*r.physics.staticDynamicCoupling > kCouplingTolerance)
      Warning("fixed-interface-coupling",
              "the reduced stiffness couples static and dynamic coordinates (largest |k(i,j)| / "
              "sqrt(k(i,i) k(j,j)) " +
                  Num(*r.physics.staticDynamicCoupling) +
                  ") although the dynamic modes vanish on the A-set");
  }

  // The dynamic modes' block of the reduced mass is Phi^T M Phi of mass-normalised modes: I.
  void Normalisation(const std::vector<double>& m, int n) {
    const int nD = r.dynamicModes, first = n - nD;
    if (nD <= 0 || n != m_modeColumns) return;
    double deviation = 0;
    for (int c = first; c < n; ++c)
      for (int i = first; i < n; ++i)
        deviation = std::max(
            deviation, std::fabs(m[static_cast<std::size_t>(i) +
                                   static_cast<std::size_t>(c) * static_cast<std::size_t>(n)] -
                                 (i == c ? 1.0 : 0.0)));
    r.physics.modeNormalisation = deviation;
    if (deviation > kNormalisationTolerance)
      Warning("mode-normalisation",
              "the dynamic modes are not mass-normalised: the largest "
              "deviation of their reduced mass from identity is " +
                  Num(deviation));
  }

  // The rigid-body mass seen through the A-set: its degrees of freedom move rigidly with their
  // nodes' coordinates, the dynamic modes not at all. A free body's reduced stiffness leaves
  // those motions free; its lumped masses add up to the same mass.
  void RigidBody(const std::vector<double>* k, const std::vector<double>& m, int n) {
    if (!m_aSet || static_cast<int>(m_aSet->size()) > n) return;
    Matrix coordinates = ByType(types::NodeCoordinates());
    if (!coordinates || !m_clean.count(TypeKey(types::NodeCoordinates())) ||
        coordinates->NumColumns() != 3 || coordinates->NumRows() == 0)
      return;
    auto labels = uma::common::TakeLabels(coordinates->MapRows(uma_Enum::uma_MapNode));
    if (!labels) return;
    int rows = coordinates->NumRows();
    std::vector<double> xyz(static_cast<std::size_t>(rows) * 3);
    uma_IncoreMatrix out(rows, 3, xyz.data());
    coordinates->GetValues(0, rows - 1, 0, 2, out);
    std::vector<RigidPlace> places(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < m_aSet->size(); ++i) {
      auto at = std::find(labels->begin(), labels->end(), (*m_aSet)[i].first);
      if (at == labels->end()) {
        Warning("rigid-body", "node " + Str((*m_aSet)[i].first) +
                                  " of the A-set has no coordinates: no rigid-body mass");
        return;
      }
      auto row = static_cast<std::size_t>(at - labels->begin());
      auto urows = static_cast<std::size_t>(rows);
      places[i] = {xyz[row], xyz[row + urows], xyz[row + 2 * urows], (*m_aSet)[i].second};
    }
    r.physics.rigidBody = PropertiesOf(RigidBodyMass(m, n, places));
    const double mass = r.physics.rigidBody->mass;
    if (!(mass > 0))
      Warning("rigid-body", "the rigid-body mass is not positive (" + Num(mass) + ")");
    else
      LumpedMassTotal(mass);
    if (k && r.physics.rigidBodyModes.value_or(0) > 0) RigidMotions(*k, m, n, places);
  }

  // The reduced stiffness against the A-set's rigid motions about its centre.
  void RigidMotions(const std::vector<double>& k, const std::vector<double>& m, int n,
                    std::vector<RigidPlace> places) {
    double centre[3] = {0, 0, 0};
    const std::size_t nS = m_aSet->size();
    for (std::size_t i = 0; i < nS; ++i) {
      centre[0] += places[i].x / static_cast<double>(nS);
      centre[1] += places[i].y / static_cast<double>(nS);
      centre[2] += places[i].z / static_cast<double>(nS);
    }
    for (std::size_t i = 0; i < nS; ++i) {
      places[i].x -= centre[0];
      places[i].y -= centre[1];
      places[i].z -= centre[2];
    }
    const std::array<double, 6> residual =
        RigidMotionResiduals(k, m, n, uma::check::RigidMotions(places, n));
    r.physics.rigidMotionResidual = *std::max_element(residual.begin(), residual.end());
    static const char* const kMotions[] = {"translation along x", "translation along y",
                                           "translation along z", "rotation about x",
                                           "rotation about y",    "rotation about z"};
    for (std::size_t j = 0; j < 6; ++j)
      if (residual[j] > kRigidTolerance) {
        Warning("rigid-body-motion",
                std::string("the reduced stiffness does not leave a rigid ") + kMotions[j] +
                    " of the A-set free (||K r|| is " + Num(residual[j]) +
                    " of ||K|| ||r||): the node coordinates, the order of the A-set's degrees of "
                    "freedom or the unit of its rotations (radians) contradict the stiffness");
        return;
      }
  }

  void LumpedMassTotal(double mass) {
    const std::string key = NameKey(types::kLumpedMass);
    Matrix lumped = ByName(types::kLumpedMass);
    if (!lumped || !m_clean.count(key) || lumped->NumColumns() != 1 || lumped->NumRows() == 0)
      return;
    const int rows = lumped->NumRows();
    std::vector<double> values(static_cast<std::size_t>(rows));
    uma_IncoreMatrix out(rows, 1, values.data());
    lumped->GetValues(0, rows - 1, 0, 0, out);
    double total = 0;
    for (double v : values) total += v;
    r.physics.lumpedMassTotal = total;
    if (std::fabs(total - mass) > kMassTolerance * mass)
      Warning("lumped-mass-total", std::string(types::kLumpedMass) + " adds up to " + Num(total) +
                                       " but the rigid-body mass is " + Num(mass));
  }

  // "xGFAA" is the reduced stiffness condensed on the A-set: its static block.
  void CondensedStiffness(const std::vector<double>& k, int n) {
    const std::string key = NameKey(types::kGFAA);
    Matrix gfaa = ByName(types::kGFAA);
    const int nS = r.staticModes;
    if (!gfaa || !m_clean.count(key) || !m_aSet || n != m_modeColumns || nS == 0 ||
        gfaa->NumRows() != nS || gfaa->NumColumns() != nS)
      return;
    auto rowPlaces =
        Places(gfaa->MapRows(uma_Enum::uma_MapNode), gfaa->MapRows(uma_Enum::uma_MapDof));
    auto columnPlaces =
        Places(gfaa->MapColumns(uma_Enum::uma_MapNode), gfaa->MapColumns(uma_Enum::uma_MapDof));
    if (!rowPlaces || !columnPlaces) return;
    std::map<Place, int> index;
    for (int i = 0; i < nS; ++i) index.emplace((*m_aSet)[static_cast<std::size_t>(i)], i);
    std::vector<int> rowsAt, columnsAt;
    for (const Place& p : *rowPlaces)
      if (index.count(p)) rowsAt.push_back(index[p]);
    for (const Place& p : *columnPlaces)
      if (index.count(p)) columnsAt.push_back(index[p]);
    if (static_cast<int>(rowsAt.size()) != nS || static_cast<int>(columnsAt.size()) != nS) return;
    std::vector<double> values(static_cast<std::size_t>(nS) * static_cast<std::size_t>(nS));
    uma_IncoreMatrix out(nS, nS, values.data());
    gfaa->GetValues(0, nS - 1, 0, nS - 1, out);
    double largest = 0, difference = 0;
    for (int c = 0; c < nS; ++c)
      for (int i = 0; i < nS; ++i) {
        const double expected = k[static_cast<std::size_t>(rowsAt[static_cast<std::size_t>(i)]) +
                                  static_cast<std::size_t>(columnsAt[static_cast<std::size_t>(c)]) *
                                      static_cast<std::size_t>(n)];
        largest = std::max(largest, std::fabs(expected));
        difference =
            std::max(difference,
                     std::fabs(values[static_cast<std::size_t>(i) +
                                      static_cast<std::size_t>(c) * static_cast<std::size_t>(nS)] -
                               expected));
      }
    if (difference > kLayoutTolerance * largest)
      Warning("xgfaa-condensed", std::string(types::kGFAA) +
                                     " differs from the reduced stiffness's static block by " +
                                     Num(largest > 0 ? difference / largest : difference) +
                                     " of its largest entry: it is not the stiffness condensed "
                                     "on the A-set");
  }

  Report& r;
  uma_FlexibleBodyX& m_body;
  const uma_System& m_system;
  std::optional<std::vector<Place>> m_aSet;
  int m_modeColumns = -1;         // -1: no mode matrix
  bool m_fixedInterface = false;  // the dynamic modes vanish on the A-set's rows
  std::map<std::string, std::vector<double>> m_columnMax;  // largest |value| of each column
  std::set<std::string> m_clean;  // keys of matrices whose every value read and is finite
};

}  // namespace

Report Check(const std::string& model) {
  Report r;
  r.model = model;
  uma_FlexibleBodyX body(model.c_str());
  if (body.IsNull()) {
    r.failure = uma::common::OpenFailure();
    r.findings.push_back({true, "open", r.failure});
    return r;
  }
  r.opened = true;
  r.type = body.Type();
  r.loads = body.NumLoads();
  r.staticModes = body.NumStaticModes();
  pfm::ModelContents contents;
  if (pfm::ReadContents(model, contents)) r.attributes = contents.attributes;
  Checker(r, body).Run(contents);
  return r;
}

}  // namespace uma::check
