#pragma once
// A file written under a temporary name in its target's folder and put in
// place only when complete: until commit() the target is untouched, and a
// temporary that is not committed is removed with the object, so a failure
// leaves neither a half-written target nor a temporary file behind. Without
// commit() it is a scratch file that disappears after use.

#include <string>
#include <system_error>

namespace pla013::files {

class AtomicFile {
public:
    // What commit() may do to a file already at the target.
    enum class Existing {
        Replace,         // replace it, keeping its permissions
        KeepUnlessEmpty  // never replace it, unless it is an empty file
    };

    // Which step failed: callers say it in their own words.
    class Error : public std::system_error {
    public:
        enum class Step { Create, Flush, Publish };
        Error(Step step, int errorNumber, const std::string& what)
            : std::system_error(errorNumber, std::generic_category(), what), m_step(step) {}
        Step step() const { return m_step; }

    private:
        Step m_step;
    };

    // Creates the empty temporary file, ".STEM.XXXXXX.EXT" beside the target
    // (the extension kept for programs that look at it). Error (Step::Create)
    // when the folder does not exist or does not accept it.
    explicit AtomicFile(std::string target, Existing existing = Existing::Replace);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& target() const { return m_target; }
    const std::string& tempPath() const { return m_temp; }

    // Flushes the temporary file to disk and gives it the target's name, with
    // the permissions of the file it replaces or, for a new file, the
    // process's default ones; then makes the rename durable. Returns false,
    // leaving everything as it was, when Existing::KeepUnlessEmpty and a
    // non-empty file holds the name (another process may have put it there
    // since the caller looked). Error on failure; the target is then as it was.
    bool commit();

private:
    std::string m_target;
    std::string m_temp;
    Existing m_existing;
    bool m_tempExists = true;
};

}  // namespace pla013::files
