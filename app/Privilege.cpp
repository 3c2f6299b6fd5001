#include "app/Privilege.h"

#include <QProcessEnvironment>
#include <QtGlobal>
#include <array>
#include <string_view>

namespace Privilege {

namespace {

// Each names a folder Qt loads plugins from, or chooses a theme plugin: a toolkit's theme
// loads that toolkit, which loads modules named in the environment and so not covered by
// pinning Qt's own plugin folder. The input context is chosen by a key that any plugin
// in platforminputcontexts/ may claim, the program's own folder included, and without the
// choice Qt takes its own compose plugin. Qt 6.4 reads QT_IM_MODULE alone; later Qt 6
// releases also read a list of keys in QT_IM_MODULES, and the program builds with those.
// The variables that choose the platform or its GL integration, or name data files (fonts,
// logging rules), stay.
constexpr std::array<const char*, 12> UnsafeVariables = {
    "QT_PLUGIN_PATH",
    "QT_QPA_PLATFORM_PLUGIN_PATH",
    "QT_QPA_PLATFORMTHEME",
    "QT_QPA_GENERIC_PLUGINS", // -plugin's twin
    "QT_STYLE_OVERRIDE",      // -style's twin
    "QT_IM_MODULE",
    "QT_IM_MODULES",
    "QT_VULKAN_LIB", // a library path, opened when a widget renders with Vulkan
    // Without a theme named, Qt picks one after the desktop that these name.
    "XDG_CURRENT_DESKTOP",
    "DESKTOP_SESSION",
    "KDE_FULL_SESSION",
    "GNOME_DESKTOP_SESSION_ID",
};

// What a raised start keeps of the environment: every other variable goes before any library
// reads it. Qt, X, fontconfig, Mesa and the desktop's libraries each read variables of their
// own, some naming a library to load and judging them by user ids rather than by the raised
// start; a list of what to forget cannot keep up with them, so this lists what to keep. None
// of these names a library, driver, plugin or module, or a folder to load one from.
constexpr std::array<const char*, 27> SafeVariables = {
    // Where the display server listens and the cookie that admits us: a socket, not code.
    "DISPLAY",
    "XAUTHORITY",
    "WAYLAND_DISPLAY",
    "XDG_RUNTIME_DIR",
    // The platform plugin by name, among those in the system's Qt folder: the compiled-in
    // qt.conf pins that folder, and the drivers they load find only the system's own once
    // the variables that name others are gone.
    "QT_QPA_PLATFORM",
    // The user and their folders: where the host list and its undo copies live.
    "HOME",
    "USER",
    "LOGNAME",
    "XDG_CONFIG_HOME",
    "XDG_STATE_HOME",
    "XDG_DATA_HOME",
    "XDG_CACHE_HOME",
    // The session: facts, read by Qt to pick among its own behaviours.
    "XDG_SESSION_TYPE",
    "XDG_SESSION_CLASS",
    "XDG_SESSION_ID",
    "XDG_SEAT",
    "XDG_VTNR",
    // Language and formats (and LC_ below): glibc reads only its own locale folder under a
    // raised start.
    "LANG",
    "LANGUAGE",
    // The density settings Qt documents for users: numbers and policies.
    "QT_SCALE_FACTOR",
    "QT_SCREEN_SCALE_FACTORS",
    "QT_ENABLE_HIGHDPI_SCALING",
    "QT_SCALE_FACTOR_ROUNDING_POLICY",
    "QT_FONT_DPI",
    "QT_USE_PHYSICAL_DPI",
    // Where the help page's browser is found: it starts as a program of its own, with none of
    // this process's privilege, and nothing is loaded into this process from it.
    "PATH",
    // A screen reader's bus, below, when it is a socket.
    "DBUS_SESSION_BUS_ADDRESS",
};

bool Kept(std::string_view AName, std::string_view AValue) {
    if (AName.starts_with("LC_")) {
        return true;
    }
    // A bus address may also name a program to start or an address to find one by.
    if (AName == "DBUS_SESSION_BUS_ADDRESS") {
        return AValue.starts_with("unix:") && AValue.find(';') == std::string_view::npos;
    }
    for (const char* Safe : SafeVariables) {
        if (AName == Safe) {
            return true;
        }
    }
    return false;
}

} // namespace

void KeepOnlySafeEnvironment() {
    const QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    for (const QString& Name : Environment.keys()) {
        const QByteArray Key = Name.toLocal8Bit();
        if (!Kept(Key.toStdString(), Environment.value(Name).toLocal8Bit().toStdString())) {
            qunsetenv(Key.constData());
        }
    }
}

std::span<const char* const> UnsafeEnvironment() {
    return UnsafeVariables;
}

void ForgetUserPluginChoices() {
    for (const char* Name : UnsafeVariables) {
        qunsetenv(Name);
    }
}

} // namespace Privilege
