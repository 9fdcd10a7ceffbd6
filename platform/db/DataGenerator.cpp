#include "platform/db/DataGenerator.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include "host/Variant.h"
#include "platform/db/SociDatabase.h"
#include "platform/db/internal/BulkInsert.h"
#include "platform/db/internal/DatabaseCreation.h"

namespace pla013::db {

namespace {

using Cell = std::optional<std::string>;
using internal::BulkInsert;

// splitmix64: the same sequence for a seed on every platform and compiler,
// which the standard library's distributions do not promise.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(std::size_t n) { return int(next() % n); }
    int between(int low, int high) { return low + below(std::size_t(high - low + 1)); }
    bool chance(double p) { return double(next() >> 11) * 0x1.0p-53 < p; }
    // Favours the first elements: the everyday products (salt, oil, onion)
    // come first in their category and are used most.
    int skewedBelow(std::size_t n) {
        const double u = double(next() >> 11) * 0x1.0p-53;
        return std::min(int(n) - 1, int(double(n) * u * u));
    }
    template <class T>
    const T& pick(const std::vector<T>& items) {
        return items[std::size_t(below(items.size()))];
    }

private:
    std::uint64_t m_state;
};

std::string padded(long long value, int width) {
    std::string text = std::to_string(value);
    return text.size() < std::size_t(width) ? std::string(std::size_t(width) - text.size(), '0') + text : text;
}

int digits(long long value) { return int(std::to_string(value).size()); }

// An amount held in units of 1/scale as decimal text: 650 / 10000 -> "0.065".
std::string decimal(long long units, int scale) {
    std::string text = std::to_string(units / scale);
    long long fraction = units % scale;
    if (fraction == 0) return text;
    std::string part = padded(fraction, digits(scale) - 1);
    while (part.back() == '0') part.pop_back();
    return text + "." + part;
}

// The first max characters (not bytes) of a UTF-8 text, without trailing blanks.
std::string fit(const std::string& text, std::size_t max) {
    std::size_t chars = 0, i = 0;
    for (; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == max) break;
            ++chars;
        }
    }
    std::string out = text.substr(0, i);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string isoDate(int year, int month, int day) {
    return padded(year, 4) + "-" + padded(month, 2) + "-" + padded(day, 2);
}

// The first day of the month `offset` months after January 2024.
std::string monthStart(int offset) { return isoDate(2024 + offset / 12, offset % 12 + 1, 1); }

// ----------------------------------------------------------------- catalogue

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

