#pragma once

// Lookups in a decoded report's description/value rows, shared by the decoder tests.

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace tessaron::test {

// The value of the first row with that description, or "<missing>" so a comparison names the absence.
QString fieldValue(const QVariantList &rows, const QString &description);

// Every row's description, in row order.
QStringList descriptions(const QVariantList &rows);

// The text a row gives a stored count of seconds shown in UTC, "dd.MM.yyyy H:mm:ss", computed through Qt.
QString utcText(quint32 seconds);

} // namespace tessaron::test
