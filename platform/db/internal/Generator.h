#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/DataGenerator.h"
#include "platform/db/SociDatabase.h"
#include "platform/db/internal/BulkInsert.h"
#include "platform/db/internal/SeededRandom.h"

namespace pla013::db::internal {

using Cell = std::optional<std::string>;

// Makes the rows of a generated database, table by table, from a seed: the
// same seed gives the same rows. Its parts are defined by what they make
// (GeneratedBranches.cpp, GeneratedProducts.cpp, GeneratedDishes.cpp,
// GeneratedRecipes.cpp, GeneratedMenus.cpp), called by run() in that order,
// which the sequence of random numbers depends on.
class Generator {
public:
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

    Generator(SociDatabase& db, const GeneratorOptions& options);
    GeneratedRows run();

private:
    BulkInsert* table(const char* name, std::vector<std::string> columns, std::vector<BulkInsert*> parents);
    // A kind and a place that fit in max characters (cut only after a few tries).
    std::string nameOf(const std::string& kind, std::size_t max);

    void makeBranches();
    void makeOperators();
    void makeProducts();
    void makeDishes();
    void addDish(BulkInsert& prato, const std::string& code, int group);
    int productOf(int category);
    Line lineOf(int category);
    Recipe newRecipe(int group);
    // A branch's or a service's version of a recipe: other quantities, a
    // line left out or added, two lines swapped.
    Recipe variantOf(const Recipe& standard, int group);
    void write(BulkInsert& target, const std::vector<std::string>& key, const Recipe& recipe);
    void makeRecipes();
    // A share of the standard dishes and of the branch's own, in code order.
    std::vector<int> dishesSeenBy(const Branch& b, double standardShare, double ownShare);
    void makeMenus();

    SociDatabase& m_db;
    GeneratorOptions m_options;
    SeededRandom m_random;

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

}  // namespace pla013::db::internal
