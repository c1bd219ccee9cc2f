#include "Tev/Framework/CrisisLogging/CrisisLoggerImpl.h"

#include "Tev/Framework/CrisisLogging/TimeStamp.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"

#include <cstring>
#include <mutex>
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

    // The line is laid out before the lock is taken: a place for a line end that closes a
    // cut line, the stamp, the separator, the message and its line end.
    char stackLine[stackLineSize];
    std::string heapLine;
    char* line = stackLine;
    if (longestLine > stackLineSize) {
        heapLine.resize(longestLine);
        line = &heapLine[0];
    }
    char* const stamp = line + 1;
    std::memcpy(stamp + timeStampLength, separator, separatorLength);
    std::memcpy(stamp + timeStampLength + separatorLength, message, messageLength);
    line[longestLine - 1] = '\n';

    // The time is read under the lock, so that the lines stand in the order of their stamps.
    const std::lock_guard<Platform::LightMutex> guard(writeLock_);
    formatTimeStamp(clock_.now(), stamp);
    // One write per line, so that a line of another process sharing the file (after a
    // fork) never lands inside it. Failures are not reported; a line cut short by one
    // is closed by the next.
    char* start = stamp;
    if (endsMidLine_)
        *--start = '\n';
    const std::size_t written =
        Platform::appendToFile(file_, start, static_cast<std::size_t>(line + longestLine - start));
    if (written != 0)
        endsMidLine_ = start[written - 1] != '\n';
}

} // namespace Tev::Framework::CrisisLogging
