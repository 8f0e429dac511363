#pragma once
// Stored texts are Windows-1252 bytes; they become Unicode only where they meet Qt.
#include <QString>
#include <string>
#include <string_view>

namespace quorvane {

QString fromCp1252(std::string_view bytes);
// Characters outside Windows-1252 become '?', one byte per character, so a stored
// field never grows or shifts.
std::string toCp1252(const QString& text);

}  // namespace quorvane
