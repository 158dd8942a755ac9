#pragma once

// Reads an ASCII DXF buffer's groups on a thread of its own, ahead of the
// parser, so that splitting lines and reading numbers take the second core
// while the first builds the drawing. The groups come out exactly as the
// tokenizer gives them, its errors at the same place; real numbers arrive
// already read (Group::hasNumber). A few chunks are in flight at a time.

#include "DxfTokenizer.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace dv::dxf {

class GroupPipe {
public:
    // `data` must outlive the pipe; `chunkGroups` is how many groups travel
    // together.
    GroupPipe(const char* data, size_t size, size_t chunkGroups = 16384);
    ~GroupPipe();
    GroupPipe(const GroupPipe&) = delete;
    GroupPipe& operator=(const GroupPipe&) = delete;

    // As Tokenizer::next: false at the end, throws SyntaxError where the
    // tokenizer did.
    bool next(Group& g);
    // Bytes read up to the end of the chunk being handed out.
    size_t position() const { return m_position; }
    size_t size() const { return m_size; }

private:
    struct Chunk {
        std::vector<Group> groups;
        size_t endPosition = 0;
        std::exception_ptr error; // what ended the data early
        bool last = false;
        bool full = false; // filled and not yet handed back
    };
    static constexpr size_t kChunks = 4;

    void produce(const char* data, size_t size);
    void takeChunk();

    const size_t m_size;
    const size_t m_chunkGroups;
    Chunk m_chunks[kChunks];
    std::mutex m_lock;
    std::condition_variable m_filled, m_emptied;
    bool m_stop = false;
    // The consumer's side.
    size_t m_current = 0; // chunk being read
    size_t m_index = 0;   // next group in it
    bool m_holding = false;
    bool m_done = false;
    size_t m_position = 0;
    std::thread m_thread;
};

} // namespace dv::dxf
