// Posted and sent window messages: one dispatch per control, delivery
// once and in order from the event loop, removal of queued messages.
#include <gtest/gtest.h>

#include <vector>

#include <QScrollBar>
#include <QTest>
#include <QWidget>

#include "UiTestSupport.h"
#include "platform/ui/Forms.h"
#include "platform/ui/MessageQueue.h"

namespace {

constexpr unsigned kDeferredLayout = 1124;
constexpr unsigned kDeferredLayout2 = 1125;
constexpr unsigned kLockRepaint = 32998;

// A control that records the private messages it handles.
class TRecorder : public TCustomControl {
 public:
  explicit TRecorder(TComponent* owner) : TCustomControl(owner) {}
  struct Seen {
    unsigned msg;
    std::intptr_t wParam;
  };
  std::vector<Seen> seen;
  std::function<void(TMessage&)> onPrivate;
  void WndProc(TMessage& m) override {
    if (m.Msg >= WM_USER && m.Msg < CM_BASE) {
      seen.push_back({m.Msg, m.WParam});
      m.Result = static_cast<std::intptr_t>(m.Msg) + m.WParam;
      if (onPrivate) onPrivate(m);
      return;
    }
    TCustomControl::WndProc(m);
  }
};

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    Pump();
  }
};

TEST_F(MessagesTest, PerformIsSynchronousAndReturnsTheResult) {
  TRecorder r(nullptr);
  EXPECT_EQ(r.Perform(kDeferredLayout, 5), 1129);
  ASSERT_EQ(r.seen.size(), 1u);
}

TEST_F(MessagesTest, PostedPrivateMessagesArriveOnceAndInOrder) {
  TRecorder a(nullptr), b(nullptr);
  PostMessage(&a, kDeferredLayout, 1);
  PostMessage(&b, kLockRepaint, 2);
  PostMessage(&a, kDeferredLayout2, 3);
  PostMessage(&a, kDeferredLayout, 4);
  EXPECT_TRUE(a.seen.empty()) << "posting must not deliver";
  Pump();
  Pump();
  ASSERT_EQ(a.seen.size(), 3u);
  EXPECT_EQ(a.seen[0].wParam, 1);
  EXPECT_EQ(a.seen[1].wParam, 3);
  EXPECT_EQ(a.seen[1].msg, kDeferredLayout2);
  EXPECT_EQ(a.seen[2].wParam, 4);
  ASSERT_EQ(b.seen.size(), 1u);
  EXPECT_EQ(b.seen[0].msg, kLockRepaint);
  EXPECT_EQ(PostedMessageCountForTest(), 0);
}

TEST_F(MessagesTest, AtMostOneDeferredMessageCanBeKeptQueued) {
  TRecorder r(nullptr);
  for (int i = 0; i < 3; ++i)
    if (!HasPostedMessage(&r, kDeferredLayout)) PostMessage(&r, kDeferredLayout, i);
  EXPECT_TRUE(HasPostedMessage(&r, kDeferredLayout));
  EXPECT_FALSE(HasPostedMessage(&r, kDeferredLayout2));
  Pump();
  ASSERT_EQ(r.seen.size(), 1u);
  EXPECT_EQ(r.seen[0].wParam, 0);
}

TEST_F(MessagesTest, RemovedMessagesAreNeverDelivered) {
  TRecorder r(nullptr);
  PostMessage(&r, 0x466, 7);
  PostMessage(&r, kDeferredLayout, 8);
  PostMessage(&r, 0x466, 9);
  EXPECT_EQ(RemovePostedMessages(&r, 0x466), 2);
  Pump();
  ASSERT_EQ(r.seen.size(), 1u);
  EXPECT_EQ(r.seen[0].msg, kDeferredLayout);
}

TEST_F(MessagesTest, MessagesOfADestroyedControlAreDropped) {
  auto* r = new TRecorder(nullptr);
  TRecorder survivor(nullptr);
  PostMessage(r, kDeferredLayout, 1);
  PostMessage(&survivor, kDeferredLayout, 2);
  delete r;
  Pump();
  ASSERT_EQ(survivor.seen.size(), 1u);
  EXPECT_EQ(survivor.seen[0].wParam, 2);
}

TEST_F(MessagesTest, AHandlerThatPostsAgainIsServedOnTheNextPass) {
  TRecorder r(nullptr);
  int reposts = 0;
  r.onPrivate = [&](TMessage& m) {
    if (m.WParam < 3) {
      ++reposts;
      PostMessage(&r, kDeferredLayout, m.WParam + 1);
    }
  };
  PostMessage(&r, kDeferredLayout, 0);
  // One pass delivers what was queued when it started.
  EXPECT_EQ(DeliverPostedMessages(), 1);
  EXPECT_EQ(r.seen.size(), 1u);
  Pump();
  Pump();
  EXPECT_EQ(r.seen.size(), 4u);
  EXPECT_EQ(reposts, 3);
}

