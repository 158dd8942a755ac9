#pragma once

// Finds and decodes the raster files a drawing's IMAGEDEF objects name.
// Drawings travel between machines, so a path that does not exist here is
// looked for beside the drawing too.

#include <QImage>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>

namespace dv::dxf {

class ImageFiles {
public:
    // Larger images are scaled down to this many pixels a side: a drawing
    // shows them among other things, never at full size on one screen.
    static constexpr int kMaxSide = 8192;
    // Decoded pixels kept for one drawing, all images together.
    static constexpr int64_t kBudgetBytes = int64_t(1) << 30;

    explicit ImageFiles(const QString& drawingPath);

    // The existing regular file `name` refers to, or an empty string: the
    // path as given (Windows separators and drive letters made usable), then
    // relative to the drawing's folder, then its file name alone in that
    // folder, matched without regard to case.
    QString resolve(const QString& name) const;

    // The decoded image, shared by every IMAGE that shows the same file;
    // null when the file is missing, unreadable or over the budget.
    std::shared_ptr<const QImage> load(const QString& name);

private:
    QString m_folder;
    std::map<QString, std::shared_ptr<const QImage>> m_cache;
    int64_t m_used = 0;
};

} // namespace dv::dxf
