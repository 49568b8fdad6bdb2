#include "shown_failure.h"

#include "application_logger.h"

using namespace Qt::StringLiterals;

namespace tessaron::logging {

QString shownFailure(const QString &sentence, const QString &systemText, const QString &category)
{
    ApplicationLogger::write(Level::Warning, category,
        systemText.isEmpty() ? sentence : u"%1: %2"_s.arg(sentence, systemText), u"failure"_s);
    return sentence;
}

QString withSentence(const QString &text, const QString &sentence)
{
    const bool ended = text.endsWith(u'.') || text.endsWith(u'!') || text.endsWith(u'?') || text.endsWith(u'…');
    return text + (ended ? u" "_s : u". "_s) + sentence;
}

QString failureReason(QFileDevice::FileError error)
{
    switch (error) {
    case QFileDevice::NoError:
    case QFileDevice::UnspecifiedError:
        return u"ошибка файловой системы"_s;
    case QFileDevice::ReadError:
        return u"ошибка чтения"_s;
    case QFileDevice::WriteError:
        return u"ошибка записи"_s;
    case QFileDevice::FatalError:
        return u"неустранимая ошибка файловой системы"_s;
    case QFileDevice::ResourceError: // Qt's kind for a full disk
        return u"на диске нет места"_s;
    case QFileDevice::OpenError:
        return u"файл не открывается: его нет, нет прав на него или он занят"_s;
    case QFileDevice::AbortError:
        return u"операция прервана"_s;
    case QFileDevice::TimeOutError:
        return u"истекло время ожидания"_s;
    case QFileDevice::RemoveError:
        return u"файл не удаляется"_s;
    case QFileDevice::RenameError:
        return u"файл не переименовывается"_s;
    case QFileDevice::PositionError:
        return u"ошибка позиционирования в файле"_s;
    case QFileDevice::ResizeError:
        return u"размер файла не меняется"_s;
    case QFileDevice::PermissionsError:
        return u"нет прав доступа"_s;
    case QFileDevice::CopyError:
        return u"файл не копируется"_s;
    }
    return u"ошибка файловой системы"_s;
}

QString failureReason(const std::error_code &code)
{
    if (code == std::errc::no_such_file_or_directory || code == std::errc::not_a_directory)
        return u"папка не найдена или устройство отключено"_s;
    if (code == std::errc::permission_denied || code == std::errc::operation_not_permitted)
        return u"нет прав доступа"_s;
    if (code == std::errc::no_space_on_device)
        return u"на диске нет места"_s;
    if (code == std::errc::no_such_device || code == std::errc::no_such_device_or_address)
        return u"устройство отключено"_s;
    if (code == std::errc::io_error)
        return u"ошибка ввода-вывода"_s;
    if (code == std::errc::too_many_symbolic_link_levels)
        return u"ссылки ведут по кругу"_s;
    return u"ошибка файловой системы"_s;
}

QString shownFileFailure(
    const QString &sentence, QFileDevice::FileError error, const QString &systemText, const QString &category)
{
    return shownFailure(u"%1 (%2)"_s.arg(sentence, failureReason(error)), systemText, category);
}

} // namespace tessaron::logging
