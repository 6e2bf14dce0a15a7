#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/batch_request.h"
#include "base/messages.h"

namespace Tavrin {
namespace {

// Parses `words` as the words after a program name, with the messages kept in
// `printed`.
std::optional<BatchRequest> parse(const std::vector<std::string>& words, std::string& printed) {
  std::vector<const char*> pointers;
  for (const std::string& w : words) pointers.push_back(w.c_str());
  printed.clear();
  MessageSink previous =
      set_message_sink([&](MessageRoute, const std::string& text) { printed += text; });
  std::optional<BatchRequest> request =
      parse_batch_request(static_cast<int>(pointers.size()), pointers.data(), "USAGE\n");
  set_message_sink(previous);
  return request;
}

TEST(BatchRequest, TheWordsBecomeTheRecord) {
  using W = std::vector<std::string>;
  struct Case {
    W words;
    int32_t grid;
    int kind;  // -1 no request, else GridRequest::Kind
    std::optional<float> load_factor;
    std::string printed;
  } cases[] = {
      {W{"a.ply", "HASH_UC", "64"}, 64, -1, std::nullopt, ""},
      {W{"a.ply", "SINGLE", "8", "1.1"}, 8, -1, 1.1f,
       "Unknown simplification type 'SINGLE': using HASH_UC.\n"},
      {W{"a.ply", "HASH_UC", "8", "0"}, 8, -1, 0.0f, ""},
      {W{"a.ply", "HASH_UC", "--triangles", "100"}, 0, 0, std::nullopt, ""},
      {W{"a.ply", "HASH_UC", "--max-error", "0.01", "1.3"}, 0, 1, 1.3f, ""},
  };
  for (const Case& c : cases) {
    std::string printed;
    const std::optional<BatchRequest> r = parse(c.words, printed);
    ASSERT_TRUE(r) << c.words[2];
    EXPECT_EQ(r->file, "a.ply");
    EXPECT_EQ(r->type_word, c.words[1]);
    EXPECT_EQ(r->grid_size, c.grid);
    EXPECT_EQ(r->grid_request.has_value(), c.kind >= 0);
    if (r->grid_request) {
      EXPECT_EQ(static_cast<int>(r->grid_request->kind), c.kind);
    }
    EXPECT_EQ(r->load_factor, c.load_factor);
    EXPECT_EQ(r->road, BatchRoad::Automatic);
    EXPECT_FALSE(r->stream);
    EXPECT_EQ(printed, c.printed);
  }
}

TEST(BatchRequest, RefusalsSayWhyOnce) {
  using W = std::vector<std::string>;
  struct Case {
    W words;
    std::string printed;
  } cases[] = {
      {W{"a.ply", "HASH_UC"}, "Wrong number of arguments (2).\nUSAGE\n"},
      {W{"a.ply", "HASH_UC", "8", "1", "2"}, "Wrong number of arguments (5).\nUSAGE\n"},
      {W{"a.ply", "HASH_UC", "--triangles"}, "Give a value after '--triangles'.\n"},
      {W{"a.ply", "X", "--max-error"},
       "Unknown simplification type 'X': using HASH_UC.\nGive a value after '--max-error'.\n"},
      {W{"a.ply", "HASH_UC", "8", "--block"}, "Unknown option '--block'.\n"},
      {W{"a.ply", "HASH_UC", "--triangles", "5", "--x"}, "Unknown option '--x'.\n"},
      // A word that is no number where the load factor goes is refused as one.
      {W{"a.ply", "HASH_UC", "8", "fast"},
       "Invalid load factor 'fast': give a finite number of 0 or more.\n"},
      {W{"a.ply", "HASH_UC", "1048577"},
       "Grid size 1048577 is too large: at most 1048576 cells per axis are supported.\n"},
  };
  for (const Case& c : cases) {
    std::string printed;
    EXPECT_FALSE(parse(c.words, printed)) << c.printed;
    EXPECT_EQ(printed, c.printed);
  }
}

}  // namespace
}  // namespace Tavrin
