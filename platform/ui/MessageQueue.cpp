// The posted-message queue and its pump on Qt's event loop.
#include "platform/ui/MessageQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <deque>

#include "platform/ui/Controls.h"
#include "platform/ui/Messages.h"

namespace {

struct TPosted {
  TWinControl* target;
  TMessage message;
  std::uint64_t seq;
};

std::deque<TPosted>& Queue() {
  static std::deque<TPosted> q;
  return q;
}
std::uint64_t gNextSeq = 1;

// The Qt side: one custom event stands for "the queue is not empty".  At
// most one is pending at a time; it is re-posted when a pass leaves
// messages behind.
class TMessagePump : public QObject {
 public:
  static constexpr QEvent::Type kDeliverEvent = static_cast<QEvent::Type>(QEvent::User + 936);
  bool pending = false;

  void Schedule() {
    if (pending || !QCoreApplication::instance()) return;
    pending = true;
    QCoreApplication::postEvent(this, new QEvent(kDeliverEvent));
  }

 protected:
  void customEvent(QEvent* e) override {
    if (e->type() != kDeliverEvent) return;
    pending = false;
    DeliverPostedMessages();
  }
};

TMessagePump& Pump() {
  static TMessagePump* pump = new TMessagePump;  // lives as long as the program
  return *pump;
}

}  // namespace

bool PostMessage(TWinControl* target, unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
  if (!target) return false;
  TMessage m;
  m.Msg = msg;
  m.WParam = wParam;
  m.LParam = lParam;
  Queue().push_back({target, m, gNextSeq++});
  Pump().Schedule();
  return true;
}

bool HasPostedMessage(const TWinControl* target, unsigned msg) {
  for (const TPosted& p : Queue())
    if (p.target == target && p.message.Msg == msg) return true;
  return false;
}

int RemovePostedMessages(const TWinControl* target, unsigned msg) {
  auto& q = Queue();
  int n = 0;
  for (auto it = q.begin(); it != q.end();) {
    if (it->target == target && it->message.Msg == msg) {
      it = q.erase(it);
      ++n;
    } else {
      ++it;
    }
  }
  return n;
}

void DiscardPostedMessages(const TWinControl* target) {
  auto& q = Queue();
  for (auto it = q.begin(); it != q.end();)
    it = it->target == target ? q.erase(it) : it + 1;
}

int DeliverPostedMessages() {
  auto& q = Queue();
  const std::uint64_t last = gNextSeq - 1;
  int n = 0;
  // Pop before dispatching: a handler may post, remove or run a nested
  // delivery (ProcessMessages) and must never see this message again.
  while (!q.empty() && q.front().seq <= last) {
    TPosted p = q.front();
    q.pop_front();
    ++n;
    p.target->Perform(p.message.Msg, p.message.WParam, p.message.LParam);
  }
  if (!q.empty()) Pump().Schedule();
  return n;
}

int PostedMessageCountForTest() { return static_cast<int>(Queue().size()); }
