#pragma once

#include <QString>

#include <string>

// The text of the error box for an error's message. A message is raw bytes: valid
// UTF-8 is shown as such, anything else one character per byte, so that a router's
// error text in any single-byte code page still reaches the user whole. A full stop
// is appended when the message is not empty and its last character's code lies
// above that of ".".
QString ErrorBoxText(const std::string& message);

// The application's title, as the error box's caption: the program file's name up
// to its first dot, every letter after the first in lower case.
QString ApplicationTitle(const QString& programFileName);
