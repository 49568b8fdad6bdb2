#include "ddd_decoder.h"

namespace tessaron::ddd {

void Decoder::parseDriverCardData(DddReport &)
{ }

} // namespace tessaron::ddd
