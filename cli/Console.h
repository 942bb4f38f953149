#pragma once

#include <QByteArray>
#include <QString>

// Text for the user, always written as UTF-8 whatever the locale says, so that
// Chinese messages and entry names survive a C locale and a pipe.
namespace Console {

constexpr const char *kProgramName = "ostrevale-cli";

void Out(const QString &text);          // text to stdout, as it is
void OutBytes(const QByteArray &bytes); // bytes to stdout, as they are
void Err(const QString &text);          // text to stderr, as it is
void Error(const QString &message);     // "ostrevale-cli: message" and a line end, to stderr

} // namespace Console
