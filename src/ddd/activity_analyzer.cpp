#include "ddd_decoder.h"

namespace tessaron::ddd {

void Decoder::buildAnalysis(DddReport &)
{ }

void Decoder::analyze(DddReport &report)
{
    buildAnalysis(report);
}

} // namespace tessaron::ddd
