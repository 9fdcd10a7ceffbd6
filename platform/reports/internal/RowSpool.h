#pragma once
// Rows kept outside the heap: a report reads its data once, and every pass
// after that (counting the pages, writing them, the flat formats) reads the
// rows back from here. Rows are written in a compact binary form to memory
// and, past a limit, to an unnamed temporary file (removed by the system
// when it is closed, also after a crash), so that the memory a report needs
// does not grow with its data.
//
// Rows are appended, then read back in order or by the position append
// returned. The kinds of values kept are those of a data set: unassigned,
// null, integer, float, text and date.

#include <cstdint>
#include <string>
#include <vector>

#include "host/Variant.h"

namespace pla013::reports::internal {

class RowSpool {
public:
    using Row = std::vector<host::Variant>;

    // memoryLimit: the bytes kept in memory before the rows go to a file.
    explicit RowSpool(std::size_t memoryLimit = kDefaultMemoryLimit);
    ~RowSpool();
    RowSpool(const RowSpool&) = delete;
    RowSpool& operator=(const RowSpool&) = delete;

    static constexpr std::size_t kDefaultMemoryLimit = std::size_t(4) << 20;

    // Appends a row; its position, for readAt. host::EHostError when the
    // temporary file cannot be written (a full disk), naming the folder.
    std::uint64_t append(const Row& row);
    std::size_t rowCount() const { return m_rows; }
    // The bytes the rows take.
    std::uint64_t size() const { return m_size; }
    bool onDisk() const { return m_fd >= 0; }

    // Reading in order: rewind, then next until false. The position of the
    // row next() read last is lastPosition().
    void rewind();
    bool next(Row& row);
    std::uint64_t lastPosition() const { return m_lastPosition; }
    // The row appended at position.
    void readAt(std::uint64_t position, Row& row);

private:
    void write(const char* data, std::size_t size);
    void flush();
    void spill();
    // Makes [position, position + bytes) readable from m_window; the
    // pointer to position.
    const char* window(std::uint64_t position, std::size_t bytes);
    std::uint64_t readRow(std::uint64_t position, Row& row);
    [[noreturn]] void failWrite(int error) const;

    std::size_t m_memoryLimit;
    std::string m_memory;  // the rows while they fit in memory
    int m_fd = -1;
    std::string m_folder;
    std::string m_pending;  // written to the file at the next flush
    std::string m_encoded;  // the row being appended
    std::uint64_t m_size = 0;
    std::size_t m_rows = 0;
    // Reading from the file: m_buffer holds the bytes from m_windowStart.
    std::string m_buffer;
    std::uint64_t m_windowStart = 0;
    std::uint64_t m_readPosition = 0;
    std::uint64_t m_lastPosition = 0;
};

}  // namespace pla013::reports::internal