const std::vector<Category>& categories() {
    static const std::vector<Category> list = {
        {1,
         15,
         200,
         800,
         300,
         950,
         {{"Arroz agulhinha tipo 1", "KG"},
          {"Arroz parboilizado", "KG"},
          {"Feijão carioca", "KG"},
          {"Feijão preto", "KG"},
          {"Lentilha", "KG"},
          {"Macarrão espaguete", "KG"},
          {"Farinha de mandioca", "KG"},
          {"Farinha de trigo", "KG"},
          {"Fubá", "KG"},
          {"Aveia em flocos", "KG"},
          {"Grão-de-bico", "KG"},
          {"Milho para canjica", "KG"}}},
        {2,
         30,
         50,
         1000,
         200,
         800,
         {{"Cebola", "KG"},
          {"Alho", "KG"},
          {"Batata inglesa", "KG"},
          {"Cenoura", "KG"},
          {"Tomate", "KG"},
          {"Alface crespa", "UN"},
          {"Abóbora cabotiá", "KG"},
          {"Mandioca", "KG"},
          {"Chuchu", "KG"},
          {"Açafrão-da-terra em pó", "KG"},
          {"Cheiro-verde", "MAÇO"},
          {"Repolho", "KG"},
          {"Beterraba", "KG"},
          {"Pepino", "KG"},
          {"Vagem", "KG"},
          {"Espinafre", "MAÇO"},
          {"Pimentão verde", "KG"},
          {"Abobrinha", "KG"}}},
        {3,
         20,
         500,
         2000,
         900,
         4000,
         {{"Carne bovina acém", "KG"},
          {"Coxa e sobrecoxa de frango", "KG"},
          {"Peito de frango", "KG"},
          {"Carne moída de 2ª", "KG"},
          {"Filé de tilápia", "KG"},
          {"Ovo de galinha", "DZ"},
          {"Pernil suíno", "KG"},
          {"Fígado bovino", "KG"},
          {"Linguiça toscana", "KG"},
          {"Sardinha", "KG"}}},
        {4,
         10,
         100,
         2000,
         400,
         2500,
         {{"Leite integral", "L"},
          {"Achocolatado em pó", "KG"},
          {"Gelatina de morango em pó", "KG"},
          {"Queijo muçarela", "KG"},
          {"Iogurte natural", "L"},
          {"Manteiga", "KG"},
          {"Creme de leite", "KG"},
          {"Leite em pó", "KG"}}},
        {5,
         10,
         10,
         100,
         200,
         4500,
         {{"Sal refinado", "KG"},
          {"Óleo de soja", "L"},
          {"Açúcar cristal", "KG"},
          {"Azeite de oliva \"extra virgem\"", "L"},
          {"Vinagre de álcool", "L"},
          {"Colorau", "KG"},
          {"Orégano", "KG"},
          {"Extrato de tomate", "KG"}}},
        {6,
         15,
         500,
         2000,
         300,
         1800,
         {{"Banana prata", "KG"},
          {"Maçã gala", "KG"},
          {"Laranja pera", "KG"},
          {"Morango", "KG"},
          {"Mamão formosa", "KG"},
          {"Melancia", "KG"},
          {"Abacaxi", "UN"},
          {"Goiaba", "KG"},
          {"Manga", "KG"},
          {"Limão taiti", "KG"}}},
    };
    return list;
}

const std::vector<std::string> kProductVariants = {
    "orgânico", "congelado",      "embalagem 5 kg",  "da agricultura familiar", "selecionado",
    "a granel", "embalagem 1 kg", "tipo exportação", "fornecedor regional",     "safra nova"};

struct DishGroup {
    const char* name;
    std::vector<const char*> subgroups;
    std::vector<const char*> dishes;
    std::array<int, 3> categories;  // the main product's category, then the others'
};

const std::vector<DishGroup>& dishGroups() {
    static const std::vector<DishGroup> list = {
        {"Entradas e saladas",
         {"Saladas cruas", "Saladas cozidas", "Entradas frias", "Saladas de grãos"},
         {"Salada de alface e tomate", "Salada de repolho com cenoura", "Salada de pepino", "Salada de beterraba",
          "Salada de batata", "Salpicão de frango", "Salada de grão-de-bico", "Vinagrete"},
         {2, 2, 5}},
        {"Sopas e caldos",
         {"Sopas", "Caldos", "Cremes"},
         {"Sopa de legumes", "Canja de galinha", "Sopa de feijão", "Caldo verde", "Caldo de mandioca",
          "Creme de abóbora", "Sopa de lentilha"},
         {2, 3, 1}},
        {"Pratos principais",
         {"Carnes bovinas", "Aves", "Peixes", "Pratos vegetarianos", "Carnes suínas", "Ovos"},
         {"Carne de panela", "Picadinho", "Almôndegas", "Escondidinho de carne", "Frango assado", "Frango xadrez",
          "Galinhada", "Strogonoff de frango", "Peixe ao forno", "Moqueca de peixe", "Omelete", "Torta de legumes",
          "Feijoada vegetariana", "Bife acebolado", "Quibe de abóbora"},
         {3, 2, 5}},
        {"Guarnições",
         {"Arroz, feijão e grãos", "Legumes e massas", "Farofas"},
         {"Arroz branco", "Arroz integral", "Feijão carioca", "Feijão preto", "Lentilha refogada", "Purê de abóbora",
          "Macarrão ao alho e óleo", "Farofa de cenoura", "Polenta", "Cuscuz"},
         {1, 2, 5}},
        {"Sobremesas",
         {"Frutas", "Doces", "Cremes e pudins"},
         {"Salada de frutas", "Banana", "Maçã", "Arroz-doce", "Gelatina", "Canjica", "Pudim de leite",
          "Doce de abóbora"},
         {6, 4, 5}},
        {"Lanches",
         {"Sanduíches", "Salgados assados"},
         {"Sanduíche natural", "Pão de queijo", "Esfirra de carne", "Torta salgada", "Enroladinho de salsicha"},
         {1, 4, 3}},
        {"Pães e bolos",
         {"Pães", "Bolos"},
         {"Pão caseiro", "Pão de milho", "Bolo de cenoura", "Bolo de laranja", "Bolo de fubá"},
         {1, 4, 5}},
        {"Dietas especiais",
         {"Sem glúten", "Sem lactose", "Pastosas"},
         {"Papinha de frutas", "Purê de legumes", "Mingau de aveia", "Caldo ralo", "Creme de mandioquinha"},
         {6, 2, 1}},
        {"Bebidas",
         {"Sucos", "Bebidas lácteas", "Chás"},
         {"Suco de laranja", "Suco de caju", "Suco de maracujá", "Leite com achocolatado", "Vitamina de banana",
          "Chá mate", "Suco de acerola"},
         {6, 4, 5}},
    };
    return list;
}

