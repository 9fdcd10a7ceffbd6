#include "platform/db/internal/Generator.h"

#include "platform/db/internal/GeneratorCatalogue.h"
#include "platform/db/internal/GeneratorText.h"

namespace pla013::db::internal {

// Branches (central kitchens, schools, restaurants), their services and
// menu types, and the operators.

void Generator::makeBranches() {
    const int count = m_options.branches;
    const int kitchens = std::max(1, count / 8);
    const int step = std::max(1, count / kitchens);
    BulkInsert& filial = *m_filial;
    std::string currentKitchen;
    int currentKitchenIndex = -1;
    for (int i = 1; i <= count; ++i) {
        Branch b;
        b.code = padded(i, 4);
        std::string name;
        if ((i - 1) % step == 0 && int(m_kitchens.size()) < kitchens) {
            b.kitchen = true;
            const std::size_t n = m_kitchens.size();
            name = "Central de Merenda " + kRegions[n % kRegions.size()] +
                   (n >= kRegions.size() ? " " + std::to_string(n / kRegions.size() + 1) : "");
            currentKitchen = b.code;
            currentKitchenIndex = int(m_branches.size());
            m_kitchens.push_back(int(m_branches.size()));
        } else if (m_random.chance(1.0 / 9)) {
            b.restaurant = true;
            name = nameOf("Restaurante Industrial", 30);
        } else {
            b.centralKitchen = currentKitchen;
            b.kitchenIndex = currentKitchenIndex;
            name = nameOf(m_random.pick(kSchoolKinds), 30);
            b.creche = name.rfind("Creche", 0) == 0;
            b.terminated = m_random.chance(1.0 / 9);
        }
        filial.add({b.code, name, b.terminated ? "S" : "N", b.kitchen ? "S" : "N",
                    b.centralKitchen.empty() ? Cell() : Cell(b.centralKitchen)});
        m_branches.push_back(std::move(b));
    }
    // The branches that own dishes and have recipes of their own.
    for (std::size_t i = 0; i < m_branches.size(); ++i)
        if (!m_branches[i].kitchen) m_schools.push_back(int(i));

    BulkInsert& servico = *m_servico;
    for (Branch& b : m_branches) {
        if (!b.kitchen && m_random.chance(1.0 / 9)) continue;  // a branch without services
        const auto& names = b.kitchen ? kKitchenServices : b.restaurant ? kRestaurantServices : kSchoolServices;
        const int n = m_random.between(1, m_options.services);
        int code = 0;
        for (int s = 0; s < n; ++s) {
            code += m_random.chance(0.1) ? 2 : 1;  // now and then a code left unused
            b.services.push_back(padded(code, 5));
            servico.add(
                {b.code, b.services.back(),
                 fit(names[std::size_t(s) % names.size()] + (s >= int(names.size()) ? " " + std::to_string(s + 1) : ""),
                     40),
                 "N"});
        }
        if (!b.kitchen && m_random.chance(0.2))  // a service the dish reports do not offer
            servico.add({b.code, padded(std::max(9, code + 1), 5),
                         b.restaurant ? "Coquetel avulso" : "Eventos e festas (avulso)", "A"});
    }

    BulkInsert& tipocard = *m_tipocard;
    for (int k : m_kitchens) {
        Branch& kitchen = m_branches[std::size_t(k)];
        for (std::size_t t = 0; t < kMenuTypes.size(); ++t) {
            // Type 1 in every kitchen: one code, several kitchens.
            if (t > 0 && !m_random.chance(0.6)) continue;
            kitchen.menuTypes.push_back(padded(kMenuTypes[t].first, 10));
            tipocard.add({kitchen.code, kitchen.menuTypes.back(), kMenuTypes[t].second});
        }
    }
}

void Generator::makeOperators() {
    BulkInsert& operador = *m_operador;
    BulkInsert& operfili = *m_operfili;
    operador.add({"1", "Administrador do Sistema", "S"});
    operador.add({"2", "Maria da Conceição Araújo", "N"});
    operador.add({"3", "José Antônio Lopes", "N"});
    for (std::size_t i = 0; i < m_schools.size() && i < 2; ++i)
        operfili.add({"2", m_branches[std::size_t(m_schools[i])].code});
    for (int s : m_schools)
        if (m_branches[std::size_t(s)].restaurant) {
            operfili.add({"3", m_branches[std::size_t(s)].code});
            break;
        }
}

}  // namespace pla013::db::internal
