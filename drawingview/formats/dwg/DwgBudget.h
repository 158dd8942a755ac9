#pragma once

// A bound on what decompressing one file's pages may produce in all, so that
// sizes a damaged file declares can cost no more memory and time than the
// file's length allows.

#include "formats/dwg/DwgSections.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace dv::dwg {

class DecompressionBudget {
public:
    // Real drawings gain far less than 256 bytes per stored byte.
    explicit DecompressionBudget(size_t fileSize) : left_(256 * uint64_t(fileSize) + (1 << 20)) {}

    // Pays for n bytes of output, or throws for `what` when the file cannot
    // hold that much.
    void spend(uint64_t n, const std::string& what) {
        if (n > left_)
            throw FormatError(what + " declares more data than the file can hold");
        left_ -= n;
    }

private:
    uint64_t left_;
};

} // namespace dv::dwg
