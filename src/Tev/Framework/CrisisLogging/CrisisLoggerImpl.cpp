#include "Tev/Framework/CrisisLogging/CrisisLoggerImpl.h"

#include "Tev/Framework/CrisisLogging/TimeStamp.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"
#include "Tev/Platform/Clock.h"

#include <boost/thread/lock_guard.hpp>

#include <cstring>
#include <string>

namespace Tev::Framework::CrisisLogging {

namespace {

constexpr char separator[] = " - ";
constexpr std::size_t separatorLength = sizeof separator - 1;

// A line: perhaps a line end that closes a cut line, the stamp, the separator, the
// message and a line end.
constexpr std::size_t framingLength = 1 + timeStampLength + separatorLength + 1;

// Lines of short messages are composed on the stack, so that logging needs no memory,
// which may be what the crisis is about.
constexpr std::size_t stackLineSize = 257;
static_assert(stackLineSize == framingLength + CrisisLoggerImpl::longestStackMessage,
              "the stack line holds the longest message that is documented to need no memory");

std::size_t composeLine(char* out, bool closeCutLine, const char* stamp, const char* message,
                        std::size_t messageLength) noexcept
{
    char* const start = out;
    if (closeCutLine)
        *out++ = '\n';
    std::memcpy(out, stamp, timeStampLength);
    out += timeStampLength;
    std::memcpy(out, separator, separatorLength);
    out += separatorLength;
    std::memcpy(out, message, messageLength);
    out += messageLength;
    *out++ = '\n';
    return static_cast<std::size_t>(out - start);
}

} // namespace

CrisisLoggerImpl::CrisisLoggerImpl() : file_(Platform::openExclusiveAppend(Platform::crisisLogPath()))
{
    // The write lock is up by now; a failure to open leaves only it to destroy.
    if (file_ == nullptr) {
        const std::string message = std::string("Error opening log file: '") + Platform::crisisLogPath() + "'";
        throw Exceptions::FrameworkException(message.c_str());
    }
    endsMidLine_ = Platform::endsMidLine(file_);
}

CrisisLoggerImpl::~CrisisLoggerImpl()
{
    Platform::closeFile(file_);
}

void CrisisLoggerImpl::log(const char* message)
{
    if (message == nullptr)
        return;
    const std::size_t messageLength = std::strlen(message);
    const std::size_t longestLine = framingLength + messageLength;

    // The time is read under the lock, so that the lines stand in the order of their stamps.
    const boost::lock_guard<boost::mutex> guard(writeLock_);
    char stamp[timeStampLength];
    formatTimeStamp(Platform::localTimeOfDay(), stamp);

    char stackLine[stackLineSize];
    std::string heapLine;
    char* line = stackLine;
    if (longestLine > stackLineSize) {
        heapLine.resize(longestLine);
        line = &heapLine[0];
    }
    const std::size_t lineLength = composeLine(line, endsMidLine_, stamp, message, messageLength);

    // One write per line, so that a line of another process sharing the file (after a
    // fork) never lands inside it. Failures are not reported; a line cut short by one
    // is closed by the next.
    const std::size_t written = Platform::appendToFile(file_, line, lineLength);
    if (written != 0)
        endsMidLine_ = line[written - 1] != '\n';
}

} // namespace Tev::Framework::CrisisLogging
