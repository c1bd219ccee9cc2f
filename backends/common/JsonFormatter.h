// JSON lines for log collectors: one object a line, with the keys that the Elastic Common
// Schema names, so that Fluent Bit, Vector, Loki or Elastic read them without a parser of
// their own:
//   {"@timestamp":"2026-12-06T11:04:05.123Z","log.level":"warning","message":"retrying in 2 s",
//    "log.logger":"Net.Client","process.pid":4242,"process.thread.id":4243,"ecs.version":"8.11.0",
//    "tev.level":42}
// (on one line). The time is UTC; the level's name is the one text lines print, its number
// the library's own key. Every text is escaped as RFC 8259 asks (quotes, backslashes, every
// control character), and each ill-formed UTF-8 sequence becomes U+FFFD, one for each maximal
// subpart as Unicode recommends: whatever the bytes logged, the line is one valid JSON object in
// UTF-8, and a line feed in a message never ends it early.
#ifndef TEV_BACKENDS_JSONFORMATTER_H
#define TEV_BACKENDS_JSONFORMATTER_H

#include <spdlog/formatter.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace TevBackends {

class JsonFormatter final : public spdlog::formatter {
public:
    // Each line ends with `lineEnd`.
    explicit JsonFormatter(std::string lineEnd);

    // spdlog's level is one of six steps and loses the level's number: the channel tells it
    // here before each message. The channels of a backend share its sink and this formatter, and
    // the logging mutex, held around every channel's call, keeps one channel's number from
    // meeting another's message.
    void nextLevel(std::int32_t level) noexcept { level_ = level; }

    // Appends the message's line to `line`. Throws std::bad_alloc.
    void format(const spdlog::details::log_msg& message, spdlog::memory_buf_t& line) override;
    std::unique_ptr<spdlog::formatter> clone() const override;

private:
    const std::string lineEnd_;
    std::int32_t level_ = 0;
    // The date and time of the last second formatted, "2026-12-06T11:04:05".
    long long stampSecond_ = std::numeric_limits<long long>::min();
    std::string stamp_;
};

} // namespace TevBackends

#endif
