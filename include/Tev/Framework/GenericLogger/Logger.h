#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGER_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGER_H

#include "Tev/Framework/Export.h"
#include "Tev/Framework/GenericLogger/LoggerBackend.h"
#include "Tev/Framework/GenericLogger/LoggerBackendLoadError.h"
#include "Tev/Framework/GenericLogger/LoggerException.h"
#include "Tev/Framework/GenericLogger/LoggingChannel.h"
#include "Tev/Framework/GenericLogger/LoggingLevel.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace Tev::Framework {

/// The name of the framework's own logger.
inline constexpr char frameworkLoggerName[] = "Tev.Framework";

} // namespace Tev::Framework

namespace Tev::Framework::GenericLogger {

class Logger;
struct LoggerState;
struct LoggerRegistry;
struct LogBuffer;

/// Composes one message and hands it to its logger when destroyed:
///
/// \code
/// logger->stream() << "opened " << path;              // level 10, always handed on
/// LogStream(logger, LevelError) << "failed: " << code;
/// TEV_LOG(logger, LevelWarning) << "slow: " << ms;     // formats only if the level is active
/// \endcode
///
/// Takes whatever a std::ostream takes, manipulators included, formatted in the
/// classic "C" locale. The text goes into a buffer that the calling thread reuses, so
/// composing a message allocates nothing once the thread has logged a message as long.
/// A thread keeps up to 4 such buffers. No code of the library runs when a thread ends:
/// each later thread's first message frees those of the ended threads among 8 in turn, or
/// among all once as many threads have logged since the last such whole look as it left.
/// They never belong to more than twice as many threads as were running at that look; the
/// unload frees the rest.
/// A stream whose logger is null or whose level is 0 composes and delivers nothing.
/// It does not consult the logger's threshold: TEV_LOG does.
/// A null C string inserts nothing.
///
/// Throws: insertion may throw std::bad_alloc; delivery (the destructor or deliver())
/// throws what a channel's log() throws, except while the stack is being unwound by
/// another exception, when that exception is dropped instead.
/// Concurrency: a stream belongs to one thread at a time; any number of streams may be
/// alive at once, on one thread or many.
class LogStream {
public:
    LogStream(Logger* logger, LoggingLevel level) : LogStream(logger, level, level != LevelNone) {}

    struct WhenActive {};
    static constexpr WhenActive whenActive{};
    /// A stream that is active only if `level` is active for `logger`.
    inline LogStream(WhenActive, Logger* logger, LoggingLevel level);

    LogStream(LogStream&& other) noexcept : logger_(other.logger_), level_(other.level_), buffer_(other.buffer_)
    {
        other.buffer_ = nullptr;
    }
    LogStream& operator=(LogStream&& other) noexcept(false)
    {
        if (this != &other) {
            deliver();
            logger_ = other.logger_;
            level_ = other.level_;
            buffer_ = other.buffer_;
            other.buffer_ = nullptr;
        }
        return *this;
    }
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;

    ~LogStream() noexcept(false) { deliver(); }

    /// Whether the stream will hand a message to its logger.
    bool active() const noexcept { return buffer_ != nullptr; }

    /// Hands the text composed so far to the logger now; the stream is inactive after.
    void deliver()
    {
        if (buffer_ != nullptr) {
            LogBuffer* buffer = buffer_;
            buffer_ = nullptr;
            finish(logger_, level_, buffer);
        }
    }

    LogStream& operator<<(const char* text)
    {
        if (buffer_ != nullptr)
            appendText(buffer_, text);
        return *this;
    }
    LogStream& operator<<(char* text) { return *this << static_cast<const char*>(text); }
    LogStream& operator<<(const std::string& text) { return *this << std::string_view(text); }
    LogStream& operator<<(std::string_view text)
    {
        if (buffer_ != nullptr)
            appendText(buffer_, text.data(), text.size());
        return *this;
    }
    LogStream& operator<<(char c)
    {
        if (buffer_ != nullptr)
            appendText(buffer_, &c, 1);
        return *this;
    }
    LogStream& operator<<(int value) { return appendSigned(value); }
    LogStream& operator<<(long value) { return appendSigned(value); }
    LogStream& operator<<(long long value) { return appendSigned(value); }
    LogStream& operator<<(unsigned value) { return appendUnsigned(value); }
    LogStream& operator<<(unsigned long value) { return appendUnsigned(value); }
    LogStream& operator<<(unsigned long long value) { return appendUnsigned(value); }
    LogStream& operator<<(double value)
    {
        if (buffer_ != nullptr)
            appendDouble(buffer_, value);
        return *this;
    }
    LogStream& operator<<(float value) { return *this << static_cast<double>(value); }

    LogStream& operator<<(std::ostream& (*manipulator)(std::ostream&))
    {
        if (buffer_ != nullptr)
            manipulator(formatStream(buffer_));
        return *this;
    }
    LogStream& operator<<(std::ios_base& (*manipulator)(std::ios_base&))
    {
        if (buffer_ != nullptr)
            manipulator(formatStream(buffer_));
        return *this;
    }

