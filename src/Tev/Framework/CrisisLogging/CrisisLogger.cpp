#include "Tev/Framework/CrisisLogging/CrisisLogger.h"

#include "Tev/Framework/CrisisLogging/CrisisLoggerImpl.h"
#include "Tev/Framework/LibraryState.h"

#include <boost/thread/lock_guard.hpp>

namespace Tev::Framework::CrisisLogging {

std::atomic<CrisisLogger*> CrisisLogger::crisisLoggerSingleton_{nullptr};

CrisisLogger::CrisisLogger() : impl_(new CrisisLoggerImpl())
{}

CrisisLogger::~CrisisLogger()
{
    delete impl_;
}

CrisisLogger& CrisisLogger::instance()
{
    // The release store below publishes a complete object to this acquire load.
    CrisisLogger* logger = crisisLoggerSingleton_.load(std::memory_order_acquire);
    if (logger != nullptr)
        return *logger;

    const boost::lock_guard<boost::mutex> guard(crisisCreationLock());
    logger = crisisLoggerSingleton_.load(std::memory_order_relaxed); // ordered by the lock
    if (logger == nullptr) {
        // If opening throws, both allocations are freed and the pointer stays null.
        logger = new CrisisLogger();
        crisisLoggerSingleton_.store(logger, std::memory_order_release);
    }
    return *logger;
}

void CrisisLogger::log(const char* message)
{
    impl_->log(message);
}

} // namespace Tev::Framework::CrisisLogging
