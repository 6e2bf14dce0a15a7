// The mesh the viewer shows first: the user's file, else the default model,
// with the user's own reason kept in sight when that file cannot be read.
#pragma once

#include <memory>
#include <string>

#include "mesh/object.h"

namespace Tavrin {

// Reads `user_path` when it is not empty; when there is none or it cannot be
// read, the default model (load_default_model with `program_path`). After a
// failed read of the user's file the last status message starts with the
// reader's reason (with the file's name in front when the reason does not
// name it), then says what is shown instead ("Showing the default model
// '<path>' instead." or "Showing an empty scene instead."); the output
// window gets the same line.
// Never null.
std::unique_ptr<Object> load_start_mesh(const std::string& user_path,
                                        const std::string& program_path);

}  // namespace Tavrin
