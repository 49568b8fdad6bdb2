#pragma once

#include <QString>

namespace tessaron::ui {

// The look the user chose: a light or dark palette and the scale of the interface.
struct Theme
{
    enum class Palette { Light, Dark };

    Palette palette = Palette::Light;
    double scale = 1.0; // 0.75 .. 2.0

    friend bool operator==(const Theme &, const Theme &) = default;
};

// Reads the theme from "Settings.ini" beside the program (group "Theme", keys "Palette" = "light" or "dark"
// and "Scale") and applies it to the application. The theme is the one setting kept outside the settings
// database, so it is known before any database opens.
class ThemeManager
{
public:
    ThemeManager() = delete;

    // Settings.ini in the folder of the running program.
    static QString settingsFilePath();

    // The theme stored in the file. A missing file, a missing key or an unreadable value gives the default
    // for that value; a scale outside 0.75 .. 2.0 is brought into that range.
    static Theme load(const QString &filePath);

    // Fusion style and the theme's palette for widgets and Qt Quick Controls. Call once, after the
    // application object exists and before the first QML engine loads anything.
    static void apply(const Theme &theme);
};

} // namespace tessaron::ui
