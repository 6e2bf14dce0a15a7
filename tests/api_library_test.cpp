// The library's calls keep no shared state: two calls on two threads give
// what each gives alone, each caller's sink hears only its own run, and the
// process-wide sink hears nothing.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/messages.h"
#include "tavrin/tavrin.h"
#include "test_support.h"

namespace {

struct CallRun {
  tavrin::Result result;
  std::vector<std::string> messages;
};

CallRun run_call(const tavrin::MeshView& view, const char* type, int threads) {
  CallRun r;
  tavrin::SimplifyRequest request;
  request.type = type;
  request.grid = 48;
  request.threads = threads;
  request.messages = [&r](const std::string& text) { r.messages.push_back(text); };
  r.result = tavrin::simplify(view, request);
  return r;
}

TEST(ApiLibrary, CallsOnTwoThreadsShareNothing) {
  const tavrin::Result in = tavrin::read_ply(Tavrin::test::data_path("dragon_small.ply"));
  ASSERT_TRUE(in.ok()) << in.error;
  ASSERT_GE(in.mesh.triangle_count(), 16384u);  // large enough to run on a team
  std::vector<tavrin::FieldView> fields;
  const tavrin::MeshView view = in.mesh.view(fields);
  // Types whose tables draw hash functions, and one that draws none.
  const char* types[] = {"HASH_UC_SINGLE", "HASH_UC_COHERENT", "HASH_UC_ACC"};
  std::vector<CallRun> alone;
  for (const char* type : types) alone.push_back(run_call(view, type, 1));

  std::vector<std::string> process_wide;
  Tavrin::MessageSink previous = Tavrin::set_message_sink(
      [&](Tavrin::MessageRoute, const std::string& text) { process_wide.push_back(text); });
  for (int round = 0; round < 2; ++round) {
    std::vector<CallRun> together(3);
    std::vector<std::thread> threads;
    for (int k = 0; k < 3; ++k)
      threads.emplace_back([&, k] { together[k] = run_call(view, types[k], 2); });
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < 3; ++k) {
      SCOPED_TRACE(types[k]);
      ASSERT_TRUE(together[k].result.ok()) << together[k].result.error;
      EXPECT_EQ(together[k].result.mesh.xyz, alone[k].result.mesh.xyz);
      EXPECT_EQ(together[k].result.mesh.triangles, alone[k].result.mesh.triangles);
      ASSERT_FALSE(together[k].messages.empty());
      const std::string tag = together[k].messages.front();
      EXPECT_EQ(tag, alone[k].messages.front());
      for (int other = 0; other < 3; ++other) {
        if (other == k) continue;
        for (const std::string& m : together[k].messages)
          EXPECT_NE(m, alone[other].messages.front());
      }
    }
  }
  Tavrin::set_message_sink(previous);
  EXPECT_TRUE(process_wide.empty()) << process_wide.front();
}

}  // namespace
