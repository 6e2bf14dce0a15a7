// Constructors of the handler families, one per file beside each family, so
// that the factory names every class in one switch without including them all.
#pragma once

#include <memory>

#include "hashuc/handler_interface.h"

namespace Tavrin {

std::unique_ptr<HandlerInterface> make_acc_handler();                   // HashUCAcc
std::unique_ptr<HandlerInterface> make_normal_handler(simp_type type);  // types 2, 3, 5
std::unique_ptr<HandlerInterface> make_scalar_handler(simp_type type);  // types 6, 7, 8
// Types 9 and 10; a load factor of 0 (or not positive) selects the tables' default.
std::unique_ptr<HandlerInterface> make_table_variant_handler(simp_type type, float load_factor);

}  // namespace Tavrin