const std::vector<std::string> kSavouryVariants = {
    "",         " com legumes", " à moda da casa", " com ervas", " da vovó", " temperado",
    " caseiro", " especial",    " com cenoura",    " gratinado", " ao sugo", " com batatas"};
const std::vector<std::string> kSweetVariants = {"", " caseiro", " especial", " com canela", " light", " da casa"};

const std::vector<std::string> kPlaces = {
    "São João",    "Conceição",    "Pequeno Príncipe", "Araçá",       "Boa Esperança", "Ipê Amarelo",
    "Santa Luzia", "Bela Vista",   "Jardim América",   "Vila Nova",   "Palmeiras",     "Alvorada",
    "Primavera",   "Açu",          "Santo Antônio",    "Nova Aurora", "Cruzeiro",      "Monte Alegre",
    "Rio Claro",   "Sol Nascente", "Paraíso",          "Bandeirantes"};
const std::vector<std::string> kSchoolKinds = {"Escola Municipal", "Escola Estadual", "Creche", "Escola Rural",
                                               "Escola Municipal"};
const std::vector<std::string> kRegions = {"Norte", "Sul", "Leste", "Oeste", "Centro", "Serra", "Litoral", "Vale"};

const std::vector<std::string> kKitchenServices = {"Produção do desjejum", "Produção do almoço", "Produção do lanche",
                                                   "Produção do jantar"};
const std::vector<std::string> kSchoolServices = {"Lanche da manhã",  "Almoço escolar",     "Lanche da tarde",
                                                  "Merenda matutina", "Merenda vespertina", "Merenda integral",
                                                  "Berçário",         "Maternal",           "Merenda noturna"};
const std::vector<std::string> kRestaurantServices = {"Almoço industrial", "Jantar", "Ceia noturna", "Desjejum"};

const std::vector<std::pair<int, std::string>> kMenuTypes = {{1, "Cardápio padrão do ensino fundamental"},
                                                             {2, "Cardápio de creche (0 a 3 anos)"},
                                                             {3, "Cardápio especial sem glúten e sem lactose"},
                                                             {5, "Cardápio noturno (educação de jovens)"},
                                                             {10, "Cardápio de período integral"}};

const std::vector<std::string> kMethodSteps = {
    "Higienize os ingredientes e corte em pedaços médios.",
    "Refogue a cebola e o alho no óleo até dourar.",
    "Junte os demais ingredientes e cozinhe em fogo baixo com a panela semitampada.",
    "Tempere com sal e acerte o ponto antes de servir.",
    "Asse em forno médio, a 180 °C, até dourar.",
    "Sirva logo após o preparo, mantendo acima de 60 °C.",
    "Leve à geladeira por 4 horas e sirva frio.",
    "Bata no liquidificador e coe; sirva sem açúcar para as turmas de creche."};

