#pragma once

#include <cstddef>

class QLoggingCategory;

namespace tarsel {

// Qt's message handler for a busy process: a line is formatted with the message pattern on the
// thread that logs it and queued; one writer thread encodes the queued lines and writes them to
// the file in batches, at most about 100 ms after they were logged.
// - The queue is bounded: a thread that finds it full writes the queue and its own line itself,
//   so no line is lost and the loggers are slowed to the speed of the file.
// - The lines of one thread keep their order; critical and fatal lines are written at once,
//   after everything queued before them.
// - Whatever is queued is written at exit (also by std::exit) and before a fatal line aborts.
class LogWriter
{
public:
    // Installs the handler for the rest of the process, writing to `fd` (standard error by
    // default). A second call does nothing.
    static void install(int fd = 2, std::size_t capacity = 32768);
    // Writes everything queued so far before it returns.
    static void flush();
    // A debug line of `category` that is already text: straight into the queue when this writer
    // is installed and the message pattern leaves lines as they are (no message handler, no
    // QString on the way), through Qt's message handler otherwise.
    static void debug(const QLoggingCategory& category, const char* text, int length);
};

} // namespace tarsel
