#pragma once
// Help by context number: 0x20000 + a dialog's resource id names a bundled HTML topic.
#include <QString>
#include <vector>

namespace quorvane {

constexpr unsigned kHelpBase = 0x20000;
constexpr unsigned helpContext(unsigned dialogId) {
    return kHelpBase + dialogId;
}
constexpr unsigned kHelpFirstTime = 0x20091;  // dialog 145, the "First Time" page

class HelpService {
public:
    virtual ~HelpService() = default;
    virtual void showTopic(unsigned context) = 0;
    // The bundled topic's HTML, or an empty string when there is none.
    static QString topicHtml(unsigned context);
    // Resource path of a topic, ":/help/0x20091.html".
    static QString topicPath(unsigned context);
};

// Shows the topic in a help window of its own (one window, reused).
class QtHelpService final : public HelpService {
public:
    void showTopic(unsigned context) override;
};

class RecordingHelpService final : public HelpService {
public:
    std::vector<unsigned> requested;
    void showTopic(unsigned context) override { requested.push_back(context); }
};

HelpService& appHelp();
void setAppHelp(HelpService* help);  // nullptr restores the Qt help window

}  // namespace quorvane
