pragma Singleton

import QtQml

// Reaches the context property "app" for the module's components. A singleton lives in the engine's root
// context, so "app" here is the context property and not a component's own property of the same name.
QtObject {
    readonly property QtObject controller: typeof app !== "undefined" ? app : null
}
