// The first mesh of the viewer: when the user's file cannot be read, the
// reader's reason stays in the last status message, followed by what is
// shown instead.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/viewer/start_mesh.h"
#include "io/ply_reader.h"
#include "test_support.h"

namespace Tavrin {
namespace {

std::string last_status(test::MessageCapture& capture) {
  for (size_t i = capture.messages().size(); i-- > 0;)
    if (capture.routes()[i] == MessageRoute::Status) return capture.messages()[i];
  return "";
}

TEST(AppStartMesh, UserReasonStaysThenWhatIsShownInstead) {
  const std::string dir = test::temp_dir("start_mesh");
  std::filesystem::create_directory(dir + "/folder.ply");
  const std::string old_cwd = std::filesystem::current_path().string();
  // A working directory without a teapot, so only the folder of the
  // program path decides.
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const struct {
    std::string program;
    std::string instead;
  } cases[] = {
      {test::data_path("tavrin"), "Showing the default model '" + test::data_path("teapot.ply")},
      {dir + "/tavrin", "Showing an empty scene instead."},
  };
  for (const auto& c : cases) {
    test::MessageCapture capture;
    std::unique_ptr<Object> shown = load_start_mesh(dir + "/folder.ply", c.program);
    ASSERT_TRUE(shown);
    const std::string status = last_status(capture);
    EXPECT_EQ(status.rfind("Unable to open file '" + dir + "/folder.ply': it is a directory. ", 0),
              0u)
        << status;
    EXPECT_NE(status.find(c.instead), std::string::npos) << status;
    // The same line reaches the output window, after everything else.
    ASSERT_FALSE(capture.messages().empty());
    EXPECT_EQ(capture.messages().back(), status + "\n");
    EXPECT_EQ(capture.routes().back(), MessageRoute::Output);
  }
  {
    test::MessageCapture capture;
    EXPECT_EQ(load_start_mesh("", test::data_path("tavrin"))->num_nodes(), 2049);
    EXPECT_EQ(last_status(capture), "");
  }
  ASSERT_EQ(chdir(old_cwd.c_str()), 0);
}

// The default model: the working directory's teapot.ply first, then the
// one beside the program, found through the running binary when the
// program was started by its bare name (the build puts one beside it).
TEST(AppStartMesh, DefaultModelFromTheWorkingDirectoryThenBesideTheProgram) {
  const std::string empty = test::temp_dir("start_empty"), own = test::temp_dir("start_own");
  // A teapot of the working directory that differs from the bundled one.
  std::filesystem::copy_file(test::data_path("bunny.ply"), own + "/teapot.ply");
  const std::string old_cwd = std::filesystem::current_path().string();
  const struct {
    std::string cwd, program;
    int nodes;
  } cases[] = {
      {own, test::data_path("tavrin"), 0},  // 0: the bunny's count, read below
      {empty, test::data_path("tavrin"), 2049},
      {empty, "tavrin", 2049},
      {empty, empty + "/tavrin", 0},
  };
  test::MessageCapture quiet;
  std::unique_ptr<Object> bunny = load_ply(test::data_path("bunny.ply"));
  ASSERT_TRUE(bunny);
  for (const auto& c : cases) {
    ASSERT_EQ(chdir(c.cwd.c_str()), 0);
    const int expected = c.cwd == own ? bunny->num_nodes() : c.nodes;
    EXPECT_EQ(load_start_mesh("", c.program)->num_nodes(), expected) << c.cwd << " " << c.program;
  }
  ASSERT_EQ(chdir(old_cwd.c_str()), 0);
}

}  // namespace
}  // namespace Tavrin
