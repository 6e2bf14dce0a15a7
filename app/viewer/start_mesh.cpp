// The first mesh of the viewer and the message after a failed read.
#include "app/viewer/start_mesh.h"

#include "base/messages.h"
#include "io/ply_reader.h"

namespace Tavrin {

namespace {

// Reads `path`, keeping the last progress message, which holds the reader's
// reason when the read fails (the fallback's own messages would replace it
// in the status bar).
std::unique_ptr<Object> load_keeping_reason(const std::string& path, std::string& reason) {
  MessageSink previous = set_message_sink({});
  set_message_sink([&previous, &reason](MessageRoute route, const std::string& text) {
    if (route == MessageRoute::Progress) reason = text;
    if (previous) previous(route, text);
  });
  std::unique_ptr<Object> object = load_ply(path);
  set_message_sink(std::move(previous));
  return object;
}

}  // namespace

std::unique_ptr<Object> load_start_mesh(const std::string& user_path,
                                        const std::string& program_path) {
  if (user_path.empty()) return load_default_model(program_path);
  log_message(format("Reading %s ...\n", user_path.c_str()));
  std::string reason;
  if (std::unique_ptr<Object> object = load_keeping_reason(user_path, reason)) return object;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '.')) reason.pop_back();
  if (reason.empty()) reason = "it could not be read";

  // The reader's reasons mostly name the file; the others get its name in front.
  if (reason.find(user_path) == std::string::npos)
    reason = format("'%s': %s", user_path.c_str(), reason.c_str());

  std::unique_ptr<Object> fallback = load_default_model(program_path);
  const std::string instead = fallback->num_nodes() > 0
                                  ? format("the default model '%s'", fallback->path.c_str())
                                  : std::string("an empty scene");
  const std::string text = format("%s. Showing %s instead.", reason.c_str(), instead.c_str());
  show_status(text);
  log_to_output(text + "\n");
  return fallback;
}

}  // namespace Tavrin