TEST_F(MessagesTest, SubclassingWindowProcSeesMessagesFirst) {
  TRecorder r(nullptr);
  std::vector<unsigned> intercepted;
  TWndMethod previous = r.WindowProc;
  r.WindowProc = [&](TMessage& m) {
    intercepted.push_back(m.Msg);
    if (m.Msg == kDeferredLayout2) return;  // swallowed
    previous(m);
  };
  r.Perform(kDeferredLayout);
  r.Perform(kDeferredLayout2);
  PostMessage(&r, kLockRepaint);
  Pump();
  EXPECT_EQ(intercepted, (std::vector<unsigned>{kDeferredLayout, kDeferredLayout2, kLockRepaint}));
  ASSERT_EQ(r.seen.size(), 2u);
  EXPECT_EQ(r.seen[1].msg, kLockRepaint);
}

TEST_F(MessagesTest, NotificationsReachTheControlAsCmMessages) {
  TForm form(nullptr);
  TRecorder r(&form);
  r.SetParent(&form);
  std::vector<unsigned> cms;
  TWndMethod previous = r.WindowProc;
  r.WindowProc = [&](TMessage& m) {
    if (m.Msg >= CM_BASE) cms.push_back(m.Msg);
    previous(m);
  };
  r.Font()->SetHeight(-20);
  r.SetColor(clRed);
  r.SetEnabled(false);
  r.SetVisible(false);
  EXPECT_EQ(cms, (std::vector<unsigned>{CM_FONTCHANGED, CM_COLORCHANGED, CM_ENABLEDCHANGED,
                                        CM_VISIBLECHANGED}));
}

}  // namespace

namespace {

TEST_F(MessagesTest, WindowTimersSendWmTimerWithTheirIdUntilKilled) {
  TRecorder r(nullptr);
  std::vector<std::intptr_t> ticks;
  TWndMethod previous = r.WindowProc;
  r.WindowProc = [&](TMessage& m) {
    if (m.Msg == WM_TIMER) {
      ticks.push_back(m.WParam);
      if (ticks.size() == 3) r.KillTimer(2);  // killed from its own tick
    }
    previous(m);
  };
  r.SetTimer(2, 1);
  for (int i = 0; i < 200 && ticks.size() < 3; ++i) {
    QTest::qWait(2);
  }
  QTest::qWait(20);
  EXPECT_EQ(ticks, (std::vector<std::intptr_t>{2, 2, 2}));
  EXPECT_FALSE(r.KillTimer(2)) << "already gone";
}

TEST_F(MessagesTest, CapturePassesToTheNextControlWithCaptureChanged) {
  TForm form(nullptr);
  TRecorder a(&form), b(&form);
  a.SetParent(&form);
  b.SetParent(&form);
  form.Show();
  int changedA = 0;
  TWndMethod previous = a.WindowProc;
  a.WindowProc = [&](TMessage& m) {
    if (m.Msg == WM_CAPTURECHANGED) ++changedA;
    previous(m);
  };
  a.SetCapture();
  EXPECT_EQ(TWinControl::GetCapture(), &a);
  b.SetCapture();
  EXPECT_EQ(changedA, 1);
  TWinControl::ReleaseCapture();
  EXPECT_EQ(TWinControl::GetCapture(), nullptr);
}

TEST_F(MessagesTest, ScrollBarsShrinkTheClientAreaAndReportScrolling) {
  TRecorder r(nullptr);
  r.SetBounds(0, 0, 200, 100);
  std::vector<std::intptr_t> scrolls;
  TWndMethod previous = r.WindowProc;
  r.WindowProc = [&](TMessage& m) {
    if (m.Msg == WM_VSCROLL) scrolls.push_back(m.WParam);
    previous(m);
  };
  r.SetScrollRange(SB_VERT, 0, 50);
  r.ShowScrollBar(SB_VERT, true);
  EXPECT_EQ(r.ClientWidth(), 200 - GetSystemMetrics(SM_CXVSCROLL));
  r.SetScrollPos(SB_VERT, 10);
  EXPECT_EQ(r.GetScrollPos(SB_VERT), 10);
  EXPECT_TRUE(scrolls.empty()) << "the program's own change is not a scroll message";
  auto* bar = r.Surface()->findChild<QScrollBar*>();
  ASSERT_NE(bar, nullptr);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  ASSERT_EQ(scrolls.size(), 1u);
  EXPECT_EQ(scrolls[0] & 0xFFFF, SB_LINEDOWN);
  EXPECT_EQ(scrolls[0] >> 16, 11);
}

}  // namespace
