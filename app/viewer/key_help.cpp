// The help text: what the keys and mouse buttons do.
#include "app/viewer/key_help.h"

#include "base/messages.h"

namespace Tavrin {

void print_key_help() {
  static const char* const kLines[] = {
      "--------------------\n",
      "Following keys can be used:\n",
      "\th       - help\n",
      "\tw/s     - increase/decrease zoom\n",
      "\tq/<ESC> - quits\n",
      "\to       - show output window.\n",
      "Presing mouse buttons in graphical window:\n",
      "\tLeft click  - rotate object\n",
      "\tMiddle      - pan object\n",
      "\twheel       - zoom in / out\n",
      "\tRight click - menu with options\n",
      "Presing mouse buttons in status bar:\n",
      "\tLeft click  - show / hide output window\n",
      "\tMiddleclick - change status bar font\n",
      "--------------------\n",
  };
  for (const char* line : kLines) log_message(line);
}

}  // namespace Tavrin
