#include "platform/TextCodec.h"

#include <QLineEdit>
#include <memory>

#include "base/Cp1252.h"
#include "platform/Prompter.h"

namespace quorvane {

QString fromCp1252(std::string_view bytes) {
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (char b : bytes) out.append(QChar(cp1252::toUnicode(static_cast<unsigned char>(b))));
    return out;
}

std::string toCp1252(const QString& text) {
    std::string out;
    out.reserve(std::size_t(text.size()));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text.at(i).unicode();
        // A surrogate pair is one character and becomes one '?'; a lone surrogate likewise.
        if (QChar::isHighSurrogate(c) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i;
            out.push_back('?');
            continue;
        }
        const int b = cp1252::fromUnicode(c);
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

QString firstUnstorable(const QString& text) {
    const QList<uint> codes = text.toUcs4();
    const std::u32string u32(codes.begin(), codes.end());
    const char32_t c = cp1252::firstUnstorable(u32);
    return c == 0 ? QString() : QString::fromUcs4(&c, 1);
}

QString unstorableMessage(const QString& character, const QString& field) {
    const char32_t code = character.toUcs4().value(0);
    return QStringLiteral(
               "The character \"%1\" (U+%2) cannot be stored in %3: the tables hold "
               "only the letters and signs of Western European languages. Please "
               "type it without that character.")
        .arg(character, QStringLiteral("%1").arg(uint(code), 4, 16, QLatin1Char('0')).toUpper(),
             field);
}

void refuseUnstorable(QLineEdit* edit, const QString& field) {
    auto kept = std::make_shared<QString>(edit->text());
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, kept, field](const QString& now) {
        const QString bad = firstUnstorable(now);
        if (bad.isEmpty()) {
            *kept = now;
            return;
        }
        const int cursor = edit->cursorPosition() - int(now.size() - kept->size());
        {
            const QSignalBlocker block(edit);
            edit->setText(*kept);
        }
        edit->setCursorPosition(qBound(0, cursor, int(kept->size())));
        appPrompter().message(unstorableMessage(bad, field),
                              QStringLiteral("Character Not Allowed"), PromptIcon::Stop);
    });
}

}  // namespace quorvane
