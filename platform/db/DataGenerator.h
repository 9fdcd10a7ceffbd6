#pragma once
// Catering databases of a real kitchen's size, made up from a seed: branches
// with their central kitchens and services, menu types, the dish register in
// the dish-code picture, products, standard, local and service recipes, cost
// types and costs by validity date, recipe sheets, nutrients and months of
// menus, shaped like the sample data (same tables, codes and conventions,
// the same odd cases in proportion).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pla013::db {

struct GeneratorOptions {
    int dishes = 50000;  // dishes at the dish level of the picture, standard and of single branches
    int branches = 60;   // central kitchens included
    int services = 3;    // regular services per branch, at most
    int months = 3;      // months of menus, from January 2024
    std::uint64_t seed = 1;
    bool photos = false;  // a small photo in about a third of the recipe sheets
};

// Refuses options out of range with std::invalid_argument, the message in
// Portuguese naming the option as the command line spells it (--dishes 1 to
// 1000000, --branches 2 to 9999, --services 1 to 99, --months 1 to 120).
void checkGeneratorOptions(const GeneratorOptions& options);

// Row counts of the generated tables, in the order they were filled.
using GeneratedRows = std::vector<std::pair<std::string, long long>>;

// Creates the database at pathOrUrl: the schema (as initializeDatabase, with
// no sample rows) and the generated data, under the same rules: a path makes
// a new SQLite file, built under a temporary name and moved into place only
// when complete; a postgresql:// URL fills an empty database in one
// transaction. Ends with ANALYZE, so that the planner knows the sizes.
// The same options give the same rows on every run and on both engines.
GeneratedRows generateDatabase(const std::string& pathOrUrl, const GeneratorOptions& options);

}  // namespace pla013::db