    /// Anything else a std::ostream takes: bool, pointers, long double, std::setw(...),
    /// user types with an operator<< for std::ostream.
    template <typename T>
    LogStream& operator<<(const T& value)
    {
        if (buffer_ != nullptr)
            formatStream(buffer_) << value;
        return *this;
    }

private:
    LogStream(Logger* logger, LoggingLevel level, bool open)
        : logger_(logger), level_(level), buffer_(open && logger != nullptr ? openBuffer() : nullptr)
    {}

    LogStream& appendSigned(long long value)
    {
        if (buffer_ != nullptr)
            appendInteger(buffer_, value);
        return *this;
    }
    LogStream& appendUnsigned(unsigned long long value)
    {
        if (buffer_ != nullptr)
            appendInteger(buffer_, value);
        return *this;
    }

    TEV_API TEV_NOPLT static LogBuffer* openBuffer();
    TEV_API TEV_NOPLT static void finish(Logger* logger, LoggingLevel level, LogBuffer* buffer);
    TEV_API TEV_NOPLT static void appendText(LogBuffer* buffer, const char* text);
    TEV_API TEV_NOPLT static void appendText(LogBuffer* buffer, const char* text, std::size_t length);
    TEV_API TEV_NOPLT static void appendInteger(LogBuffer* buffer, long long value);
    TEV_API TEV_NOPLT static void appendInteger(LogBuffer* buffer, unsigned long long value);
    TEV_API TEV_NOPLT static void appendDouble(LogBuffer* buffer, double value);
    TEV_API static std::ostream& formatStream(LogBuffer* buffer);

    Logger* logger_;
    LoggingLevel level_;
    LogBuffer* buffer_;
};

/// A named logger. Loggers are created by getLogger() and destroyed by
/// closeAllLoggers(); client code keeps the pointer and never deletes it.
///
/// A logger hands each message to the channels that the installed backends gave it,
/// or, while it has none, no backend is installed or the level is 0, keeps it in a
/// cache of at most 101 messages (then a "LOG Cache overflow..." notice at level 40)
/// that is replayed to its channels at the next backend installation.
///
/// Concurrency: every operation may be called from any thread. getLogger, the
/// backend operations and delivery share one recursive mutex; the calls into backends
/// and channels (createBackend, createChannel, log, release, a backend's destructor)
/// are made with it held, so they may log again on the same thread. Backend libraries
/// are loaded and unloaded without it, so a library that logs from its static
/// initialiser or destructor never waits for it while the system's loader is busy.
/// minLogLevel, isLevelActive, enableLogging and unloadLoggingChannels take no lock.
class Logger {
public:
    /// The logger registered under `name`, created first if there is none. Names are
    /// compared byte by byte; the empty name is a name like any other. A new logger is
    /// registered before the backends are asked for its channels: a backend that asks
    /// for the same name meanwhile gets this logger, whose messages wait in its cache.
    /// Throws std::invalid_argument for a null name (nothing changes), std::bad_alloc,
    /// and what a backend's createChannel() throws (the logger is then not created,
    /// unless a backend was handed it meanwhile: it then stays, without channels).
    TEV_API TEV_NOPLT static Logger* getLogger(const char* name);

    /// The threshold that isLevelActive() compares with; 50 for a new logger.
    TEV_API void minLogLevel(LoggingLevel level);
    /// Whether `level` >= the threshold. Delivery itself never consults the threshold.
    TEV_API TEV_NOPLT bool isLevelActive(LoggingLevel level);
    /// A disabled logger drops the messages it could deliver; it still caches.
    TEV_API void enableLogging(bool enable);

    /// Whether closeAllLoggers() (also run when the library is unloaded) does anything.
    TEV_API static void unloadLoggingChannels(bool unload);

    /// Installs a backend that stays the caller's, then gives every logger its channels
    /// anew, from every installed backend in installation order, and replays its cache
    /// to them: the cache is then empty, so a backend installed later never sees what
    /// was cached before. The backend must outlive its installation (see
    /// uninstallBackend()).
    /// Throws LoggerBackendLoadError for a null or an already installed backend (nothing
    /// changes), and what createChannel() or a channel's log() throws.
    TEV_API static void installBackend(LoggerBackend* backend);
    static void installBackend(std::nullptr_t) { installBackend(static_cast<LoggerBackend*>(nullptr)); }

