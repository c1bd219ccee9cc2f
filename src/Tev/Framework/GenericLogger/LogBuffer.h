#ifndef TEV_FRAMEWORK_GENERICLOGGER_LOGBUFFER_H
#define TEV_FRAMEWORK_GENERICLOGGER_LOGBUFFER_H

#include <ios>
#include <locale>
#include <ostream>
#include <streambuf>
#include <string>

namespace Tev::Framework::GenericLogger {

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

// The state of a message's std::ostream when it begins: the classic locale, the default
// format, no exceptions, no tie, no words. Only read once made: many threads copy it at once.
class StreamDefaults : public std::ostream {
public:
    StreamDefaults() : std::ostream(nullptr)
    {
        imbue(std::locale::classic());
        fill(' ');
    }
};

// The text of one message being composed, and a std::ostream over it for what the
// stream's own shortcuts do not cover. Once that ostream has been used for a message,
// its state (std::hex, std::setprecision, a locale, an exception mask, a tie, words that
// a manipulator keeps...) may differ from a fresh one's, so everything else of that
// message goes through it too.
struct LogBuffer {
    LogBuffer() : stream(&streamBuffer) { stream.imbue(std::locale::classic()); }

    void reset(const StreamDefaults& defaults) noexcept
    {
        text.clear();
        mayHoldNul = false;
        if (streamUsed) {
            // Its mask taken from the defaults, the stream throws no exception.
            stream.copyfmt(defaults);
            stream.clear();
            streamUsed = false;
        }
    }

    std::string text;
    AppendingStreamBuffer streamBuffer{text};
    std::ostream stream;
    bool streamUsed = false;
    bool mayHoldNul = false; // text appended with its length, which may hold a NUL
    LogBuffer* nextFree = nullptr;
};

} // namespace Tev::Framework::GenericLogger

#endif
