#include "platform/Help.h"

#include <QFile>
#include <QPointer>
#include <QTextBrowser>
#include <mutex>

// The topics live in a static library; its resource initialiser is not referenced by anything
// else, so it must be pulled in by name (and outside any namespace).
static void initHelpResources() {
    Q_INIT_RESOURCE(help);
}

namespace quorvane {

namespace {

void ensureResources() {
    static std::once_flag once;
    std::call_once(once, initHelpResources);
}

QString missingTopicHtml(unsigned context) {
    return QStringLiteral(
               "<html><head><title>Quorvane Help</title></head><body>"
               "<h2>No help topic</h2>"
               "<p>No help topic 0x%1 is installed with this copy of Quorvane.</p>"
               "<p>See <a href=\"0x20091.html\">Getting started</a> for an overview.</p>"
               "</body></html>")
        .arg(context, 5, 16, QLatin1Char('0'));
}

}  // namespace

QString HelpService::topicPath(unsigned context) {
    return QStringLiteral(":/help/0x%1.html").arg(context, 5, 16, QLatin1Char('0'));
}

QString HelpService::topicHtml(unsigned context) {
    ensureResources();
    QFile f(topicPath(context));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

void QtHelpService::showTopic(unsigned context) {
    ensureResources();
    // One help window for the whole program, reused by every request.
    static QPointer<QTextBrowser> window;
    if (!window) {
        window = new QTextBrowser;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setObjectName(QStringLiteral("help"));
        window->setWindowTitle(QStringLiteral("Quorvane Help"));
        window->setSearchPaths({QStringLiteral(":/help")});
        window->setOpenExternalLinks(true);
        window->resize(640, 520);
    }
    const QString html = topicHtml(context);
    if (html.isEmpty()) {
        window->setHtml(missingTopicHtml(context));
    } else {
        window->setSource(QUrl(QStringLiteral("qrc") + topicPath(context)));
    }
    window->show();
    window->raise();
    window->activateWindow();
}

namespace {
HelpService* g_help = nullptr;
}

HelpService& appHelp() {
    static QtHelpService qtHelp;
    return g_help ? *g_help : qtHelp;
}

void setAppHelp(HelpService* help) {
    g_help = help;
}

}  // namespace quorvane
