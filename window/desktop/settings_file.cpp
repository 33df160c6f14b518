#include "window/desktop/settings_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace quirlomat {

namespace {

// Native format: an INI file named .conf under XDG_CONFIG_HOME on Unix, the registry on
// Windows. Without fallbacks, so that no system-wide or organisation-wide file sets a limit
// behind the user's back.
QSettings& Open(QSettings& settings) {
    settings.setFallbacksEnabled(false);
    return settings;
}

}  // namespace

std::string SettingsFilePath() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("quirlomat"),
                       QStringLiteral("quirlomat"));
    return QFile::encodeName(Open(settings).fileName()).toStdString();
}

SettingsFile ReadSettingsFile() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("quirlomat"),
                       QStringLiteral("quirlomat"));
    Open(settings);
    SettingsFile file;
    file.path = QFile::encodeName(settings.fileName()).toStdString();
    // QSettings reads a file it may not open as an empty one; a bound the user wrote down is
    // not dropped in silence.
    const QFileInfo info(settings.fileName());
    if (settings.format() == QSettings::NativeFormat && info.exists() && info.isAbsolute()) {
        QFile probe(settings.fileName());
        if (info.isDir() || !probe.open(QIODevice::ReadOnly)) {
            file.read.error = "Die Einstellungsdatei \"" + file.path + "\" lässt sich nicht lesen.";
            return file;
        }
    }
    if (settings.status() != QSettings::NoError) {
        file.read.error = "Die Einstellungsdatei \"" + file.path + "\" ist fehlerhaft.";
        return file;
    }
    SettingsEntries entries;
    for (const QString& key : settings.allKeys()) {
        const QVariant value = settings.value(key);
        const QString text = value.typeId() == QMetaType::QStringList
                                 ? value.toStringList().join(QStringLiteral(", "))
                                 : value.toString();
        entries.emplace_back(key.toStdString(), text.toStdString());
    }
    file.read = LimitsFromSettings(file.path, entries);
    return file;
}

}  // namespace quirlomat
