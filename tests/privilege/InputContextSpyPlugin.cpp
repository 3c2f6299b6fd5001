// An input-context plugin for the key "vexlospy", as a user could plant it in
// platforminputcontexts/ beside the program and choose it with QT_IM_MODULE. It needs no
// more than to be loaded to run its code, which shows in the process's memory map; as it
// is no input context, Qt then goes on with its own compose plugin.
#include <QObject>
#include <QtPlugin>

class TInputContextSpyPlugin : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPlatformInputContextFactoryInterface.5.1" FILE
                          "InputContextSpyPlugin.json")
};

#include "InputContextSpyPlugin.moc"
