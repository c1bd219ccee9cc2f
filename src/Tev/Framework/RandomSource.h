#ifndef TEV_FRAMEWORK_RANDOMSOURCE_H
#define TEV_FRAMEWORK_RANDOMSOURCE_H

namespace Tev::Framework {

// Placeholder until the random source lands.
struct RandomSource {
};

} // namespace Tev::Framework

#endif
