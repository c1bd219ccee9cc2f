#include "Tev/Framework/CrisisLogging/CrisisLoggerImpl.h"

#include "Tev/Framework/CrisisLogging/TimeStamp.h"
#include "Tev/Framework/Exceptions/FrameworkException.h"
#include "Tev/Platform/Clock.h"
#include "Tev/Platform/ExclusiveFile.h"

#include <boost/thread/lock_guard.hpp>

#include <cstring>
#include <string>

namespace Tev::Framework::CrisisLogging {

namespace {

constexpr char separator[] = " - ";
constexpr std::size_t separatorLength = sizeof separator - 1;

// Lines up to this size are composed on the stack, so that logging a short message
// needs no memory, which may be what the crisis is about.
constexpr std::size_t stackLineSize = 256;

void composeLine(char* out, const char* stamp, const char* message, std::size_t messageLength) noexcept
{
    std::memcpy(out, stamp, timeStampLength);
    out += timeStampLength;
    std::memcpy(out, separator, separatorLength);
    out += separatorLength;
    std::memcpy(out, message, messageLength);
    out[messageLength] = '\n';
}

} // namespace

CrisisLoggerImpl::CrisisLoggerImpl()
{
    // The write lock is up by now; a failure to open leaves only it to destroy.
    const char* path = Platform::crisisLogPath();
    file_.reset(Platform::openExclusiveAppend(path));
    if (!file_) {
        const std::string message = std::string("Error opening log file: '") + path + "'";
        throw Exceptions::FrameworkException(message.c_str());
    }
}

void CrisisLoggerImpl::log(const char* message)
{
    if (message == nullptr)
        return;
    const std::size_t messageLength = std::strlen(message);
    const std::size_t lineLength = timeStampLength + separatorLength + messageLength + 1;

    // The time is read under the lock, so that the lines stand in the order of their stamps.
    const boost::lock_guard<boost::mutex> guard(writeLock_);
    char stamp[timeStampLength];
    formatTimeStamp(Platform::localTimeOfDay(), stamp);

    char stackLine[stackLineSize];
    std::string heapLine;
    char* line = stackLine;
    if (lineLength > stackLineSize) {
        heapLine.resize(lineLength);
        line = &heapLine[0];
    }
    composeLine(line, stamp, message, messageLength);

    // One write per line; failures are not reported.
    std::fwrite(line, 1, lineLength, file_.get());
    std::fflush(file_.get());
}

} // namespace Tev::Framework::CrisisLogging
