#ifndef TEV_FRAMEWORK_CRISISLOGGING_CRISISLOGGERIMPL_H
#define TEV_FRAMEWORK_CRISISLOGGING_CRISISLOGGERIMPL_H

#include <boost/thread/mutex.hpp>

#include <cstdio>
#include <memory>

namespace Tev::Framework::CrisisLogging {

// What a CrisisLogger holds: the open log file and the lock that serialises its lines.
class CrisisLoggerImpl {
public:
    // Opens the log file; throws FrameworkException when it cannot, and then leaves
    // nothing open.
    CrisisLoggerImpl();

    CrisisLoggerImpl(const CrisisLoggerImpl&) = delete;
    CrisisLoggerImpl& operator=(const CrisisLoggerImpl&) = delete;

    void log(const char* message);

private:
    struct CloseFile {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };

    std::unique_ptr<std::FILE, CloseFile> file_; // never null once constructed
    boost::mutex writeLock_;
};

} // namespace Tev::Framework::CrisisLogging

#endif
