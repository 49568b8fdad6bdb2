#include "fuzz_seeds.h"

#include "ddd/ddd_file_splitter.h"
#include "ddd_file_builder.h"

using namespace tessaron::test;

namespace tessaron::fuzz {

QList<std::pair<QString, QByteArray>> syntheticSeeds()
{
    QByteArray nestedCertificate("\x5F\x29\x01\x00", 4);
    nestedCertificate = ByteWriter().u16(0x7F21).u8(quint32(nestedCertificate.size())).bytes(nestedCertificate).data();

    CardFileBuilder secondGenerationCard;
    secondGenerationCard.addFile(0x0002, 0, QByteArray(25, '\x01'));
    secondGenerationCard.addSignedFile(0x0501, QByteArray(17, '\x02'), 2, 64);
    secondGenerationCard.addFile(0xC100, 2, nestedCertificate);

    const QByteArray secondGenerationUnit
        = VuFileBuilder()
              .addRecordArrays(0x31, {{0x0A, 17, {QByteArray("XTA21099012345678")}}, {0x0F, 8, {nestedCertificate}}})
              .addSecondGenerationDays(0x32,
                  {{{0x06, 4, {QByteArray(4, '\x02')}}, {0x01, 2, {"ab", "cd"}}},
                      {{0x06, 4, {QByteArray(4, '\x03')}}, {0x01, 2, {"ef"}}}})
              .addRecordArrays(0x24, {{0x12, 64, {QByteArray(64, '\x03')}}})
              .build();

    return {
        {QStringLiteral("vu-first-generation.bin"), VuFileBuilder::typicalDownload(2, 3)},
        {QStringLiteral("vu-second-generation.bin"), secondGenerationUnit},
        {QStringLiteral("card-first-generation.bin"), CardFileBuilder::minimalDriverCard()},
        {QStringLiteral("card-second-generation.bin"), secondGenerationCard.build()},
    };
}

QList<QByteArray> blockInputs(const QByteArray &file)
{
    using namespace tessaron::ddd;
    const DddFileType type = FileSplitter::detect(file);
    QList<QByteArray> inputs;
    for (const DddBlock &block : FileSplitter::split(file, type)) {
        if (block.fileNumber == QLatin1StringView("RAW"))
            continue;
        if (type == DddFileType::Tachograph)
            inputs.append(block.data);
        else
            inputs.append(
                ByteWriter().u16(block.fileNumber.toUInt(nullptr, 16)).u8(quint32(block.fileType)).data() + block.data);
    }
    return inputs;
}

} // namespace tessaron::fuzz
