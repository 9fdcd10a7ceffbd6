#include "platform/db/internal/Generator.h"

#include "host/Variant.h"

namespace pla013::db::internal {

// The menus of every school day of the months, for the regular services
// of the branches that serve meals (not the central kitchens, not the
// branches whose contract ended).
void Generator::makeMenus() {
    BulkInsert& cardapio = *m_cardapio;
    BulkInsert& item = *m_item;
    std::vector<std::string> days;
    const double first = host::EncodeDate(2024, 1, 1);
    const double end = host::EncodeDate(2024 + m_options.months / 12, m_options.months % 12 + 1, 1);
    for (double d = first; d < end; d += 1) {
        const int weekday = (int(d) + 6) % 7;  // 0 Sunday; day 0 (1899-12-30) was a Saturday
        if (weekday >= 1 && weekday <= 5) days.push_back(host::DateToIso(d));
    }
    if (m_standardDishes.empty()) return;
    for (const Branch& b : m_branches) {
        if (b.kitchen || b.terminated) continue;
        std::string menuType;
        if (!b.centralKitchen.empty()) {
            const Branch& kitchen = m_branches[std::size_t(b.kitchenIndex)];
            menuType = b.creche && kitchen.menuTypes.size() > 1 ? kitchen.menuTypes[1] : kitchen.menuTypes[0];
        }
        for (const std::string& service : b.services) {
            if (!m_random.chance(0.7)) continue;
            // A rotation of a few dishes, as a real menu has.
            std::vector<int> pool;
            for (int k = 0; k < 12; ++k) pool.push_back(m_random.pick(m_standardDishes));
            const auto own = m_ownDishes.find(b.code);
            if (own != m_ownDishes.end()) pool.push_back(own->second.front());
            for (const std::string& day : days) {
                cardapio.add({b.code, service, day, menuType.empty() ? Cell() : Cell(b.centralKitchen),
                              menuType.empty() ? Cell() : Cell(menuType)});
                const int n = m_random.between(2, 4);
                for (int s = 1; s <= n; ++s) {
                    const Dish& d = m_dishes[std::size_t(m_random.pick(pool))];
                    item.add({b.code, service, day, std::to_string(s), d.code, d.owner});
                }
            }
        }
    }
}

}  // namespace pla013::db::internal
