// Set mapping: which platform mapping answers for each kind of set and kind of label.
#include <memory>
#include <optional>
#include <vector>

#include "pfm_ModelBuilder.h"
#include "uma_ArrayInt.h"
#include "uma_System.h"
#include "uma_TestSupport.h"

namespace {

using Map = uma_Enum::uma_MapTypeEnum;
using Labels = std::optional<std::vector<int>>;  // nullopt: the mapping answers null

class Mapping : public UmaTest {
 protected:
  enum Set { kDofs, kModes, kNodes, kElements, kOther, kEmpty, kSetCount };

  void SetUp() override {
    UmaTest::SetUp();
    pfm::ModelBuilder b("sets");
    b.SystemType(3);
    b.AddNode(11);
    b.AddNode(12);
    b.AddNode(13, true);
    b.AddDof(1, 1);
    b.AddDof(1, 2);
    b.AddDof(2, 3);
    b.AddDof(3, 6);
    b.AddMode(500, 1);
    b.AddMode(501, 0);
    b.AddElement(71);
    b.AddElement(72);
    b.AddElement(73);
    m_set[kDofs] = b.AddSet(pfm::MemberKind::Dof, {3, 1, 4});
    m_set[kModes] = b.AddSet(pfm::MemberKind::Mode, {2, 1});
    m_set[kNodes] = b.AddSet(pfm::MemberKind::Node, {3, 2});
    m_set[kElements] = b.AddSet(pfm::MemberKind::Element, {2, 3, 1});
    m_set[kOther] = b.AddSetIn(b.AddCollection(ads_CoreFragmentTypeIndex(99, 5)), {40, 41});
    m_set[kEmpty] = b.AddSet(pfm::MemberKind::Dof, {});
    for (int s = 0; s < kSetCount; ++s) b.SetForType(SetType(s), m_set[s]);
    b.Register();
  }

  static int SetType(int s) { return ads_CoreFragmentTypeIndex(20, 100 + s); }

  QOBSimCSetID Id(int s) const {
    pfm::Session* session = pfm::Sessions::Find(pfm::Sessions::LastOpened());
    return pfm::ids::Set(session->id, *session, m_set[s]);
  }

  int m_set[kSetCount] = {};
};

TEST_F(Mapping, EachKindOfSetMapsToTheLabelsItWasBuiltWith) {
  uma_System system("sets", false);
  ASSERT_FALSE(system.IsNull());
  const Labels none;
  struct Row {
    int set;
    Map type;
    Labels expected;
  } rows[] = {
      {kDofs, uma_Enum::uma_MapNode, std::vector<int>{12, 11, 13}},
      {kDofs, uma_Enum::uma_MapDof, std::vector<int>{3, 1, 6}},
      {kDofs, uma_Enum::uma_MapInternal, std::vector<int>{3, 1, 4}},
      {kDofs, uma_Enum::uma_MapElement, none},
      {kModes, uma_Enum::uma_MapNode, std::vector<int>{501, 500}},
      {kModes, uma_Enum::uma_MapDof, std::vector<int>{0, 1}},
      {kModes, uma_Enum::uma_MapInternal, std::vector<int>{2, 1}},
      {kNodes, uma_Enum::uma_MapNode, std::vector<int>{13, 12}},
      {kNodes, uma_Enum::uma_MapDof, none},
      {kNodes, uma_Enum::uma_MapElement, none},
      {kElements, uma_Enum::uma_MapElement, std::vector<int>{72, 73, 71}},
      {kElements, uma_Enum::uma_MapNode, none},
      {kElements, uma_Enum::uma_MapDof, none},
      {kOther, uma_Enum::uma_MapInternal, std::vector<int>{40, 41}},
      {kOther, uma_Enum::uma_MapNode, none},
      {kOther, uma_Enum::uma_MapElement, none},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "set " << r.set << ", map type " << r.type);
    EXPECT_EQ(TakeLabels(system.MapCSet(Id(r.set), r.type)), r.expected);
    EXPECT_EQ(TakeLabels(system.MapCSet(SetType(r.set), r.type)), r.expected) << "by set type";
  }
}

TEST_F(Mapping, ModesAreNeverAMappingOfTheirOwn) {
  uma_System system("sets", false);
  for (int s = 0; s < kSetCount; ++s)
    EXPECT_FALSE(TakeLabels(system.MapCSet(Id(s), uma_Enum::uma_MapMode)));
}

TEST_F(Mapping, MapTypesOutsideTheEnumerationAnswerNullWithoutLeaking) {
  uma_System system("sets", false);
  for (int t : {5, -1, 1000})
    for (int s = 0; s < kSetCount; ++s)
      EXPECT_FALSE(TakeLabels(system.MapCSet(Id(s), static_cast<Map>(t))));
  // The fixture checks that every array allocated on the way was released.
}

TEST_F(Mapping, AnEmptyOrNullSetAnswersNullForEveryType) {
  uma_System system("sets", false);
  for (int t = 0; t <= 4; ++t) {
    EXPECT_FALSE(TakeLabels(system.MapCSet(Id(kEmpty), static_cast<Map>(t))));
    EXPECT_FALSE(TakeLabels(system.MapCSet(QOBSimCSetID(), static_cast<Map>(t))));
    EXPECT_FALSE(TakeLabels(system.MapCSet(ads_CoreFragmentTypeIndex(1, 1), static_cast<Map>(t))))
        << "absent type";
  }
}

TEST_F(Mapping, ANullHandleStillAnswersMemberNumbersOfASetItIsGiven) {
  pfm::ModelBuilder b("null-record");
  b.AddNode(1);
  int set = b.AddSet(pfm::MemberKind::Node, {1});
  b.SetForType(SetType(0), set).RecordReportsNull().Register();
  uma_System system("null-record", false);
  ASSERT_TRUE(system.IsNull());
  pfm::Session* session = pfm::Sessions::Find(pfm::Sessions::LastOpened());
  QOBSimCSetID id = pfm::ids::Set(session->id, *session, set);
  EXPECT_EQ(TakeLabels(system.MapCSet(id, uma_Enum::uma_MapInternal)), std::vector<int>{1});
  EXPECT_FALSE(TakeLabels(system.MapCSet(id, uma_Enum::uma_MapNode)));
  for (int t = 0; t <= 4; ++t)
    EXPECT_FALSE(TakeLabels(system.MapCSet(SetType(0), static_cast<Map>(t))))
        << "the record is not asked";
}

TEST_F(Mapping, ASetOfAClosedModelIsAnEmptySet) {
  QOBSimCSetID id;
  {
    uma_System system("sets", false);
    id = Id(kNodes);
  }
  uma_System again("sets", false);
  EXPECT_FALSE(TakeLabels(again.MapCSet(id, uma_Enum::uma_MapInternal)));
  EXPECT_FALSE(TakeLabels(again.MapCSet(id, uma_Enum::uma_MapNode)));
}

TEST_F(Mapping, AFailedArrayAllocationLeaksNothing) {
  uma_System system("sets", false);
  for (int fail = 1; fail <= 2; ++fail) {
    pfm::FailAllocationAt(fail);
    EXPECT_THROW(system.MapCSet(Id(kDofs), uma_Enum::uma_MapNode), QOBBasOutOfMemory);
  }
  pfm::FailAllocationAt(0);
}

}  // namespace
