#include "app/GroupLayout.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "group/GroupFile.h"
#include "platform/AppSettings.h"
#include "platform/TextCodec.h"

namespace quorvane {

GroupMetrics GroupMetrics::from(int lineHeight, int charWidth) {
    GroupMetrics m;
    m.W = charWidth;
    m.L = lineHeight;
    m.iconWidth = 22 * charWidth;
    m.iconHeight = 4 * lineHeight;
    m.columnGap = 5 * charWidth;
    m.rowGap = lineHeight + lineHeight / 2;
    m.leftMargin = 3 * charWidth;
    m.topMargin = 3 * lineHeight;
    return m;
}

QSize groupTotalSize(const GroupMetrics& m, int count) {
    if (!m.known()) return {100, 100};
    const int width = 3 * m.iconWidth + 2 * m.columnGap + m.leftMargin;
    const int height = (count / 3 + 1) * m.iconHeight + (count / 3) * m.rowGap + m.topMargin;
    return {width, height};
}

QString groupHeaderText(int count, const QString& typeName, const QString& description) {
    QString text = typeName;
    if (count == 1)
        while (text.endsWith(QLatin1Char('s'))) text.chop(1);
    if (!description.isEmpty()) text += QStringLiteral(" - ") + description;
    return QStringLiteral("%1 %2  %3")
        .arg(count)
        .arg(text, QStringLiteral("(click icon for reservations)"));
}

int groupHeaderX(int count, int textWidth, int charWidth) {
    int x;
    if (count <= 1)
        x = 3 * charWidth;
    else if (count == 2)
        x = 30 * charWidth - textWidth / 2;
    else
        x = 41 * charWidth - textWidth / 2;
    return std::max(x, charWidth);
}

QString occupantText(const QString& line) {
    return line.left(20);
}

GroupDrawing drawGroup(PaintSurface& s, const GroupFile& group, const GroupDrawOptions& options) {
    GroupDrawing out;
    const GroupMetrics m =
        GroupMetrics::from(s.charHeight() + s.externalLeading(), s.averageCharWidth());
    out.metrics = m;
    const int count = std::clamp(group.count, 0, kMaxFacilities);

    const QString header =
        groupHeaderText(count, fromCp1252(group.typeName), fromCp1252(group.description));
    s.drawText(groupHeaderX(count, s.textWidth(header), m.W), m.L, header, kHeaderColor);

    const int halfLine = m.L / 2;
    for (int i = 0; i < count; ++i) {
        const CRoom& room = group.rooms[std::size_t(i)];
        const int row = i / 3, column = i % 3;
        const int x = m.leftMargin + column * (m.iconWidth + m.columnGap);
        const int y = m.topMargin + row * (m.iconHeight + m.rowGap);
        // The second and third icons of a row are one character wider.
        const QRect icon(x, y, m.iconWidth + (column == 0 ? 0 : m.W), m.iconHeight);
        out.icons[std::size_t(i)] = icon;
        s.drawRectangle(icon);
        s.fillRect(icon.adjusted(2, 2, -2, -2),
                   i == options.openIcon ? options.highlight : options.background);

        std::string name = room.name;
        while (!name.empty() && name.back() == ' ') name.pop_back();
        const QString shownName = fromCp1252(name);
        s.drawText(x + (m.iconWidth - s.textWidth(shownName)) / 2, y + halfLine, shownName);
        if (!room.occupant1.empty()) {
            const QString line1 = occupantText(fromCp1252(room.occupant1));
            s.drawText(x + (m.iconWidth - s.textWidth(line1)) / 2, y + halfLine + m.L, line1,
                       options.occupied);
            if (!room.occupant2.empty()) {
                const QString line2 = occupantText(fromCp1252(room.occupant2));
                s.drawText(x + (m.iconWidth - s.textWidth(line2)) / 2, y + halfLine + 2 * m.L,
                           line2, options.occupied);
            }
        }
    }
    out.totalSize = groupTotalSize(m, count);
    return out;
}

QPainterSurface::QPainterSurface(QPainter& painter) : painter_(painter) {}

int QPainterSurface::charHeight() const {
    return QFontMetrics(painter_.font(), painter_.device()).height();
}
int QPainterSurface::externalLeading() const {
    return std::max(0, QFontMetrics(painter_.font(), painter_.device()).leading());
}
int QPainterSurface::averageCharWidth() const {
    return std::max(1, QFontMetrics(painter_.font(), painter_.device()).averageCharWidth());
}
int QPainterSurface::textWidth(const QString& text) const {
    return QFontMetrics(painter_.font(), painter_.device()).horizontalAdvance(text);
}

void QPainterSurface::drawText(int x, int y, const QString& text, std::int64_t colorRef) {
    const QFontMetrics metrics(painter_.font(), painter_.device());
    const QPen old = painter_.pen();
    if (colorRef >= 0) painter_.setPen(colorFromRef(int(colorRef)));
    painter_.drawText(x, y + metrics.ascent(), text);
    painter_.setPen(old);
}

void QPainterSurface::drawRectangle(const QRect& r) {
    painter_.drawRect(r.adjusted(0, 0, -1, -1));
}

void QPainterSurface::fillRect(const QRect& r, std::uint32_t colorRef) {
    painter_.fillRect(r, colorFromRef(int(colorRef)));
}

}  // namespace quorvane
