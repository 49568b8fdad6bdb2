#include "theme_manager.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QQuickStyle>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>
#include <cmath>

namespace tessaron::ui {

namespace {

constexpr double s_minimumScale = 0.75;
constexpr double s_maximumScale = 2.0;

QPalette darkPalette()
{
    const QColor window(0x2b, 0x2d, 0x30);
    const QColor base(0x1f, 0x20, 0x22);
    const QColor text(0xe8, 0xe8, 0xe8);
    const QColor disabledText(0x80, 0x80, 0x80);
    const QColor highlight(0x3d, 0x7a, 0xb8);

    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabledText);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Link, highlight.lighter(140));
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Light, window.lighter(150));
    palette.setColor(QPalette::Midlight, window.lighter(125));
    palette.setColor(QPalette::Mid, window.darker(120));
    palette.setColor(QPalette::Dark, window.darker(150));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    return palette;
}

} // namespace

QString ThemeManager::settingsFilePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Settings.ini"));
}

Theme ThemeManager::load(const QString &filePath)
{
    Theme theme;
    QSettings file(filePath, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Theme"));
    const QString palette = file.value(QStringLiteral("Palette")).toString().trimmed();
    if (palette.compare(QStringLiteral("dark"), Qt::CaseInsensitive) == 0)
        theme.palette = Theme::Palette::Dark;
    bool isNumber = false;
    const double scale = file.value(QStringLiteral("Scale")).toString().trimmed().toDouble(&isNumber);
    if (isNumber && std::isfinite(scale))
        theme.scale = std::clamp(scale, s_minimumScale, s_maximumScale);
    return theme;
}

void ThemeManager::apply(const Theme &theme)
{
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QStyle *style = QStyleFactory::create(QStringLiteral("Fusion"));
    if (!style)
        return;
    QApplication::setStyle(style);
    switch (theme.palette) {
    case Theme::Palette::Light:
        QApplication::setPalette(style->standardPalette());
        return;
    case Theme::Palette::Dark:
        QApplication::setPalette(darkPalette());
        return;
    }
}

} // namespace tessaron::ui
