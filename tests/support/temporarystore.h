#pragma once

#include "settings/settingsstore.h"

#include <QTemporaryDir>

// A settings store in a fresh folder of its own, gone with the test.
class TemporaryStore {
public:
    QString path() const { return dir_.filePath(QStringLiteral("Quarvet/Quarvet.conf")); }
    quarvet::settings::QtSettingsStore& store() { return store_; }

private:
    QTemporaryDir dir_;
    quarvet::settings::QtSettingsStore store_{path()};
};
