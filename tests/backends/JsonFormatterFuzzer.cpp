// The JSON formatter under libFuzzer (./build.sh fuzz): any bytes, as a logger's name and a message, give one line
// that nlohmann-json's parser, strict on UTF-8, reads as them, each maximal ill-formed subpart replaced as it writes.
#include "common/JsonFormatter.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using nlohmann::json;
    const auto replaced = [](const std::string& text) {
        return json::parse(json(text).dump(-1, ' ', false, json::error_handler_t::replace));
    };
    const std::string bytes(reinterpret_cast<const char*>(data), size), name = bytes.substr(0, size / 4);
    spdlog::memory_buf_t line;
    TevBackends::JsonFormatter("\n").format({name, spdlog::level::info, bytes.substr(size / 4)}, line);
    const json read = json::parse(line.begin(), line.end()); // throws, which stops the fuzzer, unless one JSON value
    if (std::string_view(line.data(), line.size()).find('\n') != line.size() - 1 ||
        read.at("message") != replaced(bytes.substr(size / 4)) || read.at("log.logger") != replaced(name))
        std::abort();
    return 0;
}
