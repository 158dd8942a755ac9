#include "formats/Reader.h"

namespace dv {
std::unique_ptr<Reader> makeDxfReader() { return nullptr; }
} // namespace dv
