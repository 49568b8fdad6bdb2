#include "card_test_blocks.h"

#include "ddd/ddd_decoder.h"

namespace tessaron::test {

ddd::DddBlock cardBlock(const char *fileNumber, const QByteArray &data, int fileType)
{
    ddd::DddBlock result;
    result.fileNumber = QString::fromLatin1(fileNumber);
    result.name = QStringLiteral("test");
    result.data = data;
    result.length = qint32(data.size());
    result.fileType = fileType;
    return result;
}

ddd::DddReport decodeCardBlocks(const QList<ddd::DddBlock> &blocks)
{
    ddd::DddReport report;
    report.fileType = ddd::DddFileType::DriverCard;
    report.blocks = blocks;
    ddd::Decoder::parseDriverCardData(report);
    return report;
}

} // namespace tessaron::test
