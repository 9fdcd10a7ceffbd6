#pragma once
// What the generated data is made of: product categories with their kinds,
// units, quantities and prices, dish groups with their dishes, and the names
// of places, services, menu types and preparation steps.

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace pla013::db::internal {

struct ProductKind {
    const char* name;
    const char* unit;
};

struct Category {
    int number;
    int weight;                     // share of the products, in percent
    int quantityLow, quantityHigh;  // gross quantity per portion, in 1/10000 of the unit
    int priceLow, priceHigh;        // unit cost in cents
    std::vector<ProductKind> kinds;
};

struct DishGroup {
    const char* name;
    std::vector<const char*> subgroups;
    std::vector<const char*> dishes;
    std::array<int, 3> categories;  // the main product's category, then the others'
};

const std::vector<Category>& categories();
const std::vector<DishGroup>& dishGroups();

extern const std::vector<std::string> kProductVariants;
extern const std::vector<std::string> kSavouryVariants;
extern const std::vector<std::string> kSweetVariants;
extern const std::vector<std::string> kPlaces;
extern const std::vector<std::string> kSchoolKinds;
extern const std::vector<std::string> kRegions;
extern const std::vector<std::string> kKitchenServices;
extern const std::vector<std::string> kSchoolServices;
extern const std::vector<std::string> kRestaurantServices;
extern const std::vector<std::pair<int, std::string>> kMenuTypes;
extern const std::vector<std::string> kMethodSteps;

}  // namespace pla013::db::internal
