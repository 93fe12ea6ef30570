// A worker thread that owns a message queue. Its loop step decides how often
// messages are handled (by calling Process); terminating closes the queue
// first, so that senders waiting on it are let go.
#pragma once

#include <cstdint>

#include "app/thread_event_list.h"
#include "core/thread.h"

namespace zel {

class TZelThread : public TThread {
 public:
  TZelThread();
  // A derived class must call Stop in its own destructor, while the members
  // its loop step uses still exist.
  ~TZelThread() override;

  TThreadEventList& Queue() { return fQueue; }
  // Hands every waiting message to HandleMessage; for loop steps.
  int Process() { return fQueue.Process(); }

  // Starts the thread; false when the system refused to.
  bool Start();
  // Terminates the thread and waits for it to end, without time limit.
  void Stop();
  bool StartSucceeded() const { return fStarted; }

  // Closes the queue, then asks the thread to end.
  void Terminate() override;

 protected:
  // A message from the queue; leave handled false to have it fired on the
  // queue's event list.
  virtual void HandleMessage(TThreadEventList* sender, uint32_t code, bool& handled, TObj* payload);
  virtual void OnStart() {}
  virtual void OnStop() {}
  // One pass of the thread's loop, called until the thread is terminated.
  virtual void LoopStep() = 0;

  void Execute() override;

 private:
  TThreadEventList fQueue;
  bool fStarted = false;
};

}  // namespace zel
