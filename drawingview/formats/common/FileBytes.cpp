#include "FileBytes.h"

#include "formats/Reader.h"

#include <QFile>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dv {

FileBytes::FileBytes(const QString& path, Pages pages) {
    const QByteArray local = QFile::encodeName(path);
    const int fd = ::open(local.constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const int flags = MAP_PRIVATE | (pages == Pages::Ahead ? MAP_POPULATE : 0);
        void* p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, flags, fd, 0);
        if (p != MAP_FAILED) {
            m_map = p;
            m_size = size_t(st.st_size);
        }
    }
    if (fd >= 0)
        ::close(fd);
    if (!m_map) {
        // Empty files, pipes and systems without mapping.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw ReadError(path, file.errorString());
        m_buffer = file.readAll();
        m_size = size_t(m_buffer.size());
    }
}

FileBytes::~FileBytes() {
    if (m_map)
        ::munmap(m_map, m_size);
}

} // namespace dv
