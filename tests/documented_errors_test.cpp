// The platform exceptions that the public headers say pass through to the host, with their plain
// messages, and the handles left usable and leak-free afterwards.
#include <memory>
#include <string>

#include "QOBBasCoreUtils.h"
#include "uma_ArrayInt.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_SampleModels.h"
#include "uma_System.h"
#include "uma_TestAccess.h"
#include "uma_TestSupport.h"

namespace {

constexpr int kType = 1;

class DocumentedErrors : public UmaTest {
 protected:
  // A small system with a 2 x 2 matrix of type kType and a node set of the A-set's type.
  static void Register(const std::string& name) {
    pfm::ModelBuilder b = uma::sample::SmallSystem(name);
    b.DistributionForType(kType, b.AddDistribution(2, 2, -1, -1, {1, 2, 3, 4}));
    b.SetForType(uma::sample::ASetCSetType(), b.AddSet(pfm::MemberKind::Node, {1, 2}));
    b.Register();
  }

  template <typename Operation>
  static std::string Message(Operation op) {
    try {
      op();
    } catch (const QOBBasError& e) {
      return e.what();
    }
    return "no exception";
  }
};

TEST_F(DocumentedErrors, AStoredMatrixOutlivingItsSystemThrowsInsteadOfReading) {
  Register("m");
  auto* system = new uma_System("m", false);
  std::unique_ptr<const uma_Matrix> matrix(system->Matrix(kType, 0));
  ASSERT_NE(matrix, nullptr);
  delete system;
  uma_IncoreMatrix out(2, 2, nullptr);
  EXPECT_EQ(Message([&] { matrix->GetValues(0, 1, 0, 1, out); }),
            "dense matrix: the model it belongs to is closed");
  EXPECT_EQ(out.value(0, 0), 0.0) << "nothing was copied";
}

TEST_F(DocumentedErrors, ASetOfAnotherOpenSystemIsRefusedByTheMapping) {
  Register("a");
  Register("b");
  uma_System a("a", false), b("b", false);
  const QOBSimCSetID ofB = uma_TestAccess::Record(b)->CSet(uma::sample::ASetCSetType());
  std::unique_ptr<uma_ArrayInt> members(a.MapCSet(ofB, uma_Enum::uma_MapInternal));
  ASSERT_NE(members, nullptr) << "member numbers need no system";
  EXPECT_EQ(Message([&] { delete a.MapCSet(ofB, uma_Enum::uma_MapNode); }),
            "MapNode2Node: the set does not belong to the system");
  std::unique_ptr<uma_ArrayInt> own(b.MapCSet(ofB, uma_Enum::uma_MapNode));
  EXPECT_NE(own, nullptr);
}

TEST_F(DocumentedErrors, IncoreMatricesRefuseNegativeDimensionsAndMissingValues) {
  EXPECT_EQ(Message([] { uma_IncoreMatrix(-1, 2, nullptr); }),
            "in-core matrix: negative dimensions");
  uma_IncoreMatrix m(2, 2, nullptr);
  EXPECT_EQ(Message([&] { m.SetValues(nullptr); }), "SetValues: no source values");
  EXPECT_EQ(Message([&] { m.SetValues(0, 0, 0, 0, static_cast<const double*>(nullptr)); }),
            "SetValues: no source values");
  uma_IncoreMatrix empty(0, 3, nullptr);
  EXPECT_NO_THROW(empty.SetValues(nullptr)) << "a matrix without elements takes nothing";
}

}  // namespace
