// What every library call sets up around its work and takes down after it:
// the caller's thread count, the caller's message sink for the calling
// thread and its worker threads, and the generators of the cell tables back
// at their starting state, so that each call draws what a fresh `tavrin`
// process draws and no call depends on the ones before it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "base/messages.h"
#include "tavrin/tavrin.h"

namespace tavrin::detail {

class CallScope {
 public:
  // threads: 0 keeps the calling thread's setting. An empty `messages`
  // drops every message of the call. `triangles`: the size of the mesh the
  // call simplifies (0 for a call that sends messages from the calling
  // thread only); a mesh that runs on one thread needs no team set up.
  CallScope(int threads, const MessageSink& messages, int64_t triangles);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  void set_team_sink(const Tavrin::MessageSink* sink);

  const MessageSink& messages_;
  std::mutex mutex_;  // the worker threads share the caller's sink
  Tavrin::MessageSink sink_;
  int previous_threads_;
  int team_;
  const Tavrin::MessageSink* previous_sink_;
};

}  // namespace tavrin::detail
