#include "app/Privilege.h"

#include <QtGlobal>
#include <array>

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

} // namespace

std::span<const char* const> UnsafeEnvironment() {
    return UnsafeVariables;
}

void ForgetUserPluginChoices() {
    for (const char* Name : UnsafeVariables) {
        qunsetenv(Name);
    }
}

} // namespace Privilege
