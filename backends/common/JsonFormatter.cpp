#include "JsonFormatter.h"

#include <spdlog/details/fmt_helper.h>
#include <spdlog/details/os.h>

#include <array>
#include <atomic>
#include <chrono>
#include <ctime>
#include <pthread.h>
#include <utility>

namespace TevBackends {

namespace {

using spdlog::memory_buf_t;
using spdlog::details::fmt_helper::append_int;
using spdlog::details::fmt_helper::append_string_view;

// The bytes that a JSON string holds as they are: printable ASCII but '"' and '\'.
constexpr std::array<bool, 256> plainBytes = [] {
    std::array<bool, 256> plain{};
    for (int byte = 0x20; byte < 0x80; ++byte)
        plain[static_cast<std::size_t>(byte)] = byte != '"' && byte != '\\';
    return plain;
}();

// The ASCII byte `byte` escaped: \" \\ \b \f \n \r \t, or \u0001 for any other.
void appendEscaped(unsigned char byte, memory_buf_t& out)
{
    const char* const hex = "0123456789abcdef";
    char escape[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xf]};
    std::size_t length = 2;
    switch (byte) {
    case '"':
    case '\\': escape[1] = static_cast<char>(byte); break;
    case '\b': escape[1] = 'b'; break;
    case '\f': escape[1] = 'f'; break;
    case '\n': escape[1] = 'n'; break;
    case '\r': escape[1] = 'r'; break;
    case '\t': escape[1] = 't'; break;
    default: length = sizeof escape;
    }
    out.append(escape, escape + length);
}

// How many bytes from `at` form one well-formed UTF-8 sequence (2 to 4; its lead byte is above
// 0x7f), or, when they form none, the length of their maximal subpart, the longest start of a
// well-formed sequence (at least 1), and false.
std::pair<std::size_t, bool> utf8Sequence(const unsigned char* at, const unsigned char* end)
{
    const unsigned char lead = *at;
    std::size_t length = 0;
    // The second byte's range, which leaves out overlong forms, surrogates and codes above U+10FFFF.
    unsigned char least = 0x80;
    unsigned char most = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef)
        length = 3, least = lead == 0xe0 ? 0xa0 : least, most = lead == 0xed ? 0x9f : most;
    else if (lead >= 0xf0 && lead <= 0xf4)
        length = 4, least = lead == 0xf0 ? 0x90 : least, most = lead == 0xf4 ? 0x8f : most;
    else
        return {1, false};
    std::size_t read = 1;
    for (; read < length && at + read < end; ++read, least = 0x80, most = 0xbf)
        if (at[read] < least || at[read] > most)
            break;
    return {read, read == length};
}

// Appends `text` as the inside of a JSON string.
void appendJsonText(spdlog::string_view_t text, memory_buf_t& out)
{
    const auto* at = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = at + text.size();
    while (at < end) {
        const auto* const plain = at;
        while (at < end && plainBytes[*at])
            ++at;
        out.append(reinterpret_cast<const char*>(plain), reinterpret_cast<const char*>(at));
        if (at == end)
            break;
        if (*at < 0x80) {
            appendEscaped(*at++, out);
            continue;
        }
        const auto [length, wellFormed] = utf8Sequence(at, end);
        if (wellFormed)
            out.append(reinterpret_cast<const char*>(at), reinterpret_cast<const char*>(at + length));
        else
            append_string_view("\xef\xbf\xbd", out); // U+FFFD
        at += length;
    }
}

// What a forked child reads again: the process id, read once (its system call costs more than the
// rest of a line), and the id of the thread that forked, which spdlog keeps from that thread's
// first message, in the parent. glibc drops the fork handler when this library is unloaded;
// Windows has no fork.
std::atomic<int> processId{0}; // 0: to be read
std::atomic<std::size_t> forkingThread{0}, forkedThread{0};

[[maybe_unused]] void forgetIdsInChild() noexcept
{
    processId.store(0);
    forkingThread.store(spdlog::details::os::thread_id());
    forkedThread.store(spdlog::details::os::_thread_id());
}

} // namespace

JsonFormatter::JsonFormatter(std::string lineEnd) : lineEnd_(std::move(lineEnd))
{
    [[maybe_unused]] static const int forksWatched = pthread_atfork(nullptr, nullptr, forgetIdsInChild);
}

void JsonFormatter::format(const spdlog::details::log_msg& message, memory_buf_t& line)
{
    using namespace std::chrono;
    const auto second = floor<seconds>(message.time);
    if (second.time_since_epoch().count() != stampSecond_) {
        const std::tm utc = spdlog::details::os::gmtime(system_clock::to_time_t(second));
        stamp_ = fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                             utc.tm_hour, utc.tm_min, utc.tm_sec);
        stampSecond_ = second.time_since_epoch().count();
    }
    const auto milliseconds = duration_cast<std::chrono::milliseconds>(message.time - second).count();
    append_string_view("{\"@timestamp\":\"", line);
    append_string_view(stamp_, line);
    line.push_back('.');
    spdlog::details::fmt_helper::pad3(static_cast<std::uint32_t>(milliseconds), line);
    append_string_view("Z\",\"log.level\":\"", line);
    append_string_view(spdlog::level::to_string_view(message.level), line);
    append_string_view("\",\"message\":\"", line);
    appendJsonText(message.payload, line);
    append_string_view("\",\"log.logger\":\"", line);
    appendJsonText(message.logger_name, line);
    append_string_view("\",\"process.pid\":", line);
    int pid = processId.load(std::memory_order_relaxed);
    if (pid == 0)
        processId.store(pid = spdlog::details::os::pid(), std::memory_order_relaxed);
    append_int(pid, line);
    append_string_view(",\"process.thread.id\":", line);
    const std::size_t thread = message.thread_id;
    append_int(thread == forkingThread.load(std::memory_order_relaxed) ? forkedThread.load(std::memory_order_relaxed)
                                                                       : thread,
               line);
    append_string_view(",\"ecs.version\":\"8.11.0\",\"tev.level\":", line);
    append_int(level_, line);
    line.push_back('}');
    append_string_view(lineEnd_, line);
}

std::unique_ptr<spdlog::formatter> JsonFormatter::clone() const
{
    auto copy = std::make_unique<JsonFormatter>(lineEnd_);
    copy->level_ = level_;
    return copy;
}

} // namespace TevBackends
