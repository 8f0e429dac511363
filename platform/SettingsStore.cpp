#include "platform/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace quorvane {

// QSettings' INI backend compares names with case on Linux. The store therefore looks up the
// section and value names that are already in the file without case and reuses their
// spelling, so one value never splits into two keys that differ only in case.
struct SettingsStore::Impl {
    explicit Impl(const QString& path) : settings(path, QSettings::IniFormat) {}
    QSettings settings;

    // Picks up changes another process wrote since the last look (QSettings only rereads a
    // file whose size or time changed).
    void refresh() { settings.sync(); }

    QString findSection(const QString& section) const {
        const QStringList groups = settings.childGroups();
        for (const QString& g : groups)
            if (g.compare(section, Qt::CaseInsensitive) == 0) return g;
        return {};
    }

    // Full key "Section/Name" of an existing value, or an empty string.
    QString findKey(const QString& section, const QString& name) {
        const QString g = findSection(section);
        if (g.isEmpty()) return {};
        settings.beginGroup(g);
        const QStringList keys = settings.childKeys();
        settings.endGroup();
        for (const QString& k : keys)
            if (k.compare(name, Qt::CaseInsensitive) == 0) return g + QLatin1Char('/') + k;
        return {};
    }

    // Key to write: the existing spelling when there is one, else the caller's names.
    QString keyForWrite(const QString& section, const QString& name) {
        const QString existing = findKey(section, name);
        if (!existing.isEmpty()) return existing;
        const QString g = findSection(section);
        return (g.isEmpty() ? section : g) + QLatin1Char('/') + name;
    }

    void write(const QString& key, const QVariant& value) {
        QDir().mkpath(QFileInfo(settings.fileName()).absolutePath());
        settings.setValue(key, value);
        settings.sync();  // written at once, like every other change in this program
    }
};

namespace {

// A stored integer: decimal (optionally signed) or 0x-prefixed hexadecimal, at most 32 bits.
// Values up to 0xFFFFFFFF are taken as the 32-bit pattern, so a colour or -1 written by another
// tool as an unsigned number reads the same.
bool parseInt(QString text, int& out) {
    text = text.trimmed();
    if (text.isEmpty()) return false;
    bool ok = false;
    qlonglong v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = text.mid(2).toLongLong(&ok, 16);
    else
        v = text.toLongLong(&ok, 10);
    if (!ok || v < INT_MIN || v > qlonglong(UINT32_MAX)) return false;
    out = static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
    return true;
}

}  // namespace

SettingsStore::SettingsStore(const QString& iniPath) : d_(std::make_unique<Impl>(iniPath)) {}
SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultPath() {
    QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Vendrik/Quorvane.ini");
}

int SettingsStore::getInt(const QString& section, const QString& name, int defaultValue) const {
    d_->refresh();
    const QString key = d_->findKey(section, name);
    if (key.isEmpty()) return defaultValue;
    const QVariant v = d_->settings.value(key);
    int out = 0;
    switch (v.typeId()) {
        case QMetaType::QString:
            return parseInt(v.toString(), out) ? out : defaultValue;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return parseInt(v.toString(), out) ? out : defaultValue;
        default:
            return defaultValue;  // a list, a byte array, ...: not an integer
    }
}

void SettingsStore::setInt(const QString& section, const QString& name, int value) {
    d_->write(d_->keyForWrite(section, name), value);
}

QString SettingsStore::getString(const QString& section, const QString& name,
                                 const QString& defaultValue) const {
    d_->refresh();
    const QString key = d_->findKey(section, name);
    if (key.isEmpty()) return defaultValue;
    const QVariant v = d_->settings.value(key);
    // An unquoted text with commas reads back as a list; its parts are the text.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    if (!v.canConvert<QString>()) return defaultValue;
    return v.toString();
}

void SettingsStore::setString(const QString& section, const QString& name, const QString& value) {
    d_->write(d_->keyForWrite(section, name), value);
}

int SettingsStore::getIntOr(const QString& section, const QString& name, int fallback) const {
    const int v = getInt(section, name, -1);
    return v == -1 ? fallback : v;
}

void SettingsStore::sync() {
    d_->settings.sync();
}

QString SettingsStore::path() const {
    return d_->settings.fileName();
}

namespace {
SettingsStore* g_settings = nullptr;
}

SettingsStore& appSettings() {
    if (g_settings) return *g_settings;
    static SettingsStore store(SettingsStore::defaultPath());
    return store;
}

void setAppSettings(SettingsStore* store) {
    g_settings = store;
}

}  // namespace quorvane
