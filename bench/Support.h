// What the scenarios' files share.
#ifndef TEV_BENCH_SUPPORT_H
#define TEV_BENCH_SUPPORT_H

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace TevBench {

// Times `count` calls of `call`; nanoseconds per call.
template <typename Call>
double timeLoop(int count, Call&& call)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        call(i);
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / count;
}

// A directory of its own under the system's temporary directory, removed with all it
// holds when the object goes.
class TemporaryDirectory {
public:
    TemporaryDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tev-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary directory");
        path_ = pattern;
    }
    ~TemporaryDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Takes away the backend whose channels do nothing, which the logging scenarios install, so
// that only the backends a scenario installs give the loggers channels.
void uninstallNullBackend();

} // namespace TevBench

#endif
