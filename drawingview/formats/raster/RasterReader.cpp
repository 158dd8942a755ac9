#include "formats/Reader.h"

namespace dv {
std::unique_ptr<Reader> makeRasterReader() { return nullptr; }
} // namespace dv
