#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGGEREXCEPTION_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGGEREXCEPTION_H

#include "Tev/Framework/Export.h"

namespace Tev::Framework::GenericLogger {

/// The logging subsystem's exception: a message, the source file that threw it
/// (below the source tree, without extension, e.g.
/// `"Tev\Framework\GenericLogger\Logger"`) and the line of the throw.
/// Not derived from std::exception.
///
/// Throws: the constructors, the copy, the assignment and the setters throw
/// std::bad_alloc; the getters and what() throw nothing.
/// Concurrency: distinct objects may be used from any threads; one object must not
/// be used by two threads at once (what() stores the text it composes).
class TEV_API LoggerException {
public:
    /// A null `filename` or `message` is taken as the empty text.
    LoggerException(const char* filename, int lineNumber);
    LoggerException(const char* message, const char* filename, int lineNumber);
    LoggerException(const LoggerException& other);
    const LoggerException& operator=(const LoggerException& other);
    virtual ~LoggerException();

    virtual const char* message() const;

    const char* filename() const;
    void filename(const char* filename);

    int lineNumber() const;
    void lineNumber(int lineNumber);

    /// "Exception '<dynamic type>' (<file>:<line>): <message>", composed on the first
    /// call and kept: later changes of the file name or line do not alter it. The type
    /// name is the demangled one, e.g. Tev::Framework::GenericLogger::LoggerException.
    /// Returns the empty text if composing it failed.
    virtual const char* what() const;

private:
    struct Record;
    Record* record_;
};
static_assert(sizeof(LoggerException) == 2 * sizeof(void*),
              "a table pointer and a record pointer: the layout that clients' catch clauses copy");

} // namespace Tev::Framework::GenericLogger

#endif
