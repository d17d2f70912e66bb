// Start-up and end of the extension object, its fixed answers, the status names and its table.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "engine/acdbhost.h"
#include "engine/sdk_seam.h"
#include "extension/KelRx.h"
#include "extension/state.h"
#include "host/KelHostApp.h"
#include "tests/support/vtable.h"

namespace {

using kel::sdk::Op;

class KelRxTest : public ::testing::Test {
 protected:
  void SetUp() override { kel::ext::resetStateForTests(); seam->record = true; }
  void TearDown() override { kel::ext::resetStateForTests(); terminated = true; }
  kel::sdk::SeamScope seam;
};

TEST_F(KelRxTest, FirstSuccessfulInitializeRegistersValidatesThenStoresFlags) {
  EXPECT_TRUE(kelRx.initialize(0x2));
  ASSERT_EQ(seam->calls.size(), 2u);
  EXPECT_EQ(seam->calls[0].op, Op::SetHostApplicationServices);
  EXPECT_EQ(seam->calls[0].values[0], reinterpret_cast<intptr_t>(&hostApp));
  EXPECT_EQ(seam->calls[1].op, Op::ValidateSetup);
  EXPECT_EQ(seam->calls[1].values[0], 1033);
  EXPECT_EQ(findFileFlags, 0x2u);
  EXPECT_EQ(acdbHostApplicationServices(), &hostApp);

  // Later calls answer at once and keep the first flags.
  seam->calls.clear();
  EXPECT_TRUE(kelRx.initialize(3));
  EXPECT_TRUE(seam->calls.empty());
  EXPECT_EQ(findFileFlags, 0x2u);
}

TEST_F(KelRxTest, FailedStartUpKeepsFlagsAndIsRetried) {
  for (Op failing : {Op::SetHostApplicationServices, Op::ValidateSetup}) {
    kel::ext::resetStateForTests();
    findFileFlags = 0;
    seam->calls.clear();
    seam->inject(failing, Acad::eNoAcDbHostApplication, 1);
    EXPECT_FALSE(kelRx.initialize(3));
    EXPECT_FALSE(initialized);
    EXPECT_EQ(findFileFlags, 0u);
    // A failed registration stops before validation.
    EXPECT_EQ(seam->calls.size(), failing == Op::SetHostApplicationServices ? 1u : 2u);
    EXPECT_TRUE(kelRx.initialize(1));
    EXPECT_EQ(findFileFlags, 1u);
    EXPECT_EQ(seam->callsOf(Op::SetHostApplicationServices).size(), 2u);
  }
}

TEST_F(KelRxTest, TerminateOnlyMarksTheEnd) {
  EXPECT_FALSE(kelRx.terminate());
  EXPECT_TRUE(terminated);
  EXPECT_TRUE(kelRx.initialize(0));
  EXPECT_FALSE(kelRx.terminate());
  EXPECT_TRUE(initialized);
  seam->calls.clear();
  EXPECT_TRUE(kelRx.initialize(1));
  EXPECT_TRUE(seam->calls.empty());
  EXPECT_EQ(acdbHostApplicationServices(), &hostApp);
}

TEST_F(KelRxTest, ReleaseNumberIsTwentyBeforeAndAfterStart) {
  EXPECT_EQ(kelRx.releaseNumber(), 20);
  kelRx.initialize(0);
  EXPECT_EQ(kelRx.releaseNumber(), 20);
}

TEST(StatusName, TableWalk) {
  EXPECT_STREQ(kelRx.statusName(0), "eUnknown");
  EXPECT_STREQ(kelRx.statusName(-1), "eUnknown");
  EXPECT_STREQ(kelRx.statusName(1), "NotImplementedYet");
  EXPECT_STREQ(kelRx.statusName(3), "InvalidInput");
  EXPECT_STREQ(kelRx.statusName(68), "NoInputFiler");
  EXPECT_STREQ(kelRx.statusName(76), "FileNotFound");
  EXPECT_STREQ(kelRx.statusName(374), "NotInitializedYet");
  EXPECT_STREQ(kelRx.statusName(1417), "PCInProgress");
  EXPECT_STREQ(kelRx.statusName(1418), "eUnknown");
  for (int gap : {19, 78, 79, 108, 109, 111, 119, 121, 143, 149, 313, 1000, 1399})
    EXPECT_STREQ(kelRx.statusName(gap), "eUnknown") << gap;
  EXPECT_EQ(kelRx.statusName(3), kelRx.statusName(3));
}

TEST(StatusName, EveryCodeOnceWithADistinctName) {
  int named = 0;
  std::set<std::string> names;
  for (int code = -5; code <= 1500; ++code) {
    const char* n = kelRx.statusName(code);
    ASSERT_NE(n, nullptr);
    if (std::strcmp(n, "eUnknown") == 0) continue;
    ++named;
    EXPECT_NE(n[0], 'e') << code;
    names.insert(n);
  }
  EXPECT_EQ(named, 388);
  EXPECT_EQ(names.size(), 388u);
  // Runs and their ends.
  EXPECT_STREQ(kelRx.statusName(18), "ContainerNotEmpty");
  EXPECT_STREQ(kelRx.statusName(20), "NullEntityPointer");
  EXPECT_STREQ(kelRx.statusName(77), "DwkLockFileFound");
  EXPECT_STREQ(kelRx.statusName(411), "UndoNoGroupBegin");
  EXPECT_STREQ(kelRx.statusName(1301), "NoUnderlayHost");
  EXPECT_STREQ(kelRx.statusName(1400), "PCUnknown");
}

using kel::test::tableEntryOf;

TEST(KelRxTable, OperationsSitInTheAgentsOrder) {
  EXPECT_EQ(tableEntryOf(&KelRx::initialize), 0u);
  EXPECT_EQ(tableEntryOf(&KelRx::terminate), 1u);
  EXPECT_EQ(tableEntryOf(&KelRx::dxfToDwg), 2u);
  EXPECT_EQ(tableEntryOf(&KelRx::resaveDwg), 3u);
  EXPECT_EQ(tableEntryOf(&KelRx::dwgToDxf), 4u);
  EXPECT_EQ(tableEntryOf(&KelRx::statusName), 5u);
  EXPECT_EQ(tableEntryOf(&KelRx::releaseNumber), 6u);
  EXPECT_EQ(sizeof(KelRx), sizeof(void*));  // no data apart from the table
}

}  // namespace

namespace {
// The test program links the extension statically: mark it terminated at the end so the unload
// warning of the static object does not show here (it has its own test through the real library).
class QuietUnload : public ::testing::Environment {
 public:
  void TearDown() override { terminated = true; }
};
[[maybe_unused]] const auto* quietUnload = ::testing::AddGlobalTestEnvironment(new QuietUnload);
}  // namespace
