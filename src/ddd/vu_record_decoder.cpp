#include "ddd_decoder.h"

namespace tessaron::ddd {

void Decoder::parseTachographData(DddReport &)
{ }

} // namespace tessaron::ddd
