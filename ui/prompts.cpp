// Value parsing, the typed prompt loop and the file chooser's overwrite
// question, over the replaceable dialog handler.
#include "ui/prompts.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "base/messages.h"

namespace Tavrin {

const char* const kOpenFilters =
    "Polygon format files (*.ply)\tPostScript Files (*.ps)\tImage Files (*.{bmp,gif,jpg,png})\t"
    "C/C++ Source Files (*.{c,C,cc,cpp,cxx})";
const char* const kSaveFilters = "GiD ascii mesh format (*.msh)\tPolygon format files (*.ply)";

namespace {

std::unique_ptr<PromptHandler>& installed_handler() {
  static std::unique_ptr<PromptHandler> handler;
  return handler;
}

PromptHandler& handler() {
  std::unique_ptr<PromptHandler>& h = installed_handler();
  if (!h) h = make_fltk_prompt_handler();
  return *h;
}

// Reads one int32 the way "%d" does, but refuses values outside the range
// instead of leaving them undefined.
bool read_int32(const char* text, int32_t& out) {
  errno = 0;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE) return false;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    return false;
  out = static_cast<int32_t>(value);
  return true;
}

// Reads one float the way "%g" does; infinities and NaNs are refused, since
// no prompt of the viewer has a use for them.
bool read_float(const char* text, float& out) {
  char* end = nullptr;
  float value = std::strtof(text, &end);
  if (end == text || !std::isfinite(value)) return false;
  out = value;
  return true;
}

// Asks until `accept` takes an answer (true) or the user cancels (false);
// `refuse` gives the text shown for a refused answer.
template <typename Accept, typename Refuse>
bool prompt_until(const std::string& label, Accept accept, Refuse refuse) {
  for (;;) {
    std::optional<std::string> answer = handler().input(label);
    if (!answer) return false;
    if (accept(*answer)) return true;
    message_box(refuse(*answer));
  }
}

template <typename T>
bool prompt_number(T& destination, const std::string& label, int kind) {
  return prompt_until(
      label,
      [&](const std::string& a) { return parse_value(&destination, sizeof(T), kind, a.c_str()); },
      [&](const std::string& a) { return refusal_text(kind, a); });
}

}  // namespace

const char* value_kind_name(int kind) {
  switch (kind) {
    case VALUE_STRING:
      return "string";
    case VALUE_INTEGER:
      return "integer number";
    case VALUE_POSITIVE_INTEGER:
      return "positive integer number";
    case VALUE_NATURAL:
      return "natural number";
    case VALUE_REAL:
      return "real number";
    case VALUE_POSITIVE_REAL:
      return "positive real number";
    default:
      return "N/A";
  }
}

bool parse_value(void* destination, size_t size, int kind, const char* text) {
  if (!destination || !text) return false;
  switch (kind) {
    case VALUE_STRING: {
      if (size == 0) return false;
      size_t n = std::min(std::strlen(text), size - 1);
      std::memcpy(destination, text, n);
      static_cast<char*>(destination)[n] = '\0';
      return true;
    }
    case VALUE_INTEGER:
    case VALUE_POSITIVE_INTEGER:
    case VALUE_NATURAL: {
      int32_t value = 0;
      if (size < sizeof(int32_t) || !read_int32(text, value)) return false;
      if (kind == VALUE_POSITIVE_INTEGER && value < 0) return false;
      if (kind == VALUE_NATURAL && value <= 0) return false;
      std::memcpy(destination, &value, sizeof value);
      return true;
    }
    case VALUE_REAL:
    case VALUE_POSITIVE_REAL: {
      float value = 0.0f;
      if (size < sizeof(float) || !read_float(text, value)) return false;
      if (kind == VALUE_POSITIVE_REAL && !(value >= 0.0f)) return false;
      std::memcpy(destination, &value, sizeof value);
      return true;
    }
    default:
      return false;
  }
}

std::string refusal_text(int kind, const std::string& answer) {
  return format("Expected %s but got: %s", value_kind_name(kind), answer.c_str());
}

std::unique_ptr<PromptHandler> set_prompt_handler(std::unique_ptr<PromptHandler> next) {
  std::unique_ptr<PromptHandler> previous = std::move(installed_handler());
  installed_handler() = std::move(next);
  return previous;
}

bool prompt_value(int32_t& destination, const std::string& label, int kind) {
  return prompt_number(destination, label, kind);
}

bool prompt_value(float& destination, const std::string& label, int kind) {
  return prompt_number(destination, label, kind);
}

bool prompt_value(int32_t& destination, const std::string& label, int kind, int32_t low,
                  int32_t high) {
  return prompt_until(
      label,
      [&](const std::string& a) {
        int32_t value = 0;
        if (!parse_value(&value, sizeof value, kind, a.c_str()) || value < low || value > high)
          return false;
        destination = value;
        return true;
      },
      [&](const std::string& a) {
        int32_t value = 0;
        if (!parse_value(&value, sizeof value, kind, a.c_str())) return refusal_text(kind, a);
        return format("Expected %s from %d to %d but got: %s", value_kind_name(kind), low, high,
                      a.c_str());
      });
}

std::optional<std::string> prompt_text(const std::string& label) { return handler().input(label); }

std::optional<std::string> choose_file(bool save, const std::string& start_folder) {
  FileRequest request;
  request.save = save;
  request.title = save ? "Save file" : "Open file";
  request.filters = save ? kSaveFilters : kOpenFilters;
  request.start_folder = start_folder;
  std::optional<std::string> chosen = handler().pick_file(request);
  if (!chosen) return std::nullopt;
  if (save && !chosen->empty()) {
    std::error_code ec;
    if (std::filesystem::exists(*chosen, ec)) {
      std::string question = format("File '%s'\nalready exists.\nOverwrite it?", chosen->c_str());
      if (!ask_yes_no(question)) return std::nullopt;
    }
  }
  return chosen;
}

void message_box_monospace(const std::string& text) { handler().monospace_message(text); }

FixedWidthBoxes::FixedWidthBoxes() { handler().fixed_width_boxes(true); }
FixedWidthBoxes::~FixedWidthBoxes() { handler().fixed_width_boxes(false); }

bool ask_yes_no(const std::string& question) {
  return handler().choice(question, "No", "Yes") == 1;
}

}  // namespace Tavrin
