#pragma once
// A file written under a temporary name in its target's folder and renamed
// into place only when complete: until commit() the target is untouched,
// and a file that is not committed is removed (RAII), so a failure leaves
// neither a half-written target nor a temporary file behind.

#include <string>

namespace pla013::reports {

class AtomicFile {
public:
    // Creates the temporary file (".NAME.XXXXXX" beside the target);
    // host::EHostError naming the target when the folder does not exist or
    // does not accept it.
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& target() const { return m_target; }
    const std::string& tempPath() const { return m_temp; }

    // Flushes the temporary file to disk and renames it over the target. The
    // result keeps the mode of the file it replaces (a new file gets the
    // process's default mode). host::EHostError on failure; the target is then
    // as it was.
    void commit();

private:
    std::string m_target;
    std::string m_temp;
    bool m_committed = false;
};

}  // namespace pla013::reports
