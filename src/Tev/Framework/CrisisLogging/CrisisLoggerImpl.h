#ifndef TEV_FRAMEWORK_CRISISLOGGING_CRISISLOGGERIMPL_H
#define TEV_FRAMEWORK_CRISISLOGGING_CRISISLOGGERIMPL_H

#include "Tev/Platform/Clock.h"
#include "Tev/Platform/ExclusiveFile.h"
#include "Tev/Platform/LightMutex.h"

#include <cstddef>

namespace Tev::Framework::CrisisLogging {

// What a CrisisLogger holds: the open log file and the lock that serialises its lines.
class CrisisLoggerImpl {
public:
    // Messages up to this long are written without touching the heap.
    static constexpr std::size_t longestStackMessage = 240;

    // Opens the log file; throws FrameworkException when it cannot, and then leaves
    // nothing open.
    CrisisLoggerImpl();
    ~CrisisLoggerImpl();

    CrisisLoggerImpl(const CrisisLoggerImpl&) = delete;
    CrisisLoggerImpl& operator=(const CrisisLoggerImpl&) = delete;

    void log(const char* message);

private:
    // Made before the file is opened: where it can fail to be made (Windows), nothing is
    // open then.
    Platform::LightMutex writeLock_;
    Platform::ExclusiveFile* file_; // never null once constructed
    // The file ends in a cut line (a process was killed mid-line, or a write failed):
    // the next line starts with a line end of its own, so that lines never run together.
    bool endsMidLine_;
    Platform::LocalClock clock_; // read under writeLock_
};

} // namespace Tev::Framework::CrisisLogging

#endif
