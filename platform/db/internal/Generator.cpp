#include "platform/db/internal/Generator.h"

#include "platform/db/internal/GeneratorCatalogue.h"
#include "platform/db/internal/GeneratorText.h"

namespace pla013::db::internal {

Generator::Generator(SociDatabase& db, const GeneratorOptions& options)
    : m_db(db), m_options(options), m_random(options.seed) {
    m_filial = table("FILIAL", {"CDFILIAL", "NMFILIAL", "IDCNTRRESC", "IDFILCENTPME", "CDFILCENTPME"}, {});
    m_servico = table("SERVICO", {"CDFILIAL", "CDSERVFILI", "NMSERVICO", "IDTIPOSERV"}, {m_filial});
    m_tipocard = table("TIPOCARD", {"CDFILCENTPME", "CDTIPOCARD", "NMTIPOCARD"}, {m_filial});
    m_operador = table("OPERADOR", {"CDOPERADOR", "NMOPERADOR", "IDTODASFILI"}, {});
    m_operfili = table("OPERFILI", {"CDOPERADOR", "CDFILIAL"}, {m_operador, m_filial});
    m_picture = table("CODEPICTURE", {"TPPICT", "NRNIVEL", "NRTAMACUM"}, {});
    m_prato = table("PRATO", {"CDPRATO", "CDFILAUXPRAT", "NMPRATO", "CDNVPRATO"}, {});
    m_produto = table("PRODUTO", {"CDPRODUTO", "NMPRODUTO", "SGUNIDPROD", "CDARV"}, {});
    m_nutri = table("PRODNUTRI", {"CDPRODUTO", "VRENERGIA", "VRPROTEINA", "VRCARBOID", "VRLIPIDIO"}, {m_produto});
    m_tipocusto = table("TIPOCUSTO", {"NRTIPOCUST", "NMTIPOCUST"}, {});
    m_custo = table("CUSTOPRODUTO", {"CDPRODUTO", "NRTIPOCUST", "DTVALIDADE", "VRCUSTO"}, {m_produto, m_tipocusto});
    m_receitaPrato =
        table("RECEITAPRATO", {"CDPRATO", "CDFILAUXPRAT", "NRSEQU", "CDPRODUTO", "QTBRUTPROD"}, {m_prato, m_produto});
    m_ficha = table("PRATOFICHA", {"CDPRATO", "CDFILAUXPRAT", "NRPORCOES", "DSMODOPREP", "DSFOTO"}, {m_prato});
    m_receitaLocal = table("RECEITALOCAL", {"CDFILIAL", "CDPRATO", "CDFILAUXPRAT", "NRSEQU", "CDPRODUTO", "QTBRUTPROD"},
                           {m_filial, m_prato, m_produto});
    m_receitaServ =
        table("RECEITASERV", {"CDFILIAL", "CDSERVFILI", "CDPRATO", "CDFILAUXPRAT", "NRSEQU", "CDPRODUTO", "QTBRUTPROD"},
              {m_servico, m_prato, m_produto});
    m_cardapio = table("CARDAPIO", {"CDFILIAL", "CDSERVFILI", "DTCARDAPIO", "CDFILCENTPME", "CDTIPOCARD"},
                       {m_servico, m_tipocard});
    m_item = table("ITEMCARDAPIO", {"CDFILIAL", "CDSERVFILI", "DTCARDAPIO", "NRSEQU", "CDPRATO", "CDFILAUXPRAT"},
                   {m_cardapio, m_prato});
}

GeneratedRows Generator::run() {
    makeBranches();
    makeOperators();
    makeProducts();
    makeDishes();
    makeRecipes();
    makeMenus();
    GeneratedRows rows;
    for (const auto& t : m_tables) {
        t->flush();
        rows.emplace_back(t->table(), t->rows());
    }
    return rows;
}

BulkInsert* Generator::table(const char* name, std::vector<std::string> columns, std::vector<BulkInsert*> parents) {
    m_tables.push_back(std::make_unique<BulkInsert>(m_db, name, std::move(columns), std::move(parents)));
    return m_tables.back().get();
}

// A kind and a place that fit in max characters (cut only after a few tries).
std::string Generator::nameOf(const std::string& kind, std::size_t max) {
    std::string name;
    for (int attempt = 0; attempt < 6; ++attempt) {
        name = kind + " " + m_random.pick(kPlaces);
        if (fit(name, max) == name) return name;
    }
    return fit(name, max);
}

}  // namespace pla013::db::internal
