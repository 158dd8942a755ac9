#include "DxfGroupPipe.h"

#include <algorithm>

namespace dv::dxf {

namespace {

// Codes whose values are real numbers in every DXF object.
bool isRealCode(int code) {
    return (code >= 10 && code <= 59) || (code >= 110 && code <= 149) ||
           (code >= 210 && code <= 239) || (code >= 1010 && code <= 1059);
}

} // namespace

GroupPipe::GroupPipe(const char* data, size_t size, size_t chunkGroups)
    : m_size(size), m_chunkGroups(std::max<size_t>(1, chunkGroups)) {
    for (Chunk& c : m_chunks)
        c.groups.reserve(m_chunkGroups);
    m_thread = std::thread([this, data, size] { produce(data, size); });
}

GroupPipe::~GroupPipe() {
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_emptied.notify_all();
    m_thread.join();
}

void GroupPipe::produce(const char* data, size_t size) {
    Tokenizer tokenizer(data, size);
    for (size_t slot = 0;; slot = (slot + 1) % kChunks) {
        Chunk& chunk = m_chunks[slot];
        {
            std::unique_lock lock(m_lock);
            m_emptied.wait(lock, [&] { return m_stop || !chunk.full; });
            if (m_stop)
                return;
        }
        chunk.groups.clear();
        chunk.error = nullptr;
        chunk.last = false;
        try {
            Group g;
            while (chunk.groups.size() < m_chunkGroups) {
                if (!tokenizer.next(g)) {
                    chunk.last = true;
                    break;
                }
                g.hasNumber = false;
                if (isRealCode(g.code)) {
                    // A value that is no number stays text: the parser
                    // reports it where it reads it, as it would unaided.
                    try {
                        g.number = toDouble(g);
                        g.hasNumber = true;
                    } catch (const SyntaxError&) {
                    }
                }
                chunk.groups.push_back(g);
            }
        } catch (...) {
            chunk.error = std::current_exception();
            chunk.last = true;
        }
        chunk.endPosition = tokenizer.position();
        {
            std::lock_guard lock(m_lock);
            chunk.full = true;
        }
        m_filled.notify_one();
        if (chunk.last)
            return;
    }
}

void GroupPipe::takeChunk() {
    std::unique_lock lock(m_lock);
    if (m_holding) {
        m_chunks[m_current].full = false;
        m_current = (m_current + 1) % kChunks;
        m_emptied.notify_one();
    }
    m_filled.wait(lock, [&] { return m_chunks[m_current].full; });
    m_holding = true;
    m_index = 0;
    m_position = m_chunks[m_current].endPosition;
}

bool GroupPipe::next(Group& g) {
    for (;;) {
        if (m_done)
            return false;
        if (m_holding) {
            Chunk& chunk = m_chunks[m_current];
            if (m_index < chunk.groups.size()) {
                g = chunk.groups[m_index++];
                return true;
            }
            if (chunk.last) {
                m_done = true;
                if (chunk.error)
                    std::rethrow_exception(chunk.error);
                return false;
            }
        }
        takeChunk();
    }
}

} // namespace dv::dxf
