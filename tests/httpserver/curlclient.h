#pragma once

#include <QByteArray>
#include <QStringList>

// Runs curl and returns what it printed on standard output; the calling thread's event
// loop keeps turning meanwhile, so a server in the same thread answers.
QByteArray runCurl(const QStringList& arguments, QByteArray* standardError = nullptr, int timeoutMs = 60000);
