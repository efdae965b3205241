#include "link/registercodec.h"

namespace RegisterCodec {
QString axisLabel(quint16) { return {}; }
} // namespace RegisterCodec
