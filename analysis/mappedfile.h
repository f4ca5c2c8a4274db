#pragma once

#include <QFile>
#include <QString>

namespace ks {

// A file mapped into memory for as long as it lives; empty when it cannot be.
class MappedFile final
{
public:
    explicit MappedFile(const QString &path);

    const uchar *data() const { return m_data; }
    qint64 size() const { return m_data ? m_file.size() : 0; }

private:
    QFile m_file;
    uchar *m_data = nullptr;
};

} // namespace ks
