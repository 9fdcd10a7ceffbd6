#include "GeneratedDishes.h"

#include "platform/db/DataGenerator.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"

namespace pla013test {

std::string generateDishes(const std::filesystem::path& file, int dishes) {
    pla013::db::GeneratorOptions generate;
    generate.dishes = dishes;
    generate.branches = 2;
    generate.months = 1;
    pla013::db::generateDatabase(file.string(), generate);
    pla013::host::QueryRequest last;
    last.name = "último prato";
    last.sql.generic = "SELECT MAX(CDPRATO) FROM PRATO WHERE CDNVPRATO = '3'";
    return pla013::db::openDatabase(file.string())->Open(last).rows.at(0).at(0).toString();
}

}  // namespace pla013test
