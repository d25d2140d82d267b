#pragma once

#include "Halvex/Views/VySmartGroup.h"

#include <QMetaType>
#include <QString>
#include <QVariantList>

#include <optional>

// One entry of the test host: a server as the sidebar's rows show it.
struct HostEntry {
    Q_GADGET
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QString message MEMBER message)
    Q_PROPERTY(QString description MEMBER description)

public:
    QString name;        // "web-1"
    QString message;     // "deploy@10.0.0.11:22"
    QString description; // "prod"

    friend bool operator==(const HostEntry&, const HostEntry&) = default;
};
Q_DECLARE_METATYPE(HostEntry)

// The entries that match `text`: every blank-separated word occurs in the
// name, the message or the description, without regard to case. A text
// without words matches every entry. In the list's order.
QVariantList hostMatchingEntries(const QVariantList& entries, const QString& text);

// The host's smart groups in a JSON file of its own: an array of objects
// with "smartGroupName" and "smartGroupSearchText". Hit counts are not
// stored (they follow the entries). A file that cannot be decoded is moved
// aside (to "<name>.unreadable-<time>") and the host starts without groups;
// when it cannot be moved, nothing is ever written over it.
class HostSmartGroupFile {
public:
    explicit HostSmartGroupFile(QString path);

    // "$XDG_DATA_HOME/orvik-sidebar-host/smart-groups.json" (XDG_DATA_HOME
    // defaulting to ~/.local/share).
    static QString defaultPath();

    const QString& path() const { return path_; }
    VySmartGroupList load();
    // Replaces the file at once (a temporary file renamed over it); false
    // when it cannot, or when an unreadable file must be kept.
    bool save(const VySmartGroupList& groups);
    // Where the last unreadable file went; empty when none was.
    const QString& keptAsidePath() const { return keptAsidePath_; }

    // The groups a file's text holds, or nothing when it is not such a list.
    static std::optional<VySmartGroupList> decode(const QByteArray& data);
    static QByteArray encode(const VySmartGroupList& groups);

private:
    QString path_;
    QString keptAsidePath_;
    bool writable_ = true;
};
