// Simulation database API: ids, positions, component sets, distributions and type indices.
// Ids and positions are plain values; they stay valid while the model session that produced
// them is open, and answer as empty or null once it is closed.
#pragma once

void QOBSimAPI_initialize(int& count);
void QOBSimAPI_finalize(int& count);

// Type index of the pair (major, minor): names a kind of stored object (positive for pairs of
// non-negative numbers).
int ads_CoreFragmentTypeIndex(int major, int minor);

// Five-word database id; null when the first word is 0 or the fourth is -1.
class QOBSimIdWords {
 public:
  QOBSimIdWords() : w{0, 0, -1, -1, -1} {}
  QOBSimIdWords(int w0, int w1, int w2, int w3, int w4) : w{w0, w1, w2, w3, w4} {}
  bool IsNull() const { return w[0] == 0 || w[3] == -1; }
  bool operator==(const QOBSimIdWords& o) const {
    return w[0] == o.w[0] && w[1] == o.w[1] && w[2] == o.w[2] && w[3] == o.w[3] && w[4] == o.w[4];
  }
  bool operator!=(const QOBSimIdWords& o) const { return !(*this == o); }
  int w[5];
};

class QOBSimDistributionID : public QOBSimIdWords {
 public:
  using QOBSimIdWords::QOBSimIdWords;
};

class QOBSimCSetID : public QOBSimIdWords {
 public:
  using QOBSimIdWords::QOBSimIdWords;
};

class QOBSimDSetID : public QOBSimIdWords {
 public:
  using QOBSimIdWords::QOBSimIdWords;
};

// The collection a component set belongs to; null for a null set id.
class QOBSimCollectionID : public QOBSimIdWords {
 public:
  using QOBSimIdWords::QOBSimIdWords;
  explicit QOBSimCollectionID(const QOBSimCSetID& set);
};

// A collection id seen as a generic database object; null when the collection id's first
// word is 0.
class QOBSimDynamicID : public QOBSimIdWords {
 public:
  using QOBSimIdWords::QOBSimIdWords;
  explicit QOBSimDynamicID(const QOBSimCollectionID& collection);
};

// Six-word position of an object in the database; null when the first word is 0.
class QOBSimPosition {
 public:
  QOBSimPosition() : w{0, 0, 0, 0, 0, 0} {}
  QOBSimPosition(int w0, int w1, int w2, int w3, int w4, int w5) : w{w0, w1, w2, w3, w4, w5} {}
  // The position of a dynamic object (a collection); null for a null id.
  explicit QOBSimPosition(const QOBSimDynamicID& object);

  bool IsNull() const { return w[0] == 0; }
  // The related object of type index `type` (the `which`-th one, from 1), or a null position.
  QOBSimPosition Follow(int type, int which) const;
  // The position that the database access layer closes a model by.
  QOBSimPosition Focus() const;
  // Type index of what the position holds (for a collection: the kind of its members); 0 for
  // a null or unknown position.
  int TypePosition() const;

  bool operator==(const QOBSimPosition& o) const {
    for (int i = 0; i < 6; ++i)
      if (w[i] != o.w[i]) return false;
    return true;
  }
  int w[6];
};

// An ordered component set, read from its id. An id that is null or no longer open is an
// empty set.
class QOBSimCSet {
 public:
  explicit QOBSimCSet(const QOBSimCSetID& id);
  int Size() const;
  // Writes the Size() internal member numbers, in the set's order, into `members`.
  void OrderedMembers(int* members) const;

 private:
  QOBSimCSetID m_id;
};

// A stored distribution (a matrix of values with labelled rows and columns), read from its id.
class QOBSimDistribution {
 public:
  explicit QOBSimDistribution(const QOBSimDistributionID& id) : m_id(id) {}
  const QOBSimDistributionID& ID() const { return m_id; }

 private:
  QOBSimDistributionID m_id;
};

// Reporter used by inline code of platform headers; it writes two lines and aborts.
class QOBSimAssert {
 public:
  [[noreturn]] static void ReportAssertionFailure(const char* expression, const char* file,
                                                  int line);
};
