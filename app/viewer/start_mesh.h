// The mesh the viewer shows first: the user's file, else the default model,
// with the user's own reason kept in sight when that file cannot be read.
#pragma once

#include <memory>
#include <string>

#include "mesh/object.h"

namespace Tavrin {

// Reads `user_path` when it is not empty; when there is none or it cannot be
// read, the default model (load_default_model with `program_path`). After a
// failed read of the user's file the last status message names that file and
// the reader's reason, then what is shown instead ("the default model
// '<path>'" or "an empty scene"); the output window gets the same line.
// Never null.
std::unique_ptr<Object> load_start_mesh(const std::string& user_path,
                                        const std::string& program_path);

}  // namespace Tavrin
