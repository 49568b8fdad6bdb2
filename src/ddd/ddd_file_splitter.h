#pragma once

#include "ddd_report.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace tessaron::ddd {

// One record group of a vehicle-unit transfer response: a fixed structure, a counted record list or a
// second-generation record array.
struct RecordGroup
{
    QString name; // the data dictionary's structure name
    qint32 offset = 0; // from the start of the block's data, its tag
    qint32 length = 0;
    qint32 recordCount = 0;
    qint32 recordLength = 0;
};

// Recognises a DDD file and cuts it into blocks: a driver card into its elementary files, a vehicle unit into
// its transfer responses. Never reads outside the bytes; what cannot be walked becomes one "RAW" block.
class FileSplitter
{
public:
    FileSplitter() = delete;

    // Driver card when the file opens with the header of a card's elementary file, vehicle unit when it opens
    // with a transfer response tag; Unknown otherwise.
    static DddFileType detect(QByteArrayView bytes);

    // The blocks in file order with their occurrences counted; together they hold every byte of the file.
    // An Unknown file gives one "RAW" block (none when it is empty). *truncatedBlock, when given, receives the
    // fileNumber of a block that claims more bytes than the file holds (written only then).
    static QList<DddBlock> split(const QByteArray &bytes, DddFileType type, QString *truncatedBlock = nullptr);

    // The record groups of a vehicle-unit block, ending with its signature; empty for a card file, a "RAW"
    // block, or a block whose groups do not fit in its data.
    static QList<RecordGroup> recordGroups(const DddBlock &block);

    // Short Russian display names.
    static QString cardFileName(quint16 fileId, qint32 fileType);
    static QString transferBlockName(quint8 transferParameter);

    // Generation of a transfer-response parameter: 1, 2, 3 (second generation, version 2) or 0 for none.
    static int transferGeneration(quint8 transferParameter);
};

} // namespace tessaron::ddd
