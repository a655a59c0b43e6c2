// MessageQueue: posted window messages.
//
// PostMessage queues a message for a windowed control and returns at once;
// the message is delivered later from Qt's event loop (or from
// Application->ProcessMessages) through the control's Perform.  Contract:
//  - every posted message is delivered exactly once, in the order posted
//    (program-wide FIFO, as for one thread's message queue);
//  - a message whose target is destroyed before delivery is dropped, never
//    delivered to freed memory;
//  - one delivery pass handles only the messages already queued when it
//    starts, so a handler that posts again cannot starve the event loop;
//  - HasPostedMessage / RemovePostedMessages are the PeekMessage forms
//    (PM_NOREMOVE / PM_REMOVE) the components use to keep at most one
//    deferred message of a kind queued.
// User-interface thread only.
#pragma once

#include <cstdint>

class TWinControl;

// Queues msg for target; false when target is null.
bool PostMessage(TWinControl* target, unsigned msg, std::intptr_t wParam = 0,
                 std::intptr_t lParam = 0);
// True when a message msg for target waits in the queue.
bool HasPostedMessage(const TWinControl* target, unsigned msg);
// Removes the waiting messages msg for target; returns how many.
int RemovePostedMessages(const TWinControl* target, unsigned msg);
// Drops every waiting message of target (its destructor calls this).
void DiscardPostedMessages(const TWinControl* target);
// Delivers the messages queued at the time of the call; returns how many.
int DeliverPostedMessages();
// Number of messages waiting (for the tests).
int PostedMessageCountForTest();
