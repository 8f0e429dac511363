#pragma once
// What a rule tells the user: the text, the title and the icon of one message box. The rules
// below the widgets return it (or none) and the widget layer shows it, so they run without a
// display. Texts are Windows-1252 bytes, like everything the tables store: a customer's name
// in a message reaches the screen as it was typed.
#include <string>

namespace quorvane {

enum class PromptIcon { None, Information, Warning, Stop, Question };

struct Message {
    std::string text;
    std::string title;
    PromptIcon icon = PromptIcon::Stop;
    bool operator==(const Message&) const = default;
};

}  // namespace quorvane
