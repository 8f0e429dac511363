#pragma once
// Message boxes and Yes/No questions. Every message shown is also written to standard
// error as one line, "caption: text", so support staff and scripts see what a user saw.
#include <QString>
#include <vector>

#include "base/Message.h"

class QWidget;

namespace quorvane {

enum class PromptButtons { Ok, YesNo };
enum class PromptResult { Ok, Yes, No };

struct Prompt {
    QString text;
    QString caption;  // empty means the program's title, "Quorvane"
    PromptIcon icon = PromptIcon::Warning;
    PromptButtons buttons = PromptButtons::Ok;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    // Shows the prompt; an empty caption is replaced by "Quorvane" before display and logging.
    PromptResult show(Prompt prompt);
    PromptResult message(const QString& text, const QString& caption = {},
                         PromptIcon icon = PromptIcon::Warning);
    bool askYesNo(const QString& text, const QString& caption,
                  PromptIcon icon = PromptIcon::Question);

    static QString programTitle() { return QStringLiteral("Quorvane"); }

protected:
    virtual PromptResult display(const Prompt& prompt) = 0;
};

class QtPrompter final : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

protected:
    PromptResult display(const Prompt& prompt) override;

private:
    QWidget* parent_;
};

// Records every prompt and answers questions from a queue (Yes when it runs dry).
class RecordingPrompter final : public Prompter {
public:
    std::vector<Prompt> shown;
    std::vector<PromptResult> answers;  // consumed front to back by Yes/No questions

protected:
    PromptResult display(const Prompt& prompt) override;
};

// For runs without a window (printing from a scheduled job): every prompt goes to standard
// error only, and a question is answered No, so nothing waits for a person.
class LogPrompter final : public Prompter {
protected:
    PromptResult display(const Prompt& prompt) override {
        return prompt.buttons == PromptButtons::Ok ? PromptResult::Ok : PromptResult::No;
    }
};

// The prompter the application uses; dialogs and documents reach it through here.
Prompter& appPrompter();
void setAppPrompter(Prompter* prompter);  // nullptr restores the Qt prompter

}  // namespace quorvane
