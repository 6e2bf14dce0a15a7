// Typed prompts: what each kind accepts, the refusal text, the ask-again
// loop and the overwrite question of the save chooser.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "scripted_prompts.h"
#include "test_support.h"
#include "ui/prompts.h"

namespace Tavrin {
namespace {

struct IntCase {
  int kind;
  const char* text;
  bool accepted;
  int32_t value;
};

TEST(UiPrompts, IntegerKindsAcceptAndRefuseLikeScanf) {
  const IntCase cases[] = {
      {VALUE_NATURAL, "0", false, 0},
      {VALUE_NATURAL, "-3", false, 0},
      {VALUE_NATURAL, "abc", false, 0},
      {VALUE_NATURAL, " 7", true, 7},
      {VALUE_NATURAL, "7.9", true, 7},
      {VALUE_NATURAL, "12abc", true, 12},
      {VALUE_NATURAL, "", false, 0},
      {VALUE_NATURAL, "2147483647", true, 2147483647},
      {VALUE_NATURAL, "2147483648", false, 0},
      {VALUE_POSITIVE_INTEGER, "0", true, 0},
      {VALUE_POSITIVE_INTEGER, "-1", false, 0},
      {VALUE_INTEGER, "-3", true, -3},
      {VALUE_INTEGER, "-2147483649", false, 0},
      {VALUE_INTEGER, "+5", true, 5},
  };
  for (const IntCase& c : cases) {
    int32_t v = -99;
    EXPECT_EQ(parse_value(&v, sizeof v, c.kind, c.text), c.accepted)
        << c.kind << " '" << c.text << "'";
    EXPECT_EQ(v, c.accepted ? c.value : -99) << c.text;
  }
}

TEST(UiPrompts, RealKindsAndStringAndUnknownKind) {
  struct RealCase {
    int kind;
    const char* text;
    bool accepted;
    float value;
  } cases[] = {
      {VALUE_POSITIVE_REAL, "0", true, 0.0f},  {VALUE_POSITIVE_REAL, "1e-3", true, 1e-3f},
      {VALUE_POSITIVE_REAL, "-0.5", false, 0}, {VALUE_REAL, "-0.5", true, -0.5f},
      {VALUE_REAL, " 1.25x", true, 1.25f},     {VALUE_REAL, "x", false, 0},
      {VALUE_REAL, "inf", false, 0},           {VALUE_POSITIVE_REAL, "nan", false, 0},
      {VALUE_REAL, "1e39", false, 0},
  };
  for (const RealCase& c : cases) {
    float v = -99.0f;
    EXPECT_EQ(parse_value(&v, sizeof v, c.kind, c.text), c.accepted) << c.text;
    EXPECT_EQ(v, c.accepted ? c.value : -99.0f) << c.text;
  }
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_TRUE(parse_value(buffer, sizeof buffer, VALUE_STRING, "hello"));
  EXPECT_STREQ(buffer, "hel");
  int32_t v = 0;
  EXPECT_FALSE(parse_value(&v, sizeof v, 6, "1"));
  EXPECT_FALSE(parse_value(&v, sizeof v, VALUE_INTEGER, nullptr));
  EXPECT_STREQ(value_kind_name(6), "N/A");
  EXPECT_STREQ(value_kind_name(VALUE_STRING), "string");
  EXPECT_EQ(refusal_text(VALUE_NATURAL, "0"), "Expected natural number but got: 0");
  EXPECT_EQ(refusal_text(VALUE_POSITIVE_REAL, "-0.5"),
            "Expected positive real number but got: -0.5");
  EXPECT_EQ(refusal_text(VALUE_POSITIVE_INTEGER, "x"),
            "Expected positive integer number but got: x");
  EXPECT_EQ(refusal_text(VALUE_INTEGER, "x"), "Expected integer number but got: x");
  EXPECT_EQ(refusal_text(VALUE_REAL, "x"), "Expected real number but got: x");
}

TEST(UiPrompts, RefusedAnswersAskAgainUntilAcceptedOrCancelled) {
  test::ScriptedPromptGuard prompts;
  test::MessageCapture capture;
  prompts->inputs = {"0", "-3", "abc", " 7"};
  int32_t divisions = 5;
  ASSERT_TRUE(prompt_value(divisions, "Enter number of divisions", VALUE_NATURAL));
  EXPECT_EQ(divisions, 7);
  EXPECT_EQ(prompts->asked.size(), 4u);
  ASSERT_EQ(capture.messages().size(), 3u);
  EXPECT_EQ(capture.messages()[0], "Expected natural number but got: 0");
  EXPECT_EQ(capture.routes()[0], MessageRoute::Box);
  EXPECT_EQ(capture.messages()[2], "Expected natural number but got: abc");

  // A cancel after a refusal ends the prompt and keeps the value.
  prompts->inputs = {"-0.5", std::nullopt};
  float error = 0.25f;
  EXPECT_FALSE(prompt_value(error, "max error", VALUE_POSITIVE_REAL));
  EXPECT_EQ(error, 0.25f);
}

TEST(UiPrompts, SaveChooserAsksBeforeOverwriting) {
  test::ScriptedPromptGuard prompts;
  const std::string dir = test::temp_dir("ui_prompts");
  const std::string existing = dir + "/mesh 100%.ply";
  std::ofstream(existing) << "x";
  const std::string fresh = dir + "/new.ply";

  prompts->files = {fresh, existing, existing, std::nullopt};
  prompts->choices = {0, 1};
  EXPECT_EQ(choose_file(true, dir), fresh);  // no question for a new file
  EXPECT_TRUE(prompts->asked.empty());
  EXPECT_EQ(choose_file(true, dir), std::nullopt);  // "No"
  ASSERT_EQ(prompts->asked.size(), 1u);
  EXPECT_EQ(prompts->asked[0], "File '" + existing + "'\nalready exists.\nOverwrite it?");
  EXPECT_EQ(choose_file(true, dir), existing);  // "Yes"
  EXPECT_EQ(choose_file(true, dir), std::nullopt);

  ASSERT_EQ(prompts->requests.size(), 4u);
  EXPECT_EQ(prompts->requests[0].title, "Save file");
  EXPECT_EQ(prompts->requests[0].filters,
            "GiD ascii mesh format (*.msh)\tPolygon format files (*.ply)");
  EXPECT_EQ(prompts->requests[0].start_folder, dir);

  // Opening an existing file asks nothing.
  prompts->files = {existing};
  EXPECT_EQ(choose_file(false, "."), existing);
  EXPECT_EQ(prompts->requests.back().title, "Open file");
  EXPECT_EQ(prompts->asked.size(), 2u);
}

}  // namespace
}  // namespace Tavrin
