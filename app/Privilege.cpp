#include "app/Privilege.h"

#include <QtGlobal>
#include <algorithm>
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

constexpr std::array<std::string_view, 5> PluginOptions = {"platformpluginpath", "platformtheme",
                                                           "plugin", "style", "stylesheet"};

} // namespace

std::span<const char* const> UnsafeEnvironment() {
    return UnsafeVariables;
}

std::string_view QtOptionName(std::string_view AArg) {
    if (AArg.size() < 2 || !AArg.starts_with('-')) {
        return {};
    }
    AArg.remove_prefix(AArg.starts_with("--") ? 2 : 1);
    return AArg.substr(0, AArg.find('='));
}

std::vector<char*> ArgumentsWithoutPluginOptions(int AArgc, char** AArgv) {
    std::vector<char*> Kept;
    for (int I = 0; I < AArgc; ++I) {
        const std::string_view Arg = AArgv[I];
        const std::string_view Name = QtOptionName(Arg);
        if (I == 0 || Name.empty() ||
            std::ranges::find(PluginOptions, Name) == PluginOptions.end()) {
            Kept.push_back(AArgv[I]);
        } else if (Arg.find('=') == std::string_view::npos) {
            ++I; // its value, whatever it looks like
        }
    }
    return Kept;
}

void ForgetUserPluginChoices(int& AArgc, char** AArgv) {
    for (const char* Name : UnsafeVariables) {
        qunsetenv(Name);
    }
    const auto Kept = ArgumentsWithoutPluginOptions(AArgc, AArgv);
    std::ranges::copy(Kept, AArgv);
    AArgc = static_cast<int>(Kept.size());
    AArgv[AArgc] = nullptr;
}

} // namespace Privilege
