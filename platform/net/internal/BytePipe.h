#pragma once
// Bytes handed from the thread that receives an answer to the one that
// decodes it as it comes, through a std::istream, with at most `capacity`
// bytes held in between: the answer's text is never held whole.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <streambuf>
#include <string>

namespace pla013::net::internal {

class BytePipe : public std::streambuf {
public:
    explicit BytePipe(std::size_t capacity);
    BytePipe(const BytePipe&) = delete;
    BytePipe& operator=(const BytePipe&) = delete;

    // The receiving side: adds bytes, waiting while `capacity` bytes wait
    // unread. False, nothing added, once the reader has stopped.
    bool write(const char* data, std::size_t size);
    // The receiving side: no more bytes; the reader then sees the end.
    void close();
    // The reading side: it reads no more; writers are let go.
    void stopReading();

protected:
    int_type underflow() override;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_chunks;
    std::string m_current;  // what the reader reads from now
    std::size_t m_waiting = 0;
    const std::size_t m_capacity;
    bool m_closed = false;
    bool m_readerGone = false;
};

}  // namespace pla013::net::internal
