#include "vu_records.h"

namespace tessaron::ddd::vu {

void decodeEventsAndFaultsBlock(DddReport &, const DddBlock &)
{ }

} // namespace tessaron::ddd::vu
