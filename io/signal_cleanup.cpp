// The registry is a fixed array of atomic pointers to copies of the names,
// which the handler may read without taking a lock or allocating. Each
// copy is freed only after its pointer has left the array.
#include "io/signal_cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace Tavrin {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kMaxTempFiles = 64;

std::atomic<char*> temp_files[kMaxTempFiles];
std::atomic<int> deferrals{0};
volatile sig_atomic_t pending_signal = 0;

void remove_temp_files() {
  for (std::atomic<char*>& slot : temp_files)
    if (char* name = slot.load()) unlink(name);
}

// Removes the temporary files and ends the run by the signal's default
// action: the signal stays blocked while the handler runs, so the one raised
// here is delivered as the handler returns.
void end_by(int sig) {
  remove_temp_files();
  signal(sig, SIG_DFL);
  raise(sig);
}

void on_ending_signal(int sig) {
  if (deferrals.load() > 0) {
    pending_signal = sig;
    return;
  }
  end_by(sig);
}

void install_handlers() {
  for (int sig : kEndingSignals) {
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL ||
        (old.sa_flags & SA_SIGINFO))
      continue;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_ending_signal;
    sigemptyset(&action.sa_mask);
    for (int other : kEndingSignals) sigaddset(&action.sa_mask, other);
    sigaction(sig, &action, nullptr);
  }
}

sigset_t ending_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kEndingSignals) sigaddset(&set, sig);
  return set;
}

}  // namespace

int register_temp_file(const std::string& path) {
  static std::once_flag installed;
  std::call_once(installed, install_handlers);
  char* copy = strdup(path.c_str());
  if (!copy) return -1;
  for (int i = 0; i < kMaxTempFiles; ++i) {
    char* expected = nullptr;
    if (temp_files[i].compare_exchange_strong(expected, copy)) return i;
  }
  std::free(copy);
  return -1;
}

void unregister_temp_file(int token) {
  if (token < 0 || token >= kMaxTempFiles) return;
  std::free(temp_files[token].exchange(nullptr));
}

SignalDeferral::SignalDeferral() {
  deferrals.fetch_add(1);
  const sigset_t set = ending_set();
  blocked_ = pthread_sigmask(SIG_BLOCK, &set, &old_mask_) == 0;
}

SignalDeferral::~SignalDeferral() {
  // A signal blocked here arrives when the mask is restored, after the
  // deferral has ended, and takes the handler's usual way.
  const bool last = deferrals.fetch_sub(1) == 1;
  if (blocked_) pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  if (last && pending_signal != 0) {
    const int sig = pending_signal;
    pending_signal = 0;
    end_by(sig);
  }
}

}  // namespace Tavrin
