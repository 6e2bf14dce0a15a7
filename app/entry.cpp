#include "app/entry.h"

#include <string>

#include "app/batch.h"
#include "app/command_line.h"
#include "app/grid_request.h"
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
  if (argc == 4 || argc == 5 || (argc == 6 && is_grid_request_option(argv[3])))
    return batch_run(argc, argv);
  log_message(format("Wrong number of arguments (%d).\n", argc - 1));
  log_message(usage_text(program));
  return 2;
}

}  // namespace Tavrin
