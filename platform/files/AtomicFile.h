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

    // How the temporary file exists until commit().
    enum class Temporary {
        // ".STEM.XXXXXX.EXT" beside the target, for writers that put files of
        // their own beside the one they write (a database's journal). A
        // process killed before commit leaves it behind.
        Named,
        // No name at all (O_TMPFILE) until commit() links it in: a process
        // killed before commit leaves nothing. tempPath() is then the
        // process's own link to it ("/proc/self/fd/N"), valid in this process
        // only. Where the file system refuses unnamed files, Named instead.
        Unnamed
    };

    // Which step failed: callers say it in their own words.
    class Error : public std::system_error {
    public:
        enum class Step { Create, Flush, Publish };
        Error(Step step, int errorNumber, const std::string& what)
            : std::system_error(errorNumber, std::generic_category(), what), m_step(step) {}
        Step step() const { return m_step; }
        // The system's reason, in the user's words (Portuguese).
        std::string reason() const { return reasonText(code().value()); }

    private:
        Step m_step;
    };

    // What an error number means to the user, for the common failures of
    // writing a file (disk full, no permission, read-only, not a folder);
    // the system's own text for the rest.
    static std::string reasonText(int errorNumber);

    // Creates the empty temporary file beside the target (a Named one keeps
    // the target's extension for programs that look at it). Error
    // (Step::Create) when the folder does not exist or does not accept it.
    explicit AtomicFile(std::string target, Existing existing = Existing::Replace,
                        Temporary temporary = Temporary::Named);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& target() const { return m_target; }
    // Where the writer writes: open it by this path, truncating.
    const std::string& tempPath() const { return m_temp; }
    // True when the temporary file has no name (see Temporary::Unnamed).
    bool unnamed() const { return m_fd >= 0; }

    // Flushes the temporary file to disk and gives it the target's name, with
    // the permissions of the file it replaces or, for a new file, the
    // process's default ones; then makes the rename durable. Returns false,
    // leaving everything as it was, when Existing::KeepUnlessEmpty and a
    // non-empty file holds the name (another process may have put it there
    // since the caller looked). Error on failure; the target is then as it
    // was. An unnamed file that replaces another is linked under a temporary
    // name and renamed over the target at once, so that the replacement
    // stays atomic.
    bool commit();

private:
    bool createUnnamed(const std::string& folder);
    void createNamed();
    void flush();
    // Gives the unnamed file the name path; false when path exists.
    bool linkUnnamed(const std::string& path);
    // Links it under a temporary name and renames that over the target.
    void publishUnnamed();

    std::string m_target;
    std::string m_temp;
    Existing m_existing;
    int m_fd = -1;  // the unnamed file, open until the object goes
    bool m_tempExists = false;
};

}  // namespace pla013::files
