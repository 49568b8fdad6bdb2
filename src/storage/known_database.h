#pragma once

namespace tessaron::storage {

// The application's SQLite databases as the catalogue knows them. The values are stable: they are stored
// and passed around as plain integers.
enum class KnownDatabase {
    Settings = 0,
    Masters = 1,
    Customers = 2,
    Vehicles = 3,
    Calibrations = 4,
    Certificates = 5,
    // The report database under its former name, in the runtime data folder beside the program.
    DriverCards = 6,
    Reports = 7,
};

} // namespace tessaron::storage
