#include "api/call_scope.h"

#include <omp.h>

#include "simplify/run_result.h"
#include "tables/random_streams.h"

namespace tavrin::detail {

CallScope::CallScope(int threads, const MessageSink& messages, int64_t triangles)
    : messages_(messages), previous_threads_(omp_get_max_threads()) {
  if (threads > 0) omp_set_num_threads(threads);
  // Each region costs a fork and a barrier, which on a busy machine can wait
  // a scheduler slice: only a run that will use the team sets it up.
  team_ = triangles >= Tavrin::kOneThreadTriangles ? omp_get_max_threads() : 1;
  // The routes the `tavrin` program prints, as it prints them; the viewer's
  // routes (boxes, progress, busy steps, file names) are left out.
  sink_ = [this](Tavrin::MessageRoute route, const std::string& text) {
    using Tavrin::MessageRoute;
    if (!messages_) return;
    std::string line = text;
    if (route == MessageRoute::Status || route == MessageRoute::StatusLine)
      line += '\n';
    else if (route != MessageRoute::Log)
      return;
    std::lock_guard<std::mutex> guard(mutex_);
    messages_(line);
  };
  previous_sink_ = Tavrin::swap_thread_sink(&sink_);
  set_team_sink(&sink_);
  Tavrin::handler_random().reset();
  Tavrin::octree_random().reset();
}

CallScope::~CallScope() {
  set_team_sink(nullptr);
  Tavrin::swap_thread_sink(previous_sink_);
  omp_set_num_threads(previous_threads_);
}

// A message sent from inside a parallel loop comes from one of the worker
// threads the OpenMP runtime keeps for the calling thread, which reuses the
// same workers for every region of the same size; giving them the call's
// sink keeps those messages in the call too. Regions are not nested here.
void CallScope::set_team_sink(const Tavrin::MessageSink* sink) {
  if (team_ <= 1) return;
#pragma omp parallel num_threads(team_)
  if (omp_get_thread_num() != 0) Tavrin::swap_thread_sink(sink);
}

}  // namespace tavrin::detail
