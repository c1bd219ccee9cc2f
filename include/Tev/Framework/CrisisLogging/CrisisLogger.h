#ifndef TEV_FRAMEWORK_CRISISLOGGING_CRISISLOGGER_H
#define TEV_FRAMEWORK_CRISISLOGGING_CRISISLOGGER_H

#include "Tev/Framework/Export.h"

#include <atomic>

namespace Tev::Framework::CrisisLogging {

class CrisisLoggerImpl;

/// The last-resort log: one object per process that appends time-stamped lines to one
/// fixed file and flushes each line as it is written. It needs no backend, no logger
/// and no configuration, and nothing else in the library writes to it.
///
/// \code
/// CrisisLogger::instance().log("cannot reach the database");
/// \endcode
///
/// appends "14:03:07.215 - cannot reach the database" and a newline.
///
/// The file is /var/tmp/tev.log (`C:\tev.log` on Windows). It is opened once, by the
/// first successful instance(), and held for this process alone: while it is held,
/// instance() in any other process fails. A missing file is created readable and
/// writable by its owner only; existing lines stay. A path that is a symbolic link, a
/// directory or anything but a regular file is refused.
///
/// Throws:
///   instance(): Exceptions::FrameworkException with the message
///     "Error opening log file: '/var/tmp/tev.log'" when the file cannot be opened;
///     nothing is created then, and the next call tries again. std::bad_alloc passes
///     through, and so, on Windows, does Boost's thread_resource_error when the lock
///     cannot be made; a client without Boost catches the latter as std::runtime_error.
///   log(): nothing for a message of up to 240 bytes; a longer one is composed on the
///     heap and may throw std::bad_alloc. Write and flush failures are ignored: the
///     line is lost.
/// Concurrency: any thread may call instance() and log() at any time. Lines from
/// concurrent callers never interleave, and they reach the file in the order in which
/// their time stamps were read. log() is no cancellation point: a thread with a cancel
/// pending writes its line, and is cancelled at its next cancellation point.
class TEV_API CrisisLogger {
public:
    /// The process's crisis logger, created on the first successful call.
    static CrisisLogger& instance();

    /// Appends `"HH:MM:SS.mmm - <message>\n"` (local time of day, zero-padded) and
    /// flushes it. The message is written as it stands: a newline in it starts a line
    /// without a time stamp. A null message writes nothing and returns normally.
    void log(const char* message);

    /// Closes the file. The library never calls it, and neither may clients on the
    /// object that instance() returns: the logger lives until the process ends.
    ~CrisisLogger();

    CrisisLogger(const CrisisLogger&) = delete;
    CrisisLogger& operator=(const CrisisLogger&) = delete;

private:
    CrisisLogger();

    CrisisLoggerImpl* impl_;

    static std::atomic<CrisisLogger*> crisisLoggerSingleton_;
};

} // namespace Tev::Framework::CrisisLogging

#endif
