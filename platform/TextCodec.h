#pragma once
// Stored texts are Windows-1252 bytes; they become Unicode only where they meet Qt.
#include <QString>
#include <string>
#include <string_view>

class QLineEdit;

namespace quorvane {

QString fromCp1252(std::string_view bytes);
// Characters outside Windows-1252 become '?', one byte per character, so a stored
// field never grows or shifts.
std::string toCp1252(const QString& text);

// The first character of `text` Windows-1252 cannot hold (both halves of a surrogate pair), or
// an empty string.
QString firstUnstorable(const QString& text);
// "The character "X" (U+....) cannot be stored in <field>: ..."
QString unstorableMessage(const QString& character, const QString& field);
// The box refuses such characters where they are typed or pasted: it keeps the text it had, and
// a message ("Character Not Allowed") names the character.
void refuseUnstorable(QLineEdit* edit, const QString& field);

}  // namespace quorvane
