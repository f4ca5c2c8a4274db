#pragma once

#include <QString>

namespace ks {

// An advisory lock on a source for as long as one rewrite of it runs, so
// that a second run over the same files passes it over instead of reading
// or replacing it halfway through the first one's write.
class SourceLock final
{
public:
    explicit SourceLock(const QString &path);
    ~SourceLock();

    // Another run holds the file; a file that cannot be opened is not busy
    // (the probe says what is wrong with it).
    bool busy() const { return m_busy; }

private:
    SourceLock(const SourceLock &) = delete;
    SourceLock &operator=(const SourceLock &) = delete;

    int m_fd = -1;
    bool m_busy = false;
};

} // namespace ks
