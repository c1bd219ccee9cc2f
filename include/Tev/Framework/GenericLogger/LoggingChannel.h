#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGINGCHANNEL_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGINGCHANNEL_H

#include "Tev/Framework/Export.h"
#include "Tev/Framework/GenericLogger/LoggingLevel.h"

namespace Tev::Framework::GenericLogger {

/// Receives the messages of one logger. Implemented by backends.
///
/// A channel stays in use from the moment its backend hands it out until its logger
/// calls release() or forgets it when the logger's channels are rebuilt (at every
/// backend installation); uninstalling its backend does not end its use.
/// The framework calls release() and log() with the logging mutex held, so a channel
/// sees one call at a time and may log again on the same thread; it may not load a
/// backend library or close the loggers (both are refused: see Logger).
///
/// The virtual operations keep this order (the destructor, release, log), so that
/// backends built against any build of this header find each in the same slot.
class TEV_API LoggingChannel {
protected:
    /// Only the channel's own implementation destroys a channel.
    virtual ~LoggingChannel();

public:
    LoggingChannel() = default;
    LoggingChannel(const LoggingChannel&) = default;
    LoggingChannel& operator=(const LoggingChannel&) = default;

    /// Called once when the logger holding the channel is destroyed; afterwards the
    /// framework holds no pointer to it. Destroying itself is the channel's business.
    virtual void release() = 0;

    /// One message; `message` is NUL-terminated and valid only during the call.
    /// An exception thrown here reaches the caller of the logging operation.
    virtual void log(LoggingLevel level, const char* message) = 0;
};

} // namespace Tev::Framework::GenericLogger

#endif
