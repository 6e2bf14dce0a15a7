// What the menu commands need from the window shell. The shell's
// Application implements it; the commands never see the Application itself,
// and in-process tests can drive the commands through a host of their own.
#pragma once

#include <string>

namespace Tavrin {

class Scene;

class ViewerHost {
 public:
  virtual ~ViewerHost() = default;

  virtual Scene& scene() = 0;
  // Draws one frame now (commands show their outcome at once).
  virtual void redraw() = 0;
  // Asks for a frame at the next opportunity.
  virtual void post_redraw() = 0;
  // Rotation to the identity and pan to (0, 0, 0).
  virtual void reset_view_transform() = 0;
  // Status-bar field 0, the name of the file shown.
  virtual void set_file_name_field(const std::string& text) = 0;
  // Makes the drawing window's GL context current; commands that create or
  // free GL resources call it first.
  virtual void make_current() = 0;
  // Ends the program (the Quit entry).
  virtual void quit() = 0;
  // The program's path as started (argv[0]).
  virtual std::string program_path() const = 0;
  virtual int window_width() const = 0;
  virtual int window_height() const = 0;
};

}  // namespace Tavrin
