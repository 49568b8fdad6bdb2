#include "vu_records.h"

namespace tessaron::ddd::vu {

void decodeDetailedSpeedBlock(DddReport &, const DddBlock &)
{ }

void decodeTechnicalDataBlock(DddReport &, const DddBlock &)
{ }

} // namespace tessaron::ddd::vu
