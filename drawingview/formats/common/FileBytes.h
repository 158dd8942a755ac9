#pragma once

// A file's bytes for a reader, mapped where the system allows (no copy) and
// read into memory otherwise. Throws ReadError when the file cannot be read.

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace dv {

class FileBytes {
public:
    enum class Pages {
        Ahead,    // mapped up front: the reader goes through all of it
        OnDemand, // mapped as read: the reader skips about and leaves parts unread
    };
    FileBytes(const QString& path, Pages pages);
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    const char* data() const {
        return m_map ? static_cast<const char*>(m_map) : m_buffer.constData();
    }
    size_t size() const { return m_size; }
    // The bytes without a copy; valid while this object lives.
    QByteArray view() const { return QByteArray::fromRawData(data(), qsizetype(m_size)); }

private:
    void* m_map = nullptr;
    size_t m_size = 0;
    QByteArray m_buffer;
};

} // namespace dv
