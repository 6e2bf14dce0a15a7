// The Application seen by the menu commands.
#pragma once

#include "ui/viewer_host.h"

namespace Tavrin {

struct Application;

class ApplicationHost : public ViewerHost {
 public:
  explicit ApplicationHost(Application& app) : app_(app) {}
  Scene& scene() override;
  void redraw() override;
  void post_redraw() override;
  void reset_view_transform() override;
  void set_file_name_field(const std::string& text) override;
  void make_current() override;
  void quit() override;
  std::string program_path() const override;
  int window_width() const override;
  int window_height() const override;

 private:
  Application& app_;
};

}  // namespace Tavrin
