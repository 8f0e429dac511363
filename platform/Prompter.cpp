#include "platform/Prompter.h"
#include "platform/DialogSeam.h"

#include <QMessageBox>
#include <cstdio>

namespace quorvane {

namespace {

// One line per message: support staff read these logs line by line.
void logPrompt(const Prompt& p) {
    QString text = p.text;
    text.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    const QByteArray line = (p.caption + QStringLiteral(": ") + text).toUtf8();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

}  // namespace

PromptResult Prompter::show(Prompt prompt) {
    if (prompt.caption.isEmpty()) prompt.caption = programTitle();
    logPrompt(prompt);
    return display(prompt);
}

PromptResult Prompter::message(const QString& text, const QString& caption, PromptIcon icon) {
    return show(Prompt{text, caption, icon, PromptButtons::Ok});
}

bool Prompter::askYesNo(const QString& text, const QString& caption, PromptIcon icon) {
    return show(Prompt{text, caption, icon, PromptButtons::YesNo}) == PromptResult::Yes;
}

PromptResult QtPrompter::display(const Prompt& prompt) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (prompt.icon) {
        case PromptIcon::None:
            icon = QMessageBox::NoIcon;
            break;
        case PromptIcon::Information:
            icon = QMessageBox::Information;
            break;
        case PromptIcon::Warning:
            icon = QMessageBox::Warning;
            break;
        case PromptIcon::Stop:
            icon = QMessageBox::Critical;
            break;
        case PromptIcon::Question:
            icon = QMessageBox::Question;
            break;
    }
    const bool yesNo = prompt.buttons == PromptButtons::YesNo;
    QMessageBox box(icon, prompt.caption, prompt.text,
                    yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent_);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    const int r = box.exec();
    if (!yesNo) return PromptResult::Ok;
    // Closing the box without a button (Escape) answers No, never Yes.
    return r == QMessageBox::Yes ? PromptResult::Yes : PromptResult::No;
}

PromptResult RecordingPrompter::display(const Prompt& prompt) {
    shown.push_back(prompt);
    if (prompt.buttons == PromptButtons::Ok) return PromptResult::Ok;
    if (answers.empty()) return PromptResult::Yes;
    const PromptResult r = answers.front();
    answers.erase(answers.begin());
    return r;
}

Prompter& appPrompter() {
    return DialogSeam<Prompter, QtPrompter>::get();
}

void setAppPrompter(Prompter* prompter) {
    DialogSeam<Prompter, QtPrompter>::set(prompter);
}

}  // namespace quorvane
