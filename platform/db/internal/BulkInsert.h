#pragma once
// Many rows into one table, fast on both engines: multi-row INSERT statements
// of up to a batch of rows each, prepared once and run again for every full
// batch. Every value is bound as text (or NULL) and converted by the column's
// type, as a literal of a script would be: text '0.06' becomes the number in
// a REAL or DOUBLE PRECISION column, '2024-03-01' a date in a DATE column.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace soci {
class statement;
}

namespace pla013::db {
class SociDatabase;
}

namespace pla013::db::internal {

class BulkInsert {
public:
    // Rows of the parents (the tables this one refers to) are written
    // before any of this one, so that foreign keys hold at every statement.
    BulkInsert(SociDatabase& database, std::string table, std::vector<std::string> columns,
               std::vector<BulkInsert*> parents = {});
    ~BulkInsert();
    BulkInsert(const BulkInsert&) = delete;
    BulkInsert& operator=(const BulkInsert&) = delete;

    // One row, a value per column in order; nullopt is NULL.
    void add(const std::vector<std::optional<std::string>>& row);
    // Writes the rows still held (the parents' first). Call it before the
    // transaction ends: the destructor does not write.
    void flush();

    long long rows() const { return m_rows; }
    const std::string& table() const { return m_table; }

private:
    std::string insertText(int rowCount) const;

    SociDatabase& m_database;
    std::string m_table;
    std::vector<std::string> m_columns;
    std::vector<BulkInsert*> m_parents;
    // Firebird: the text around each value (%s), by column.
    std::vector<std::string> m_placeholders;
    int m_batchRows;
    // The statement of a full batch binds these cells by reference.
    std::vector<std::string> m_cells;
    std::vector<int> m_nulls;  // soci::indicator values
    int m_pending = 0;
    long long m_rows = 0;
    struct Prepared;
    std::unique_ptr<Prepared> m_full;
};

}  // namespace pla013::db::internal
