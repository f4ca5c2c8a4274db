#include "mappedfile.h"

namespace ks {

MappedFile::MappedFile(const QString &path)
    : m_file(path)
{
    if (m_file.open(QIODevice::ReadOnly) && m_file.size() > 0)
        m_data = m_file.map(0, m_file.size());
}

} // namespace ks
