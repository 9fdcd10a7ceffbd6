#include "platform/db/internal/Generator.h"

#include "platform/db/internal/GeneratorCatalogue.h"
#include "platform/db/internal/GeneratorText.h"

namespace pla013::db::internal {

// Products with their nutrients, cost types and costs by validity date.

void Generator::makeProducts() {
    const int count = std::clamp(m_options.dishes / 20, 40, 50000);
    BulkInsert& produto = *m_produto;
    BulkInsert& nutri = *m_nutri;
    m_byCategory.assign(categories().size(), {});
    for (std::size_t c = 0; c < categories().size(); ++c) {
        const Category& cat = categories()[c];
        const int n = std::max(int(cat.kinds.size()), count * cat.weight / 100);
        const int width = std::max(3, digits(n));
        for (int i = 1; i <= n; ++i) {
            const ProductKind& kind = cat.kinds[std::size_t(i - 1) % cat.kinds.size()];
            const std::size_t round = std::size_t(i - 1) / cat.kinds.size();
            std::string name = kind.name;
            if (round > 0) name += " " + kProductVariants[(round - 1) % kProductVariants.size()];
            if (round > kProductVariants.size()) name += " " + std::to_string(round);
            Product p;
            p.code = std::to_string(cat.number) + padded(i, width);
            p.category = cat.number;
            p.price = m_random.between(cat.priceLow, cat.priceHigh);
            p.costless = m_random.chance(1.0 / 36);
            const std::string tree = padded(cat.number, 2) + "." + padded(1 + (i - 1) % 5, 2) + "." + padded(i, 3);
            produto.add({p.code, fit(name, 50), kind.unit, tree});
            const int energy = m_random.between(30, 4000);
            nutri.add({p.code, std::to_string(energy), std::to_string(m_random.between(0, 270)),
                       std::to_string(m_random.between(0, 900)), std::to_string(m_random.between(0, 160))});
            m_byCategory[c].push_back(int(m_products.size()));
            m_products.push_back(std::move(p));
        }
    }

    BulkInsert& tipo = *m_tipocusto;
    tipo.add({"1", "Custo médio"});
    tipo.add({"2", "Último custo"});
    tipo.add({"3", "Custo padrão"});

    // Average cost (1) from January, changing now and then; last cost (2)
    // every quarter; standard cost (3) for some products only; a few
    // products have no cost at all, and a few start later in the year.
    BulkInsert& custo = *m_custo;
    const int span = m_options.months + 3;
    for (const Product& p : m_products) {
        if (p.costless) continue;
        const int first = m_random.chance(0.02) ? m_random.between(1, span - 1) : 0;
        int price = p.price;
        for (int m = first; m < span; ++m) {
            if (m != first && !m_random.chance(0.15)) continue;
            if (m != first) price = std::max(1, price + m_random.between(-price / 10, price / 8));
            custo.add({p.code, "1", monthStart(m), decimal(price, 100)});
        }
        for (int m = 0, q = 0; m < span; m += 3, ++q)
            custo.add({p.code, "2", monthStart(m), decimal(p.price * (105 + 4 * q) / 100, 100)});
        if (m_random.chance(0.2)) custo.add({p.code, "3", monthStart(0), decimal(p.price * 95 / 100, 100)});
    }
}

}  // namespace pla013::db::internal
