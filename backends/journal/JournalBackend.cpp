// The backend "journal": every logger gets a channel that sends each of its messages to the
// systemd journal as one entry with the fields
//   MESSAGE            the message, whole, line feeds and any bytes included
//   PRIORITY           by level: below 20 debug, 20-39 info, 40-49 warning, 50-59 err, 60 and above crit
//   SYSLOG_IDENTIFIER  the Ident setting
//   TEV_LOGGER         the logger's name
//   TEV_LEVEL          the level's number
//   TID                the thread that logs
// Settings, read from the property store when the backend is created, under
// Tev.Backend.Journal.:
//   Level  messages below it are not sent; default trace (every level)
//   Ident  default the program's name
// A bad setting makes createBackend throw std::invalid_argument naming the property and its
// value; with no journal listening on /run/systemd/journal/socket (most containers), where every
// line would go nowhere, it throws std::runtime_error saying so.
// Each entry is sent at once, under the logging mutex: a journal that cannot keep up makes
// logging wait. A line the journal refuses later (it stopped, say) is lost: the first of a run
// of them is told on standard error, and how many were lost is told by an entry of its own once
// the journal takes lines again, or on standard error when the backend goes first.

#include "../common/KeptChannels.h"
#include "../common/Settings.h"
#include "../common/SinkBackend.h"
#include "../common/SocketListens.h"

// No CODE_FILE, CODE_LINE and CODE_FUNC of this file in the entries.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>

namespace {

using namespace TevBackends;

constexpr const char* journalSocket = "/run/systemd/journal/socket";

// `name` "=" `value` as the journal takes a field.
std::string field(const char* name, const std::string& value)
{
    return std::string(name) + "=" + value;
}

// Room for a field NAME=<a 32-bit number>.
struct NumberField {
    char text[32];
    iovec fill(const char* name, long long value)
    {
        const std::size_t length = std::strlen(name);
        std::memcpy(text, name, length);
        text[length] = '=';
        char* end = std::to_chars(text + length + 1, text + sizeof text, value).ptr;
        return {text, static_cast<std::size_t>(end - text)};
    }
};

class JournalBackend : public LoggerBackend {
public:
    JournalBackend(std::int64_t level, const std::string& ident)
        : level_(level), ident_(field("SYSLOG_IDENTIFIER", ident))
    {}

    ~JournalBackend() override
    {
        if (lost_ > 0)
            std::fprintf(stderr, "%s\n", lostLines().c_str());
    }

    LoggingChannel* createChannel(const char* loggerName) override
    {
        return channels_.get(loggerName, [this](const std::string& name) {
            return std::make_unique<Channel>(*this, field("TEV_LOGGER", name));
        });
    }

private:
    class Channel : public KeptChannel {
    public:
        Channel(JournalBackend& backend, std::string logger) : backend_(backend), logger_(std::move(logger)) {}

        void log(LoggingLevel level, const char* message) override
        {
            if (level >= backend_.level_)
                backend_.send(logger_, level, message);
        }

    private:
        JournalBackend& backend_;
        const std::string logger_;
    };

    void send(const std::string& logger, LoggingLevel level, const char* message)
    {
        // debug for trace and debug, then info, warning, err, crit: as the syslog backend.
        static constexpr int priorities[] = {LOG_DEBUG, LOG_DEBUG, LOG_INFO, LOG_WARNING, LOG_ERR, LOG_CRIT};
        if (lost_ > 0 && !tellLostLines()) {
            lineLost();
            return;
        }
        message_.assign("MESSAGE=").append(message);
        NumberField priority;
        NumberField number;
        NumberField thread;
        const iovec fields[] = {{message_.data(), message_.size()},
                                priority.fill("PRIORITY", priorities[spdlogLevel(level)]),
                                {const_cast<char*>(ident_.data()), ident_.size()},
                                {const_cast<char*>(logger.data()), logger.size()},
                                number.fill("TEV_LEVEL", level),
                                thread.fill("TID", gettid())};
        if ((error_ = sendFields(fields, std::size(fields))) != 0)
            lineLost();
    }

    // 0, or why the journal did not take the entry.
    static int sendFields(const iovec* fields, std::size_t count)
    {
        return -sd_journal_sendv(fields, static_cast<int>(count));
    }

    // Tells the lines lost in an entry of their own; whether the journal took it.
    bool tellLostLines()
    {
        const std::string message = field("MESSAGE", lostLines());
        NumberField priority;
        const iovec fields[] = {{const_cast<char*>(message.data()), message.size()},
                                priority.fill("PRIORITY", LOG_WARNING),
                                {const_cast<char*>(ident_.data()), ident_.size()}};
        if ((error_ = sendFields(fields, std::size(fields))) != 0)
            return false;
        lost_ = 0;
        return true;
    }

    void lineLost()
    {
        if (lost_++ == 0)
            std::fprintf(stderr,
                         "journal backend: the journal refused a line (%s): lines are lost until it takes them again\n",
                         std::strerror(error_));
    }

    std::string lostLines() const
    {
        return "journal backend: lines lost while the journal refused them (" + std::string(std::strerror(error_)) +
               "): " + std::to_string(lost_);
    }

    const std::int64_t level_;
    const std::string ident_; // the field
    std::string message_;     // the field, its room kept from one message to the next
    int error_ = 0;           // the journal's last refusal
    std::size_t lost_ = 0;    // lines refused since the journal last took one
    KeptChannels channels_;
};

LoggerBackend* createJournalBackend()
{
    const std::string prefix = "Tev.Backend.Journal.";
    refuseUnknownSettings(prefix, {"Level", "Ident"});
    const std::int64_t level = levelSetting(prefix + "Level", leastLevel(spdlog::level::trace));
    const std::string ident = textSetting(prefix + "Ident", program_invocation_short_name);
    if (!socketListens(journalSocket))
        throw std::runtime_error(std::string("No journal listens on ") + journalSocket +
                                 " (no systemd-journald runs here): the journal backend would send every line "
                                 "nowhere");
    return new JournalBackend(level, ident);
}

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return createJournalBackend();
}
