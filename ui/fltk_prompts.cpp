// The default dialog handler: the toolkit's input dialog, question dialog,
// message dialog and file chooser.
#include <GL/glew.h>

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/fl_ask.H>

#include "base/messages.h"
#include "ui/prompts.h"

namespace Tavrin {

namespace {

class FltkPromptHandler : public PromptHandler {
 public:
  // The dialog texts are printf formats: pass the label as an argument so
  // that a '%' in a file name or a number is shown as it is.
  std::optional<std::string> input(const std::string& label) override {
    const char* answer = fl_input("%s", "", label.c_str());
    if (!answer) return std::nullopt;
    return std::string(answer);
  }

  int choice(const std::string& question, const std::string& first,
             const std::string& second) override {
    return fl_choice("%s", first.c_str(), second.c_str(), nullptr, question.c_str()) == 1 ? 1 : 0;
  }

  std::optional<std::string> pick_file(const FileRequest& request) override {
    Fl_File_Chooser chooser(".", "*",
                            request.save ? Fl_File_Chooser::CREATE : Fl_File_Chooser::SINGLE,
                            request.title.c_str());
    chooser.filter(request.filters.c_str());
    if (!request.start_folder.empty()) chooser.directory(request.start_folder.c_str());
    chooser.show();
    while (chooser.shown()) Fl::wait();
    if (chooser.count() < 1 || !chooser.value()) return std::nullopt;
    return std::string(chooser.value());
  }

  // The message itself goes through the message routes like any other box.
  void monospace_message(const std::string& text) override {
    Fl_Font font = fl_message_font_;
    Fl_Fontsize size = fl_message_size_;
    fl_message_font(FL_COURIER, 12);
    message_box(text);
    fl_message_font(font, size);
  }
};

}  // namespace

std::unique_ptr<PromptHandler> make_fltk_prompt_handler() {
  return std::make_unique<FltkPromptHandler>();
}

}  // namespace Tavrin
