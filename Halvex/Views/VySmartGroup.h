#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

// A smart group is a saved search: a dictionary under these keys. The host
// stores and matches them; the sidebar only lists, adds, edits and removes.
using VySmartGroup = QVariantMap;
using VySmartGroupList = QList<VySmartGroup>;

// Display name (text).
extern const QString kSmartGroupName;
// The saved search text (text); it identifies a group, compared without
// regard to case.
extern const QString kSmartGroupSearchText;
// Entries matching the search (unsigned number), shown in the search menu;
// supplied by the host, 0 when absent.
extern const QString kSmartGroupHitCount;

// The tag of every search-menu item rebuilt on each menu update.
inline constexpr int kSmartGroupItemVolatileTag = -1000;

// A text has words when splitting it at single blanks leaves a piece: an
// empty or blank-only text has none.
bool vyTextHasWords(const QString& text);

QString vySmartGroupName(const VySmartGroup& group);
QString vySmartGroupSearchText(const VySmartGroup& group);
unsigned long long vySmartGroupHitCount(const VySmartGroup& group);

// The index of the first group whose search text equals `text` without
// regard to case, or -1.
qsizetype vyIndexOfSmartGroupWithSearchText(const VySmartGroupList& groups, const QString& text);
