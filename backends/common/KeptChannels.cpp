#include "KeptChannels.h"

namespace TevBackends {

KeptChannel::~KeptChannel() = default;

void KeptChannel::release()
{}

} // namespace TevBackends
