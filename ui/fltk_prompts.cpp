// The default dialog handler: the toolkit's input dialog, question dialog,
// message dialog and file chooser.
#include <GL/glew.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include <algorithm>

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

  // The toolkit's own question dialog makes its second button the default;
  // here the first one is (a question answered by Return must not overwrite
  // or discard anything), and Escape or closing the dialog also picks it.
  int choice(const std::string& question, const std::string& first,
             const std::string& second) override {
    Fl_Window dialog(260, 100);
    Fl_Box text(20, 15, 220, 20, question.c_str());
    text.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    text.labelfont(fl_message_font_);
    int text_w = 0, text_h = 0;
    text.measure_label(text_w, text_h);
    const int w = std::max(text_w + 40, 260);
    const int h = text_h + 75;
    dialog.size(w, h);
    text.resize(20, 15, w - 40, text_h);
    Fl_Button yes(w - 200, h - 40, 85, 25, second.c_str());
    Fl_Return_Button no(w - 105, h - 40, 85, 25, first.c_str());
    int answer = 0;
    yes.callback(
        [](Fl_Widget* button, void* data) {
          *static_cast<int*>(data) = 1;
          button->window()->hide();
        },
        &answer);
    no.callback(
        [](Fl_Widget* button, void* data) {
          *static_cast<int*>(data) = 0;
          button->window()->hide();
        },
        &answer);
    dialog.end();
    dialog.set_modal();
    dialog.hotspot(&no);
    dialog.show();
    no.take_focus();
    while (dialog.shown()) Fl::wait();
    return answer;
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
    const bool was_fixed = fixed_;
    fixed_width_boxes(true);
    message_box(text);
    fixed_width_boxes(was_fixed);
  }

  void fixed_width_boxes(bool on) override {
    if (on == fixed_) return;
    fixed_ = on;
    if (on) {
      saved_font_ = fl_message_font_;
      saved_size_ = fl_message_size_;
      fl_message_font(FL_COURIER, 12);
    } else {
      fl_message_font(saved_font_, saved_size_);
    }
  }

 private:
  bool fixed_ = false;
  Fl_Font saved_font_ = FL_HELVETICA;
  Fl_Fontsize saved_size_ = 14;
};

}  // namespace

std::unique_ptr<PromptHandler> make_fltk_prompt_handler() {
  return std::make_unique<FltkPromptHandler>();
}

}  // namespace Tavrin
