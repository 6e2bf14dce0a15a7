// Typed prompts, the yes/no question and the file chooser of the viewer's
// commands. Every dialog goes through one replaceable handler, so that tests
// can script the answers the way they capture messages; the default handler
// shows the toolkit's modal dialogs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace Tavrin {

// The kinds of value a typed prompt accepts.
enum ValueKind : int {
  VALUE_STRING = 0,            // any text
  VALUE_INTEGER = 1,           // one int32
  VALUE_POSITIVE_INTEGER = 2,  // an int32 >= 0
  VALUE_NATURAL = 3,           // an int32 > 0
  VALUE_REAL = 4,              // one finite float
  VALUE_POSITIVE_REAL = 5,     // a finite float >= 0
};

// "string", "integer number", ...; "N/A" for any other kind.
const char* value_kind_name(int kind);

// Parses `text` as a value of `kind` into `destination`, which holds an
// int32 (kinds 1-3), a float (kinds 4-5) or `size` bytes of text (kind 0:
// at most size - 1 bytes are copied and the text is always terminated).
// Leading blanks are skipped and text after the number is ignored ("12abc"
// is 12, "7.9" as an integer is 7). Numbers outside the int32 range and
// non-finite reals are refused. False (destination untouched) when refused
// or when `destination` or `text` is null.
bool parse_value(void* destination, size_t size, int kind, const char* text);

// "Expected %s but got: %s" with the kind's name and the answer.
std::string refusal_text(int kind, const std::string& answer);

// What the file chooser is asked for.
struct FileRequest {
  bool save = false;         // create mode ("Save file") instead of "Open file"
  std::string title;         // "Open file" or "Save file"
  std::string filters;       // tab-separated filter list of the toolkit's chooser
  std::string start_folder;  // empty: the chooser's own start (".")
};

// The dialogs themselves. Each call blocks until the user answers.
class PromptHandler {
 public:
  virtual ~PromptHandler() = default;
  // One-line input with an empty field; none when cancelled.
  virtual std::optional<std::string> input(const std::string& label) = 0;
  // A question with two buttons; returns 0 for the first (also on Escape and
  // on Return: the first button is the default), 1 for the second.
  virtual int choice(const std::string& question, const std::string& first,
                     const std::string& second) = 0;
  // The file chooser; none when nothing was chosen.
  virtual std::optional<std::string> pick_file(const FileRequest& request) = 0;
  // A message in the fixed-width font.
  virtual void monospace_message(const std::string& text) = 0;
  // While on, every message box (message_box) uses the fixed-width font.
  virtual void fixed_width_boxes(bool on) { (void)on; }
};

// Installs a handler; null restores the default (the toolkit's dialogs).
// Returns the previous handler, null when it was the default.
std::unique_ptr<PromptHandler> set_prompt_handler(std::unique_ptr<PromptHandler> handler);

// The toolkit's dialogs (ui/fltk_prompts.cpp).
std::unique_ptr<PromptHandler> make_fltk_prompt_handler();

// The typed prompt: asks until the answer parses as `kind` (each refusal is
// shown with refusal_text through message_box) or the user cancels (false;
// the destination keeps what it held).
bool prompt_value(int32_t& destination, const std::string& label, int kind);
bool prompt_value(float& destination, const std::string& label, int kind);
// The same for an integer that must also lie in [low, high]: a number
// outside is refused with "Expected <kind> from <low> to <high> but got: ..."
// (text that is no number with refusal_text).
bool prompt_value(int32_t& destination, const std::string& label, int kind, int32_t low,
                  int32_t high);

// The input dialog as it is; none when cancelled.
std::optional<std::string> prompt_text(const std::string& label);

extern const char* const kOpenFilters;
extern const char* const kSaveFilters;

// The file chooser for opening or saving. When saving onto an existing file
// asks "File '%s'\nalready exists.\nOverwrite it?" with "No" and "Yes";
// "No" counts as nothing chosen. None when nothing was chosen.
std::optional<std::string> choose_file(bool save, const std::string& start_folder);

// A long text in the fixed-width font.
void message_box_monospace(const std::string& text);

// For its lifetime, message boxes use the fixed-width font (reports whose
// columns must line up, such as the octree simplification's).
class FixedWidthBoxes {
 public:
  FixedWidthBoxes();
  ~FixedWidthBoxes();
  FixedWidthBoxes(const FixedWidthBoxes&) = delete;
  FixedWidthBoxes& operator=(const FixedWidthBoxes&) = delete;
};

// The yes/no question: true only when the user picks "Yes"; "No" is the
// default button (Return) and Escape answers "No" too.
bool ask_yes_no(const std::string& question);

}  // namespace Tavrin
