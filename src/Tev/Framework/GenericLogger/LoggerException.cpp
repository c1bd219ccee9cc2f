#include "Tev/Framework/GenericLogger/LoggerException.h"

#include "Tev/Platform/TypeName.h"

#include <exception>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace Tev::Framework::GenericLogger {

static_assert(!std::is_base_of_v<std::exception, LoggerException>, "thrown as it is, not as a std::exception");

struct LoggerException::Record {
    std::string message;
    std::string filename;
    int lineNumber;
    std::string formatted; // empty until what() composes it
};

namespace {

std::string textOf(const char* text)
{
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace

LoggerException::LoggerException(const char* filename, int lineNumber)
    : record_(new Record{std::string(), textOf(filename), lineNumber, std::string()})
{}

LoggerException::LoggerException(const char* message, const char* filename, int lineNumber)
    : record_(new Record{textOf(message), textOf(filename), lineNumber, std::string()})
{}

LoggerException::LoggerException(const LoggerException& other) : record_(new Record(*other.record_))
{}

const LoggerException& LoggerException::operator=(const LoggerException& other)
{
    Record copy(*other.record_);
    std::swap(*record_, copy);
    return *this;
}

LoggerException::~LoggerException()
{
    delete record_;
}

const char* LoggerException::message() const
{
    return record_->message.c_str();
}

const char* LoggerException::filename() const
{
    return record_->filename.c_str();
}

void LoggerException::filename(const char* filename)
{
    record_->filename = textOf(filename);
}

int LoggerException::lineNumber() const
{
    return record_->lineNumber;
}

void LoggerException::lineNumber(int lineNumber)
{
    record_->lineNumber = lineNumber;
}

const char* LoggerException::what() const
{
    if (record_->formatted.empty()) {
        try {
            std::string text("Exception '");
            text += Platform::readableTypeName(typeid(*this));
            text += "' (";
            text += record_->filename;
            text += ':';
            text += std::to_string(record_->lineNumber);
            text += "): ";
            text += record_->message;
            record_->formatted = std::move(text);
        } catch (...) {
            // what() never throws: the text stays empty.
        }
    }
    return record_->formatted.c_str();
}

} // namespace Tev::Framework::GenericLogger