    /// Loads the backend library `name` (file "<name>_ru.so"; "<name>_ru.dll" on Windows),
    /// records it and the backend its createBackend() returns, and returns that backend
    /// (possibly null) without installing it. Each call loads and creates anew: installing
    /// "console" twice gives two backends, and every line is written by both.
    /// Throws BackendLibraryError (a std::runtime_error, BackendLibraryError.h) when the
    /// library cannot be loaded or lacks createBackend: its what() is "Unable to resolve
    /// function createBackend from dynamic library" and the failed check, and it names the
    /// files tried and the loader's reason. A bare name is looked for in the program's
    /// folder, the framework library's folder and its `tevframework` subfolder, then where
    /// the system's loader looks. Throws std::invalid_argument for a null name, and what
    /// createBackend() throws. A failed load records nothing,
    /// except that a library which loaded stays loaded until closeAllLoggers() if no other
    /// load holds it, so that what its factory left behind keeps its code.
    /// Refused with LoggerBackendLoadError, and nothing loaded: from inside a backend or a
    /// channel (a logging call is under way: the logging mutex is held, and loading under
    /// it could deadlock with a library that logs while the system's loader loads it), and
    /// once the framework is being unloaded (a channel released by its teardown, say).
    TEV_API static LoggerBackend* loadBackend(const char* name);

    /// loadBackend(name), then installBackend() of the result unless it is null, all in
    /// one hold of the logging mutex: no other thread can close the backend in between.
    /// Refused as loadBackend() is.
    TEV_API static LoggerBackend* installBackend(const char* name);

    /// Removes `backend` from the installed ones if it is there. Loggers keep the
    /// channels it gave them, and write to them while any backend is installed, until
    /// the next installation rebuilds their channels: the backend and its channels must
    /// stay alive until then, or until closeAllLoggers(). Throws nothing of its own.
    TEV_API static void uninstallBackend(LoggerBackend* backend);

    /// Unless switched off by unloadLoggingChannels(false): destroys every logger,
    /// calling release() once on each of its channels (cached messages are dropped),
    /// then deletes the backends loaded from libraries and unloads those libraries.
    /// Backends installed as objects stay installed. What a channel or backend creates
    /// meanwhile (a logger it logs to, say) is left for the next close.
    /// If a channel's release() or a backend's destructor throws, the rest is still
    /// closed and the first such exception is thrown at the end. Throws LoggerException
    /// when called from inside a channel or a backend (a logging call is under way).
    /// A logger made while the loggers are closed gets no channel from the backends that
    /// the close deletes.
    TEV_API static void closeAllLoggers();

    /// A stream at level 10 into this logger.
    LogStream stream() { return LogStream(this, LevelDebug); }
    /// A stream at `level` into this logger.
    LogStream stream(LoggingLevel level) { return LogStream(this, level); }

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

private:
    friend class LogStream;
    friend struct LoggerRegistry;
    friend struct LoggerState;

    explicit Logger(LoggerState* state) noexcept;
    ~Logger();

    struct Closed;

    static Logger* create(LoggerRegistry& registry, std::string_view name);
    static void refreshAll(LoggerRegistry& registry);
    static void install(LoggerRegistry& registry, LoggerBackend* backend);
    static LoggerBackend* loadAndCreate(const char* name, bool andInstall);
    static Closed closeAll(LoggerRegistry& registry);

    /// Delivers the message to the channels or caches it. `message` must not be null.
    TEV_API void do_log(LoggingLevel level, const char* message);

    // isLevelActive() inline, for TEV_LOG: the state is standard-layout and begins with the
    // threshold, so a pointer to it is a pointer to the threshold.
    bool levelActive(LoggingLevel level) const noexcept
    {
        return level >= reinterpret_cast<const std::atomic<std::int32_t>*>(state_)->load(std::memory_order_relaxed);
    }

    LoggerState* state_;
};
static_assert(sizeof(Logger) == sizeof(void*), "a logger is its state's pointer and nothing else");

// Most statements that TEV_LOG guards are below the threshold: the compiler lays the
// skipping path out straight, and the composing of the message aside.
#if defined(__GNUC__)
#  define TEV_LOGGER_RARELY(condition) __builtin_expect(static_cast<bool>(condition), false)
#else
#  define TEV_LOGGER_RARELY(condition) (condition)
#endif

inline LogStream::LogStream(WhenActive, Logger* logger, LoggingLevel level)
    : LogStream(logger, level, TEV_LOGGER_RARELY(level != LevelNone && logger != nullptr && logger->levelActive(level)))
{}

#undef TEV_LOGGER_RARELY

} // namespace Tev::Framework::GenericLogger

/// Streams into `logger` at `level` only when the level is active for it, so that a
/// statement below the threshold evaluates none of its operands:
/// \code
/// TEV_LOG(logger, LevelInfo) << "loaded " << count << " items";
/// \endcode
#define TEV_LOG(logger, level)                                                                                         \
  for (::Tev::Framework::GenericLogger::LogStream tevLogStream_(                                                       \
           ::Tev::Framework::GenericLogger::LogStream::whenActive, (logger),                                           \
           static_cast<::Tev::Framework::GenericLogger::LoggingLevel>(level));                                         \
       tevLogStream_.active(); tevLogStream_.deliver())                                                                \
  tevLogStream_

#endif
