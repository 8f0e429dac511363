#pragma once
// The drawing of a group window: the header line and one icon per facility in rows of three,
// computed from the drawing surface's font metrics. It draws on a PaintSurface, so the same
// drawing serves the window, the printer and the preview, and tests record every position.
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>

namespace quorvane {

struct GroupFile;

class PaintSurface {
public:
    virtual ~PaintSurface() = default;
    // The current font's character height, external leading and average character width.
    virtual int charHeight() const = 0;
    virtual int externalLeading() const = 0;
    virtual int averageCharWidth() const = 0;
    virtual int textWidth(const QString& text) const = 0;
    // Text whose line box starts at (x, y) (top, not baseline), in a 0x00BBGGRR colour, or in
    // the surface's own text colour when `colorRef` is negative.
    virtual void drawText(int x, int y, const QString& text, std::int64_t colorRef = -1) = 0;
    // A rectangle outline and fill with the surface's own pen and brush.
    virtual void drawRectangle(const QRect& r) = 0;
    virtual void fillRect(const QRect& r, std::uint32_t colorRef) = 0;
};

// The six layout metrics, from the line height L (height + external leading) and W.
struct GroupMetrics {
    int W = 0, L = 0;
    int iconWidth = 0, iconHeight = 0, columnGap = 0, rowGap = 0, leftMargin = 0, topMargin = 0;
    bool known() const { return W > 0 && L > 0; }
    static GroupMetrics from(int lineHeight, int charWidth);
};

// The scrolling extent for `count` facilities; 100 x 100 before the first drawing.
QSize groupTotalSize(const GroupMetrics& metrics, int count);

struct GroupDrawOptions {
    int openIcon = -1;  // filled with the highlight colour
    std::uint32_t highlight = 0x00C0C0C0;
    std::uint32_t background = 0x0000FFFF;
    std::uint32_t occupied = 0x000000FF;
};

struct GroupDrawing {
    GroupMetrics metrics;
    QSize totalSize;
    std::array<QRect, 15> icons{};  // slots from the count on stay empty
};

// "%d %s  %s": the count, the type (without its trailing "s" when there is exactly one
// facility) plus " - " and the description when there is one, "(click icon for reservations)".
QString groupHeaderText(int count, const QString& typeName, const QString& description);
// The header's left edge: 3 W for 0 or 1 facilities, centred over 30 W for 2, over the middle
// column (41 W) from 3 on; never left of W.
int groupHeaderX(int count, int textWidth, int charWidth);
// The first 20 characters of an occupant line.
QString occupantText(const QString& line);

GroupDrawing drawGroup(PaintSurface& surface, const GroupFile& group,
                       const GroupDrawOptions& options);

constexpr std::uint32_t kHeaderColor = 0x00FF0000;  // blue

}  // namespace quorvane

class QPainter;

namespace quorvane {

// A PaintSurface on a QPainter (window, printer, preview), with the painter's font.
class QPainterSurface final : public PaintSurface {
public:
    explicit QPainterSurface(QPainter& painter);
    int charHeight() const override;
    int externalLeading() const override;
    int averageCharWidth() const override;
    int textWidth(const QString& text) const override;
    void drawText(int x, int y, const QString& text, std::int64_t colorRef) override;
    void drawRectangle(const QRect& r) override;
    void fillRect(const QRect& r, std::uint32_t colorRef) override;

private:
    QPainter& painter_;
};

}  // namespace quorvane
