#include "SidebarHostStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

QVariantList hostMatchingEntries(const QVariantList& entries, const QString& text) {
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QVariantList found;
    for (const QVariant& value : entries) {
        const auto entry = value.value<HostEntry>();
        const bool matches = std::all_of(words.begin(), words.end(), [&](const QString& word) {
            return entry.name.contains(word, Qt::CaseInsensitive) ||
                   entry.message.contains(word, Qt::CaseInsensitive) ||
                   entry.description.contains(word, Qt::CaseInsensitive);
        });
        if (matches) found.append(value);
    }
    return found;
}

HostSmartGroupFile::HostSmartGroupFile(QString path) : path_(std::move(path)) {}

QString HostSmartGroupFile::defaultPath() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/orvik-sidebar-host/smart-groups.json");
}

std::optional<VySmartGroupList> HostSmartGroupFile::decode(const QByteArray& data) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) return std::nullopt;
    VySmartGroupList groups;
    for (const QJsonValue& value : document.array()) {
        const QJsonObject object = value.toObject();
        const QJsonValue name = object.value(kSmartGroupName);
        const QJsonValue text = object.value(kSmartGroupSearchText);
        if (!value.isObject() || !name.isString() || !text.isString()) return std::nullopt;
        groups.append({{kSmartGroupName, name.toString()}, {kSmartGroupSearchText, text.toString()}});
    }
    return groups;
}

QByteArray HostSmartGroupFile::encode(const VySmartGroupList& groups) {
    QJsonArray array;
    for (const VySmartGroup& group : groups)
        array.append(QJsonObject{{kSmartGroupName, vySmartGroupName(group)},
                                 {kSmartGroupSearchText, vySmartGroupSearchText(group)}});
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

VySmartGroupList HostSmartGroupFile::load() {
    QFile file(path_);
    if (!file.exists()) return {};
    if (!file.open(QIODevice::ReadOnly)) {
        writable_ = false; // there, but not ours to replace
        return {};
    }
    const QByteArray data = file.readAll();
    file.close();
    if (auto groups = decode(data)) return *groups;
    const QString aside = path_ + QStringLiteral(".unreadable-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    if (QFile::rename(path_, aside))
        keptAsidePath_ = aside;
    else
        writable_ = false;
    return {};
}

bool HostSmartGroupFile::save(const VySmartGroupList& groups) {
    if (!writable_) return false;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(encode(groups));
    return file.commit();
}
