// Load File and Program on the Single Operation window reach the Loading window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flows/load/ImageOperation.h"
#include "support/SingleRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;

TEST(SingleOperationImages, LoadFileRunsTheOffLineLoadOfTheCurrentProgrammer) {
  test::SingleRig rig;
  rig.prepare(0);
  SingleOperationFlow& window = rig.open(true, true);
  rig.main.prompter.clear();
  rig.main.prompter.chooseOpenNext(std::nullopt);  // the user cancels the file choice
  window.loadFile();
  ASSERT_EQ(rig.main.prompter.openChoices().size(), 1u);
  EXPECT_EQ(rig.main.prompter.openChoices()[0].title, "Select load file");
  EXPECT_TRUE(rig.main.prompter.texts().empty());
}

TEST(SingleOperationImages, WithoutAClockTheButtonsSayTheyAreNotAvailable) {
  test::SingleRig rig;
  rig.prepare(0);
  SingleOperationFlow& window = rig.open(true);
  rig.main.prompter.clear();
  window.loadFile();
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgLoadFileNotBuilt));
}

}  // namespace
}  // namespace fd
