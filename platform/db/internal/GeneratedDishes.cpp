#include "platform/db/internal/Generator.h"

#include "platform/db/internal/GeneratorCatalogue.h"
#include "platform/db/internal/GeneratorText.h"

namespace pla013::db::internal {

// The dish register in the dish-code picture.

void Generator::makeDishes() {
    const auto& groups = dishGroups();
    const int subgroupsPerGroup = std::clamp((m_options.dishes + 449) / 450, 2, 10);
    const int subgroups = int(groups.size()) * subgroupsPerGroup;
    const int perSubgroup = (m_options.dishes + subgroups - 1) / subgroups;
    const int width = std::max(3, digits(perSubgroup * 11 / 10 + 5));
    const long long largest = std::stoll(std::string(std::size_t(width), '9'));

    BulkInsert& picture = *m_picture;
    picture.add({"PRATO", "1", "1"});
    picture.add({"PRATO", "2", "2"});
    picture.add({"PRATO", "3", std::to_string(2 + width)});

    BulkInsert& prato = *m_prato;
    int made = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const DishGroup& group = groups[g];
        const std::string groupCode = std::to_string(g + 1);
        prato.add({groupCode, "P", group.name, "1"});
        for (int s = 0; s < subgroupsPerGroup; ++s) {
            const std::string subCode = groupCode + std::to_string(s);
            const std::size_t names = group.subgroups.size();
            std::string subName = group.subgroups[std::size_t(s) % names];
            if (std::size_t(s) >= names) subName += " " + std::to_string(std::size_t(s) / names + 1);
            prato.add({subCode, "P", subName, "2"});
            const int count = std::min(perSubgroup, m_options.dishes - made);
            long long number = 0;
            for (int d = 0; d < count; ++d, ++made) {
                // A code left unused now and then, while the level has room.
                number += (largest - number > count - d + 1 && m_random.chance(0.05)) ? 2 : 1;
                addDish(prato, subCode + padded(number, width), int(g));
            }
        }
    }
}

void Generator::addDish(BulkInsert& prato, const std::string& code, int group) {
    const DishGroup& g = dishGroups()[std::size_t(group)];
    const bool sweet = group == 4 || group == 6 || group == 8;
    const std::string base = g.dishes[std::size_t(m_random.below(g.dishes.size()))];
    std::string name = fit(base + m_random.pick(sweet ? kSweetVariants : kSavouryVariants), 40);
    Dish dish{code, "P", group, name};
    // Most dishes are standard; a few belong to one branch.
    if (!m_schools.empty() && m_random.chance(0.03))
        dish.owner = m_branches[std::size_t(m_random.pick(m_schools))].code;
    prato.add({dish.code, dish.owner, dish.name, "3"});
    m_dishes.push_back(dish);
    if (dish.owner != "P") {
        m_ownDishes[dish.owner].push_back(int(m_dishes.size()) - 1);
        return;
    }
    m_standardDishes.push_back(int(m_dishes.size()) - 1);
    // A branch's own version of a standard dish, under the same code.
    if (!m_schools.empty() && m_random.chance(0.015)) {
        Dish local{code, m_branches[std::size_t(m_random.pick(m_schools))].code, group, fit(base + " da casa", 40),
                   int(m_dishes.size()) - 1};
        prato.add({local.code, local.owner, local.name, "3"});
        m_dishes.push_back(local);
        m_ownDishes[local.owner].push_back(int(m_dishes.size()) - 1);
    }
}

}  // namespace pla013::db::internal
