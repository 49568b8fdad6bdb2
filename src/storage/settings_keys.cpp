#include "settings_keys.h"

#include <array>

using namespace Qt::StringLiterals;

namespace tessaron::storage::settings {

std::span<const Default> defaults()
{
    static const std::array table = {
        Default {sectionPorts, calibrationPort, QString(), typeString, u"Порт калибровки"_s},
        Default {sectionPorts, calibrationBaudRate, u"9600"_s, typeInt, u"Скорость порта калибровки"_s},
        Default {sectionPorts, downloadPort, QString(), typeString, u"Порт выгрузки"_s},
        Default {sectionPorts, downloadBaudRate, u"9600"_s, typeInt, u"Начальная скорость выгрузки"_s},
        Default {sectionPorts, downloadMaxBaudRate, u"115200"_s, typeInt, u"Наибольшая скорость выгрузки"_s},
        Default {sectionPorts, useParvik, u"false"_s, typeBool, u"Работа через адаптер Parvik"_s},
        Default {sectionPorts, parvikPort, QString(), typeString, u"Порт адаптера Parvik"_s},
        Default {sectionPorts, cardReader, QString(), typeString, u"Считыватель карт"_s},
        Default {sectionMain, printerAct, defaultPrinterName, typeString, u"Принтер сертификатов"_s},
        Default {sectionMain, printerLabel, defaultPrinterName, typeString, u"Принтер наклеек"_s},
        Default {sectionProgram, logEnable, u"true"_s, typeBool, u"Ведение журнала"_s},
        Default {sectionWorkshop, workshopMark, QString(), typeString, u"Клеймо мастерской"_s},
        Default {sectionWorkshop, workshopName, QString(), typeString, u"Название мастерской"_s},
        Default {sectionWorkshop, workshopPost, QString(), typeString, u"Почтовый индекс"_s},
        Default {sectionWorkshop, workshopCity, QString(), typeString, u"Город"_s},
        Default {sectionWorkshop, workshopStreet, QString(), typeString, u"Улица и дом"_s},
        Default {sectionWorkshop, workshopPhone, QString(), typeString, u"Телефон мастерской"_s},
    };
    return table;
}

} // namespace tessaron::storage::settings
