// Runs several insertion chains of one thread side by side, one step of each
// in turn: while one chain waits for the slot it is about to try, the others
// work, so the cache misses of different chains overlap. start(chain) loads
// the thread's next key into a chain (false when none is left); step(chain)
// takes one step and says whether the chain has ended.
#pragma once

namespace Tavrin {

template <int N, class Chain, class Start, class Step>
void runInsertionChains(const Start& start, const Step& step) {
  Chain chains[N];
  bool live[N];
  int running = 0;
  for (int l = 0; l < N; ++l) running += (live[l] = start(chains[l]));
  while (running > 0) {
    for (int l = 0; l < N; ++l) {
      if (!live[l] || !step(chains[l])) continue;
      live[l] = start(chains[l]);
      running -= !live[l];
    }
  }
}

}  // namespace Tavrin
