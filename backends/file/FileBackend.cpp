// The backend "file": every logger gets a channel that appends its messages to one
// file, through a sink shared by all of them (RotatingFileSink.h):
//   2026-12-06 12:04:05.123 warning [Net.Client] retrying in 2 s
// Settings, read from the property store when the backend is created, under
// Tev.Backend.File.: Level, FlushLevel (warning by default), Pattern and Format (see
// SinkBackend.h), and
//   Path          the file, made absolute when the backend is created; default
//                 "tev-framework.log" in the working directory. A link, a device or a
//                 pipe is written as it is. Refused while another file backend writes it.
//   Rotation      size (app.log, then app.1.log, the newest, ...), daily
//                 (app_2026-12-06.log) or hourly (app_2026-12-06_12.log)
//   MaxSize       size rotation: bytes a file may reach; default 10485760
//   MaxFiles      rotated files kept beside the current one, 0 to 1000 by size, 0 to
//                 65534 by time; default 3
//   RotationTime  daily rotation: the time of day, HH:MM; default 00:00
// A bad setting, or a file that cannot be opened, makes createBackend throw
// std::invalid_argument naming the property and its value, and leaves nothing on disk.

#include "../common/Settings.h"
#include "../common/SinkBackend.h"
#include "RotatingFileSink.h"

#include <memory>
#include <utility>

namespace {

using namespace TevBackends;

LoggerBackend* createFileBackend()
{
    refuseUnknownSettings("Tev.Backend.File.", {"Level", "FlushLevel", "Pattern", "Format", "Path", "Rotation",
                                                "MaxSize", "MaxFiles", "RotationTime"});
    LineSettings settings =
        lineSettings("Tev.Backend.File.", {leastLevel(spdlog::level::trace), leastLevel(spdlog::level::warn),
                                           "%Y-%m-%d %H:%M:%S.%e %l [%n] %v"});
    return new SinkBackend(fileSink(), std::move(settings));
}

} // namespace

TEV_BACKEND_LIBRARY_EXPORT LoggerBackend* createBackend()
{
    return createFileBackend();
}
