#include "platform/db/internal/Generator.h"

#include "platform/db/internal/DishPhoto.h"
#include "platform/db/internal/GeneratorCatalogue.h"
#include "platform/db/internal/GeneratorText.h"

namespace pla013::db::internal {

// Standard, local and service recipes, and the recipe sheets.

int Generator::productOf(int category) {
    const auto& list = m_byCategory[std::size_t(category - 1)];
    return list[std::size_t(m_random.skewedBelow(list.size()))];
}

Generator::Line Generator::lineOf(int category) {
    const Category& c = categories()[std::size_t(category - 1)];
    return {productOf(category), m_random.between(c.quantityLow, c.quantityHigh)};
}

Generator::Recipe Generator::newRecipe(int group) {
    const auto& cats = dishGroups()[std::size_t(group)].categories;
    Recipe r;
    const int n = m_random.between(2, 10);
    r.push_back(lineOf(cats[0]));
    for (int i = 1; i < n; ++i) {
        const int roll = m_random.below(10);
        r.push_back(lineOf(roll < 4 ? cats[1] : roll < 6 ? cats[2] : m_random.between(1, 6)));
    }
    // Now and then a product twice in one recipe (added in two steps).
    if (r.size() > 2 && m_random.chance(0.04)) r.push_back({r[0].product, m_random.between(10, 500)});
    return r;
}

// A branch's or a service's version of a recipe: other quantities, a
// line left out or added, two lines swapped.
Generator::Recipe Generator::variantOf(const Recipe& standard, int group) {
    if (standard.empty()) return newRecipe(group);
    Recipe r = standard;
    for (Line& l : r) l.quantity = std::max(1, l.quantity * m_random.between(80, 120) / 100);
    if (r.size() > 1 && m_random.chance(0.3)) r.erase(r.begin() + m_random.below(r.size()));
    if (m_random.chance(0.3)) r.insert(r.begin() + m_random.below(r.size() + 1), lineOf(m_random.between(1, 6)));
    if (r.size() > 1 && m_random.chance(0.1)) std::swap(r[0], r[std::size_t(m_random.below(r.size()))]);
    return r;
}

void Generator::write(BulkInsert& target, const std::vector<std::string>& key, const Recipe& recipe) {
    int sequence = 0;
    for (const Line& l : recipe) {
        std::vector<Cell> row(key.begin(), key.end());
        row.emplace_back(std::to_string(++sequence));
        row.emplace_back(m_products[std::size_t(l.product)].code);
        row.emplace_back(decimal(l.quantity, 10000));
        target.add(row);
    }
}

void Generator::makeRecipes() {
    BulkInsert& padrao = *m_receitaPrato;
    BulkInsert& ficha = *m_ficha;
    // The standard recipe, kept with the dish; some dishes have none.
    m_standardRecipes.resize(m_dishes.size());
    for (std::size_t i = 0; i < m_dishes.size(); ++i) {
        const Dish& d = m_dishes[i];
        if (m_random.chance(0.88)) {
            m_standardRecipes[i] =
                d.standard >= 0 ? variantOf(m_standardRecipes[std::size_t(d.standard)], d.group) : newRecipe(d.group);
            write(padrao, {d.code, d.owner}, m_standardRecipes[i]);
        }
        if (m_random.chance(0.25)) {
            std::string method = m_random.pick(kMethodSteps);
            if (m_random.chance(0.6)) method += " " + m_random.pick(kMethodSteps);
            const bool withPhoto = m_options.photos && m_random.chance(1.0 / 3);
            const std::uint32_t colour = 0x602000u + std::uint32_t(d.group) * 0x181008u;
            ficha.add({d.code, d.owner, m_random.chance(0.9) ? "1" : std::to_string(m_random.between(1, 10) * 10),
                       method, withPhoto ? Cell(dishPhoto(colour)) : Cell()});
        }
    }

    // Local recipes: a share of the standard dishes in every branch
    // (central kitchens too), and most of a branch's own dishes.
    BulkInsert& local = *m_receitaLocal;
    for (const Branch& b : m_branches) {
        for (int i : dishesSeenBy(b, 0.01, 0.9)) {
            const Dish& d = m_dishes[std::size_t(i)];
            write(local, {b.code, d.code, d.owner}, variantOf(m_standardRecipes[std::size_t(i)], d.group));
        }
    }

    // Service recipes: half of the regular services have some.
    BulkInsert& serv = *m_receitaServ;
    for (const Branch& b : m_branches)
        for (const std::string& service : b.services) {
            if (!m_random.chance(0.5)) continue;
            for (int i : dishesSeenBy(b, 0.003, 0.3)) {
                const Dish& d = m_dishes[std::size_t(i)];
                write(serv, {b.code, service, d.code, d.owner}, variantOf(m_standardRecipes[std::size_t(i)], d.group));
            }
        }
}

// A share of the standard dishes and of the branch's own, in code order.
std::vector<int> Generator::dishesSeenBy(const Branch& b, double standardShare, double ownShare) {
    std::vector<int> chosen;
    for (int i : m_standardDishes)
        if (m_random.chance(standardShare)) chosen.push_back(i);
    const auto own = m_ownDishes.find(b.code);
    if (own != m_ownDishes.end())
        for (int i : own->second)
            if (m_random.chance(ownShare)) chosen.push_back(i);
    return chosen;
}

}  // namespace pla013::db::internal
