#pragma once
// Help by context number: 0x20000 + a dialog's resource id names a bundled HTML topic.
#include <QString>
#include <vector>

class QWidget;

namespace quorvane {

constexpr unsigned kHelpBase = 0x20000;
constexpr unsigned helpContext(unsigned dialogId) {
    return kHelpBase + dialogId;
}
constexpr unsigned kHelpFirstTime = 0x20091;  // dialog 145, the "First Time" page
// The main window's topic (resource 128) is the contents page: it is made from the topics
// bundled with the program, so a topic added to the bundle is listed without further work.
constexpr unsigned kHelpContents = 0x20080;
constexpr unsigned kHelpGroupWindow = 0x20081;  // the group window (resource 129)

// Marks a widget (a dialog, a property page, a window) as the help target of everything inside
// it: context help on any of its controls shows the topic of `dialogId`.
void setHelpDialogId(QWidget* widget, int dialogId);
// The id set above, or -1.
int helpDialogId(const QWidget* widget);

class HelpService {
public:
    virtual ~HelpService() = default;
    virtual void showTopic(unsigned context) = 0;
    // Closes the help windows: they belong to the main window and end with it.
    virtual void closeWindows() {}
    // The bundled topic's HTML, or an empty string when there is none.
    static QString topicHtml(unsigned context);
    // Resource path of a topic, ":/help/0x20091.html".
    static QString topicPath(unsigned context);
    // The contexts of every bundled topic, ascending (the contents page not included).
    static std::vector<unsigned> bundledTopics();
    // A topic's <title>, or an empty string.
    static QString topicTitle(unsigned context);
    // The contents page: a link to every bundled topic.
    static QString contentsHtml();
};

// Shows the topic in a help window of its own (one window, reused).
class QtHelpService final : public HelpService {
public:
    void showTopic(unsigned context) override;
    void closeWindows() override;
};

class RecordingHelpService final : public HelpService {
public:
    std::vector<unsigned> requested;
    int closed = 0;
    void showTopic(unsigned context) override { requested.push_back(context); }
    void closeWindows() override { ++closed; }
};

HelpService& appHelp();
void setAppHelp(HelpService* help);  // nullptr restores the Qt help window

}  // namespace quorvane
