#include "Tev/Framework/GenericLogger/Logger.h"

#include "Tev/Framework/GenericLogger/LogBufferCache.h"
#include "Tev/Framework/LibraryState.h"

#include <charconv>
#include <cstring>
#include <exception>
#include <locale>
#include <streambuf>
#include <string_view>
#include <utility>

namespace Tev::Framework::GenericLogger {

namespace {

// A stream buffer without a put area that appends everything to a string.
class AppendingStreamBuffer : public std::streambuf {
public:
    explicit AppendingStreamBuffer(std::string& text) : text_(text) {}

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            text_.push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char_type* s, std::streamsize n) override
    {
        text_.append(s, static_cast<std::size_t>(n));
        return n;
    }

private:
    std::string& text_;
};

constexpr std::size_t cachedBuffersPerThread = 4;
// A buffer that grew past this for one long message is freed rather than kept.
constexpr std::size_t largestKeptCapacity = 64 * 1024;

} // namespace

// The text of one message being composed, and a std::ostream over it for what the
// stream's own shortcuts do not cover. Once that ostream has been used for a message,
// its formatting state (std::hex, std::setprecision...) may differ from a fresh one's,
// so everything else of that message goes through it too.
struct LogBuffer {
    LogBuffer() : stream(&streamBuffer) { stream.imbue(std::locale::classic()); }

    void reset() noexcept
    {
        text.clear();
        if (streamUsed) {
            stream.clear();
            stream.flags(std::ios_base::skipws | std::ios_base::dec);
            stream.precision(6);
            stream.width(0);
            stream.fill(' ');
            streamUsed = false;
        }
    }

    std::string text;
    AppendingStreamBuffer streamBuffer{text};
    std::ostream stream;
    bool streamUsed = false;
    LogBuffer* nextFree = nullptr;
};

namespace {

struct FreeBuffers {
    LogBuffer* first = nullptr;
    std::size_t count = 0;

    ~FreeBuffers()
    {
        while (first != nullptr)
            delete std::exchange(first, first->nextFree);
    }
};

void freeThreadBuffers(void* buffers)
{
    delete static_cast<FreeBuffers*>(buffers);
}

} // namespace

LogBufferCache::LogBufferCache() : slot_(&freeThreadBuffers) {}

LogBufferCache::~LogBufferCache()
{
    freeThreadBuffers(slot_.get());
}

LogBuffer* LogBufferCache::take()
{
    auto* buffers = static_cast<FreeBuffers*>(slot_.get());
    if (buffers != nullptr && buffers->first != nullptr) {
        LogBuffer* buffer = buffers->first;
        buffers->first = buffer->nextFree;
        --buffers->count;
        buffer->reset();
        return buffer;
    }
    return new LogBuffer;
}

void LogBufferCache::giveBack(LogBuffer* buffer) noexcept
{
    auto* buffers = static_cast<FreeBuffers*>(slot_.get());
    if (buffers == nullptr) {
        buffers = new (std::nothrow) FreeBuffers;
        if (buffers != nullptr) {
            try {
                slot_.set(buffers);
            } catch (...) {
                delete buffers;
                buffers = nullptr;
            }
        }
    }
    if (buffers == nullptr || buffers->count >= cachedBuffersPerThread
        || buffer->text.capacity() > largestKeptCapacity) {
        delete buffer;
        return;
    }
    buffer->nextFree = buffers->first;
    buffers->first = buffer;
    ++buffers->count;
}

LogBuffer* LogStream::openBuffer()
{
    return logBufferCache().take();
}

void LogStream::finish(Logger* logger, LoggingLevel level, LogBuffer* buffer)
{
    struct GiveBack {
        LogBuffer* buffer;
        ~GiveBack() { logBufferCache().giveBack(buffer); }
    } giveBack{buffer};
    try {
        logger->do_log(level, buffer->text.c_str());
    } catch (...) {
        // Thrown into a destructor that runs during unwinding, it would end the program.
        if (std::uncaught_exceptions() == 0)
            throw;
    }
}

void LogStream::appendText(LogBuffer* buffer, const char* text)
{
    if (text != nullptr)
        appendText(buffer, text, std::strlen(text));
}

void LogStream::appendText(LogBuffer* buffer, const char* text, std::size_t length)
{
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
    buffer->text.append(digits, result.ptr);
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
    buffer->text.append(digits, result.ptr);
}

std::ostream& LogStream::formatStream(LogBuffer* buffer)
{
    buffer->streamUsed = true;
    return buffer->stream;
}

} // namespace Tev::Framework::GenericLogger
