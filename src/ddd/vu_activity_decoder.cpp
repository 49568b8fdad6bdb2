#include "vu_records.h"

namespace tessaron::ddd::vu {

void decodeActivityBlock(DddReport &, const DddBlock &)
{ }

} // namespace tessaron::ddd::vu
