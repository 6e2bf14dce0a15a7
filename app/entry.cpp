#include "app/entry.h"

#include <optional>
#include <string>

#include "app/batch.h"
#include "app/command_line.h"
#include "base/messages.h"
#ifdef TAVRIN_HAS_VIEWER
#include "app/viewer/viewer_main.h"
#endif

namespace Tavrin {

int run_program(int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "tavrin";
  if (argc == 2 && is_help_switch(argv[1])) {
    log_message(usage_text(program));
    return 0;
  }
  if (argc <= 2) {
#ifdef TAVRIN_HAS_VIEWER
    return run_viewer(argc, argv);
#else
    log_message(
        "This build of tavrin has no viewer: give a file, a simplification type and a grid "
        "size.\n");
    log_message(usage_text(program));
    return 2;
#endif
  }
  const std::optional<BatchRequest> request =
      parse_batch_request(argc - 1, argv + 1, usage_text(program));
  return request ? batch_run(*request) : 2;
}

}  // namespace Tavrin
