#pragma once

// Filling megabytes of fresh memory page by page costs more in page faults
// than the reading that fills them; where the system allows, large pages cut
// their number by a factor of 512. Advice only: nothing changes if refused.

#include <cstddef>

namespace dv {

// Advises large pages for the whole 2 MB pages within [data, data + bytes).
void adviseHugePages(const void* data, size_t bytes);

} // namespace dv
