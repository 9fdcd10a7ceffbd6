#pragma once
// A generated catering database of a given number of dishes (two branches, a
// month of menus), for tests that need reports of hundreds of pages.

#include <filesystem>
#include <string>

namespace pla013test {

// Creates it at `file`; the code of its last dish at the dish level, so that
// a range from "1" to it takes every dish.
std::string generateDishes(const std::filesystem::path& file, int dishes);

}  // namespace pla013test
