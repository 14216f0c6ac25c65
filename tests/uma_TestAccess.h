// The library's private members, for the tests. The one definition of the friend class that
// the library classes name.
#pragma once

#include "QOBBasCoreUtils.h"
#include "uma_ArrayInt.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"

class uma_TestAccess {
 public:
  // The model session of an open system: the first word of its record's position.
  static int Session(const uma_System& s) {
    return s.m_fsmSystem ? s.m_fsmSystem->MyPosition().w[0] : 0;
  }
  static omi_BlkBitVect InternalNodeSet(const uma_System& s) { return s.InternalNodeSet(); }
  static const QOBFsmSystem* Record(const uma_System& s) { return s.m_fsmSystem; }
  static const uma_Matrix* MakeMatrix(const uma_System& s, QOBSimDistributionID id, int options) {
    return s.MakeMatrix(id, options);
  }

  static uma_ArrayInt* NewArray(int size) { return new uma_ArrayInt(size); }
  static uma_ArrayInt* NewArray(int size, int fill) { return new uma_ArrayInt(size, fill); }
  static void Allocate(uma_ArrayInt& a, int size) { a.Allocate(size); }
  // Runs the allocation step on an array of the given size that holds no buffer yet, as the
  // constructors do; the array's buffer is released again.
  static void AllocateFresh(int storedSize, int size) {
    uma_ArrayInt* a = NewArray(1);
    mem_Free(a->m_buff);
    a->m_buff = nullptr;
    a->m_size = storedSize;
    a->Allocate(size);
    delete a;
  }
  static int* Buffer(uma_ArrayInt& a) { return a.m_buff; }

  // Dense handles as a system makes them: read-only for a const owner, writable otherwise.
  static uma_Matrix* ReadOnly(QOBSrvDenseMatrix* dense, const uma_System* owner) {
    return new uma_Matrix(dense, owner);
  }
  static uma_Matrix* Writable(QOBSrvDenseMatrix* dense, uma_System* owner) {
    return new uma_Matrix(dense, owner);
  }
  static bool Immutable(const uma_Matrix& m) { return m.m_immutable; }
  static const uma_System* Owner(const uma_Matrix& m) { return m.m_owner; }
  static QOBSrvDenseMatrix* Dense(const uma_Matrix& m) { return m.m_dense; }
  static QOBSrvMatrix* Incore(const uma_Matrix& m) { return m.m_incore; }

  static double* GetValues(const uma_Matrix& m, int r0, int r1, int c0, int c1) {
    return m.GetValues(r0, r1, c0, c1);
  }
  static uma_Enum::uma_MapTypeEnum TypeCSet(const uma_Matrix& m, QOBSimCSetID id) {
    return m.TypeCSet(id);
  }
  static uma_ArrayInt* MapMatrixCSet(const uma_Matrix& m, QOBSimCSetID id,
                                     uma_Enum::uma_MapTypeEnum t) {
    return m.MapMatrixCSet(id, t);
  }
};
