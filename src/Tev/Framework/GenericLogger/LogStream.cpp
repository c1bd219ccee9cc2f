#include "Tev/Framework/GenericLogger/Logger.h"

#include "Tev/Framework/GenericLogger/LogBuffer.h"
#include "Tev/Framework/GenericLogger/LogBufferCache.h"
#include "Tev/Framework/LibraryState.h"
#include "Tev/Platform/Processor.h"

#include <charconv>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace Tev::Framework::GenericLogger {

LogBuffer* LogStream::openBuffer()
{
    // The logging mutex is asked for now, to be written: its cache line comes from the
    // core that logged last while the message is formatted, not after. A thread that holds
    // the mutex meanwhile fetches the line back to let go, as it does for a waiter's try.
    Platform::prefetchForWrite(&loggerRegistry().mutex);
    return logBufferCache().take();
}

void LogStream::finish(Logger* logger, LoggingLevel level, LogBuffer* buffer)
{
    struct GiveBack {
        LogBuffer* buffer;
        ~GiveBack() { logBufferCache().giveBack(buffer); }
    } giveBack{buffer};
    // Channels take a C string: a NUL would end every channel's copy of the message there.
    std::string& text = buffer->text;
    if (buffer->mayHoldNul || buffer->streamUsed)
        for (std::size_t at = text.find('\0'); at != std::string::npos; at = text.find('\0', at))
            text.replace(at, 1, "\xEF\xBF\xBD"); // U+FFFD
    try {
        logger->do_log(level, text.c_str());
    } catch (...) {
        // Thrown into a destructor that runs during unwinding, it would end the program.
        if (std::uncaught_exceptions() == 0)
            throw;
    }
}

void LogStream::appendText(LogBuffer* buffer, const char* text)
{
    if (text == nullptr)
        return;
    const std::size_t length = std::strlen(text); // no NUL inside
    if (buffer->streamUsed)
        buffer->stream << std::string_view(text, length);
    else
        buffer->text.append(text, length);
}

void LogStream::appendText(LogBuffer* buffer, const char* text, std::size_t length)
{
    buffer->mayHoldNul = true; // a string, a view or a character
    if (buffer->streamUsed)
        buffer->stream << std::string_view(text, length);
    else
        buffer->text.append(text, length);
}

namespace {

template <typename Number>
void appendNumber(LogBuffer* buffer, Number value)
{
    if (buffer->streamUsed) {
        buffer->stream << value;
        return;
    }
    char digits[32];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
    buffer->text.append(digits, static_cast<std::size_t>(result.ptr - digits));
}

} // namespace

void LogStream::appendInteger(LogBuffer* buffer, long long value)
{
    appendNumber(buffer, value);
}

void LogStream::appendInteger(LogBuffer* buffer, unsigned long long value)
{
    appendNumber(buffer, value);
}

void LogStream::appendDouble(LogBuffer* buffer, double value)
{
    if (buffer->streamUsed) {
        buffer->stream << value;
        return;
    }
    // What a fresh std::ostream writes: printf's "%g", six significant digits.
    char digits[32];
    const std::to_chars_result result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6);
    buffer->text.append(digits, static_cast<std::size_t>(result.ptr - digits));
}

std::ostream& LogStream::formatStream(LogBuffer* buffer)
{
    buffer->streamUsed = true;
    return buffer->stream;
}

} // namespace Tev::Framework::GenericLogger
