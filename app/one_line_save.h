// A save that reports a failure in one line. The writers log why a file
// could not be written; the batch programs add which save failed. Run
// through save_in_one_line, the writer's lines are held back: a save that
// succeeds passes them on as they were (notes on fields left out, say), one
// that fails prints "<failure>: <the writer's first line>." alone.
#pragma once

#include <functional>
#include <string>

namespace Tavrin {

// Runs save() with the log route held back as described; returns its result.
bool save_in_one_line(const std::function<bool()>& save, const std::string& failure);

}  // namespace Tavrin
