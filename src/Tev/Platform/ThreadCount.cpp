#include "Tev/Platform/ThreadCount.h"

#if !defined(_WIN32)
namespace Tev::Platform::detail {
thread_local unsigned threadCount __attribute__((tls_model("initial-exec"))) = 0;
} // namespace Tev::Platform::detail
#endif
