// The keyboard's lock states read from the window system: from the X
// server's indicators when the tests run on one (xcb, as under Xvfb), and
// "cannot say" on the offscreen platform.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "platform/ui/VirtualKeys.h"

namespace {

TEST(LockKeyIndicator, FollowsTheXServersLockStateOrCannotSay) {
  EnsureUiApp();
  if (!SetCapsLockForTest(false)) {  // no X server to ask
    for (int vk : {VK_CAPITAL, VK_NUMLOCK, VK_SCROLL}) EXPECT_EQ(LockKeyIndicator(vk), -1) << vk;
    return;
  }
  struct TRestore {
    ~TRestore() { SetCapsLockForTest(false); }
  } restore;
  for (bool on : {true, false, true}) {
    ASSERT_TRUE(SetCapsLockForTest(on));
    EXPECT_EQ(LockKeyIndicator(VK_CAPITAL), on ? 1 : 0) << on;
  }
  EXPECT_EQ(LockKeyIndicator('A'), -1);
}

}  // namespace