// ------------------------------------------------------------------- a photo

std::uint32_t crc32(const std::string& bytes) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void putBigEndian(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xFF);
}

std::string base64(const std::string& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) n |= std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[n & 63] : '=';
    }
    return out;
}

// A 48x36 PNG: a plate of the dish's colour on a tablecloth, as a data URI.
// Stored (uncompressed) deflate blocks keep it free of a compression library.
std::string photo(std::uint32_t colour) {
    const int width = 48, height = 36;
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // filter: none
        for (int x = 0; x < width; ++x) {
            const int dx = x - width / 2, dy = y - height / 2;
            const int d2 = dx * dx + dy * dy;
            std::uint32_t c = ((x / 6 + y / 6) % 2) ? 0xE8E2D0u : 0xC8D8E8u;
            if (d2 < 15 * 15) c = 0xF8F8F8u;
            if (d2 < 11 * 11) c = colour;
            raw += char(c >> 16);
            raw += char((c >> 8) & 0xFF);
            raw += char(c & 0xFF);
        }
    }
    std::string zlib = "\x78\x01";
    std::uint32_t a = 1, b = 0;
    for (unsigned char ch : raw) {
        a = (a + ch) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size(); at += 65535) {
        const std::size_t len = std::min<std::size_t>(65535, raw.size() - at);
        zlib += char(at + len == raw.size() ? 1 : 0);
        zlib += char(len & 0xFF);
        zlib += char(len >> 8);
        zlib += char(~len & 0xFF);
        zlib += char((~len >> 8) & 0xFF);
        zlib += raw.substr(at, len);
    }
    putBigEndian(zlib, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    auto chunk = [&png](const char* type, const std::string& data) {
        putBigEndian(png, std::uint32_t(data.size()));
        const std::string typed = std::string(type) + data;
        png += typed;
        putBigEndian(png, crc32(typed));
    };
    std::string header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
    chunk("IHDR", header);
    chunk("IDAT", zlib);
    chunk("IEND", "");
    return "data:image/png;base64," + base64(png);
}

// ------------------------------------------------------------------ the data

struct Branch {
    std::string code;
    bool kitchen = false;
    std::string centralKitchen;  // empty: none
    int kitchenIndex = -1;
    bool restaurant = false;
    bool terminated = false;
    bool creche = false;
    std::vector<std::string> services;   // regular ones, which the menus use
    std::vector<std::string> menuTypes;  // of a central kitchen
};

struct Product {
    std::string code;
    int category = 0;
    int price = 0;  // cents
    bool costless = false;
};

struct Line {
    int product;
    int quantity;  // 1/10000 of the product's unit
};
using Recipe = std::vector<Line>;

struct Dish {
    std::string code;
    std::string owner;  // "P" or a branch
    int group;
    std::string name;
    int standard = -1;  // for a branch's version of a standard dish: the standard one's index
};

