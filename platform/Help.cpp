#include "platform/Help.h"
#include "platform/DialogSeam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTextDocument>
#include <algorithm>
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

// The help window; the contents page is not a file of the bundle, so it is made here whenever
// a link or a request asks for it.
class HelpBrowser final : public QTextBrowser {
public:
    // A help window is read and put away: Escape closes it, as it does a dialog.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            close();
            return;
        }
        QTextBrowser::keyPressEvent(event);
    }
    QVariant loadResource(int type, const QUrl& name) override {
        if (type == QTextDocument::HtmlResource &&
            name.fileName() == QFileInfo(HelpService::topicPath(kHelpContents)).fileName())
            return HelpService::contentsHtml();
        return QTextBrowser::loadResource(type, name);
    }
};

QString topicFileName(unsigned context) {
    return QFileInfo(HelpService::topicPath(context)).fileName();
}

}  // namespace

void setHelpDialogId(QWidget* widget, int dialogId) {
    widget->setProperty("helpDialogId", dialogId);
}

int helpDialogId(const QWidget* widget) {
    const QVariant id = widget->property("helpDialogId");
    return id.isValid() ? id.toInt() : -1;
}

std::vector<unsigned> HelpService::bundledTopics() {
    ensureResources();
    static const QRegularExpression name(QStringLiteral("^0x(2[0-9a-f]{4})\\.html$"));
    std::vector<unsigned> topics;
    for (const QString& file : QDir(QStringLiteral(":/help")).entryList(QDir::Files)) {
        const QRegularExpressionMatch m = name.match(file);
        if (!m.hasMatch()) continue;
        const unsigned context = m.captured(1).toUInt(nullptr, 16);
        if (context != kHelpContents) topics.push_back(context);
    }
    std::sort(topics.begin(), topics.end());
    return topics;
}

QString HelpService::topicTitle(unsigned context) {
    static const QRegularExpression title(QStringLiteral("<title>([^<]*)</title>"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = title.match(topicHtml(context));
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

QString HelpService::contentsHtml() {
    // The getting-started page and the group window first, then the dialogs by title.
    std::vector<unsigned> rest = bundledTopics();
    std::vector<unsigned> lead;
    for (unsigned first : {kHelpFirstTime, kHelpGroupWindow}) {
        auto it = std::find(rest.begin(), rest.end(), first);
        if (it == rest.end()) continue;
        lead.push_back(first);
        rest.erase(it);
    }
    std::stable_sort(rest.begin(), rest.end(), [](unsigned a, unsigned b) {
        return topicTitle(a).compare(topicTitle(b), Qt::CaseInsensitive) < 0;
    });
    auto item = [](unsigned context) {
        QString title = topicTitle(context);
        if (title.isEmpty()) title = topicFileName(context);
        return QStringLiteral("<li><a href=\"%1\">%2</a></li>\n")
            .arg(topicFileName(context), title.toHtmlEscaped());
    };
    QString html = QStringLiteral(
        "<html><head><meta charset=\"utf-8\"><title>Quorvane Help Topics</title></head><body>\n"
        "<h2>Quorvane Help Topics</h2>\n"
        "<p>Quorvane keeps the bookings of your courts, fields, pools and rooms. Choose a page "
        "below, press F1 in the main window to come back here, or press Shift+F1 and click a "
        "button, a menu command or a part of a dialog to read about it.</p>\n");
    if (!lead.empty()) {
        html += QStringLiteral("<h3>Getting started</h3>\n<ul>\n");
        for (unsigned c : lead) html += item(c);
        html += QStringLiteral("</ul>\n");
    }
    html += QStringLiteral("<h3>Dialogs and windows</h3>\n<ul>\n");
    for (unsigned c : rest) html += item(c);
    html += QStringLiteral("</ul>\n</body></html>\n");
    return html;
}

QString HelpService::topicPath(unsigned context) {
    return QStringLiteral(":/help/0x%1.html").arg(context, 5, 16, QLatin1Char('0'));
}

QString HelpService::topicHtml(unsigned context) {
    if (context == kHelpContents) return contentsHtml();
    ensureResources();
    QFile f(topicPath(context));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

namespace {
// One help window for the whole program, reused by every request.
QPointer<QTextBrowser> g_window;
}  // namespace

void QtHelpService::closeWindows() {
    if (g_window) g_window->close();
}

void QtHelpService::showTopic(unsigned context) {
    ensureResources();
    QPointer<QTextBrowser>& window = g_window;
    if (!window) {
        window = new HelpBrowser;
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

HelpService& appHelp() {
    return DialogSeam<HelpService, QtHelpService>::get();
}

void setAppHelp(HelpService* help) {
    DialogSeam<HelpService, QtHelpService>::set(help);
}

}  // namespace quorvane
