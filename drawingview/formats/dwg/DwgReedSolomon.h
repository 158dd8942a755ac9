#pragma once

// AutoCAD 2007 (AC1021) files store their header and pages as Reed-Solomon
// code words of 255 bytes, interleaved byte by byte across a run of blocks.

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace dv::dwg {

// The data bytes of `blocks` interleaved code words of `dataPerBlock` data
// bytes each (239 or 251), in order; the parity bytes are dropped. raw must
// hold blocks * 255 bytes, else FormatError. Errors are not corrected: a
// sound file's data bytes are its data, and damage shows in the CRCs and
// the structures above.
QByteArray deinterleaveBlocks(const uint8_t* raw, size_t rawSize, size_t blocks,
                              size_t dataPerBlock);

} // namespace dv::dwg
