// How the bundled backends keep their channels. The framework asks for a channel for every
// logger at each backend installation and forgets the previous one without releasing it,
// and releases each channel it holds once, when its logger is closed. So a backend keeps one
// channel per logger name, hands that one out again, lets release() keep it, and frees them
// all when it is destroyed (after the framework released every channel it held).
#ifndef TEV_BACKENDS_KEPTCHANNELS_H
#define TEV_BACKENDS_KEPTCHANNELS_H

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

#include <map>
#include <memory>
#include <string>

namespace TevBackends {

using Tev::Framework::GenericLogger::LoggingChannel;

// A channel that stays with its backend when released.
class KeptChannel : public LoggingChannel {
public:
    ~KeptChannel() override;
    void release() final;
};

// The channels of one backend, by logger name; a member of the backend, declared after
// whatever its channels use, so that they go first.
class KeptChannels {
public:
    // The channel of `loggerName`: made by make(loggerName) the first time, the same one after.
    template <typename Make>
    LoggingChannel* get(const char* loggerName, Make make)
    {
        std::unique_ptr<KeptChannel>& channel = channels_[loggerName];
        if (!channel)
            channel = make(std::string(loggerName));
        return channel.get();
    }

private:
    std::map<std::string, std::unique_ptr<KeptChannel>> channels_;
};

} // namespace TevBackends

#endif
