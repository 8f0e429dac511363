#pragma once
// The per-user settings store: sections of named ints and texts in an INI file under the
// XDG config folder (Vendrik/Quorvane). Section and value names are compared without case,
// so "Dayres" and "DayRes" reach one value. A value of the wrong type reads as the default.
#include <QString>
#include <memory>

namespace quorvane {

class SettingsStore {
public:
    // Opens (or will create) the INI file at that path.
    explicit SettingsStore(const QString& iniPath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // $XDG_CONFIG_HOME/Vendrik/Quorvane.ini (~/.config when XDG_CONFIG_HOME is unset).
    static QString defaultPath();

    int getInt(const QString& section, const QString& name, int defaultValue) const;
    void setInt(const QString& section, const QString& name, int value);
    QString getString(const QString& section, const QString& name,
                      const QString& defaultValue = {}) const;
    void setString(const QString& section, const QString& name, const QString& value);
    // The "read with -1, replace -1" rule: a missing value, or a stored -1, yields fallback.
    int getIntOr(const QString& section, const QString& name, int fallback) const;
    void sync();
    QString path() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// The store the application uses; the default path unless a test installs another.
SettingsStore& appSettings();
void setAppSettings(SettingsStore* store);  // nullptr restores the default store

}  // namespace quorvane