class Generator {
public:
    Generator(SociDatabase& db, const GeneratorOptions& options)
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
        m_receitaPrato = table("RECEITAPRATO", {"CDPRATO", "CDFILAUXPRAT", "NRSEQU", "CDPRODUTO", "QTBRUTPROD"},
                               {m_prato, m_produto});
        m_ficha = table("PRATOFICHA", {"CDPRATO", "CDFILAUXPRAT", "NRPORCOES", "DSMODOPREP", "DSFOTO"}, {m_prato});
        m_receitaLocal =
            table("RECEITALOCAL", {"CDFILIAL", "CDPRATO", "CDFILAUXPRAT", "NRSEQU", "CDPRODUTO", "QTBRUTPROD"},
                  {m_filial, m_prato, m_produto});
        m_receitaServ = table(
            "RECEITASERV", {"CDFILIAL", "CDSERVFILI", "CDPRATO", "CDFILAUXPRAT", "NRSEQU", "CDPRODUTO", "QTBRUTPROD"},
            {m_servico, m_prato, m_produto});
        m_cardapio = table("CARDAPIO", {"CDFILIAL", "CDSERVFILI", "DTCARDAPIO", "CDFILCENTPME", "CDTIPOCARD"},
                           {m_servico, m_tipocard});
        m_item = table("ITEMCARDAPIO", {"CDFILIAL", "CDSERVFILI", "DTCARDAPIO", "NRSEQU", "CDPRATO", "CDFILAUXPRAT"},
                       {m_cardapio, m_prato});
    }

    GeneratedRows run() {
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

private:
    BulkInsert* table(const char* name, std::vector<std::string> columns, std::vector<BulkInsert*> parents) {
        m_tables.push_back(std::make_unique<BulkInsert>(m_db, name, std::move(columns), std::move(parents)));
        return m_tables.back().get();
    }

    // A kind and a place that fit in max characters (cut only after a few tries).
    std::string nameOf(const std::string& kind, std::size_t max) {
        std::string name;
        for (int attempt = 0; attempt < 6; ++attempt) {
            name = kind + " " + m_random.pick(kPlaces);
            if (fit(name, max) == name) return name;
        }
        return fit(name, max);
    }

    void makeBranches() {
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
                servico.add({b.code, b.services.back(),
                             fit(names[std::size_t(s) % names.size()] +
                                     (s >= int(names.size()) ? " " + std::to_string(s + 1) : ""),
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

    void makeProducts() {
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

    void makeDishes() {
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

    void addDish(BulkInsert& prato, const std::string& code, int group) {
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

    void makeOperators() {
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

    int productOf(int category) {
        const auto& list = m_byCategory[std::size_t(category - 1)];
        return list[std::size_t(m_random.skewedBelow(list.size()))];
    }

    Line lineOf(int category) {
        const Category& c = categories()[std::size_t(category - 1)];
        return {productOf(category), m_random.between(c.quantityLow, c.quantityHigh)};
    }

    Recipe newRecipe(int group) {
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
    Recipe variantOf(const Recipe& standard, int group) {
        if (standard.empty()) return newRecipe(group);
        Recipe r = standard;
        for (Line& l : r) l.quantity = std::max(1, l.quantity * m_random.between(80, 120) / 100);
        if (r.size() > 1 && m_random.chance(0.3)) r.erase(r.begin() + m_random.below(r.size()));
        if (m_random.chance(0.3)) r.insert(r.begin() + m_random.below(r.size() + 1), lineOf(m_random.between(1, 6)));
        if (r.size() > 1 && m_random.chance(0.1)) std::swap(r[0], r[std::size_t(m_random.below(r.size()))]);
        return r;
    }

    void write(BulkInsert& target, const std::vector<std::string>& key, const Recipe& recipe) {
        int sequence = 0;
        for (const Line& l : recipe) {
            std::vector<Cell> row(key.begin(), key.end());
            row.emplace_back(std::to_string(++sequence));
            row.emplace_back(m_products[std::size_t(l.product)].code);
            row.emplace_back(decimal(l.quantity, 10000));
            target.add(row);
        }
    }

    void makeRecipes() {
        BulkInsert& padrao = *m_receitaPrato;
        BulkInsert& ficha = *m_ficha;
        // The standard recipe, kept with the dish; some dishes have none.
        m_standardRecipes.resize(m_dishes.size());
        for (std::size_t i = 0; i < m_dishes.size(); ++i) {
            const Dish& d = m_dishes[i];
            if (m_random.chance(0.88)) {
                m_standardRecipes[i] = d.standard >= 0 ? variantOf(m_standardRecipes[std::size_t(d.standard)], d.group)
                                                       : newRecipe(d.group);
                write(padrao, {d.code, d.owner}, m_standardRecipes[i]);
            }
            if (m_random.chance(0.25)) {
                std::string method = m_random.pick(kMethodSteps);
                if (m_random.chance(0.6)) method += " " + m_random.pick(kMethodSteps);
                const bool withPhoto = m_options.photos && m_random.chance(1.0 / 3);
                const std::uint32_t colour = 0x602000u + std::uint32_t(d.group) * 0x181008u;
                ficha.add({d.code, d.owner, m_random.chance(0.9) ? "1" : std::to_string(m_random.between(1, 10) * 10),
                           method, withPhoto ? Cell(photo(colour)) : Cell()});
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
                    write(serv, {b.code, service, d.code, d.owner},
                          variantOf(m_standardRecipes[std::size_t(i)], d.group));
                }
            }
    }

    // A share of the standard dishes and of the branch's own, in code order.
    std::vector<int> dishesSeenBy(const Branch& b, double standardShare, double ownShare) {
        std::vector<int> chosen;
        for (int i : m_standardDishes)
            if (m_random.chance(standardShare)) chosen.push_back(i);
        const auto own = m_ownDishes.find(b.code);
        if (own != m_ownDishes.end())
            for (int i : own->second)
                if (m_random.chance(ownShare)) chosen.push_back(i);
        return chosen;
    }

    // The menus of every school day of the months, for the regular services
    // of the branches that serve meals (not the central kitchens, not the
    // branches whose contract ended).
    void makeMenus() {
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

    SociDatabase& m_db;
    GeneratorOptions m_options;
    Random m_random;

    std::vector<Branch> m_branches;
    std::vector<int> m_kitchens;
    std::vector<int> m_schools;  // every branch that is not a central kitchen
    std::vector<Product> m_products;
    std::vector<std::vector<int>> m_byCategory;
    std::vector<Dish> m_dishes;
    std::vector<int> m_standardDishes;
    std::map<std::string, std::vector<int>> m_ownDishes;
    std::vector<Recipe> m_standardRecipes;

    std::vector<std::unique_ptr<BulkInsert>> m_tables;
    BulkInsert *m_filial, *m_servico, *m_tipocard, *m_operador, *m_operfili, *m_picture, *m_prato, *m_produto, *m_nutri,
        *m_tipocusto, *m_custo, *m_receitaPrato, *m_ficha, *m_receitaLocal, *m_receitaServ, *m_cardapio, *m_item;
};

}  // namespace

void checkGeneratorOptions(const GeneratorOptions& options) {
    auto check = [](int value, int low, int high, const char* option, const char* what) {
        if (value < low || value > high)
            throw std::invalid_argument(std::string(option) + " é o número de " + what + ", de " + std::to_string(low) +
                                        " a " + std::to_string(high) + ", não " + std::to_string(value) + ".");
    };
    check(options.dishes, 1, 1000000, "--dishes", "pratos");
    check(options.branches, 2, 9999, "--branches", "filiais");
    check(options.services, 1, 99, "--services", "serviços por filial");
    check(options.months, 1, 120, "--months", "meses de cardápios");
}

GeneratedRows generateDatabase(const std::string& pathOrUrl, const GeneratorOptions& options) {
    checkGeneratorOptions(options);
    GeneratedRows rows;
    const internal::Filler fill = [&](SociDatabase& db) {
        if (db.engine() == DbEngine::SQLite) {
            // The file is new and published only when complete (and flushed
            // to disk then): no journal file and no sync while it is built.
            db.query("PRAGMA journal_mode = MEMORY", {}, "PRAGMA journal_mode");
            db.execute("PRAGMA synchronous = OFF", {}, "PRAGMA synchronous");
            db.execute("PRAGMA cache_size = -131072", {}, "PRAGMA cache_size");
        }
        db.transaction([&] {
            internal::applyScripts(db, internal::scriptsFor(db.engine(), false));
            rows = Generator(db, options).run();
            db.execute("ANALYZE", {}, "ANALYZE");
        });
    };
    if (SociDatabase::isPostgresUrl(pathOrUrl))
        internal::fillPostgresDatabase(pathOrUrl, fill);
    else
        internal::createSqliteDatabase(pathOrUrl, fill, false);
    return rows;
}

}  // namespace pla013::db
