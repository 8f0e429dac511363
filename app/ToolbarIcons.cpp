#include "app/ToolbarIcons.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <memory>
#include <mutex>

#include "app/Commands.h"

static void initToolbarIcons() {
    Q_INIT_RESOURCE(icons);
}

namespace quorvane {

namespace {

// Renders the drawing at the size asked; the disabled look comes from the style, like the
// desktop's own icons.
class SvgIconEngine final : public QIconEngine {
public:
    explicit SvgIconEngine(const QString& path) : path_(path), renderer_(path) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        renderer_.render(painter, rect);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        }
        QPixmap pixmap = QPixmap::fromImage(image);
        if (mode == QIcon::Disabled || mode == QIcon::Selected) {
            QStyleOption option;
            option.palette = QApplication::palette();
            pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        }
        return pixmap;
    }

    QIconEngine* clone() const override { return new SvgIconEngine(path_); }
    bool isNull() override { return !renderer_.isValid(); }

private:
    QString path_;
    QSvgRenderer renderer_;
};

struct IconFile {
    int command;
    const char* file;
};
constexpr IconFile kIcons[] = {
    {cmd::kFileNew, "new"},
    {cmd::kFileOpen, "open"},
    {cmd::kAddCustomer, "add-customer"},
    {cmd::kAddFacility, "add-facility"},
    {cmd::kDayReservations, "day-at-a-glance"},
    {cmd::kFilePrint, "print"},
    {cmd::kAppAbout, "about"},
    {cmd::kContextHelp, "context-help"},
};

}  // namespace

QString toolbarIconPath(int commandId) {
    for (const IconFile& icon : kIcons)
        if (icon.command == commandId)
            return QStringLiteral(":/toolbar/%1.svg").arg(QLatin1String(icon.file));
    return {};
}

QIcon toolbarIcon(int commandId) {
    static std::once_flag once;
    std::call_once(once, initToolbarIcons);
    const QString path = toolbarIconPath(commandId);
    if (path.isEmpty() || !QFile::exists(path)) return {};
    return QIcon(new SvgIconEngine(path));
}

}  // namespace quorvane
